#include "bvhin.h"

#include "bvhstate.h"
#include "namepattern.h"

#include "kvnode.h"

#include <cmath>

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

// Bones that rest alignment turns onto the file's directions.
bool isLimb(const QString &label)
{
    static const CNamePattern limbs[] = {
        CNamePattern(QStringLiteral("[lL]*[tT]high")),    CNamePattern(QStringLiteral("[rR]*[tT]high")),
        CNamePattern(QStringLiteral("[lL]*[sS]hin")),     CNamePattern(QStringLiteral("[rR]*[sS]hin")),
        CNamePattern(QStringLiteral("[lL]*[cC]ollar")),   CNamePattern(QStringLiteral("[rR]*[cC]ollar")),
        CNamePattern(QStringLiteral("[lL]*[sS]h*ld*r")),  CNamePattern(QStringLiteral("[rR]*[sS]h*ld*r")),
        CNamePattern(QStringLiteral("[lL]*[fF]ore[aA]rm")), CNamePattern(QStringLiteral("[rR]*[fF]ore[aA]rm")),
        CNamePattern(QStringLiteral("[lL]*[hH]and")),     CNamePattern(QStringLiteral("[rR]*[hH]and")),
    };
    for (const CNamePattern &limb : limbs) {
        if (limb.fits(label))
            return true;
    }
    return false;
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
    const KvSkeleton *skeleton = bvhState().targetSkeleton;

    // Turning the first bone turns the whole figure: turning any other bone
    // as well would turn its part of the figure twice.
    KvNode *firstBone = skeleton ? skeleton->getNodeChild(0) : nullptr;
    if (firstBone && hipTurnAngle != 0.0f) {
        KvQuat rotation = firstBone->getWSRot();
        rotation *= KvQuat(KvVec3(0, 1, 0), hipTurnAngle);
        firstBone->setWSRot(rotation);
    }

    // Limbs, parents before children, each by the joint that keys it.
    for (const CMotionPlan::Joint &joint : motionPlan.joints) {
        if (!joint.bone || !isLimb(joint.record->mappedName))
            continue;
        const KvNode *child = middleChildBone(joint.bone);
        if (!child)
            continue;
        // Toward the joint that drives that child bone: the joint's last child
        // may be another finger or toe than the bone's middle child.
        const CMotionPlan::Joint *target = motionPlan.keyer(child);
        KvVec3 fileDirection;
        if (target && isDescendant(motionPlan, target, &joint))
            fileDirection = target->record->restPosition - joint.record->restPosition;
        else if (joint.hasEnd)
            fileDirection = joint.record->endPosition - joint.record->restPosition;
        if (!(fileDirection.length() > 0.0f))
            continue;

        KvVec3 boneDirection = child->getWSPos() - joint.bone->getWSPos();
        if (boneDirection.length() == 0.0f) {
            // The child starts where the bone does: the bone lies along its twist axis.
            KvVec3 axis;
            KvVec3 mask;
            boneAxes(joint.bone, axis, mask);
            boneDirection = joint.bone->getWSRot().multVec(axis);
        }
        KvQuat turn = boneDirection.getRotationTo(fileDirection);
        turn.invert();
        KvQuat rotation = joint.bone->getWSRot();
        rotation *= turn;
        joint.bone->setWSRot(rotation);
    }

    // Rest rotations once every bone has its final rest pose; each channel
    // record carries its joint's rest data.
    const CBvhHeader *joint = nullptr;
    for (CBvhHeader *record : bvhState().jointList) {
        if (record->type == Joint) {
            joint = record;
            if (record->mappedNode) {
                record->restWorldRotation = record->mappedNode->getWSRot();
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
