#include "bvhin.h"

#include "kvmatrix3.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QChar>

#include <charconv>
#include <cmath>

namespace {

constexpr double degToRad = 3.14159265358979323846 / 180.0;

// White space as QString::simplified sees it in Latin-1 text.
class SpaceTable
{
public:
    SpaceTable()
    {
        for (int c = 0; c < 256; ++c)
            space[c] = QChar(QLatin1Char(char(c))).isSpace();
    }
    bool operator()(char c) const { return space[static_cast<unsigned char>(c)]; }

private:
    bool space[256];
};

// A value as the C locale writes it. Text that is no number, and numbers that
// are not finite ("nan", "inf", overflow), read 0: a NaN key would spread into
// every pose and exported file.
float readValue(const char *begin, const char *end)
{
    // A leading '+' is a number's sign; from_chars only takes '-'.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '+' || *begin == '-'))
            return 0.0f;
    }
    float value = 0.0f;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return 0.0f;
    return value;
}

// A textbook rotation about the X, Y or Z axis. The host's quaternions turn
// vectors by minus their angle, hence the sign.
KvQuat axisRotation(int axis, float angleDeg)
{
    const KvVec3d unit(axis == 0 ? 1.0 : 0.0, axis == 1 ? 1.0 : 0.0, axis == 2 ? 1.0 : 0.0);
    return KvQuat::fromAxisAngle(unit, -double(angleDeg) * degToRad);
}

// The previous value of a control at time t: its key on the latest earlier
// frame boundary above 0 that holds one, else 0.
float previousKeyValue(const KvFloatProperty *control, int t, int step)
{
    if (control->getNumKeys() == 0)
        return 0.0f;
    // No key lies before the first one: stop there, not at 0.
    const int earliest = std::max(1, control->getKeyTime(0));
    for (int time = ((t - 1) / step) * step; time >= earliest; time -= step) {
        int index = 0;
        if (control->findKeyAt(time, index))
            return float(control->getKeyValue(index));
    }
    return 0.0f;
}

// The value v + k * 360 closest to previous, or v itself when no whole turn
// brings it closer.
float nearestTurn(float v, float previous)
{
    float turn = 0.0f;
    if (previous > v)
        turn = 360.0f;
    else if (previous < v)
        turn = -360.0f;
    else
        return v;
    float best = v;
    for (float c = v + turn; std::abs(c - previous) < std::abs(best - previous); c += turn)
        best = c;
    return best;
}

} // namespace

void CBvhIn::applyFrameLine(QByteArrayView line)
{
    if (!isFrameInRange())
        return;
    if (!motionPlan.ready)
        planMotion();
    CMotionPlan &plan = motionPlan;

    static const SpaceTable isSpace;
    std::vector<float> &values = plan.values;
    values.clear();
    const size_t wanted = plan.columns.size();
    bool hasText = false;
    const char *p = line.data();
    const char *const end = p + line.size();
    while (p != end) {
        while (p != end && isSpace(*p))
            ++p;
        if (p == end)
            break;
        hasText = true;
        const char *const start = p;
        while (p != end && !isSpace(*p))
            ++p;
        if (values.size() == wanted)
            break;
        values.push_back(readValue(start, p));
    }
    if (!hasText)
        return;

    const int valueCount = int(values.size());
    for (size_t j = 0; j < plan.joints.size(); ++j) {
        const CMotionPlan::Joint &joint = plan.joints[j];
        const bool hasParent = joint.parent >= 0;
        const KvQuat inherited = hasParent ? plan.handedDown[size_t(joint.parent)] : KvQuat();
        const bool inheritsRotation = hasParent && plan.handsRotation[size_t(joint.parent)];
        plan.handedDown[j] = inherited;
        plan.handsRotation[j] = inheritsRotation;
        if (!joint.active)
            continue;

        // Axes a joint does not list, or whose channel is switched off, are 0
        // (1 for scale); rotations compose in the order the joint lists them.
        KvQuat rotation;
        bool hasRotation = false;
        KvVec3 position;
        bool hasPosition = false;
        KvVec3 scale(1, 1, 1);
        bool hasScale = false;
        const int last = std::min(joint.firstColumn + joint.columnCount, valueCount);
        for (int c = joint.firstColumn; c < last; ++c) {
            const CMotionPlan::Column &column = plan.columns[size_t(c)];
            if (!column.enabled)
                continue;
            const float value = values[size_t(c)];
            switch (column.type) {
            case Xposition:
            case Zposition:
                // Other joints' positions restate their offsets in the file's
                // proportions, not the figure's: only the root moves.
                if (joint.movesFigure && (column.type == Xposition ? applyXPosition : applyZPosition)) {
                    (column.type == Xposition ? position.x : position.z) = value;
                    hasPosition = true;
                }
                break;
            case Yposition:
                if (joint.movesFigure) {
                    if (!firstYSeen) {
                        firstYPosition = value;
                        firstYSeen = true;
                    }
                    if (applyYPosition) {
                        position.y = value - firstYPosition;
                        hasPosition = true;
                    }
                }
                break;
            case Xrotation:
            case Yrotation:
            case Zrotation:
                // "A B C" applies C first: each later channel goes in front.
                rotation = axisRotation(column.type - Xrotation, value) * rotation;
                hasRotation = true;
                break;
            case Xscale:
                scale.x = value;
                hasScale = true;
                break;
            case Yscale:
                scale.y = value;
                hasScale = true;
                break;
            case Zscale:
                scale.z = value;
                hasScale = true;
                break;
            default:
                break;
            }
        }

        if (!joint.bone) {
            if (hasRotation) {
                plan.handedDown[j] = rotation * inherited;
                plan.handsRotation[j] = true;
            }
            continue;
        }
        plan.handedDown[j] = KvQuat();
        plan.handsRotation[j] = false;
        // A short line keys nothing from the joint whose values it lacks on.
        if (joint.columnCount > 0 && joint.firstColumn >= valueCount)
            continue;
        if (hasPosition)
            applyPosition(*joint.record, position);
        if (hasRotation || inheritsRotation)
            applyRotation(*joint.record, rotation * inherited);
        if (hasScale)
            applyScale(*joint.record, scale);
    }
    advanceFrame();
}

void CBvhIn::applyPosition(const CBvhHeader &record, const KvVec3 &position)
{
    if (record.mappedNode)
        record.mappedNode->setLocalPos(position * KvVec3(positionScale, positionScale, positionScale));
}

void CBvhIn::applyScale(const CBvhHeader &record, const KvVec3 &scale)
{
    if (!record.mappedNode)
        return;
    KvMatrix3 matrix(false);
    matrix.scale(scale, false);
    record.mappedNode->setLocalScale(matrix, 1.0f);
}

void CBvhIn::applyRotation(const CBvhHeader &record, const KvQuat &fileRotation)
{
    KvNode *bone = record.mappedNode;
    if (!bone)
        return;

    // The file's rotation is given in axes that are world axes in its rest
    // pose; the bone turns in its parent's rest frame P (= A^-1 B). The key is
    // A P Q P^-1: Q seen from the bone, laid on its rest rotation A.
    const KvQuat &restLocal = record.restLocalRotation;
    const KvQuat parentRest = restLocal.inverted() * record.restWorldRotation;
    const KvQuat key = restLocal * parentRest * fileRotation * parentRest.inverted();

    // The figure's root may turn round and round; its angles must not jump by
    // a whole turn between frames, or interpolation would spin it back.
    const int t = kvScene->getTime();
    const KvNode *parent = bone->getNodeParent();
    const bool keepContinuous = t != 0 && (!parent || !parent->inherits("KvBone"));
    float previous[3] = {0.0f, 0.0f, 0.0f};
    if (keepContinuous) {
        const int step = kvScene->getTimeStep();
        for (int axis = 0; axis < 3; ++axis)
            previous[axis] = previousKeyValue(bone->getControl(3 + axis), t, step);
    }

    bone->setLocalRot(key);

    if (!keepContinuous)
        return;
    for (int axis = 0; axis < 3; ++axis) {
        KvFloatProperty *control = bone->getControl(3 + axis);
        if (control->isClamped())
            continue;
        const float value = control->getCurrentValue();
        const float closer = nearestTurn(value, previous[axis]);
        if (closer != value)
            control->setCurrentValue(closer);
    }
}
