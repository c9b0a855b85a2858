#include "bvhin.h"

#include "bodyparts.h"

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
// frame boundary that holds one, else 0.
float previousKeyValue(const KvFloatProperty *control, int t, int step)
{
    if (control->getNumKeys() == 0)
        return 0.0f;
    // No key lies before the first one: stop there. A key at time 0 counts,
    // so that the second frame does not spin a whole turn away from the first.
    const int earliest = std::max(0, control->getKeyTime(0));
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
    if (!plan.restTaken)
        plan.takeRestPose();

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
        KvVec3 rawPosition;
        bool positionRead[3] = {false, false, false};
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
            case Yposition:
            case Zposition:
                // Other joints' positions restate their offsets in the file's
                // proportions, not the figure's: only the root moves.
                if (joint.movesFigure) {
                    const int axis = column.type - Xposition;
                    (axis == 0 ? rawPosition.x : axis == 1 ? rawPosition.y : rawPosition.z) = value;
                    positionRead[axis] = true;
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

        // A Z-up file stands up at its root, before anything reads a height.
        if (!hasParent) {
            if (standUp < 0)
                standUp = decideStandUp(joint, rotation) ? 1 : 0;
            if (standUp == 1) {
                rotation = rotation * axisRotation(0, -90.0f);
                hasRotation = true;
                rawPosition = KvVec3(rawPosition.x, rawPosition.z, -rawPosition.y);
                const bool y = positionRead[1];
                positionRead[1] = positionRead[2];
                positionRead[2] = y;
            }
        }
        KvVec3 position;
        bool hasPosition = false;
        if (positionRead[0] && applyXPosition) {
            position.x = rawPosition.x;
            hasPosition = true;
        }
        if (positionRead[1]) {
            if (!firstYSeen) {
                firstYPosition = rawPosition.y;
                firstYSeen = true;
            }
            if (applyYPosition) {
                position.y = rawPosition.y - firstYPosition;
                hasPosition = true;
            }
        }
        if (positionRead[2] && applyZPosition) {
            position.z = rawPosition.z;
            hasPosition = true;
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
            applyRotation(joint, rotation * inherited);
        if (hasScale)
            applyScale(*joint.record, scale);
    }
    advanceFrame();
}

bool CBvhIn::decideStandUp(const CMotionPlan::Joint &root, const KvQuat &firstRotation) const
{
    const QString choice = ioSettings.value(upAxisKey, QStringLiteral("auto")).toString().trimmed().toLower();
    if (choice == QLatin1String("y"))
        return false;
    if (choice == QLatin1String("z"))
        return true;
    const auto mostlyAlong = [](float along, float acrossA, float acrossB) {
        return std::abs(along) > std::abs(acrossA) && std::abs(along) > std::abs(acrossB);
    };
    // The rest pose: the head above the root along +Z more than along any
    // other axis, the feet below it along -Z.
    const CBvhHeader *head = nullptr;
    bool feetDown = true;
    for (const CMotionPlan::Joint &joint : motionPlan.joints) {
        const int part = bodyparts::partOf(joint.record->name);
        const KvVec3 v = joint.record->restPosition - root.record->restPosition;
        if (part == bodyparts::Head && !head)
            head = joint.record;
        else if (part == bodyparts::LeftFoot || part == bodyparts::RightFoot)
            feetDown = feetDown && v.z < 0.0f && mostlyAlong(v.z, v.x, v.y);
    }
    if (!head)
        return false;
    const KvVec3 up = head->restPosition - root.record->restPosition;
    if (!(up.z > 0.0f && mostlyAlong(up.z, up.x, up.y)) || !feetDown)
        return false;
    // ... and still so in the first frame: a capture whose root stands it up
    // is left as it is.
    const KvVec3 firstUp = firstRotation.multVec(up);
    return firstUp.z > 0.0f && mostlyAlong(firstUp.z, firstUp.x, firstUp.y);
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

void CBvhIn::applyRotation(const CMotionPlan::Joint &joint, const KvQuat &fileRotation)
{
    KvNode *bone = joint.record->mappedNode;
    if (!bone)
        return;

    // The file's rotation is given in axes that are world axes in its rest
    // pose; the bone turns in its parent's rest frame P (= A^-1 B). The key is
    // A P Q P^-1: Q seen from the bone, laid on its rest rotation A.
    const KvQuat key = joint.keyLead * fileRotation * joint.keyTail;

    // The figure's root may turn round and round; its angles must not jump by
    // a whole turn between frames, or interpolation would spin it back.
    const int t = kvScene->getTime();
    const bool keepContinuous = t != 0 && joint.turnsFreely;
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
