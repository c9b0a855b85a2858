#include "kvscene.h"

#include "kvnode.h"
#include "kvproperty.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Two top-level trees:
//
//   figure (skeleton)            prop (node)
//   +- hip (bone)                +- hip (node, same label as the bone)
//   |  +- group (node)
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
        propHip->setLabel(QStringLiteral("hip"));
        prop->addChild(propHip);
        scene.addNode(prop);
    }
};

QStringList names(const QList<KvBone *> &bones)
{
    QStringList result;
    for (const KvBone *bone : bones)
        result.append(bone->getName());
    return result;
}

} // namespace

class tst_KvScene : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void membership();
    void selection();
    void findNodeByLabel_data();
    void findNodeByLabel();
    void clock();
    void ranges();
    void skeletons();
    void classNames();
};

void tst_KvScene::membership()
{
    Fixture f;
    QCOMPARE(f.scene.getNumNodes(), 2);
    QCOMPARE(f.scene.getNode(1), f.prop);
    for (KvNode *node : {static_cast<KvNode *>(f.figure), static_cast<KvNode *>(f.finger), f.propHip})
        QCOMPARE(node->scene(), &f.scene);
    QCOMPARE(f.finger->getNodeParent(), f.inner);
    QCOMPARE(f.hip->getNumNodeChildren(), 2);
    QCOMPARE(f.hip->getNodeChild(1), f.spine);
    QCOMPARE(f.hip->getNodeChild(2), nullptr);

    KvNode loose(QStringLiteral("loose"));
    QCOMPARE(loose.scene(), nullptr);
    QCOMPARE(loose.currentTime(), 0);

    // Deleting a subtree unlinks it from its parent and leaves the scene intact.
    f.scene.deleteNode(f.group);
    QCOMPARE(f.hip->getNumNodeChildren(), 1);
    QCOMPARE(f.hip->getNodeChild(0), f.spine);
    f.scene.deleteNode(f.figure);
    QCOMPARE(f.scene.getNumNodes(), 1);
    QCOMPARE(f.scene.getNode(0), f.prop);
}

void tst_KvScene::selection()
{
    Fixture f;
    QSignalSpy changed(&f.scene, &KvScene::selectionChanged);
    f.scene.selectNode(f.hip);
    f.scene.selectNode(f.spine, true);
    f.scene.selectNode(f.spine, true);
    QCOMPARE(f.scene.getNumSelectedNodes(), 2);
    QCOMPARE(f.scene.getSelectedNode(0), f.hip);
    QCOMPARE(f.scene.getSelectedNode(1), f.spine);
    QCOMPARE(f.scene.getSelectedNode(2), nullptr);

    f.scene.selectNode(f.prop);
    QCOMPARE(f.scene.getNumSelectedNodes(), 1);
    QCOMPARE(f.scene.getSelectedNode(0), f.prop);

    f.scene.selectNode(f.finger, true);
    f.scene.selectNode(f.spine, true);
    // Deleting a node deselects it and every selected node below it.
    f.scene.deleteNode(f.group);
    QCOMPARE(f.scene.getNumSelectedNodes(), 2);
    QCOMPARE(f.scene.getSelectedNode(1), f.spine);
    f.scene.deleteNode(f.prop);
    QCOMPARE(f.scene.getNumSelectedNodes(), 1);
    QCOMPARE(f.scene.getSelectedNode(0), f.spine);

    changed.clear();
    f.scene.clearSelection();
    QCOMPARE(f.scene.getNumSelectedNodes(), 0);
    QCOMPARE(changed.count(), 1);
}

void tst_KvScene::findNodeByLabel_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("name");  // empty: not found
    QTest::newRow("first-in-pre-order") << "hip" << "hip";
    QTest::newRow("case-sensitive") << "Hip" << "Hip";
    QTest::newRow("deep") << "finger" << "finger";
    QTest::newRow("second-tree") << "prop" << "prop";
    QTest::newRow("missing") << "foot" << "";
    QTest::newRow("prefix-is-not-a-match") << "fing" << "";
}

void tst_KvScene::findNodeByLabel()
{
    QFETCH(QString, label);
    QFETCH(QString, name);
    Fixture f;
    KvNode *found = f.scene.findNodeByLabel(label);
    QCOMPARE(found ? found->getName() : QString(), name);
    if (name == QLatin1String("hip")) {
        // The bone is found in the first tree; once it is gone the prop's node carries the label.
        f.scene.deleteNode(f.hip);
        QCOMPARE(f.scene.findNodeByLabel(label), f.propHip);
    }
}

void tst_KvScene::clock()
{
    Fixture f;
    QSignalSpy ticks(&f.scene, &KvScene::timeChanged);
    QCOMPARE(f.scene.getTime(), 0);
    QCOMPARE(f.scene.getTimeStep(), 160);

    f.scene.stepTime(1, true);
    QCOMPARE(f.scene.getTime(), 160);
    QCOMPARE(ticks.count(), 1);
    QCOMPARE(ticks.at(0).at(0).toInt(), 160);

    f.scene.stepTime(3, false);
    QCOMPARE(f.scene.getTime(), 640);
    QCOMPARE(ticks.count(), 1);

    f.scene.setTimeStep(0);
    QCOMPARE(f.scene.getTimeStep(), 160);
    f.scene.setTimeStep(200);
    f.scene.stepTime(-2, true);
    QCOMPARE(f.scene.getTime(), 240);
    QCOMPARE(ticks.count(), 2);

    f.scene.setTime(4800);
    QCOMPARE(f.finger->currentTime(), 4800);
    QCOMPARE(ticks.count(), 3);
}

void tst_KvScene::ranges()
{
    KvScene scene;
    QCOMPARE(scene.getAnimRange(), KvTimeRange(0, 4800));
    QCOMPARE(scene.getPlayRange(), KvTimeRange(0, 4800));
    scene.setAnimRange(KvTimeRange(160, 9600));
    scene.setPlayRange(KvTimeRange(320, 640));
    QCOMPARE(scene.getAnimRange(), KvTimeRange(160, 9600));
    QCOMPARE(scene.getPlayRange(), KvTimeRange(320, 640));
    QVERIFY(scene.getAnimRange().contains(9600));
    QVERIFY(!scene.getAnimRange().contains(159));
}

void tst_KvScene::skeletons()
{
    Fixture f;
    QCOMPARE(f.figure->getSkeleton(), f.figure);
    QCOMPARE(f.hip->getSkeleton(), f.figure);
    QCOMPARE(f.group->getSkeleton(), f.figure);
    QCOMPARE(f.thigh->getSkeleton(), f.figure);
    QCOMPARE(f.inner->getSkeleton(), f.inner);
    QCOMPARE(f.finger->getSkeleton(), f.inner);
    QCOMPARE(f.prop->getSkeleton(), nullptr);
    QCOMPARE(f.propHip->getSkeleton(), nullptr);

    QList<KvBone *> bones{f.upperHip};  // replaced, not appended to
    f.figure->getAllBones(bones);
    QCOMPARE(names(bones), QStringList({"hip", "thigh", "finger", "spine", "Hip"}));
    f.inner->getAllBones(bones);
    QCOMPARE(names(bones), QStringList({"finger"}));
    QCOMPARE(f.figure->findBone(QStringLiteral("spine")), f.spine);
    QCOMPARE(f.figure->findBone(QStringLiteral("group")), nullptr);
}

void tst_KvScene::classNames()
{
    Fixture f;
    QVERIFY(f.figure->inherits("KvSkeleton"));
    QVERIFY(f.figure->inherits("KvNode"));
    QVERIFY(!f.figure->inherits("KvBone"));
    QVERIFY(f.hip->inherits("KvBone"));
    QVERIFY(f.hip->inherits("KvNode"));
    QVERIFY(!f.hip->inherits("KvSkeleton"));
    QVERIFY(f.group->inherits("KvNode"));
    QVERIFY(!f.group->inherits("KvBone"));
    QVERIFY(!f.group->inherits("KvSkeleton"));
    QVERIFY(f.group->getXPosControl()->inherits("KvNumericProperty"));
}

QTEST_GUILESS_MAIN(tst_KvScene)
#include "tst_kvscene.moc"
