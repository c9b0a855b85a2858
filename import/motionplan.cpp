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
    // The lowest common file ancestor of a set of joints: -1 for an empty
    // set, none for joints under different roots.
    static constexpr int none = -2;

    KeyerChooser(CMotionPlan &plan, const QHash<const KvNode *, QVector<int>> &candidates)
        : plan(plan), candidates(candidates)
    {
    }

    // Decides root's subtree, children before parents, without recursion:
    // figures may be chains thousands of bones deep.
    void decide(const KvNode *root)
    {
        struct Visit
        {
            const KvNode *node;
            int next;   // the next child to visit
            int below;  // common ancestor of the joints keying bones below
        };
        std::vector<Visit> stack{{root, 0, -1}};
        while (!stack.empty()) {
            Visit &top = stack.back();
            if (top.next < top.node->getNumNodeChildren()) {
                const KvNode *child = top.node->getNodeChild(top.next++);
                stack.push_back({child, 0, -1});
                continue;
            }
            const Visit done = top;
            stack.pop_back();
            int keyers = done.below;
            const auto it = candidates.constFind(done.node);
            if (it != candidates.cend()) {
                const int keyer = choose(*it, done.below);
                plan.keyerOfBone.insert(done.node, keyer);
                keyers = join(keyers, keyer);
            }
            if (!stack.empty())
                stack.back().below = join(stack.back().below, keyers);
        }
    }

    // Of the joints mapped to a bone (in file order), the deepest one that is
    // an ancestor or the joint itself of every joint keying a bone below it
    // (below: their common ancestor), or among those the one named as the
    // bone is (the file's hand keys the figure's hand); the last in file
    // order when none qualifies. Keeping the common ancestor keeps the
    // rotations of the joints in between on the path to the joints below
    // (they are handed down); any other choice would lose them.
    int choose(const QVector<int> &mapped, int below) const
    {
        int best = -1;
        int byName = -1;
        for (int j : mapped) {
            const bool aboveAll = below == -1 || (below != none && isAncestorOrSelf(j, below));
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
    // The common ancestor of two results (-1: empty, none: no common one).
    int join(int a, int b) const
    {
        if (a == -1)
            return b;
        if (b == -1)
            return a;
        if (a == none || b == none)
            return none;
        while (plan.joints[size_t(a)].depth > plan.joints[size_t(b)].depth)
            a = plan.joints[size_t(a)].parent;
        while (plan.joints[size_t(b)].depth > plan.joints[size_t(a)].depth)
            b = plan.joints[size_t(b)].parent;
        while (a != b && a >= 0 && b >= 0) {
            a = plan.joints[size_t(a)].parent;
            b = plan.joints[size_t(b)].parent;
        }
        return a == b && a >= 0 ? a : none;
    }

    bool isAncestorOrSelf(int ancestor, int joint) const
    {
        const int depth = plan.joints[size_t(ancestor)].depth;
        while (joint >= 0 && plan.joints[size_t(joint)].depth > depth)
            joint = plan.joints[size_t(joint)].parent;
        return joint == ancestor;
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
    if (skeleton)
        chooser.decide(skeleton);
    // Bones outside the target figure have nothing below them to consider.
    for (auto it = candidates.cbegin(); it != candidates.cend(); ++it) {
        if (!plan.keyerOfBone.contains(it.key()))
            plan.keyerOfBone.insert(it.key(), chooser.choose(it.value(), -1));
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

void CMotionPlan::takeRestPose()
{
    // Constant for the whole import once the rest pose is aligned.
    for (Joint &joint : joints) {
        const CBvhHeader *record = joint.record;
        const KvQuat parentRest = record->restLocalRotation.inverted() * record->restWorldRotation;
        joint.keyLead = record->restLocalRotation * parentRest;
        joint.keyTail = parentRest.inverted();
        const KvNode *bone = record->mappedNode;
        const KvNode *parent = bone ? bone->getNodeParent() : nullptr;
        joint.turnsFreely = bone && (!parent || !parent->inherits("KvBone"));
    }
    restTaken = true;
}
