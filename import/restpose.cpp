#include "bvhin.h"

#include "bvhstate.h"
#include "bodyparts.h"
#include "namepattern.h"

#include "kvnode.h"

#include <QHash>

#include <cmath>
#include <algorithm>
#include <vector>

namespace {

// A quarter turn, a few units in the last place below pi / 2.
constexpr float quarterTurn = 1.5707961320877075f;

// The turn about Y that brings a figure facing +Z with its right shoulder at
// rightShoulder (relative to the root) to face the way the shoulder says.
float facingTurn(const KvVec3 &rightShoulder)
{
    if (std::abs(rightShoulder.z) < std::abs(rightShoulder.x))
        return 0.0f;
    return rightShoulder.z <= 0.0f ? quarterTurn : -quarterTurn;
}

// The host quaternion of the rotation that best turns each of from onto the
// matching direction of to (unit vectors, equal weights): Horn's closed form,
// the eigenvector of the largest eigenvalue of a symmetric 4x4 matrix.
KvQuat bestTurn(const std::vector<KvVec3d> &from, const std::vector<KvVec3d> &to)
{
    double s[3][3] = {};
    for (size_t i = 0; i < from.size(); ++i) {
        const double a[3] = {from[i].x, from[i].y, from[i].z};
        const double b[3] = {to[i].x, to[i].y, to[i].z};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                s[r][c] += a[r] * b[c];
        }
    }
    double n[4][4] = {
        {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
        {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
        {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
        {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]},
    };
    // Cyclic Jacobi: v collects the rotations, n becomes diagonal.
    double v[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (int sweep = 0; sweep < 50; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q)
                off += n[p][q] * n[p][q];
        }
        if (off < 1e-30)
            break;
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                if (n[p][q] == 0.0)
                    continue;
                const double theta = (n[q][q] - n[p][p]) / (2.0 * n[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double sn = t * c;
                for (int k = 0; k < 4; ++k) {
                    const double kp = n[k][p];
                    const double kq = n[k][q];
                    n[k][p] = c * kp - sn * kq;
                    n[k][q] = sn * kp + c * kq;
                }
                for (int k = 0; k < 4; ++k) {
                    const double pk = n[p][k];
                    const double qk = n[q][k];
                    n[p][k] = c * pk - sn * qk;
                    n[q][k] = sn * pk + c * qk;
                }
                for (int k = 0; k < 4; ++k) {
                    const double kp = v[k][p];
                    const double kq = v[k][q];
                    v[k][p] = c * kp - sn * kq;
                    v[k][q] = sn * kp + c * kq;
                }
            }
        }
    }
    int best = 0;
    for (int i = 1; i < 4; ++i) {
        if (n[i][i] > n[best][best])
            best = i;
    }
    // (w, x, y, z) turns from onto to as a textbook quaternion; the host's
    // multVec turns the other way, so the host quaternion is its conjugate.
    return KvQuat(-v[1][best], -v[2][best], -v[3][best], v[0][best], true);
}

// Visits the bones below from in pre-order, children in order, without
// recursion (figures may be chains thousands of bones deep); visit returns
// whether to go on below the bone it was given.
template <typename Visit>
void walkBones(const KvNode *from, Visit visit)
{
    std::vector<KvNode *> pending;
    const auto pushChildren = [&pending](const KvNode *node) {
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i) {
            KvNode *child = node->getNodeChild(i);
            if (child->inherits("KvBone"))
                pending.push_back(child);
        }
    };
    pushChildren(from);
    while (!pending.empty()) {
        KvNode *node = pending.back();
        pending.pop_back();
        if (visit(node))
            pushChildren(node);
    }
}

// World rotations and positions of the figure's nodes at the current time,
// each worked out once from its parent's instead of by a walk to the root
// (figures may be chains thousands of bones deep). What was worked out below
// a bone before it turns is dropped when it does.
class WorldPose
{
public:
    KvQuat rotation(const KvNode *node) { return entry(node).rotation; }
    KvVec3 position(const KvNode *node) { return entry(node).position.toFloat(); }

    // Gives bone the world rotation world, keyed as its local rotation.
    void turn(KvNode *bone, const KvQuat &world)
    {
        const KvNode *parent = bone->getNodeParent();
        bone->setLocalRot(parent ? world * rotation(parent).inverted() : world);
        for (const KvNode *node : sinceTurn) {
            if (node != bone && isBelow(node, bone))
                entries.remove(node);
        }
        sinceTurn.clear();
        entries[bone].rotation = world;
    }

private:
    struct Entry
    {
        KvQuat rotation;
        KvVec3d position;
    };

    static bool isBelow(const KvNode *node, const KvNode *above)
    {
        for (const KvNode *up = node->getNodeParent(); up; up = up->getNodeParent()) {
            if (up == above)
                return true;
        }
        return false;
    }

    const Entry &entry(const KvNode *node)
    {
        const auto found = entries.constFind(node);
        if (found != entries.cend())
            return *found;
        std::vector<const KvNode *> chain;
        for (const KvNode *up = node; up && !entries.contains(up); up = up->getNodeParent())
            chain.push_back(up);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const KvNode *n = *it;
            const KvNode *parent = n->getNodeParent();
            const Entry above = parent ? entries.value(parent) : Entry();
            const KvVec3d parentOrigin = parent ? KvVec3d(parent->getOrigin()) : KvVec3d();
            Entry e;
            e.position = above.position
                       + above.rotation.multVec(KvVec3d(n->getOrigin()) - parentOrigin + KvVec3d(n->getLocalPos()));
            e.rotation = n->getLocalRot() * above.rotation;
            entries.insert(n, e);
            sinceTurn.push_back(n);
        }
        return *entries.constFind(node);
    }

    QHash<const KvNode *, Entry> entries;
    std::vector<const KvNode *> sinceTurn;
};

// Where a bone points now: toward its end point, unless that is only the
// first of several children (a hand ending at its thumb), then toward the
// middle child; zero when it has neither.
KvVec3 figureRestDirection(const KvNode *bone, WorldPose &pose)
{
    const KvNode *middle = CBvhIn::middleChildBone(bone);
    int childBones = 0;
    bool endsAtChild = false;
    for (int i = 0; i < bone->getNumNodeChildren(); ++i) {
        const KvNode *child = bone->getNodeChild(i);
        if (child->inherits("KvBone")) {
            ++childBones;
            endsAtChild = endsAtChild || child->getOrigin() == bone->getEndPoint();
        }
    }
    const KvVec3 end = pose.rotation(bone).multVec(bone->getEndPoint() - bone->getOrigin());
    if (middle && (!(end.length() > 0.0f) || (childBones > 1 && endsAtChild)))
        return pose.position(middle) - pose.position(bone);
    return end;
}

// The turn that lays from[0] exactly onto to[0] and, about it, best turns
// the other directions onto theirs.
KvQuat aimedTurn(const std::vector<KvVec3d> &from, const std::vector<KvVec3d> &to)
{
    KvQuat aim = from[0].toFloat().getRotationTo(to[0].toFloat());
    aim.invert();
    const KvVec3d axis = to[0];
    double sine = 0.0;
    double cosine = 0.0;
    for (size_t i = 1; i < from.size(); ++i) {
        const KvVec3d a = aim.multVec(from[i]);
        const KvVec3d across = a - axis * a.dot(axis);
        const KvVec3d target = to[i] - axis * to[i].dot(axis);
        sine += across.cross(target).dot(axis);
        cosine += across.dot(target);
    }
    if (sine == 0.0 && cosine == 0.0)
        return aim;
    // The host's quaternions turn by minus their angle.
    return aim * KvQuat::fromAxisAngle(axis, -std::atan2(sine, cosine));
}

KvVec3d unit(const KvVec3 &v)
{
    const KvVec3d d(v);
    return d * (1.0 / d.length());
}

bool isDescendant(const CMotionPlan &plan, const CMotionPlan::Joint *joint, const CMotionPlan::Joint *ancestor)
{
    for (int j = joint->parent; j >= 0; j = plan.joints[size_t(j)].parent) {
        if (&plan.joints[size_t(j)] == ancestor)
            return true;
    }
    return false;
}

} // namespace

void CBvhIn::detectArmAxis()
{
    static const CNamePattern rightShoulder(QStringLiteral("[rR]*[sS]h*ld*r"));
    const CBvhHeader *shoulder = nullptr;
    for (const CBvhHeader *record : bvhState().jointList) {
        if (record->type == Joint && record->mappedNode && rightShoulder.fits(record->mappedName))
            shoulder = record;
    }
    if (!shoulder)
        return;

    const KvVec3 &filePosition = shoulder->restPosition;
    armsAlongX = std::abs(filePosition.z) < std::abs(filePosition.x);
    // The figure's own shoulder may sit off its X axis too (a clavicle at the
    // spine): only the difference between the two needs a turn.
    const KvSkeleton *skeleton = bvhState().targetSkeleton;
    const KvNode *firstBone = skeleton ? skeleton->getNodeChild(0) : nullptr;
    const float figureTurn = firstBone ? facingTurn(shoulder->mappedNode->getOrigin() - firstBone->getOrigin()) : 0.0f;
    hipTurnAngle = facingTurn(filePosition) - figureTurn;
}

KvNode *CBvhIn::middleChildBone(const KvNode *node)
{
    if (!node)
        return nullptr;
    int bones = 0;
    for (int i = 0; i < node->getNumNodeChildren(); ++i) {
        if (node->getNodeChild(i)->inherits("KvBone"))
            ++bones;
    }
    if (bones == 0)
        return nullptr;
    const int wanted = bones / 2 + 1;
    int seen = 0;
    for (int i = 0; i < node->getNumNodeChildren(); ++i) {
        KvNode *child = node->getNodeChild(i);
        if (child->inherits("KvNode") && ++seen == wanted)
            return child;
    }
    return nullptr;
}

void CBvhIn::boneAxes(const KvNode *node, KvVec3 &axis, KvVec3 &mask)
{
    switch (node->getRotationOrder().code()) {
    case KvRotationOrder::XYZ:
    case KvRotationOrder::XZY:
        axis = KvVec3(1, 0, 0);
        mask = KvVec3(0, 1, 1);
        break;
    case KvRotationOrder::YXZ:
    case KvRotationOrder::YZX:
        axis = KvVec3(0, 1, 0);
        mask = KvVec3(1, 0, 1);
        break;
    case KvRotationOrder::ZXY:
    case KvRotationOrder::ZYX:
        axis = KvVec3(0, 0, 1);
        mask = KvVec3(1, 1, 0);
        break;
    default:
        break;
    }
}

void CBvhIn::alignRestPose()
{
    planMotion();
    const CBvhState &state = bvhState();
    const KvSkeleton *skeleton = state.targetSkeleton;
    const KvNode *firstBone = skeleton ? skeleton->getNodeChild(0) : nullptr;

    // A joint with exactly one child joint or End Site points at it. An End
    // Site leaves two records (its OFFSET and its closing brace).
    QHash<const CBvhHeader *, int> childCount;
    for (const CBvhHeader *record : state.jointList) {
        if (record->parent && (record->type == Joint || record->type == EndSite))
            childCount[record->parent] += record->type == Joint ? 2 : 1;
    }

    // The nearest keyed bones below node, through bones nobody keys.
    const auto keyedBelow = [this](const KvNode *node) {
        std::vector<const KvNode *> found;
        walkBones(node, [&](const KvNode *bone) {
            if (!motionPlan.keyer(bone))
                return true;
            found.push_back(bone);
            return false;
        });
        return found;
    };
    // The first keyed bone of part in node's subtree.
    const auto keyedPart = [this](const KvNode *node, int part) {
        const KvNode *found = nullptr;
        walkBones(node, [&](const KvNode *bone) {
            if (!found && motionPlan.keyer(bone) && bodyparts::partOf(bone->getLabel()) == part)
                found = bone;
            return !found;
        });
        return found;
    };
    const auto isAncestorOf = [](const KvNode *node, const KvNode *below) {
        for (const KvNode *up = below; up; up = up->getNodeParent()) {
            if (up == node)
                return true;
        }
        return false;
    };

    WorldPose pose;
    std::vector<KvNode *> bones;
    if (skeleton) {
        walkBones(skeleton, [&bones](KvNode *bone) {
            bones.push_back(bone);
            return true;
        });
    }
    const auto headBone = std::find_if(bones.cbegin(), bones.cend(), [](const KvNode *bone) {
        return bodyparts::partOf(bone->getLabel()) == bodyparts::Head;
    });
    const KvNode *head = headBone == bones.cend() ? nullptr : *headBone;

    // Parents before children: each bone is turned with its part of the
    // figure, so that the figure's directions from the bone to the bones its
    // children's joints key point where the file's do.
    for (KvNode *bone : bones) {
        const CMotionPlan::Joint *joint = motionPlan.keyer(bone);
        if (!joint)
            continue;
        const KvVec3 origin = pose.position(bone);
        // A bone that starts where its parent does (a rig's hip joint at the
        // pelvis) starts, in the file's terms, at the parent's joint: the
        // file may have put the offset it lacks into this joint instead.
        KvVec3 fileOrigin = joint->record->restPosition;
        const KvNode *parentBone = bone->getNodeParent();
        const CMotionPlan::Joint *parentJoint = parentBone ? motionPlan.keyer(parentBone) : nullptr;
        if (parentJoint && isDescendant(motionPlan, joint, parentJoint) && parentBone->getOrigin() == bone->getOrigin())
            fileOrigin = parentJoint->record->restPosition;
        std::vector<KvVec3d> figureDirections;
        std::vector<KvVec3d> fileDirections;
        const auto pair = [&](const KvVec3 &figure, const KvVec3 &file) {
            if (figure.length() > 0.0f && file.length() > 0.0f) {
                figureDirections.push_back(unit(figure));
                fileDirections.push_back(unit(file));
            }
        };

        const std::vector<const KvNode *> below = keyedBelow(bone);
        // The figure's first bone faces by its thighs: their joints' heights
        // and spreads differ between skeletons far more than the line across.
        const KvNode *thighs[2] = {nullptr, nullptr};
        if (bone == firstBone) {
            thighs[0] = keyedPart(bone, bodyparts::LeftThigh);
            thighs[1] = keyedPart(bone, bodyparts::RightThigh);
            const CMotionPlan::Joint *left = thighs[0] ? motionPlan.keyer(thighs[0]) : nullptr;
            const CMotionPlan::Joint *right = thighs[1] ? motionPlan.keyer(thighs[1]) : nullptr;
            if (left && right && isDescendant(motionPlan, left, joint) && isDescendant(motionPlan, right, joint))
                pair(pose.position(thighs[0]) - pose.position(thighs[1]),
                     left->record->restPosition - right->record->restPosition);
            else
                thighs[0] = thighs[1] = nullptr;
        }
        // Where a bone has several, the one toward the head is met exactly
        // and the others settle the twist, so the torso keeps the file's line.
        bool aimed = false;
        for (const KvNode *child : below) {
            if (thighs[0] && (isAncestorOf(child, thighs[0]) || isAncestorOf(child, thighs[1])))
                continue;
            const CMotionPlan::Joint *target = motionPlan.keyer(child);
            if (!isDescendant(motionPlan, target, joint))
                continue;
            const size_t before = figureDirections.size();
            pair(pose.position(child) - origin, target->record->restPosition - fileOrigin);
            if (figureDirections.size() > before && head && bone != firstBone && isAncestorOf(child, head)) {
                std::swap(figureDirections.front(), figureDirections.back());
                std::swap(fileDirections.front(), fileDirections.back());
                aimed = true;
            }
        }

        KvQuat turn;
        if (figureDirections.size() >= 2) {
            turn = aimed ? aimedTurn(figureDirections, fileDirections) : bestTurn(figureDirections, fileDirections);
        } else {
            KvVec3 figureDirection;
            KvVec3 fileDirection;
            if (figureDirections.size() == 1) {
                figureDirection = figureDirections[0].toFloat();
                fileDirection = fileDirections[0].toFloat();
            } else {
                // Nothing keyed below: the bone's own direction toward the
                // joint's End Site or only child.
                if (childCount.value(joint->record) != 2)
                    continue;
                fileDirection = joint->record->endPosition - fileOrigin;
                figureDirection = figureRestDirection(bone, pose);
            }
            if (!(fileDirection.length() > 0.0f) || !(figureDirection.length() > 0.0f))
                continue;
            turn = figureDirection.getRotationTo(fileDirection);
            turn.invert();
        }
        KvQuat rotation = pose.rotation(bone);
        rotation *= turn;
        pose.turn(bone, rotation);
    }

    // Rest rotations once every bone has its final rest pose; each channel
    // record carries its joint's rest data.
    const CBvhHeader *joint = nullptr;
    for (CBvhHeader *record : bvhState().jointList) {
        if (record->type == Joint) {
            joint = record;
            if (record->mappedNode) {
                record->restWorldRotation = pose.rotation(record->mappedNode);
                record->restLocalRotation = record->mappedNode->getLocalRot();
            }
        } else if (joint && record->type >= Xposition && record->type <= Zscale) {
            record->restPosition = joint->restPosition;
            record->endPosition = joint->endPosition;
            record->restLocalRotation = joint->restLocalRotation;
            record->restWorldRotation = joint->restWorldRotation;
        } else {
            joint = nullptr;
        }
    }
}
