#include "motionfixture.h"

#include "kvproperty.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

using namespace motiontest;

class tst_Motion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { host = std::make_unique<Host>(); }
    void cleanup() { host.reset(); }
    void frameLine_data();
    void frameLine();
    void shortLastLine();
    void keyingJoint_data();
    void keyingJoint();
    void continuity_data();
    void continuity();

private:
    // Reads text, maps it (as readAndMap) and prepares the import.
    void start(CBvhIn &in, const QByteArray &text, const QStringList &map = {});

    std::unique_ptr<Host> host;
    KvSkeleton *skeleton = nullptr;
};

void tst_Motion::start(CBvhIn &in, const QByteArray &text, const QStringList &map)
{
    readAndMap(in, text, skeleton, map);
    in.numFrames = 100;
    in.frameTime = float(kvScene->getTimeStep() / 4800.0);
    in.prepareMotion();
    in.alignRestPose();
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
    const QByteArrayList two{"1 5 3 10 20 30", "2 7 4 11 21 31"};
    // The first height is subtracted; positions are scaled (by 2 here).
    QTest::newRow("six") << six << two << false << 2 << "2 2 4" << "Z X Y 11 21 31" << "-";
    QTest::newRow("in-place") << six << two << true << 2 << "0 2 0" << "Z X Y 11 21 31" << "-";
    QTest::newRow("order-yzx") << "Yrotation Zrotation Xrotation" << QByteArrayList{"40 -50 60"} << false << 1
                               << "-" << "Y Z X 40 -50 60" << "-";
    // Missing axes are 0 (1 for scale).
    QTest::newRow("missing-axes") << "Xposition Zrotation Xrotation" << QByteArrayList{"4 30 60"} << false << 1
                                  << "4 0 0" << "Z X Y 30 60 0" << "-";
    QTest::newRow("scale") << "Xscale Zscale" << QByteArrayList{"2 3"} << false << 1 << "-" << "-" << "2 1 3";
    // What is no finite number reads 0.
    QTest::newRow("not-finite") << six << QByteArrayList{"nan 0 inf -inf 1e39 NaN"} << false << 1
                                << "0 0 0" << "Z X Y 0 0 0" << "-";
    QTest::newRow("not-numbers") << six << QByteArrayList{"1x 0 ++1 +2 -.5 1e"} << false << 1
                                 << "0 0 0" << "Z X Y 2 -0.5 0" << "-";
    // Blank lines are no frames; a short line is one.
    QTest::newRow("blank-lines") << six << QByteArrayList{"", " \t ", "\t1e1\v0  -2.5E+0 \f1e-1\r 0 0 99", "\r"}
                                 << false << 1 << "10 0 -2.5" << "Z X Y 0.1 0 0" << "-";
    QTest::newRow("short-line") << six << QByteArrayList{"1 5"} << false << 1 << "1 0 0" << "-" << "-";
}

// A last line that stops before a joint's values keys nothing on that joint's
// bone, not even the rotation an unmapped joint above hands down.
void tst_Motion::shortLastLine()
{
    skeleton = addFigure({"hip", "chest<hip"});
    CBvhIn in;
    start(in, hierarchy({"hip", "x<hip", "chest<x"}), {"x="});
    in.applyFrameLine("1 2 3 10 20 30 40 50 60 70 80 90");
    in.applyFrameLine("1 2 3 11 21 31 41 51 61");
    const int t = kvScene->getTimeStep();
    int index = 0;
    QVERIFY(skeleton->findBone(QStringLiteral("hip"))->getControl(0)->findKeyAt(t, index));
    for (int c = 3; c < 6; ++c)
        QVERIFY(!skeleton->findBone(QStringLiteral("chest"))->getControl(c)->findKeyAt(t, index));
}

// One joint driving the figure's first bone: values land in their slots and
// rotations compose in the joint's own order.
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
    CBvhIn in;
    in.firstYSeen = true;  // left from another file
    in.firstYPosition = 99;
    start(in, hierarchy({QStringLiteral("hip:") + channels}));
    in.positionScale = 2.0f;
    for (const QByteArray &line : lines)
        in.applyFrameLine(line);

    const KvNode *hip = skeleton->findBone(QStringLiteral("hip"));
    const int t = (frames - 1) * kvScene->getTimeStep();
    QCOMPARE(kvScene->getTime(), frames * kvScene->getTimeStep());
    QCOMPARE(in.framesApplied, frames);
    const auto keyed = [&](int first) {
        int index = 0;
        return hip->getControl(first)->findKeyAt(t, index) && hip->getControl(first + 1)->findKeyAt(t, index)
            && hip->getControl(first + 2)->findKeyAt(t, index);
    };
    QCOMPARE(keyed(0), position != QLatin1String("-"));
    QCOMPARE(keyed(3), rotation != QLatin1String("-"));
    QCOMPARE(keyed(6), scale != QLatin1String("-"));
    if (position != QLatin1String("-"))
        QVERIFY2(kvtest::near(hip->getLocalPos(t), vec(position) * 2.0f, 1e-5),
                 qPrintable(kvtest::toString(hip->getLocalPos(t))));
    if (scale != QLatin1String("-"))
        QVERIFY(kvtest::near(hip->getLocalScale(t), vec(scale), 1e-6));
    if (rotation != QLatin1String("-")) {
        const QStringList r = rotation.split(QLatin1Char(' '));
        kvtest::Mat3 expected{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        for (int i = 0; i < 3; ++i) {
            const double angleRad = r[i + 3].toDouble() / degreesPerRadian;
            expected = kvtest::multiply(expected, kvtest::axisRotation(r[i].at(0).toLatin1() - 'X', angleRad));
        }
        QVERIFY2(angleDeg(toMat(hip->getWSRot(t)), expected) < 1e-4, qPrintable(kvtest::toString(hip->getWSRot(t))));
    }
}

void tst_Motion::keyingJoint_data()
{
    QTest::addColumn<QStringList>("joints");  // hierarchy entries
    QTest::addColumn<QStringList>("map");     // as readAndMap takes it
    QTest::addColumn<QStringList>("keys");    // "bone=joint": the bone turns as the joint in the file; "bone=": no key

    //   figure: hip ─ abdomen ─ chest ─ neck ─ head, and hip ─ lThigh
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
    // Without keyed bones below, the deepest joint keys.
    QTest::newRow("deepest-without-children") << QStringList{"hip", "neck<hip", "neck1<neck", "head<neck1"}
                                              << QStringList{"neck1=head"} << QStringList{"neck=neck", "head=head"};
    QTest::newRow("deepest-before-others") << QStringList{"root", "a<root", "aa<a", "b<root"}
                                           << QStringList{"root=", "a=", "aa=hip", "b=hip"} << QStringList{"hip=aa"};
    // No joint of the bone lies above both joints below, or two lie equally
    // deep: the last one keys.
    QTest::newRow("no-common-ancestor") << QStringList{"root", "a<root", "chest<a", "b<root", "lThigh<b"}
                                        << QStringList{"root=", "a=hip", "b=hip"} << QStringList{"hip=b", "lThigh=lThigh"};
    QTest::newRow("equally-deep") << QStringList{"root", "a<root", "b<root"} << QStringList{"root=", "a=hip", "b=hip"}
                                  << QStringList{"hip=b"};
    // Switched-off joints neither key nor turn the joints below.
    QTest::newRow("switched-off") << QStringList{"hip", "x<hip", "chest<x", "head<chest"}
                                  << QStringList{"x=", "!x", "head=neck", "!head"}
                                  << QStringList{"hip=hip", "chest=chest", "neck="};
}

// Each bone turns in the world as its keying joint does in the file (the
// figure's rest pose is the file's, so no rest rotation stands between them).
void tst_Motion::keyingJoint()
{
    QFETCH(QStringList, joints);
    QFETCH(QStringList, map);
    QFETCH(QStringList, keys);

    skeleton = addFigure({"hip", "abdomen<hip", "chest<abdomen", "neck<chest", "head<neck", "lThigh<hip"});
    const QByteArray text = hierarchy(joints);
    CBvhIn in;
    start(in, text, map);
    QByteArray frame;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type >= Xposition)
            frame += QByteArray::number((frame.size() * 37) % 90 - 45) + ' ';
    }
    in.applyFrameLine(frame);

    // The file's pose with the switched-off joints held still.
    kvtest::TextbookBvh bvh;
    QVERIFY(kvtest::readTextbookBvh(text + "Frames: 1\nFrame Time: 0.1\n" + frame.trimmed() + "\n", bvh, nullptr));
    for (const kvtest::TextbookJoint &j : bvh.joints) {
        if (map.contains(QLatin1Char('!') + j.name))
            std::fill_n(bvh.frames[0].begin() + j.firstChannel, j.channels.size(), 0.0);
    }
    const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, 0);
    for (const QString &key : keys) {
        const KvNode *node = skeleton->findBone(key.section(QLatin1Char('='), 0, 0));
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
    QTest::newRow("root") << "hip" << 3 << false << turning << QList<float>{170, 179, 181, 190, 179};
    QTest::newRow("several-turns") << "hip" << 1 << false << QList<float>{0, 120, -120, 0, 120, -120, 0}
                                   << QList<float>{0, 120, 240, 360, 480, 600, 720};
    QTest::newRow("not-the-root") << "chest" << 1 << false << turning << turning;
    QTest::newRow("clamped") << "hip" << 1 << true << turning << turning;
    // At time 0 nothing came before; the key at time 0 counts for the next.
    QTest::newRow("time-zero") << "hip" << 0 << false << QList<float>{179, -179} << QList<float>{179, 181};
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
    KvFloatProperty *control = skeleton->findBone(bone)->getYRotControl();
    control->setLimits(-1000, 1000);
    control->setIsClamped(clamped);
    limitsOption = clamped;
    CBvhIn in;
    start(in, hierarchy({"hip:Yrotation", "chest<hip:Yrotation"}));
    // Before the import's first frame: never a previous frame of it.
    control->setKey(-step, 179);
    for (float angle : angles)
        in.applyFrameLine(bone == QLatin1String("hip") ? QByteArray::number(angle) + " 0" : "0 " + QByteArray::number(angle));
    QList<float> keys;
    for (int f = 0; f < angles.size(); ++f)
        keys += std::round(control->getValue((startFrame + f) * step) * 1000) / 1000;
    QCOMPARE(keys, expected);
}

QTEST_GUILESS_MAIN(tst_Motion)
#include "tst_motion.moc"
