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
    QTest::addColumn<QString>("position");  // expected local position at the last frame, "-": not keyed
    QTest::addColumn<QString>("rotation");  // "A B C a b c": textbook R_A(a) R_B(b) R_C(c); "-": not keyed
    QTest::addColumn<QString>("scale");     // "-": not keyed

    const QString six = QStringLiteral("Xposition Yposition Zposition Zrotation Xrotation Yrotation");
    const QByteArrayList two{"1 5 3 10 20 30", "2 7 4 11 21 31"};
    // The first height is subtracted; positions are scaled (by 2 here).
    QTest::newRow("six") << six << two << false << "2 2 4" << "Z X Y 11 21 31" << "-";
    QTest::newRow("in-place") << six << two << true << "0 2 0" << "Z X Y 11 21 31" << "-";
    QTest::newRow("order-yzx") << "Yrotation Zrotation Xrotation" << QByteArrayList{"40 -50 60"} << false << "-"
                               << "Y Z X 40 -50 60" << "-";
    // Missing axes are 0 (1 for scale).
    QTest::newRow("missing-axes") << "Xposition Zrotation Xrotation Xscale Zscale" << QByteArrayList{"4 30 60 2 3"} << false
                                  << "4 0 0" << "Z X Y 30 60 0" << "2 1 3";
    // Blank lines are no frames; what is no finite number reads 0.
    QTest::newRow("odd-text") << six << QByteArrayList{"", " \t ", "\t1e1\v++1  -2.5E+0 \fnan\r +2E0 1x 99", "\r"}
                              << false << "10 0 -2.5" << "Z X Y 0 2 0" << "-";
}

// One joint driving the figure's first bone: values land in their slots and
// rotations compose in the joint's own order.
void tst_Motion::frameLine()
{
    QFETCH(QString, channels);
    QFETCH(QByteArrayList, lines);
    QFETCH(bool, inPlace);
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

    const auto counts = [](const QByteArray &line) { return !line.trimmed().isEmpty(); };
    const int frames = int(std::count_if(lines.cbegin(), lines.cend(), counts));
    QCOMPARE(in.framesApplied, frames);
    const KvNode *hip = skeleton->findBone(QStringLiteral("hip"));
    const int t = (frames - 1) * kvScene->getTimeStep();
    const QStringList expected{position, rotation, scale};
    int index = 0;
    for (int c = 0; c < 9; ++c)
        QCOMPARE(hip->getControl(c)->findKeyAt(t, index), expected[c / 3] != QLatin1String("-"));
    if (position != QLatin1String("-"))
        QVERIFY(kvtest::near(hip->getLocalPos(t), vec(position) * 2.0f, 1e-5));
    if (scale != QLatin1String("-"))
        QVERIFY(kvtest::near(hip->getLocalScale(t), vec(scale), 1e-6));
    if (rotation != QLatin1String("-")) {
        const QStringList r = rotation.split(QLatin1Char(' '));
        kvtest::Mat3 textbook{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        for (int i = 0; i < 3; ++i) {
            const int axis = r[i].at(0).toLatin1() - 'X';
            textbook = kvtest::multiply(textbook, kvtest::axisRotation(axis, r[i + 3].toDouble() / degreesPerRadian));
        }
        QVERIFY2(angleDeg(toMat(hip->getWSRot(t)), textbook) < 1e-4, qPrintable(kvtest::toString(hip->getWSRot(t))));
    }
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
    // Switched-off joints neither key nor turn the joints below.
    QTest::newRow("switched-off") << QStringList{"hip", "x<hip", "chest<x", "head<chest"}
                                  << QStringList{"x=", "!x", "head=neck", "!head"}
                                  << QStringList{"hip=hip", "chest=chest", "neck="};
    // Positions below the root restate offsets in the file's proportions.
    QTest::newRow("positions-below-root")
        << QStringList{"hip", "chest<hip:Xposition Yposition Zposition Zrotation Xrotation Yrotation"} << QStringList{}
        << QStringList{"hip=hip", "chest=chest"};
}

// Each bone turns in the world as its keying joint does in the file (the
// figure's rest pose is the file's, so no rest rotation stands between them);
// only the first bone moves.
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
        if (node != skeleton->getNodeChild(0))
            QVERIFY2(!node->getXPosControl()->findKeyAt(0, index), qPrintable(key));
        for (size_t j = 0; j < bvh.joints.size(); ++j) {
            if (bvh.joints[j].name == joint)
                QVERIFY2(angleDeg(toMat(node->getWSRot(0)), pose.rotation[j]) < 1e-3, qPrintable(key));
        }
    }
}

void tst_Motion::continuity_data()
{
    QTest::addColumn<int>("startFrame");
    QTest::addColumn<QList<float>>("angles");    // Y rotations of both joints on the file's lines
    QTest::addColumn<QList<float>>("expected");  // the root's Y keys

    QTest::newRow("root") << 3 << QList<float>{170, 179, -179, -170, -181 + 360} << QList<float>{170, 179, 181, 190, 179};
    QTest::newRow("several-turns") << 1 << QList<float>{0, 120, -120, 0, 120, -120, 0}
                                   << QList<float>{0, 120, 240, 360, 480, 600, 720};
    // At time 0 nothing came before; the key at time 0 counts for the next.
    QTest::newRow("time-zero") << 0 << QList<float>{179, -179} << QList<float>{179, 181};
}

// The root's angles keep turning the same way instead of jumping by a whole
// turn, which interpolation would play back as a spin; a child's stay as the
// file has them.
void tst_Motion::continuity()
{
    QFETCH(int, startFrame);
    QFETCH(QList<float>, angles);
    QFETCH(QList<float>, expected);

    skeleton = addFigure({"hip", "chest<hip"}, KvRotationOrder::YXZ);
    const int step = kvScene->getTimeStep();
    kvScene->setTime(startFrame * step);
    KvFloatProperty *hip = skeleton->findBone(QStringLiteral("hip"))->getYRotControl();
    KvFloatProperty *chest = skeleton->findBone(QStringLiteral("chest"))->getYRotControl();
    CBvhIn in;
    start(in, hierarchy({"hip:Yrotation", "chest<hip:Yrotation"}));
    // Before the import's first frame: never a previous frame of it.
    hip->setKey(-step, 179);
    for (float angle : angles)
        in.applyFrameLine(QByteArray::number(angle) + ' ' + QByteArray::number(angle));
    QList<float> hipKeys;
    QList<float> chestKeys;
    for (int f = 0; f < angles.size(); ++f) {
        hipKeys += std::round(hip->getValue((startFrame + f) * step) * 1000) / 1000;
        chestKeys += std::round(chest->getValue((startFrame + f) * step) * 1000) / 1000;
    }
    QCOMPARE(hipKeys, expected);
    QCOMPARE(chestKeys, angles);
}

QTEST_GUILESS_MAIN(tst_Motion)
#include "tst_motion.moc"
