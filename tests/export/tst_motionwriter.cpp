#include "bvhout.h"
#include "bvhstate.h"
#include "exportfixture.h"
#include "exportoptions.h"

#include "kvapp.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"
#include "testsupport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_MotionWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void section_data();
    void section();
    void frameLines();
    void referenceFrame_data();
    void referenceFrame();

private:
    KvNode *bone(const char *name) const { return figure->findBone(QString::fromLatin1(name)); }
    // Writes the motion of hip, abdomen and chest (lThigh switched off)
    // over the scene's range; returns the lines after the three header lines.
    QByteArrayList writeMotion(QByteArrayList *header = nullptr);

    QTemporaryDir dir;
    std::unique_ptr<KvApp> app;
    KvSkeleton *figure = nullptr;
};

//   figure ── hip ─┬─ abdomen (YXZ) ── chest (ZYX)
//                  └─ lThigh (switched off)
void tst_MotionWriter::init()
{
    app = std::make_unique<KvApp>(dir.filePath(QStringLiteral("settings.ini")), false);
    figure = exporttest::figure(QStringLiteral("figure"), {"hip:", "abdomen:hip", "chest:abdomen", "lThigh:hip"}).release();
    QVERIFY(figure);
    kvScene->addNode(figure);
    bone("abdomen")->setRotationOrder(KvRotationOrder(KvRotationOrder::YXZ));
    bone("chest")->setRotationOrder(KvRotationOrder(KvRotationOrder::ZYX));
    const char *const names[] = {"hip", "abdomen", "chest", "lThigh"};
    const int levels[] = {1, 2, 3, 2};
    for (int i = 0; i < 4; ++i) {
        auto record = std::make_unique<CSkelHeader>();
        record->bone = bone(names[i]);
        record->level = levels[i];
        record->exportFlag = i != 3;
        bvhState().skeletonList.append(std::move(record));
    }
}

void tst_MotionWriter::cleanup()
{
    bvhState().clearLists();
    secondLifeOption = false;
    app.reset();
}

QByteArrayList tst_MotionWriter::writeMotion(QByteArrayList *header)
{
    CBvhOut out;
    out.computeFrameCount();
    out.startFrames();
    kvApp->startProgress(QStringLiteral("test"), 1000, false, false);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    out.writeMotion(&buffer);

    QByteArrayList lines = buffer.data().split('\n');
    if (lines.size() < 4 || !lines.last().isEmpty())
        return {"malformed: " + buffer.data()};
    lines.removeLast();
    if (header)
        *header = lines.mid(0, 3);
    return lines.mid(3);
}

void tst_MotionWriter::section_data()
{
    QTest::addColumn<bool>("secondLife");
    QTest::addColumn<KvTimeRange>("range");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QByteArray>("frameTime");

    QTest::newRow("thirty") << false << KvTimeRange(0, 4800) << 160 << 30 << QByteArray("0.0333333");
    QTest::newRow("thirty-second-life") << true << KvTimeRange(0, 4800) << 160 << 30 << QByteArray("0.0333333");
    QTest::newRow("empty-range") << false << KvTimeRange(0, 0) << 160 << 0 << QByteArray("0.0333333");
    QTest::newRow("empty-range-second-life") << true << KvTimeRange(0, 0) << 160 << 0 << QByteArray("0.0333333");
    QTest::newRow("step-200") << false << KvTimeRange(0, 4800) << 200 << 24 << QByteArray("0.0416667");
    QTest::newRow("late-start") << false << KvTimeRange(480, 4800) << 160 << 27 << QByteArray("0.0333333");
    QTest::newRow("start-between-steps") << false << KvTimeRange(100, 4879) << 160 << 30 << QByteArray("0.0333333");
    QTest::newRow("one-second-step") << false << KvTimeRange(0, 9600) << 4800 << 2 << QByteArray("1");
    QTest::newRow("inverted-range") << true << KvTimeRange(4800, 0) << 160 << 0 << QByteArray("0.0333333");
}

void tst_MotionWriter::section()
{
    QFETCH(bool, secondLife);
    QFETCH(KvTimeRange, range);
    QFETCH(int, step);
    QFETCH(int, frames);
    QFETCH(QByteArray, frameTime);

    secondLifeOption = secondLife;
    kvScene->setAnimRange(range);
    kvScene->setTimeStep(step);
    QByteArrayList header;
    const QByteArrayList lines = writeMotion(&header);

    // The Frames value counts the reference frame, so it always tells the
    // number of lines that follow.
    const int lineCount = frames + (secondLife ? 1 : 0);
    QCOMPARE(header, QByteArrayList({"MOTION", "Frames:\t" + QByteArray::number(lineCount), "Frame Time:\t" + frameTime}));
    QCOMPARE(lines.size(), lineCount);
    for (const QByteArray &line : lines)
        QCOMPARE(line.split(' ').size(), 6 + 3 + 3 + 1);  // ends in a blank
    QCOMPARE(kvApp->progressValue(), frames);
}

// Frame i is sampled at range start + i steps; values go out as position,
// then Z, X, Y rotation in degrees.
void tst_MotionWriter::frameLines()
{
    for (int n = 0; n <= 10; ++n) {
        const int t = n * 160;
        bone("hip")->getXPosControl()->setKey(t, float(n));
        bone("hip")->getYPosControl()->setKey(t, 40.0f + n / 4.0f);
        bone("hip")->getZPosControl()->setKey(t, -0.5f * n);
        bone("abdomen")->getXRotControl()->setKey(t, 10.0f + n);
        bone("abdomen")->getYRotControl()->setKey(t, -20.0f);
        bone("abdomen")->getZRotControl()->setKey(t, 30.0f);
        bone("chest")->getYRotControl()->setKey(t, 5.0f * n);
        bone("lThigh")->getXRotControl()->setKey(t, 45.0f);
    }
    kvScene->setAnimRange({480, 960});
    kvScene->setTime(1234);
    const QByteArrayList lines = writeMotion();
    QCOMPARE(lines.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const int n = 3 + i;
        const QByteArrayList fields = lines[i].split(' ');
        QCOMPARE(fields.size(), 13);
        QCOMPARE(fields.last(), QByteArray());
        const QByteArrayList position = fields.mid(0, 3);
        QCOMPARE(position, QByteArrayList({QByteArray::number(n) + ".000000", QByteArray::number(40.0 + n / 4.0, 'f', 6),
                                           QByteArray::number(-0.5 * n, 'f', 6)}));
        const double expectedDeg[] = {0, 0, 0, 30, 10.0 + n, -20, 0, 0, 5.0 * n};
        for (int k = 0; k < 9; ++k) {
            const double written = fields[3 + k].toDouble();
            QVERIFY2(kvtest::near(written, expectedDeg[k], 1e-3),
                     qPrintable(QStringLiteral("frame %1 value %2: %3").arg(n).arg(3 + k).arg(written)));
        }
    }
    QCOMPARE(kvScene->getTime(), 480);  // the writer samples by time; startFrames moved the clock
}

void tst_MotionWriter::referenceFrame_data()
{
    QTest::addColumn<int>("rangeStart");
    QTest::addColumn<float>("rootY");
    QTest::addColumn<float>("rootXDeg");
    QTest::addColumn<QByteArray>("nudgedY");
    QTest::addColumn<QByteArray>("nudgedX");

    QTest::newRow("at-rest") << 0 << 0.0f << 0.0f << QByteArray("0.002000") << QByteArray("0.060000");
    QTest::newRow("height-at-limit") << 0 << 0.002f << 0.0f << QByteArray("0.004000") << QByteArray("0.060000");
    QTest::newRow("height-at-minus-limit") << 0 << -0.002f << 0.0f << QByteArray("0.000000") << QByteArray("0.060000");
    QTest::newRow("height-above-limit") << 0 << 0.0021f << 0.0f << QByteArray("0.000000") << QByteArray("0.060000");
    QTest::newRow("height-40") << 0 << 40.0f << 0.0f << QByteArray("0.000000") << QByteArray("0.060000");
    QTest::newRow("angle-inside") << 0 << 0.0f << 0.05f << QByteArray("0.002000") << QByteArray("0.110000");
    QTest::newRow("angle-negative") << 0 << 0.0f << -0.05f << QByteArray("0.002000") << QByteArray("0.010000");
    QTest::newRow("angle-outside") << 0 << 0.0f << 0.07f << QByteArray("0.002000") << QByteArray("0.000000");
    // Time 0 holds height 40 and 30 degrees; the range starts elsewhere.
    QTest::newRow("from-range-start") << 480 << 0.0f << 0.0f << QByteArray("0.002000") << QByteArray("0.060000");
}

void tst_MotionWriter::referenceFrame()
{
    QFETCH(int, rangeStart);
    QFETCH(float, rootY);
    QFETCH(float, rootXDeg);
    QFETCH(QByteArray, nudgedY);
    QFETCH(QByteArray, nudgedX);

    KvNode *hip = bone("hip");
    hip->getXPosControl()->setKey(rangeStart, 5.0f);
    hip->getZPosControl()->setKey(rangeStart, 7.0f);
    hip->getYPosControl()->setKey(rangeStart, rootY);
    hip->getXRotControl()->setKey(rangeStart, rootXDeg);
    if (rangeStart > 0) {
        hip->getYPosControl()->setKey(0, 40.0f);
        hip->getXRotControl()->setKey(0, 30.0f);
    }
    secondLifeOption = true;
    kvScene->setAnimRange({rangeStart, rangeStart + 160});
    const QByteArrayList lines = writeMotion();
    QCOMPARE(lines.size(), 2);
    // Root: position 0 Y' 0, rotation 0 X' 0; unrotated joints: 0 0.06 0.
    QCOMPARE(lines[0], "0.000000 " + nudgedY + " 0.000000 0.000000 " + nudgedX
                           + " 0.000000 0.000000 0.060000 0.000000 0.000000 0.060000 0.000000 ");
    QVERIFY(lines[1].endsWith(" 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 "));
}

QTEST_GUILESS_MAIN(tst_MotionWriter)
#include "tst_motionwriter.moc"
