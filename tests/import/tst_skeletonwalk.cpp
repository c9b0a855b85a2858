#include "bvhin.h"
#include "bvhstate.h"

#include "kvnode.h"

#include <QtTest>

#include <memory>

namespace {

// A figure from entries "parent/child": an empty parent is the skeleton node;
// a child written "~name" is a plain node (a prop), not a bone; "name=label"
// gives the child a label other than its name.
std::unique_ptr<KvSkeleton> makeFigure(const QStringList &entries)
{
    auto skeleton = std::make_unique<KvSkeleton>(QStringLiteral("figure"));
    QHash<QString, KvNode *> nodes;
    for (const QString &entry : entries) {
        const QString parentName = entry.section(QLatin1Char('/'), 0, 0);
        QString child = entry.section(QLatin1Char('/'), 1);
        const bool prop = child.startsWith(QLatin1Char('~'));
        if (prop)
            child.remove(0, 1);
        const QString name = child.section(QLatin1Char('='), 0, 0);
        const QString label = child.contains(QLatin1Char('=')) ? child.section(QLatin1Char('='), 1) : name;
        KvNode *node = prop ? new KvNode(name) : new KvBone(name);
        node->setLabel(label);
        KvNode *parent = parentName.isEmpty() ? skeleton.get() : nodes.value(parentName);
        if (!parent)
            return nullptr;
        parent->addChild(node);
        nodes.insert(name, node);
    }
    return skeleton;
}

KvNode *findByName(KvNode *node, const QString &name)
{
    if (!node || node->getName() == name)
        return node;
    for (int i = 0; i < node->getNumNodeChildren(); ++i) {
        if (KvNode *found = findByName(node->getNodeChild(i), name))
            return found;
    }
    return nullptr;
}

// Records as "label@level", in list order.
QStringList listed()
{
    QStringList out;
    for (const CSkelHeader *r : bvhState().skeletonList)
        out += QStringLiteral("%1@%2").arg(r->name).arg(r->level);
    return out;
}

QByteArray joint(const QByteArray &keyword, const QByteArray &name, const QByteArray &inner)
{
    return keyword + ' ' + name + "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n" + inner + "}\n";
}

QByteArray endSite()
{
    return "End Site\n{\nOFFSET 0 1 0\n}\n";
}

} // namespace

class tst_SkeletonWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void collectSkeletonBones_data();
    void collectSkeletonBones();
    void findBoneByLabel_data();
    void findBoneByLabel();
    void findRecordForNode_data();
    void findRecordForNode();
};

void tst_SkeletonWalk::cleanup()
{
    bvhState().clearLists();
}

void tst_SkeletonWalk::collectSkeletonBones_data()
{
    QTest::addColumn<QStringList>("figure");
    QTest::addColumn<QString>("start");  // name of the node the walk starts at; empty: none
    QTest::addColumn<QStringList>("expected");

    //   hip ─┬─ abdomen ── chest
    //        ├─ rThigh ── rShin
    //        └─ lThigh
    const QStringList body = {"/hip", "hip/abdomen", "abdomen/chest", "hip/rThigh", "rThigh/rShin", "hip/lThigh"};
    QTest::newRow("pre-order-host-child-order")
        << body << "hip" << QStringList{"hip@1", "abdomen@2", "chest@3", "rThigh@2", "rShin@3", "lThigh@2"};
    QTest::newRow("labels-not-names")
        << QStringList{"/b0=hip", "b0/b1=lThigh"} << "b0" << QStringList{"hip@1", "lThigh@2"};
    QTest::newRow("start-below-top")
        << body << "rThigh" << QStringList{"rThigh@1", "rShin@2"};
    QTest::newRow("prop-ends-its-branch")
        << QStringList{"/hip", "hip/~prop", "prop/lHand", "hip/lThigh"} << "hip" << QStringList{"hip@1", "lThigh@2"};
    QTest::newRow("start-is-a-prop")
        << QStringList{"/~prop", "prop/hip"} << "prop" << QStringList{};
    QTest::newRow("start-is-the-skeleton")
        << body << "figure" << QStringList{};
    QTest::newRow("no-start-node")
        << body << "" << QStringList{};
    QTest::newRow("other-top-bones-not-visited")
        << QStringList{"/hip", "hip/abdomen", "/extra"} << "hip" << QStringList{"hip@1", "abdomen@2"};
}

void tst_SkeletonWalk::collectSkeletonBones()
{
    QFETCH(QStringList, figure);
    QFETCH(QString, start);
    QFETCH(QStringList, expected);

    const std::unique_ptr<KvSkeleton> skeleton = makeFigure(figure);
    QVERIFY(skeleton);
    KvNode *startNode = start.isEmpty() ? nullptr : findByName(skeleton.get(), start);
    QVERIFY(start.isEmpty() || startNode);

    CBvhIn in;
    in.collectSkeletonBones(startNode, 1);
    QCOMPARE(listed(), expected);
    for (const CSkelHeader *r : bvhState().skeletonList) {
        QVERIFY(r->bone);
        QCOMPARE(r->bone->getLabel(), r->name);
        QCOMPARE(r->label, r->name);
        QVERIFY(r->exportFlag);
        QVERIFY(!r->listItem);
    }
}

void tst_SkeletonWalk::findBoneByLabel_data()
{
    QTest::addColumn<QStringList>("figure");
    QTest::addColumn<QString>("start");     // empty: a null node
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");  // the bone's name; empty: none

    const QStringList legs = {"/hip", "hip/lThigh", "lThigh/lShin", "hip/rThigh", "rThigh/rShin"};
    QTest::newRow("exact") << legs << "hip" << "lThigh" << "lThigh";
    QTest::newRow("start-itself") << legs << "hip" << "hip" << "hip";
    QTest::newRow("contained") << QStringList{"/hip", "hip/b=lThigh2"} << "hip" << "lThigh" << "b";
    QTest::newRow("case-sensitive")
        << QStringList{"/hip", "hip/a=LThigh", "hip/b=Left Thigh", "hip/c=lthigh"} << "hip" << "lThigh" << "";
    // Pre-order, not breadth-first: the deep match in the first subtree wins.
    QTest::newRow("first-in-pre-order")
        << QStringList{"/hip", "hip/abdomen", "abdomen/deep=lShin.deep", "hip/shallow=lShin.shallow"}
        << "hip" << "lShin" << "deep";
    QTest::newRow("first-child-before-later-child")
        << QStringList{"/hip", "hip/a=lFoot", "hip/b=lFoot"} << "hip" << "lFoot" << "a";
    QTest::newRow("only-below-start") << legs << "rThigh" << "lShin" << "";
    QTest::newRow("not-below-a-prop")
        << QStringList{"/hip", "hip/~prop", "prop/lThigh"} << "hip" << "lThigh" << "";
    QTest::newRow("start-is-a-prop")
        << QStringList{"/~prop", "prop/lThigh"} << "prop" << "lThigh" << "";
    QTest::newRow("null-start") << legs << "" << "lThigh" << "";
    QTest::newRow("no-such-label") << legs << "hip" << "lFoot" << "";
}

void tst_SkeletonWalk::findBoneByLabel()
{
    QFETCH(QStringList, figure);
    QFETCH(QString, start);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    const std::unique_ptr<KvSkeleton> skeleton = makeFigure(figure);
    QVERIFY(skeleton);
    KvNode *startNode = start.isEmpty() ? nullptr : findByName(skeleton.get(), start);
    QVERIFY(start.isEmpty() || startNode);

    const KvNode *found = CBvhIn::findBoneByLabel(startNode, text);
    QCOMPARE(found ? found->getName() : QString(), expected);
}

void tst_SkeletonWalk::findRecordForNode_data()
{
    QTest::addColumn<QByteArray>("hierarchy");
    QTest::addColumn<QString>("bone");      // label of the figure bone; empty: a null node
    QTest::addColumn<QString>("expected");  // name of the joint found; "-": none

    const QByteArray plain = "HIERARCHY\n"
        + joint("ROOT", "hip", joint("JOINT", "lThigh", joint("JOINT", "lShin", endSite())));
    QTest::newRow("joint-record") << plain << "lShin" << "lShin";
    QTest::newRow("root") << plain << "hip" << "hip";
    // The upward walk maps LHipJoint to hip as well; the root comes first.
    QTest::newRow("first-in-file-order")
        << QByteArray("HIERARCHY\n"
                      + joint("ROOT", "Hips", joint("JOINT", "LHipJoint", joint("JOINT", "lThigh", endSite()))))
        << "hip" << "Hips";
    QTest::newRow("unmapped-bone") << plain << "rThigh" << "-";
    // End Site records are unmapped too: a null node matches nothing.
    QTest::newRow("null-node") << plain << "" << "-";
}

void tst_SkeletonWalk::findRecordForNode()
{
    QFETCH(QByteArray, hierarchy);
    QFETCH(QString, bone);
    QFETCH(QString, expected);

    const std::unique_ptr<KvSkeleton> skeleton
        = makeFigure({"/hip", "hip/lThigh", "lThigh/lShin", "hip/rThigh"});
    QVERIFY(skeleton);
    bvhState().targetSkeleton = skeleton.get();
    CBvhIn in;
    in.collectSkeletonBones(skeleton->getNodeChild(0), 1);
    in.resetParseState();
    for (const QByteArray &line : hierarchy.split('\n'))
        in.parseLine(QString::fromLatin1(line));
    in.completeMapping();

    KvNode *node = bone.isEmpty() ? nullptr : findByName(skeleton.get(), bone);
    QVERIFY(bone.isEmpty() || node);
    const CBvhHeader *found = CBvhIn::findRecordForNode(node);
    QCOMPARE(found ? found->name : QStringLiteral("-"), expected);
    if (found) {
        QCOMPARE(found->type, int(Joint));
        QCOMPARE(found->mappedNode, node);
    }
    bvhState().targetSkeleton = nullptr;
}

QTEST_GUILESS_MAIN(tst_SkeletonWalk)

#include "tst_skeletonwalk.moc"
