#include "kvscene.h"

#include "kvnode.h"
#include "kvproperty.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Two top-level trees:
//
//   figure (skeleton)            prop (node)
//   +- hip (bone)                +- propHip (node labelled "hip")
//   |  +- group (node labelled "thigh")
//   |  |  +- thigh (bone)
//   |  |     +- inner (skeleton)
//   |  |        +- finger (bone)
//   |  +- spine (bone)
//   +- Hip (bone; labels are case-sensitive)
struct Fixture
{
    KvScene scene;
    KvSkeleton *figure = new KvSkeleton(QStringLiteral("figure"));
    KvBone *hip = new KvBone(QStringLiteral("hip"));
    KvNode *group = new KvNode(QStringLiteral("group"));
    KvBone *thigh = new KvBone(QStringLiteral("thigh"));
    KvSkeleton *inner = new KvSkeleton(QStringLiteral("inner"));
    KvBone *finger = new KvBone(QStringLiteral("finger"));
    KvBone *spine = new KvBone(QStringLiteral("spine"));
    KvBone *upperHip = new KvBone(QStringLiteral("Hip"));
    KvNode *prop = new KvNode(QStringLiteral("prop"));
    KvNode *propHip = new KvNode(QStringLiteral("propHip"));

    Fixture()
    {
        scene.addNode(figure);
        // Built partly after joining the scene: later children join it too.
        figure->addChild(hip);
        hip->addChild(group);
        thigh->addChild(inner);
        inner->addChild(finger);
        group->addChild(thigh);
        hip->addChild(spine);
        figure->addChild(upperHip);
        group->setLabel(QStringLiteral("thigh"));
        propHip->setLabel(QStringLiteral("hip"));
        prop->addChild(propHip);
        scene.addNode(prop);
    }
};

} // namespace

class tst_KvScene : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selectionAndDeletion();
    void findNodeByLabel();
    void clock();
    void skeletons();
};

void tst_KvScene::selectionAndDeletion()
{
    Fixture f;
    QSignalSpy changed(&f.scene, &KvScene::selectionChanged);
    f.scene.selectNode(f.hip);
    f.scene.selectNode(f.spine, true);
    f.scene.selectNode(f.spine, true);
    QCOMPARE(f.scene.getNumSelectedNodes(), 2);
    QCOMPARE(f.scene.getSelectedNode(1), f.spine);
    f.scene.selectNode(f.prop);
    f.scene.selectNode(f.finger, true);
    f.scene.selectNode(f.spine, true);
    QCOMPARE(f.scene.getNumSelectedNodes(), 3);
    QCOMPARE(f.scene.getSelectedNode(0), f.prop);

    // Deleting a node unlinks its subtree and deselects every node in it.
    QCOMPARE(f.finger->scene(), &f.scene);
    f.scene.deleteNode(f.group);
    QCOMPARE(f.hip->getNumNodeChildren(), 1);
    QCOMPARE(f.hip->getNodeChild(0), f.spine);
    f.scene.deleteNode(f.prop);
    QCOMPARE(f.scene.getNumNodes(), 1);
    QCOMPARE(f.scene.getNumSelectedNodes(), 1);
    QCOMPARE(f.scene.getSelectedNode(0), f.spine);

    changed.clear();
    f.scene.clearSelection();
    f.scene.clearSelection();
    QCOMPARE(f.scene.getNumSelectedNodes(), 0);
    QCOMPARE(changed.count(), 1);
}

void tst_KvScene::findNodeByLabel()
{
    Fixture f;
    QCOMPARE(f.scene.findNodeByLabel(QStringLiteral("hip")), f.hip);  // first in pre-order
    QCOMPARE(f.scene.findNodeByLabel(QStringLiteral("thigh")), f.group);  // a node before its children
    QCOMPARE(f.scene.findNodeByLabel(QStringLiteral("Hip")), f.upperHip);
    QCOMPARE(f.scene.findNodeByLabel(QStringLiteral("finger")), f.finger);
    QCOMPARE(f.scene.findNodeByLabel(QStringLiteral("foot")), nullptr);
    // Once the bone is gone the second tree's node carries the label.
    f.scene.deleteNode(f.hip);
    QCOMPARE(f.scene.findNodeByLabel(QStringLiteral("hip")), f.propHip);
}

void tst_KvScene::clock()
{
    Fixture f;
    QSignalSpy ticks(&f.scene, &KvScene::timeChanged);
    f.scene.stepTime(1, true);
    QCOMPARE(ticks.count(), 1);
    QCOMPARE(ticks.at(0).at(0).toInt(), 160);
    f.scene.stepTime(3, false);
    QCOMPARE(f.scene.getTime(), 640);
    QCOMPARE(ticks.count(), 1);

    f.scene.setTimeStep(0);
    QCOMPARE(f.scene.getTimeStep(), 160);
    f.scene.setTimeStep(200);
    f.scene.stepTime(-2, true);
    QCOMPARE(f.finger->currentTime(), 240);
    QCOMPARE(ticks.count(), 2);
}

void tst_KvScene::skeletons()
{
    Fixture f;
    QCOMPARE(f.hip->getSkeleton(), f.figure);
    QCOMPARE(f.thigh->getSkeleton(), f.figure);
    QCOMPARE(f.inner->getSkeleton(), f.inner);
    QCOMPARE(f.finger->getSkeleton(), f.inner);
    QCOMPARE(f.propHip->getSkeleton(), nullptr);

    QList<KvBone *> bones{f.upperHip};  // replaced, not appended to
    f.figure->getAllBones(bones);
    QCOMPARE(bones, (QList<KvBone *>{f.hip, f.thigh, f.finger, f.spine, f.upperHip}));
    QCOMPARE(f.figure->findBone(QStringLiteral("spine")), f.spine);
    QCOMPARE(f.figure->findBone(QStringLiteral("group")), nullptr);

    // Plug-ins tell the kinds apart by these class names.
    QVERIFY(f.figure->inherits("KvSkeleton") && f.figure->inherits("KvNode") && !f.figure->inherits("KvBone"));
    QVERIFY(f.hip->inherits("KvBone") && f.hip->inherits("KvNode") && !f.hip->inherits("KvSkeleton"));
    QVERIFY(!f.group->inherits("KvBone") && !f.group->inherits("KvSkeleton"));
    QVERIFY(f.group->getXPosControl()->inherits("KvNumericProperty"));
}

QTEST_GUILESS_MAIN(tst_KvScene)
#include "tst_kvscene.moc"
