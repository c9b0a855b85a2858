#include "bvhin.h"
#include "bvhstate.h"

#include "kvnode.h"

#include <QtTest>

#include <memory>

namespace {

//   figure ── hip ─┬─ abdomen ── chest "lShin.deep"
//                  ├─ prop (no bone) ── lHand
//                  ├─ rThigh ── rShin
//                  └─ b "lThigh2"
struct Figure
{
    KvSkeleton skeleton{QStringLiteral("figure")};
    KvBone *hip = new KvBone(QStringLiteral("hip"));
    KvBone *chest = new KvBone(QStringLiteral("chest"));
    KvBone *thigh = new KvBone(QStringLiteral("b"));

    Figure()
    {
        auto *abdomen = new KvBone(QStringLiteral("abdomen"));
        auto *prop = new KvNode(QStringLiteral("prop"));
        auto *rThigh = new KvBone(QStringLiteral("rThigh"));
        skeleton.addChild(hip);
        hip->addChild(abdomen);
        abdomen->addChild(chest);
        chest->setLabel(QStringLiteral("lShin.deep"));
        hip->addChild(prop);
        prop->addChild(new KvBone(QStringLiteral("lHand")));
        hip->addChild(rThigh);
        rThigh->addChild(new KvBone(QStringLiteral("rShin")));
        hip->addChild(thigh);
        thigh->setLabel(QStringLiteral("lThigh2"));
    }
};

} // namespace

class tst_SkeletonWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { bvhState().clearLists(); }
    void collectSkeletonBones();
    void findBoneByLabel();
    void findRecordForNode();
};

// Pre-order in the host's child order, by label; a node that is no bone ends
// its branch. The matcher gives a bone to the first record that fits.
void tst_SkeletonWalk::collectSkeletonBones()
{
    Figure figure;
    CBvhIn in;
    in.collectSkeletonBones(&figure.skeleton, 1);
    in.collectSkeletonBones(nullptr, 1);
    QVERIFY(bvhState().skeletonList.isEmpty());
    in.collectSkeletonBones(figure.hip, 1);
    QStringList listed;
    for (const CSkelHeader *r : bvhState().skeletonList) {
        QCOMPARE(r->bone->getLabel(), r->name);
        listed += QStringLiteral("%1@%2").arg(r->label).arg(r->level);
    }
    QCOMPARE(listed, QStringList({"hip@1", "abdomen@2", "lShin.deep@3", "rThigh@2", "rShin@3", "lThigh2@2"}));
}

// Labels containing the text, case sensitive, pre-order, never below a node
// that is no bone.
void tst_SkeletonWalk::findBoneByLabel()
{
    Figure figure;
    QCOMPARE(CBvhIn::findBoneByLabel(figure.hip, QStringLiteral("lThigh")), figure.thigh);
    QCOMPARE(CBvhIn::findBoneByLabel(figure.hip, QStringLiteral("Shin")), figure.chest);
    QVERIFY(!CBvhIn::findBoneByLabel(figure.hip, QStringLiteral("lthigh")));
    QVERIFY(!CBvhIn::findBoneByLabel(figure.hip, QStringLiteral("lHand")));
    QVERIFY(!CBvhIn::findBoneByLabel(nullptr, QStringLiteral("hip")));
}

// The first record mapped to the node, in file order.
void tst_SkeletonWalk::findRecordForNode()
{
    Figure figure;
    for (KvNode *node : {static_cast<KvNode *>(nullptr), static_cast<KvNode *>(figure.hip), static_cast<KvNode *>(figure.hip)})
        bvhState().jointList.append(std::make_unique<CBvhHeader>())->mappedNode = node;
    QCOMPARE(CBvhIn::findRecordForNode(figure.hip), bvhState().jointList.at(1));
    QVERIFY(!CBvhIn::findRecordForNode(figure.thigh));
    QVERIFY(!CBvhIn::findRecordForNode(nullptr));
}

QTEST_GUILESS_MAIN(tst_SkeletonWalk)
#include "tst_skeletonwalk.moc"
