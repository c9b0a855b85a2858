#include "kvnode.h"

#include "kvfigurebuilder.h"
#include "kvproperty.h"
#include "kvscene.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;

KvVec3d toVec(const kvtest::Vec3 &v)
{
    return {v[0], v[1], v[2]};
}

// a (node, no parent; Z 90 keyed at 0, Z 0 at 320)
// +- b (X 90)
//    +- c
struct Chain
{
    KvScene scene;
    KvNode *a = new KvNode(QStringLiteral("a"));
    KvNode *b = new KvNode(QStringLiteral("b"));
    KvNode *c = new KvNode(QStringLiteral("c"));

    Chain()
    {
        a->addChild(b);
        b->addChild(c);
        scene.addNode(a);
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
    void worldRotation();
    void clearing();
    void matchesTextbookKinematics_data();
    void matchesTextbookKinematics();
};

// Own rotation first, then the parent's; setWSRot keys the local rotation that gives it.
void tst_KvNode::worldRotation()
{
    Chain chain;
    chain.scene.setTime(100);
    QVERIFY(kvtest::sameRotation(chain.c->getWSRot(), chain.b->getLocalRot() * chain.a->getLocalRot(), 1e-9));
    chain.c->setRotationOrder(KvRotationOrder(KvRotationOrder::ZXY));
    const KvQuat wanted = KvQuat::fromAxisAngle({0.3, -1, 2}, 1.2);
    chain.c->setWSRot(wanted);
    QVERIFY(kvtest::sameRotation(chain.c->getWSRot(), wanted, 1e-5));
    chain.a->setWSRot(wanted);  // no parent: local is world
    QVERIFY(kvtest::sameRotation(chain.a->getLocalRot(), wanted, 1e-5));
}

void tst_KvNode::clearing()
{
    Chain chain;
    KvNode *node = chain.b;
    auto *extra = new KvFloatProperty(QStringLiteral("blend"), 0.0f, node);
    QCOMPARE(node->getLocalScale(), KvVec3(1, 1, 1));
    for (int t : {0, 160, 320}) {
        chain.scene.setTime(t);
        node->setLocalPos({1, 1, 1});
        node->setLocalRot(KvQuat::fromAxisAngle({1, 0, 0}, 0.5));
        KvMatrix3 scale(false);
        scale.scale({2, 3, 4}, false);
        node->setLocalScale(scale, 0.5f);
        extra->setCurrentValue(1.0f);
        chain.c->getXPosControl()->setCurrentValue(1.0f);
    }
    QCOMPARE(node->getLocalScale(), KvVec3(1, 1.5f, 2));
    node->clearTransformData(KvTimeRange(160, 320));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(kvtest::keyTimes(*node->getControl(i)), QList<int>{0});
    QCOMPARE(extra->getNumKeys(), 3);

    // The node's own properties only: its child and its parent keep theirs.
    node->clearAnimData(KvTimeRange(0, 160));
    QCOMPARE(node->getXRotControl()->getNumKeys(), 0);
    QCOMPARE(kvtest::keyTimes(*extra), QList<int>{320});
    QCOMPARE(chain.c->getXPosControl()->getNumKeys(), 3);
    QCOMPARE(chain.a->getZRotControl()->getNumKeys(), 2);
}

// A figure keyed frame by frame from a real file matches textbook forward
// kinematics at every frame, and the same check rejects a transposed convention.
void tst_KvNode::matchesTextbookKinematics_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("joints");  // from the files' own descriptions
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("ownAngles");  // the file holds a still pose: swing its joints ourselves
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
    KvScene scene;
    std::unique_ptr<KvSkeleton> built = KvFigureBuilder::build(kvtest::figureFromBvh(bvh, QStringLiteral("f")), &error);
    QVERIFY2(built, qPrintable(error));
    KvSkeleton *figure = built.release();
    scene.addNode(figure);
    QList<KvBone *> bones;
    figure->getAllBones(bones);
    QCOMPARE(bones.size(), joints);  // file order is pre-order, as getAllBones lists them

    const auto toVec3 = [](const double *v, double factor) {
        return KvVec3(float(v[0] * factor), float(v[1] * factor), float(v[2] * factor));
    };
    for (int f = 0; f < frames; ++f) {
        for (int i = 0; i < joints; ++i) {
            const kvtest::TextbookJoint &joint = bvh.joints[size_t(i)];
            double values[2][3] = {};  // rotation, position
            bool moves = false;
            for (int c = 0; c < joint.channels.size(); ++c) {
                const bool isRotation = joint.channels.at(c).endsWith(QLatin1String("rotation"), Qt::CaseInsensitive);
                const int column = joint.firstChannel + c;
                double &cell = bvh.frames[size_t(f)][size_t(column)];
                // Large angles on all three axes at once, so every joint's order matters.
                if (ownAngles && isRotation)
                    cell = 170.0 * std::sin(0.37 * f + 1.91 * column);
                values[isRotation ? 0 : 1][joint.channels.at(c).at(0).toUpper().toLatin1() - 'X'] = cell;
                moves = moves || !isRotation;
            }
            KvQuat q;
            q.setValue(bones[i]->getRotationOrder(), toVec3(values[0], pi / 180.0));
            bones[i]->setLocalRot(q);
            if (moves)
                bones[i]->setLocalPos(toVec3(values[1], 1.0));
        }
        scene.stepTime(1, true);
    }

    // Read back afterwards, so every frame comes from the stored keys, within
    // 1e-3 of the figure's largest rest extent.
    double height = 0.0;
    const std::vector<kvtest::Vec3> rest = kvtest::restPositions(bvh);
    for (size_t axis = 0; axis < 3; ++axis) {
        const auto [low, high] = std::minmax_element(rest.begin(), rest.end(),
            [axis](const kvtest::Vec3 &a, const kvtest::Vec3 &b) { return a[axis] < b[axis]; });
        height = std::max(height, (*high)[axis] - (*low)[axis]);
    }
    int framesOffReversed = 0;
    for (int f = 0; f < frames; ++f) {
        scene.setTime(f * scene.getTimeStep());
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, f);
        const kvtest::TextbookPose reversed = kvtest::forwardKinematics(bvh, f, kvtest::ChannelComposition::Reversed);
        bool reversedMatches = true;
        for (int i = 0; i < joints; ++i) {
            const KvVec3d host(bones[i]->getWSPos());
            const KvVec3d want = toVec(pose.position[size_t(i)]);
            QVERIFY2(kvtest::near(host, want, 1e-3 * height),
                     qPrintable(QStringLiteral("frame %1, %2: host %3, textbook %4")
                                    .arg(f)
                                    .arg(bvh.joints[size_t(i)].name, kvtest::toString(host), kvtest::toString(want))));
            reversedMatches = reversedMatches && kvtest::near(host, toVec(reversed.position[size_t(i)]), 1e-3 * height);
        }
        framesOffReversed += reversedMatches ? 0 : 1;
    }
    QVERIFY(height > 0.0 && framesOffReversed > 0);
}

QTEST_GUILESS_MAIN(tst_KvNode)
#include "tst_kvnode.moc"
