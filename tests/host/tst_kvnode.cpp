#include "kvnode.h"

#include "kvfigurebuilder.h"
#include "kvproperty.h"
#include "kvscene.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

Q_DECLARE_METATYPE(KvVec3)
Q_DECLARE_METATYPE(KvVec3d)

namespace {

constexpr double pi = 3.14159265358979323846;

// Root "r" at (1, 2, 3) moved by (10, 0, 0) and turned 90 degrees about Z;
// "j" above it turns X 90 then Y 90 (line "Z X Y", so Y applies first); "k"
// sits 5 along Z from "j". By hand: j = (1, 2, 3), k = (1, 7, 3); with the
// channel matrices multiplied the wrong way round k = (6, 2, 3). Lone CRs.
const char handMadeBvh[] =
    "HIERARCHY\rROOT r\r{\r  OFFSET 1 2 3\r"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Yrotation Xrotation\r"
    "  JOINT j\r  {\r    OFFSET 0 10 0\r    CHANNELS 3 Zrotation Xrotation Yrotation\r"
    "    JOINT k\r    {\r      OFFSET 0 0 5\r      CHANNELS 3 Zrotation Yrotation Xrotation\r"
    "      End Site\r      {\r        OFFSET 0 1 0\r      }\r    }\r  }\r}\r"
    "MOTION\rFrames: 1\rFrame Time: 0.1\r10 0 0 90 0 0 0 90 90 0 0 0\r";

KvVec3d toVec(const kvtest::Vec3 &v)
{
    return {v[0], v[1], v[2]};
}

double degToRad(double deg)
{
    return deg * pi / 180.0;
}

// One chain keyed by hand:
//   a (node, no parent; origin (1,0,0), keyed pos (0,0,5), Z 90 at 0, Z 0 at 320)
//   +- b (origin (1,2,0), X 90)
//      +- c (origin (1,2,3))
struct Chain
{
    KvScene scene;
    KvNode *a = new KvNode(QStringLiteral("a"));
    KvNode *b = new KvNode(QStringLiteral("b"));
    KvNode *c = new KvNode(QStringLiteral("c"));

    Chain()
    {
        a->setOrigin({1, 0, 0});
        b->setOrigin({1, 2, 0});
        c->setOrigin({1, 2, 3});
        c->setEndPoint({1, 2, 4});
        a->addChild(b);
        b->addChild(c);
        scene.addNode(a);
        a->setLocalPos({0, 0, 5});
        a->getZRotControl()->setCurrentValue(90.0f);
        b->getXRotControl()->setCurrentValue(90.0f);
        scene.setTime(320);
        a->getZRotControl()->setCurrentValue(0.0f);
        scene.setTime(0);
    }
};

} // namespace

class tst_KvNode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void worldPositions_data();
    void worldPositions();
    void keyingAtCurrentTime();
    void setWSRot();
    void scale_data();
    void scale();
    void clearing();

    void textbookReference();
    void matchesTextbookKinematics_data();
    void matchesTextbookKinematics();
};

void tst_KvNode::worldPositions_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<KvVec3d>("a");
    QTest::addColumn<KvVec3d>("b");
    QTest::addColumn<KvVec3d>("c");
    QTest::newRow("turned") << 0 << KvVec3d(1, 0, 5) << KvVec3d(-1, 0, 5) << KvVec3d(2, 0, 5);
    QTest::newRow("straight") << 320 << KvVec3d(1, 0, 5) << KvVec3d(1, 2, 5) << KvVec3d(1, -1, 5);
    const double h = std::sqrt(0.5);
    QTest::newRow("halfway") << 160 << KvVec3d(1, 0, 5) << KvVec3d(1 - 2 * h, 2 * h, 5)
                             << KvVec3d(1 - 2 * h + 3 * h, 2 * h - 3 * h, 5);
}

void tst_KvNode::worldPositions()
{
    QFETCH(int, time);
    QFETCH(KvVec3d, a);
    QFETCH(KvVec3d, b);
    QFETCH(KvVec3d, c);
    Chain chain;
    chain.scene.setTime(time);
    QVERIFY2(kvtest::near(chain.a->getWSPos(), a.toFloat(), 1e-5), qPrintable(kvtest::toString(chain.a->getWSPos())));
    QVERIFY2(kvtest::near(chain.b->getWSPos(), b.toFloat(), 1e-5), qPrintable(kvtest::toString(chain.b->getWSPos())));
    QVERIFY2(kvtest::near(chain.c->getWSPosD(time), c, 1e-5), qPrintable(kvtest::toString(chain.c->getWSPosD(time))));
    // Rest geometry stays where it was built.
    QCOMPARE(chain.c->getOrigin(), KvVec3(1, 2, 3));
    QCOMPARE(chain.c->getEndPoint(), KvVec3(1, 2, 4));
    // World rotation: own rotation first, then the parent's.
    const KvQuat expected = chain.b->getLocalRot() * chain.a->getLocalRot();
    QVERIFY(kvtest::sameRotation(chain.c->getWSRot(), expected, 1e-9));
}

void tst_KvNode::keyingAtCurrentTime()
{
    KvScene scene;
    auto *skeleton = new KvSkeleton(QStringLiteral("s"));
    auto *bone = new KvBone(QStringLiteral("b"));
    bone->setRotationOrder(KvRotationOrder(KvRotationOrder::YXZ));
    skeleton->addChild(bone);
    scene.addNode(skeleton);
    scene.setTime(480);

    const KvVec3d anglesRad(0.1, 0.2, -0.3);
    bone->setLocalRot(KvQuat::fromEuler(bone->getRotationOrder(), anglesRad));
    bone->setLocalPos({1, 2, 3});
    const double expectedDeg[3] = {anglesRad.x * 180 / pi, anglesRad.y * 180 / pi, anglesRad.z * 180 / pi};
    for (int axis = 0; axis < 3; ++axis) {
        KvFloatProperty *control = bone->getControl(3 + axis);
        int index = -1;
        QVERIFY(control->findKeyAt(480, index));
        QVERIFY(kvtest::near(control->getKeyValue(index), expectedDeg[axis], 1e-4));
        QCOMPARE(control->getNumKeys(), 1);
        QVERIFY(bone->getControl(axis)->findKeyAt(480, index));
    }
    QCOMPARE(bone->getLocalPos(480), KvVec3(1, 2, 3));

    // A clamped control holds the decomposed angle inside its limits.
    bone->getYRotControl()->setLimits(-5.0, 5.0);
    bone->getYRotControl()->setIsClamped(true);
    scene.stepTime(1, false);
    bone->setLocalRot(KvQuat::fromEuler(bone->getRotationOrder(), anglesRad));
    QCOMPARE(bone->getYRotControl()->getCurrentValue(), 5.0f);
    QVERIFY(kvtest::near(bone->getXRotControl()->getCurrentValue(), expectedDeg[0], 1e-4));
}

void tst_KvNode::setWSRot()
{
    Chain chain;
    chain.scene.setTime(100);
    chain.c->setRotationOrder(KvRotationOrder(KvRotationOrder::ZXY));
    const KvQuat wanted = KvQuat::fromAxisAngle({0.3, -1, 2}, 1.2);
    chain.c->setWSRot(wanted);
    QVERIFY(kvtest::sameRotation(chain.c->getWSRot(), wanted, 1e-5));
    QVERIFY(!kvtest::sameRotation(chain.c->getLocalRot(), wanted, 1e-3));

    chain.a->setWSRot(wanted);  // no parent: local is world
    QVERIFY(kvtest::sameRotation(chain.a->getLocalRot(), wanted, 1e-5));
}

void tst_KvNode::scale_data()
{
    QTest::addColumn<bool>("premultiply");
    QTest::addColumn<KvVec3>("row0");     // (1,0,0) * M
    QTest::addColumn<KvVec3>("keyed");    // scale controls after setLocalScale(M, 0.5)
    // M = [[1, 5, 0], [0, 1, 0], [0, 0, 1]] scaled by diag(2, 3, 4).
    QTest::newRow("after") << false << KvVec3(2, 15, 0) << KvVec3(1, 1.5f, 2);
    QTest::newRow("before") << true << KvVec3(2, 10, 0) << KvVec3(1, 1.5f, 2);
}

void tst_KvNode::scale()
{
    QFETCH(bool, premultiply);
    QFETCH(KvVec3, row0);
    QFETCH(KvVec3, keyed);
    KvMatrix3 m(false);
    QCOMPARE(m.diagonal(), KvVec3(1, 1, 1));
    QCOMPARE(m.at(0, 1), 0.0f);
    m.set(0, 1, 5.0f);
    m.scale({2, 3, 4}, premultiply);
    QCOMPARE(m.multVec({1, 0, 0}), row0);
    QCOMPARE(KvMatrix3(true).multVec({1, 2, 3}), KvVec3(0, 0, 0));

    KvNode node(QStringLiteral("n"));
    node.setLocalScale(m, 0.5f);
    QCOMPARE(node.getLocalScale(), keyed);
    // Scale moves nobody.
    QCOMPARE(node.getWSPos(), KvVec3(0, 0, 0));
}

void tst_KvNode::clearing()
{
    Chain chain;
    KvNode *node = chain.b;
    auto *extra = new KvFloatProperty(QStringLiteral("blend"), 0.0f, node);
    for (int t : {0, 160, 320}) {
        chain.scene.setTime(t);
        node->setLocalPos({1, 1, 1});
        node->setLocalRot(KvQuat::fromAxisAngle({1, 0, 0}, 0.5));
        node->setLocalScale(KvMatrix3(false), 2.0f);
        extra->setCurrentValue(1.0f);
    }
    node->clearTransformData(KvTimeRange(160, 320));
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(node->getControl(i)->getNumKeys(), 1);
        QCOMPARE(node->getControl(i)->getKeyTime(0), 0);
    }
    QCOMPARE(extra->getNumKeys(), 3);
    QCOMPARE(chain.a->getZRotControl()->getNumKeys(), 2);  // other nodes keep theirs

    node->clearAnimData(KvTimeRange(0, 160));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(node->getControl(i)->getNumKeys(), 0);
    QCOMPARE(extra->getNumKeys(), 1);
    QCOMPARE(extra->getKeyTime(0), 320);
}

void tst_KvNode::textbookReference()
{
    kvtest::TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvh(QByteArray(handMadeBvh), bvh, &error), qPrintable(error));
    QCOMPARE(int(bvh.joints.size()), 3);
    QCOMPARE(bvh.joints[2].parent, 1);
    QCOMPARE(bvh.joints[2].firstChannel, 9);
    QVERIFY(bvh.joints[2].hasEndSite && !bvh.joints[1].hasEndSite);
    QCOMPARE(bvh.channelCount, 12);

    const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, 0);
    QVERIFY(kvtest::near(toVec(pose.position[0]), {11, 2, 3}, 1e-12));
    QVERIFY(kvtest::near(toVec(pose.position[1]), {1, 2, 3}, 1e-12));
    QVERIFY(kvtest::near(toVec(pose.position[2]), {1, 7, 3}, 1e-12));
    const kvtest::TextbookPose wrong = kvtest::forwardKinematics(bvh, 0, kvtest::ChannelComposition::Reversed);
    QVERIFY(kvtest::near(toVec(wrong.position[2]), {6, 2, 3}, 1e-12));

    QVERIFY(!kvtest::readTextbookBvh("HIERARCHY\nROOT r\n{\n  OFFSET 0 0\n}\n", bvh, &error));
    QVERIFY2(error.startsWith(QLatin1String("line 4")), qPrintable(error));
}

void tst_KvNode::matchesTextbookKinematics_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("joints");  // from the files' own descriptions
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("ownAngles");  // the file holds a still pose: swing its joints ourselves
    QTest::newRow("one-order-everywhere") << "bvh/cmu_12_01_walk_mb.bvh" << 31 << 524 << false;
    QTest::newRow("order-per-joint") << "bvh/sl_tpose_qavimator.bvh" << 19 << 30 << true;
    QTest::newRow("two-orders") << "bvh/cmu_131_01_walk_orig.bvh" << 31 << 994 << false;
}

void tst_KvNode::matchesTextbookKinematics()
{
    QFETCH(QString, file);
    QFETCH(int, joints);
    QFETCH(int, frames);
    QFETCH(bool, ownAngles);
    kvtest::TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvhFile(kvtest::dataFile(file), bvh, &error), qPrintable(error));
    QCOMPARE(int(bvh.joints.size()), joints);
    QCOMPARE(int(bvh.frames.size()), frames);
    if (ownAngles) {
        // Large angles on all three axes at once, so every joint's order matters.
        for (const kvtest::TextbookJoint &joint : bvh.joints) {
            for (int c = 0; c < joint.channels.size(); ++c) {
                if (!joint.channels.at(c).endsWith(QLatin1String("rotation"), Qt::CaseInsensitive))
                    continue;
                const int column = joint.firstChannel + c;
                for (int f = 0; f < frames; ++f)
                    bvh.frames[size_t(f)][size_t(column)] = 170.0 * std::sin(0.37 * f + 1.91 * column);
            }
        }
    }

    KvScene scene;
    std::unique_ptr<KvSkeleton> built = KvFigureBuilder::build(kvtest::figureFromBvh(bvh, QStringLiteral("figure")), &error);
    QVERIFY2(built, qPrintable(error));
    KvSkeleton *figure = built.release();
    scene.addNode(figure);
    QList<KvBone *> bones;
    figure->getAllBones(bones);
    QCOMPARE(bones.size(), joints);  // file order is pre-order, as getAllBones lists them

    // The figure's height: its largest rest extent, whichever axis is up.
    double height = 0.0;
    const std::vector<kvtest::Vec3> rest = kvtest::restPositions(bvh);
    for (size_t axis = 0; axis < 3; ++axis) {
        const auto [low, high] = std::minmax_element(rest.begin(), rest.end(),
            [axis](const kvtest::Vec3 &a, const kvtest::Vec3 &b) { return a[axis] < b[axis]; });
        height = std::max(height, (*high)[axis] - (*low)[axis]);
    }
    const double tolerance = 1e-3 * height;
    QVERIFY(tolerance > 0.0);

    for (int f = 0; f < frames; ++f) {
        const std::vector<double> &row = bvh.frames[size_t(f)];
        for (int i = 0; i < joints; ++i) {
            const kvtest::TextbookJoint &joint = bvh.joints[size_t(i)];
            KvBone *bone = bones[i];
            QCOMPARE(bone->getName(), joint.name);
            double rotation[3] = {0, 0, 0};
            double position[3] = {0, 0, 0};
            bool moves = false;
            for (int c = 0; c < joint.channels.size(); ++c) {
                const QString &channel = joint.channels.at(c);
                const int axis = channel.at(0).toUpper().toLatin1() - 'X';
                const double value = row[size_t(joint.firstChannel + c)];
                if (channel.endsWith(QLatin1String("rotation"), Qt::CaseInsensitive)) {
                    rotation[axis] = degToRad(value);
                } else {
                    position[axis] = value;
                    moves = true;
                }
            }
            KvQuat q;
            q.setValue(bone->getRotationOrder(), KvVec3(float(rotation[0]), float(rotation[1]), float(rotation[2])));
            bone->setLocalRot(q);
            if (moves)
                bone->setLocalPos(KvVec3(float(position[0]), float(position[1]), float(position[2])));
        }
        scene.stepTime(1, true);
    }

    // Read back afterwards, so every frame comes from the stored keys.
    double worst = 0.0;
    int framesOffReversed = 0;
    for (int f = 0; f < frames; ++f) {
        scene.setTime(f * scene.getTimeStep());
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, f);
        const kvtest::TextbookPose reversed = kvtest::forwardKinematics(bvh, f, kvtest::ChannelComposition::Reversed);
        bool reversedMatches = true;
        for (int i = 0; i < joints; ++i) {
            const KvVec3d host(bones[i]->getWSPos());
            const KvVec3d want = toVec(pose.position[size_t(i)]);
            worst = std::max(worst, (host - want).length());
            if (!kvtest::near(host, want, tolerance)) {
                QFAIL(qPrintable(QStringLiteral("frame %1, %2: host %3, textbook %4")
                                     .arg(f).arg(bvh.joints[size_t(i)].name, kvtest::toString(host),
                                                 kvtest::toString(want))));
            }
            if (!kvtest::near(host, toVec(reversed.position[size_t(i)]), tolerance))
                reversedMatches = false;
        }
        if (!reversedMatches)
            ++framesOffReversed;
    }
    qInfo("worst distance %g (tolerance %g); reversed composition off on %d of %d frames", worst, tolerance,
          framesOffReversed, frames);
    // The comparison discriminates: the same check rejects a transposed convention.
    QVERIFY(framesOffReversed > 0);
}

QTEST_GUILESS_MAIN(tst_KvNode)
#include "tst_kvnode.moc"
