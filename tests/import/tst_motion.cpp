#include "motionfixture.h"

#include "kvapp.h"
#include "kvproperty.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

using kvtest::Mat3;

using namespace motiontest;
using kvtest::Mat3;

class tst_Motion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void frameLine_data();
    void frameLine();
    void keyingJoint_data();
    void keyingJoint();
    void continuity_data();
    void continuity();

private:
    // Reads text, maps it (as readAndMap) and prepares the import.
    void start(const QByteArray &text, const QStringList &map = {});
    KvNode *bone(const QString &name) const { return skeleton->findBone(name); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
    std::unique_ptr<CBvhIn> in;
    KvSkeleton *skeleton = nullptr;
};

void tst_Motion::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    in = std::make_unique<CBvhIn>();
    frameOption = true;
    inPlaceOption = false;
    limitsOption = false;
}

void tst_Motion::cleanup()
{
    bvhState().clearLists();
    in.reset();
    app.reset();
    dir.reset();
}

void tst_Motion::start(const QByteArray &text, const QStringList &map)
{
    readAndMap(*in, text, skeleton, map);
    in->numFrames = 100;
    in->frameTime = float(kvScene->getTimeStep() / 4800.0);
    in->prepareMotion();
    in->alignRestPose();
}

void tst_Motion::frameLine_data()
{
    QTest::addColumn<QString>("channels");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<int>("frames");          // lines that count as frames
    QTest::addColumn<QString>("position");    // expected local position at the last frame, "-": not keyed
    QTest::addColumn<QString>("rotation");    // "A B C a b c": textbook R_A(a) R_B(b) R_C(c); "-": not keyed
    QTest::addColumn<QString>("scale");       // "-": not keyed

    const QString six = QStringLiteral("Xposition Yposition Zposition Zrotation Xrotation Yrotation");
    QTest::newRow("six") << six << QByteArrayList{"1 5 3 10 20 30", "2 7 4 11 21 31"} << false << 2
                         << "2 2 4" << "Z X Y 11 21 31" << "-";
    QTest::newRow("in-place") << six << QByteArrayList{"1 5 3 10 20 30", "2 7 4 11 21 31"} << true << 2
                              << "0 2 0" << "Z X Y 11 21 31" << "-";
    QTest::newRow("order-xyz") << "Xrotation Yrotation Zrotation" << QByteArrayList{"40 -50 60"} << false << 1
                               << "-" << "X Y Z 40 -50 60" << "-";
    QTest::newRow("order-yzx") << "Yrotation Zrotation Xrotation" << QByteArrayList{"40 -50 60"} << false << 1
                               << "-" << "Y Z X 40 -50 60" << "-";
    // Missing axes are 0, for every joint of a line alike.
    QTest::newRow("two-rotations") << "Zrotation Xrotation" << QByteArrayList{"30 60"} << false << 1
                                   << "-" << "Z X Y 30 60 0" << "-";
    QTest::newRow("x-position-only") << "Xposition Zrotation" << QByteArrayList{"4 30"} << false << 1
                                     << "4 0 0" << "Z X Y 30 0 0" << "-";
    QTest::newRow("scale") << "Xscale Zscale" << QByteArrayList{"2 3"} << false << 1 << "-" << "-" << "2 1 3";
    // What is no finite number reads 0.
    QTest::newRow("not-finite") << six << QByteArrayList{"nan 0 inf -inf 1e39 NaN"} << false << 1
                                << "0 0 0" << "Z X Y 0 0 0" << "-";
    QTest::newRow("not-numbers") << six << QByteArrayList{"1x 0 ++1 +2 -.5 1e"} << false << 1
                                 << "0 0 0" << "Z X Y 2 -0.5 0" << "-";
    QTest::newRow("tabs-and-exponents") << six << QByteArrayList{"\t1e1\v0  -2.5E+0 \f1e-1\r 0 0 "} << false << 1
                                        << "10 0 -2.5" << "Z X Y 0.1 0 0" << "-";
    // Blank lines are no frames; a short line is one.
    QTest::newRow("blank-lines") << six << QByteArrayList{"", " \t ", "1 5 3 10 20 30", "\r"} << false << 1
                                 << "1 0 3" << "Z X Y 10 20 30" << "-";
    QTest::newRow("short-line") << six << QByteArrayList{"1 5"} << false << 1 << "1 0 0" << "-" << "-";
    QTest::newRow("long-line") << six << QByteArrayList{"1 5 3 10 20 30 99 99"} << false << 1
                               << "1 0 3" << "Z X Y 10 20 30" << "-";
}

// One joint driving the figure's first bone: values land in their slots, the
// first height is subtracted, rotations compose in the joint's own order.
void tst_Motion::frameLine()
{
    QFETCH(QString, channels);
    QFETCH(QByteArrayList, lines);
    QFETCH(bool, inPlace);
    QFETCH(int, frames);
    QFETCH(QString, position);
    QFETCH(QString, rotation);
    QFETCH(QString, scale);

    skeleton = addFigure({QStringLiteral("hip")}, KvRotationOrder::ZXY);
    inPlaceOption = inPlace;
    start(hierarchy({QStringLiteral("hip:") + channels}));
    in->positionScale = 2.0f;
    KvNode *hip = bone(QStringLiteral("hip"));
    for (const QByteArray &line : lines)
        in->applyFrameLine(line);

    const int step = kvScene->getTimeStep();
    QCOMPARE(kvScene->getTime(), frames * step);
    QCOMPARE(in->framesApplied, frames);
    const int t = (frames - 1) * step;
    const auto keyed = [&](int first) {
        for (int c = first; c < first + 3; ++c) {
            int index = 0;
            if (!hip->getControl(c)->findKeyAt(t, index))
                return false;
        }
        return true;
    };
    QCOMPARE(keyed(0), position != QLatin1String("-"));
    QCOMPARE(keyed(3), rotation != QLatin1String("-"));
    QCOMPARE(keyed(6), scale != QLatin1String("-"));
    const auto vec = [](const QString &text) {
        const QStringList v = text.split(QLatin1Char(' '));
        return KvVec3(v[0].toFloat(), v[1].toFloat(), v[2].toFloat());
    };
    if (position != QLatin1String("-"))
        QVERIFY2(kvtest::near(hip->getLocalPos(t), vec(position) * 2.0f, 1e-5), qPrintable(kvtest::toString(hip->getLocalPos(t))));
    if (scale != QLatin1String("-"))
        QVERIFY(kvtest::near(hip->getLocalScale(t), vec(scale), 1e-6));
    if (rotation != QLatin1String("-")) {
        const QStringList r = rotation.split(QLatin1Char(' '));
        Mat3 expected{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        for (int i = 0; i < 3; ++i)
            expected = kvtest::multiply(expected, kvtest::axisRotation(r[i].at(0).toLatin1() - 'X', r[i + 3].toDouble() / degreesPerRadian));
        QVERIFY2(angleDeg(toMat(hip->getWSRot(t)), expected) < 1e-4, qPrintable(kvtest::toString(hip->getWSRot(t))));
    }
}

void tst_Motion::keyingJoint_data()
{
    QTest::addColumn<QStringList>("joints");  // hierarchy entries
    QTest::addColumn<QStringList>("map");     // as start() takes it
    QTest::addColumn<QStringList>("keys");    // "bone=joint": the bone turns as the joint does in the file

    //   figure: hip ─ abdomen ─ chest ─ neck ─ head, and hip ─ lThigh
    const QStringList chain{"hip", "abdomen<hip", "chest<abdomen", "neck<chest", "head<neck"};
    QTest::newRow("one-to-one") << chain << QStringList{} << QStringList{"hip=hip", "chest=chest", "head=head"};
    // Rotations of joints that key nothing reach the joints below them.
    QTest::newRow("unmapped-between") << QStringList{"hip", "x<hip", "y<x", "chest<y"} << QStringList{"x=", "y="}
                                      << QStringList{"hip=hip", "chest=chest"};
    QTest::newRow("mapped-to-figure-node") << QStringList{"top", "hip<top", "chest<hip"} << QStringList{"top=*"}
                                           << QStringList{"hip=hip", "chest=chest"};
    // A joint holding its ancestor's bone: the ancestor keys, the joint's
    // rotation goes on to its children (a hip joint between hips and thigh).
    QTest::newRow("ancestor-bone") << QStringList{"hips", "hipjoint<hips", "thigh<hipjoint", "back<hips", "chest<back"}
                                   << QStringList{"hips=hip", "hipjoint=hip", "thigh=lThigh", "back=hip"}
                                   << QStringList{"hip=hips", "lThigh=thigh", "chest=chest"};
    // Without keyed bones below, the deepest joint keys (neck1 and head both on head).
    QTest::newRow("deepest-without-children") << QStringList{"hip", "neck<hip", "neck1<neck", "head<neck1"}
                                              << QStringList{"neck1=head"} << QStringList{"neck=neck", "head=head"};
    // No joint of the bone lies above both joints below: the last one keys.
    QTest::newRow("no-common-ancestor")
        << QStringList{"root", "a<root", "chest<a", "b<root", "lThigh<b"} << QStringList{"root=", "a=hip", "b=hip"}
        << QStringList{"hip=b", "lThigh=lThigh"};
    // Switched-off joints neither key nor turn the joints below.
    QTest::newRow("switched-off") << QStringList{"hip", "x<hip", "chest<x"} << QStringList{"x=", "!x"}
                                  << QStringList{"hip=hip", "chest=chest"};
    QTest::newRow("switched-off-deepest") << QStringList{"hip", "neck<hip", "head<neck"}
                                          << QStringList{"neck=head", "!head"} << QStringList{"head=neck", "neck="};
}

// Several joints per bone, unmapped joints and joints switched off: each bone
// turns in the world as its keying joint does in the file (the figure's rest
// pose is the file's, so no rest rotation stands between them).
void tst_Motion::keyingJoint()
{
    QFETCH(QStringList, joints);
    QFETCH(QStringList, map);
    QFETCH(QStringList, keys);

    skeleton = addFigure({"hip", "abdomen<hip", "chest<abdomen", "neck<chest", "head<neck", "lThigh<hip"});
    const QByteArray text = hierarchy(joints);
    start(text, map);
    kvtest::TextbookBvh bvh;
    QByteArray frame;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type >= Xposition)
            frame += QByteArray::number((frame.size() * 37) % 90 - 45) + ' ';
    }
    in->applyFrameLine(frame);

    // The file's pose with the switched-off joints held still.
    QVERIFY(kvtest::readTextbookBvh(text + "Frames: 1\nFrame Time: 0.1\n" + frame.trimmed() + "\n", bvh, nullptr));
    for (const QString &entry : map) {
        if (!entry.startsWith(QLatin1Char('!')))
            continue;
        for (const kvtest::TextbookJoint &j : bvh.joints) {
            if (j.name == entry.mid(1)) {
                for (int c = 0; c < j.channels.size(); ++c)
                    bvh.frames[0][size_t(j.firstChannel + c)] = 0;
            }
        }
    }
    const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, 0);
    for (const QString &key : keys) {
        KvNode *node = bone(key.section(QLatin1Char('='), 0, 0));
        const QString joint = key.section(QLatin1Char('='), 1);
        int index = 0;
        QCOMPARE(node->getXRotControl()->findKeyAt(0, index), !joint.isEmpty());
        for (size_t j = 0; j < bvh.joints.size(); ++j) {
            if (bvh.joints[j].name == joint)
                QVERIFY2(angleDeg(toMat(node->getWSRot(0)), pose.rotation[j]) < 1e-3, qPrintable(key));
        }
    }
}

void tst_Motion::continuity_data()
{
    QTest::addColumn<QString>("bone");
    QTest::addColumn<int>("startFrame");
    QTest::addColumn<bool>("clamped");
    QTest::addColumn<QList<float>>("angles");    // Y rotations of the file's lines
    QTest::addColumn<QList<float>>("expected");  // Y keys

    const QList<float> turning{170, 179, -179, -170, -181 + 360};
    QTest::newRow("root") << "hip" << 0 << false << turning << QList<float>{170, 179, 181, 190, 179};
    QTest::newRow("root-later") << "hip" << 3 << false << turning << QList<float>{170, 179, 181, 190, 179};
    QTest::newRow("several-turns") << "hip" << 0 << false << QList<float>{0, 120, -120, 0, 120, -120, 0}
                                   << QList<float>{0, 120, 240, 360, 480, 600, 720};
    QTest::newRow("not-the-root") << "chest" << 0 << false << turning << turning;
    QTest::newRow("clamped") << "hip" << 0 << true << turning << turning;
    // At time 0 nothing came before.
    QTest::newRow("time-zero") << "hip" << 0 << false << QList<float>{-179} << QList<float>{-179};
}

// The root's angles keep turning the same way instead of jumping by a whole
// turn, which interpolation would play back as a spin.
void tst_Motion::continuity()
{
    QFETCH(QString, bone);
    QFETCH(int, startFrame);
    QFETCH(bool, clamped);
    QFETCH(QList<float>, angles);
    QFETCH(QList<float>, expected);

    skeleton = addFigure({"hip", "chest<hip"}, KvRotationOrder::YXZ);
    const int step = kvScene->getTimeStep();
    kvScene->setTime(startFrame * step);
    KvNode *node = this->bone(bone);
    if (clamped) {
        node->getYRotControl()->setLimits(-1000, 1000);
        node->getYRotControl()->setIsClamped(true);
    }
    limitsOption = clamped;
    start(hierarchy({"hip:Yrotation", "chest<hip:Yrotation"}));
    // Before the import's first frame: never a previous frame of it.
    node->getYRotControl()->setKey(-step, 179);
    for (float angle : angles) {
        const QByteArray value = QByteArray::number(angle);
        in->applyFrameLine(bone == QLatin1String("hip") ? value + " 0" : "0 " + value);
    }
    QList<float> keys;
    for (int f = 0; f < angles.size(); ++f)
        keys += std::round(node->getYRotControl()->getValue((startFrame + f) * step) * 1000) / 1000;
    QCOMPARE(keys, expected);
}

QTEST_GUILESS_MAIN(tst_Motion)
#include "tst_motion.moc"
