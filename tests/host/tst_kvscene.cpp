#include "kvscene.h"

#include "kvnode.h"

#include <QSignalSpy>
#include <QtTest>

class tst_KvScene : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sceneTree();
};

//   figure (skeleton) ─ hip ─┬─ group ─ thigh ─ inner (skeleton) ─ finger
//                            └─ spine
//   prop (labelled "hip")
void tst_KvScene::sceneTree()
{
    const auto add = [](KvNode *parent, auto *node) { parent->addChild(node); return node; };
    KvScene scene;
    auto *figure = new KvSkeleton(QStringLiteral("figure"));
    scene.addNode(figure);  // built on in the scene: later children join it too
    KvBone *hip = add(figure, new KvBone(QStringLiteral("hip")));
    KvNode *group = add(hip, new KvNode(QStringLiteral("group")));
    KvBone *thigh = add(group, new KvBone(QStringLiteral("thigh")));
    KvBone *finger = add(add(thigh, new KvSkeleton(QStringLiteral("inner"))), new KvBone(QStringLiteral("finger")));
    KvBone *spine = add(hip, new KvBone(QStringLiteral("spine")));
    auto *prop = new KvNode(QStringLiteral("prop"));
    scene.addNode(prop);
    prop->setLabel(QStringLiteral("hip"));

    // A bone belongs to the nearest skeleton above it; a skeleton lists every
    // bone below it, nested ones too, in pre-order, into a list it empties first.
    QCOMPARE(thigh->getSkeleton(), figure);
    QList<KvBone *> bones{spine};
    figure->getAllBones(bones);
    QCOMPARE(bones, (QList<KvBone *>{hip, thigh, finger, spine}));

    // Frames of 160 ticks (a step of 0 is ignored) on every node's clock.
    scene.stepTime(1, true);
    scene.setTimeStep(0);
    scene.stepTime(2, false);
    QCOMPARE(finger->currentTime(), 480);

    // Selecting replaces the selection; adding takes a node once.
    scene.selectNode(hip);
    scene.selectNode(finger);
    scene.selectNode(spine, true);
    scene.selectNode(spine, true);
    QCOMPARE(scene.getNumSelectedNodes(), 2);
    // Deleting a node unlinks its subtree and deselects every node in it.
    QSignalSpy changed(&scene, &KvScene::selectionChanged);
    scene.deleteNode(group);
    QCOMPARE(hip->getNumNodeChildren(), 1);
    QCOMPARE(scene.getNumSelectedNodes(), 1);
    QCOMPARE(changed.count(), 1);
    // Labels are found tree by tree.
    QCOMPARE(scene.findNodeByLabel(QStringLiteral("hip")), hip);
    scene.deleteNode(hip);
    QCOMPARE(scene.findNodeByLabel(QStringLiteral("hip")), prop);
    scene.deleteNode(prop);
    QCOMPARE(scene.getNumNodes(), 1);
}

QTEST_GUILESS_MAIN(tst_KvScene)
#include "tst_kvscene.moc"
