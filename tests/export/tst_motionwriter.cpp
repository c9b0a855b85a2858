#include "bvhout.h"
#include "exportoptions.h"

#include "bvhfixture.h"
#include "kvproperty.h"
#include "kvscene.h"
#include "testsupport.h"

#include <QBuffer>
#include <QtTest>

namespace {

//   f ── hip ─┬─ abdomen (YXZ) ── chest (ZYX)
//             └─ lThigh (switched off)
struct Fixture : kvtest::TestHost
{
    KvSkeleton *figure = kvtest::figure(QStringLiteral("f"), {"hip:", "abdomen:hip", "chest:abdomen", "lThigh:hip"});

    Fixture()
    {
        kvScene->addNode(figure);
        bone("abdomen")->setRotationOrder(KvRotationOrder(KvRotationOrder::YXZ));
        bone("chest")->setRotationOrder(KvRotationOrder(KvRotationOrder::ZYX));
        for (const auto &[name, level] : {std::pair("hip", 1), std::pair("abdomen", 2), std::pair("chest", 3),
                                          std::pair("lThigh", 2)}) {
            auto record = std::make_unique<CSkelHeader>();
            record->bone = bone(name);
            record->level = level;
            record->exportFlag = qstrcmp(name, "lThigh") != 0;
            bvhState().skeletonList.append(std::move(record));
        }
    }
    ~Fixture() { secondLifeOption = false; }
    KvNode *bone(const char *name) const { return figure->findBone(QString::fromLatin1(name)); }

    // The motion over the scene's range: its lines without their line ends.
    QByteArrayList writeMotion() const
    {
        CBvhOut out;
        out.computeFrameCount();
        out.startFrames();
        kvApp->startProgress(QStringLiteral("test"), 1000, false, false);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        out.writeMotion(&buffer);
        QByteArrayList lines = buffer.data().split('\n');
        return lines.takeLast().isEmpty() ? lines : QByteArrayList{"unterminated"};
    }
};

} // namespace

class tst_MotionWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void section_data();
    void section();
    void frameLines();
    void referenceFrame_data();
    void referenceFrame();
};

void tst_MotionWriter::section_data()
{
    QTest::addColumn<bool>("secondLife");
    QTest::addColumn<KvTimeRange>("range");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QByteArray>("frameTime");
    QTest::newRow("second-life") << true << KvTimeRange(0, 4800) << 160 << 30 << QByteArray("0.0333333");
    QTest::newRow("empty-range") << false << KvTimeRange(0, 0) << 160 << 0 << QByteArray("0.0333333");
    QTest::newRow("empty-range-second-life") << true << KvTimeRange(0, 0) << 160 << 0 << QByteArray("0.0333333");
    QTest::newRow("step-200") << false << KvTimeRange(0, 4800) << 200 << 24 << QByteArray("0.0416667");
    // Whole steps at the end minus whole steps at the start.
    QTest::newRow("start-between-steps") << false << KvTimeRange(100, 4879) << 160 << 30 << QByteArray("0.0333333");
    QTest::newRow("one-second-step") << false << KvTimeRange(0, 9600) << 4800 << 2 << QByteArray("1");
    QTest::newRow("inverted-range") << true << KvTimeRange(4800, 0) << 160 << 0 << QByteArray("0.0333333");
}

// The Frames value counts the reference frame, so it always tells the number
// of lines that follow; the reference frame takes no progress step.
void tst_MotionWriter::section()
{
    QFETCH(bool, secondLife);
    QFETCH(KvTimeRange, range);
    QFETCH(int, step);
    QFETCH(int, frames);
    QFETCH(QByteArray, frameTime);
    const Fixture fixture;
    secondLifeOption = secondLife;
    kvScene->setAnimRange(range);
    kvScene->setTimeStep(step);
    const QByteArrayList lines = fixture.writeMotion();
    const int lineCount = frames + (secondLife ? 1 : 0);
    QCOMPARE(lines.mid(0, 3), QByteArrayList({"MOTION", "Frames:\t" + QByteArray::number(lineCount),
                                              "Frame Time:\t" + frameTime}));
    QCOMPARE(lines.size(), 3 + lineCount);
    QCOMPARE(kvApp->progressValue(), frames);
}

// Frame i is sampled at range start + i steps; a line holds the root's
// position, then each exported joint's Z, X and Y rotation in degrees, and
// ends in a blank.
void tst_MotionWriter::frameLines()
{
    const Fixture fixture;
    for (int n = 0; n <= 10; ++n) {
        const int t = n * 160;
        fixture.bone("hip")->getXPosControl()->setKey(t, float(n));
        fixture.bone("hip")->getYPosControl()->setKey(t, 40.0f + n / 4.0f);
        fixture.bone("hip")->getZPosControl()->setKey(t, -0.5f * n);
        fixture.bone("abdomen")->getXRotControl()->setKey(t, 10.0f + n);
        fixture.bone("abdomen")->getYRotControl()->setKey(t, -20.0f);
        fixture.bone("abdomen")->getZRotControl()->setKey(t, 30.0f);
        fixture.bone("chest")->getYRotControl()->setKey(t, 5.0f * n);
        fixture.bone("lThigh")->getXRotControl()->setKey(t, 45.0f);
    }
    kvScene->setAnimRange({480, 960});
    const QByteArrayList lines = fixture.writeMotion().mid(3);
    QCOMPARE(lines.size(), 3);
    for (int n = 3; n < 6; ++n) {
        const QByteArrayList fields = lines[n - 3].split(' ');
        QCOMPARE(fields.size(), 13);
        QCOMPARE(fields.mid(0, 3) << fields.last(),
                 QByteArrayList({QByteArray::number(n) + ".000000", QByteArray::number(40.0 + n / 4.0, 'f', 6),
                                 QByteArray::number(-0.5 * n, 'f', 6), ""}));
        const double expectedDeg[] = {0, 0, 0, 30, 10.0 + n, -20, 0, 0, 5.0 * n};
        for (int k = 0; k < 9; ++k)
            QVERIFY2(kvtest::near(fields[3 + k].toDouble(), expectedDeg[k], 1e-3), lines[n - 3].constData());
    }
}

void tst_MotionWriter::referenceFrame_data()
{
    QTest::addColumn<int>("rangeStart");
    QTest::addColumn<float>("rootY");
    QTest::addColumn<float>("rootXDeg");
    QTest::addColumn<QByteArray>("nudged");  // root height and X rotation
    QTest::newRow("at-rest") << 0 << 0.0f << 0.0f << QByteArray("0.002000 0.000000 0.000000 0.060000");
    QTest::newRow("height-at-limit") << 0 << 0.002f << 0.05f << QByteArray("0.004000 0.000000 0.000000 0.110000");
    QTest::newRow("inside") << 0 << -0.001f << -0.05f << QByteArray("0.001000 0.000000 0.000000 0.010000");
    QTest::newRow("height-40") << 0 << 40.0f << 0.07f << QByteArray("0.000000 0.000000 0.000000 0.000000");
    QTest::newRow("below-limits") << 0 << -40.0f << -0.07f << QByteArray("0.000000 0.000000 0.000000 0.000000");
    // Time 0 holds height 40 and 30 degrees; the range starts elsewhere.
    QTest::newRow("from-range-start") << 480 << 0.0f << 0.0f << QByteArray("0.002000 0.000000 0.000000 0.060000");
}

// Root: position 0 Y' 0, rotation 0 X' 0; unrotated joints: 0 0.06 0. The
// next line is the range start's frame as it is.
void tst_MotionWriter::referenceFrame()
{
    QFETCH(int, rangeStart);
    QFETCH(float, rootY);
    QFETCH(float, rootXDeg);
    QFETCH(QByteArray, nudged);
    const Fixture fixture;
    KvNode *hip = fixture.bone("hip");
    hip->getXPosControl()->setKey(rangeStart, 5.0f);
    hip->getZPosControl()->setKey(rangeStart, 7.0f);
    hip->getYPosControl()->setKey(rangeStart, rootY);
    hip->getXRotControl()->setKey(rangeStart, rootXDeg);
    hip->getYPosControl()->setKey(0, rangeStart > 0 ? 40.0f : rootY);
    hip->getXRotControl()->setKey(0, rangeStart > 0 ? 30.0f : rootXDeg);
    secondLifeOption = true;
    kvScene->setAnimRange({rangeStart, rangeStart + 160});
    const QByteArrayList lines = fixture.writeMotion().mid(3);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], "0.000000 " + nudged + " 0.000000 0.000000 0.060000 0.000000 0.000000 0.060000 0.000000 ");
    QVERIFY(lines[1].startsWith("5.000000 ")
            && lines[1].endsWith(" 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 "));
}

QTEST_GUILESS_MAIN(tst_MotionWriter)
#include "tst_motionwriter.moc"
