#include "bvhin.h"

#include "bvhstate.h"

#include "kvnode.h"

#include <QHash>
#include <QVector>

#include <algorithm>

namespace {

// Chooses, bottom-up over the figure, the one joint that keys each bone.
class KeyerChooser
{
public:
    KeyerChooser(CMotionPlan &plan, const QHash<const KvNode *, QVector<int>> &candidates)
        : plan(plan), candidates(candidates)
    {
    }

    // Decides node's subtree and appends the joints that key bones in it.
    void decide(const KvNode *node, std::vector<int> &keyersBelow)
    {
        std::vector<int> below;
        for (int i = 0; i < node->getNumNodeChildren(); ++i)
            decide(node->getNodeChild(i), below);
        const auto it = candidates.constFind(node);
        if (it != candidates.cend()) {
            const int keyer = choose(*it, below);
            plan.keyerOfBone.insert(node, keyer);
            below.push_back(keyer);
        }
        keyersBelow.insert(keyersBelow.end(), below.cbegin(), below.cend());
    }

    // Of the joints mapped to a bone (in file order), the deepest one that is
    // an ancestor or the joint itself of every joint keying a bone below it,
    // or among those the one named as the bone is (the file's hand keys the
    // figure's hand); the last in file order when none qualifies. Keeping the common ancestor
    // keeps the rotations of the joints in between on the path to the joints
    // below (they are handed down); any other choice would lose them.
    int choose(const QVector<int> &mapped, const std::vector<int> &keyersBelow) const
    {
        int best = -1;
        int byName = -1;
        for (int j : mapped) {
            const bool aboveAll = std::all_of(keyersBelow.cbegin(), keyersBelow.cend(),
                                              [&](int k) { return isAncestorOrSelf(j, k); });
            if (aboveAll && (best < 0 || plan.joints[size_t(j)].depth >= plan.joints[size_t(best)].depth))
                best = j;
            if (aboveAll && CBvhIn::holdsBoneByName(plan.joints[size_t(j)].record))
                byName = j;
        }
        if (byName >= 0)
            return byName;
        return best >= 0 ? best : mapped.last();
    }

private:
    bool isAncestorOrSelf(int ancestor, int joint) const
    {
        for (; joint >= 0; joint = plan.joints[size_t(joint)].parent) {
            if (joint == ancestor)
                return true;
        }
        return false;
    }

    CMotionPlan &plan;
    const QHash<const KvNode *, QVector<int>> &candidates;
};

} // namespace

void CBvhIn::planMotion()
{
    CMotionPlan &plan = motionPlan;
    plan.clear();

    // Joints in file order; each owns the channel records right after it.
    QHash<const CBvhHeader *, int> indexOf;
    int owner = -1;
    for (CBvhHeader *record : bvhState().jointList) {
        if (record->type == Joint) {
            CMotionPlan::Joint joint;
            joint.record = record;
            joint.parent = record->parent ? indexOf.value(record->parent, -1) : -1;
            joint.depth = joint.parent >= 0 ? plan.joints[size_t(joint.parent)].depth + 1 : 0;
            joint.firstColumn = int(plan.columns.size());
            joint.active = record->applyChannel;
            owner = int(plan.joints.size());
            indexOf.insert(record, owner);
            plan.joints.push_back(joint);
        } else if (record->type >= Xposition && record->type <= Zscale) {
            plan.columns.push_back({record->type, record->applyChannel});
            if (owner >= 0)
                ++plan.joints[size_t(owner)].columnCount;
        } else {
            owner = -1;
        }
        if ((record->type == Joint || record->type == EndSite) && record->parent) {
            const int parent = indexOf.value(record->parent, -1);
            if (parent >= 0)
                plan.joints[size_t(parent)].hasEnd = true;
        }
    }

    // Only bones are keyed; switched-off joints take no part.
    QHash<const KvNode *, QVector<int>> candidates;
    for (size_t j = 0; j < plan.joints.size(); ++j) {
        const CMotionPlan::Joint &joint = plan.joints[j];
        KvNode *node = joint.record->mappedNode;
        if (joint.active && node && node->inherits("KvBone"))
            candidates[node].append(int(j));
    }
    KeyerChooser chooser(plan, candidates);
    KvSkeleton *skeleton = bvhState().targetSkeleton;
    std::vector<int> keyers;
    if (skeleton)
        chooser.decide(skeleton, keyers);
    // Bones outside the target figure have nothing below them to consider.
    for (auto it = candidates.cbegin(); it != candidates.cend(); ++it) {
        if (!plan.keyerOfBone.contains(it.key()))
            plan.keyerOfBone.insert(it.key(), chooser.choose(it.value(), {}));
    }
    for (auto it = plan.keyerOfBone.cbegin(); it != plan.keyerOfBone.cend(); ++it)
        plan.joints[size_t(it.value())].bone = plan.joints[size_t(it.value())].record->mappedNode;

    const KvNode *firstBone = skeleton ? skeleton->getNodeChild(0) : nullptr;
    const auto rootKeyer = plan.keyerOfBone.constFind(firstBone);
    if (firstBone && rootKeyer != plan.keyerOfBone.cend())
        plan.joints[size_t(*rootKeyer)].movesFigure = true;

    plan.values.reserve(plan.columns.size());
    plan.handedDown.assign(plan.joints.size(), KvQuat());
    plan.handsRotation.assign(plan.joints.size(), 0);
    plan.ready = true;
}
