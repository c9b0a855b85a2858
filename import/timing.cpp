#include "bvhin.h"

#include "bodyparts.h"
#include "bvhstate.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QList>

#include <algorithm>
#include <climits>
#include <cmath>

bool frameOption = true;
bool inPlaceOption = false;
bool limitsOption = false;
bool savedRotationClamp = false;

namespace {

constexpr int ticksPerSecond = 4800;

// The scene step that a file's frame time asks for, or 0 when it asks for
// none: a time that is not a positive finite number, or rounds to less than
// one tick or more than an int holds. Rounded in single precision, so that
// 0.0333333 s gives 160 ticks (159.99985 + 0.5 floored).
int stepForFrameTime(float seconds)
{
    const float ticks = seconds * float(ticksPerSecond);
    const float rounded = std::floor(ticks + 0.5f);
    // NaN fails both tests.
    if (!(rounded >= 1.0f && rounded < float(INT_MAX)))
        return 0;
    return int(rounded);
}

int toTicks(qint64 frames, int step)
{
    return int(std::clamp<qint64>(frames * step, INT_MIN, INT_MAX));
}

} // namespace

void CBvhIn::loadImportOptions()
{
    KvAppSettingsMgr *settings = kvApp ? kvApp->getAppSettingsMgr() : nullptr;
    if (!settings)
        return;
    settings->pushPath(QStringLiteral("BVHIO"));
    const auto read = [settings](const QString &key, bool &option) {
        if (settings->contains(key))
            option = settings->getBoolValue(key, option);
    };
    read(QStringLiteral("Frame Opt"), frameOption);
    read(QStringLiteral("InPlace Opt"), inPlaceOption);
    read(QStringLiteral("Limits Opt"), limitsOption);
    settings->popPath();
}

void CBvhIn::clearExistingAnimation()
{
    const KvSkeleton *skeleton = bvhState().targetSkeleton;
    if (!skeleton)
        return;
    const KvTimeRange range(kvScene->getTime(), kvScene->getAnimRange().end);
    QList<KvBone *> bones;
    skeleton->getAllBones(bones);
    for (KvBone *bone : bones) {
        bone->clearAnimData(range);
        bone->clearTransformData(range);
    }
}

void CBvhIn::prepareMotion()
{
    motionPlan.clear();
    rangeEndBefore = -1;
    savedSceneTime = kvScene->getTime();
    const KvTimeRange range = kvScene->getAnimRange();
    const int step = kvScene->getTimeStep();
    const float frameSeconds = float(step / double(ticksPerSecond));

    if (frameOption) {
        int newStep = step;
        if (frameTime != frameSeconds) {
            const int fileStep = stepForFrameTime(frameTime);
            if (fileStep > 0) {
                newStep = fileStep;
                kvScene->setTimeStep(newStep);
            }
        }
        // Counted in the frames the file will land on, so that the range is
        // only ever lengthened (at its end) and holds every frame.
        const qint64 neededEndFrame = qint64(numFrames) + savedSceneTime / newStep;
        if (range.end / newStep < neededEndFrame) {
            rangeEndBefore = range.end;
            const KvTimeRange longer(range.start, toTicks(neededEndFrame, newStep));
            kvScene->setAnimRange(longer);
            kvScene->setPlayRange(longer);
        }
    } else {
        numFrames = range.end / step - range.start / step;
    }

    applyXPosition = applyZPosition = !inPlaceOption;
    applyYPosition = true;
    firstYPosition = 0.0f;
    firstYSeen = false;
    framesApplied = 0;

    for (const CBvhHeader *record : bvhState().jointList)
        applyLimitFlag(record->mappedNode, record->type);
}

void CBvhIn::applyLimitFlag(KvNode *node, int type)
{
    if (!node || type < Xposition || type > Zscale)
        return;
    // Channel types follow the node's control order: positions, rotations, scales.
    KvFloatProperty *control = node->getControl(type - Xposition);
    if (type >= Xrotation && type <= Zrotation)
        savedRotationClamp = control->isClamped();
    control->setIsClamped(limitsOption);
}

bool CBvhIn::isFrameInRange() const
{
    if (framesApplied >= numFrames)
        return false;
    return kvScene->getAnimRange().contains(kvScene->getTime());
}

void CBvhIn::advanceFrame()
{
    if (!isFrameInRange())
        return;
    kvScene->stepTime(1, true);
    ++framesApplied;
}

void CBvhIn::fitRangeToFrames()
{
    // A file cut short of its Frames count (or claiming billions of frames)
    // would otherwise leave a range of frozen frames that every export and
    // playback then runs through.
    if (!frameOption || rangeEndBefore < 0 || framesApplied >= numFrames)
        return;
    const int step = kvScene->getTimeStep();
    const KvTimeRange range = kvScene->getAnimRange();
    const int end = std::max(rangeEndBefore, toTicks(qint64(framesApplied) + savedSceneTime / step, step));
    if (end < range.end) {
        const KvTimeRange fitted(range.start, end);
        kvScene->setAnimRange(fitted);
        kvScene->setPlayRange(fitted);
    }
}

void CBvhIn::restoreRotationLimits()
{
    // The plan points into the joint list, which the driver empties next.
    motionPlan.clear();
    if (limitsOption == savedRotationClamp)
        return;
    const KvNode *previous = nullptr;
    for (const CBvhHeader *record : bvhState().jointList) {
        KvNode *node = record->mappedNode;
        if (!node || node == previous)
            continue;
        previous = node;
        node->getXRotControl()->setIsClamped(savedRotationClamp);
        node->getYRotControl()->setIsClamped(savedRotationClamp);
        node->getZRotControl()->setIsClamped(savedRotationClamp);
    }
}

void CBvhIn::computePositionScale()
{
    const KvSkeleton *skeleton = bvhState().targetSkeleton;
    KvNode *root = skeleton ? skeleton->getNodeChild(0) : nullptr;
    if (!root)
        return;
    // The left leg by the host's names, or by the body part a bone's name
    // stands for in other namings.
    const auto leg = [root](const QString &label, int part) -> const KvNode * {
        if (const KvNode *bone = findBoneByLabel(root, label))
            return bone;
        for (const CSkelHeader *record : bvhState().skeletonList) {
            if (record->part == part)
                return record->bone;
        }
        return nullptr;
    };
    const KvNode *thigh = leg(QStringLiteral("lThigh"), bodyparts::LeftThigh);
    const KvNode *shin = leg(QStringLiteral("lShin"), bodyparts::LeftShin);
    const KvNode *foot = leg(QStringLiteral("lFoot"), bodyparts::LeftFoot);
    if (!thigh || !shin || !foot)
        return;
    const float figureLeg = (thigh->getEndPoint() - thigh->getOrigin()).length()
                          + (shin->getEndPoint() - shin->getOrigin()).length();

    // The joint that keys a bone stands for it; without a plan, the first
    // joint mapped to it.
    if (!motionPlan.ready)
        planMotion();
    const auto jointOf = [this](const KvNode *bone) -> const CBvhHeader * {
        const CMotionPlan::Joint *joint = motionPlan.keyer(bone);
        return joint ? joint->record : findRecordForNode(bone);
    };
    const CBvhHeader *thighJoint = jointOf(thigh);
    const CBvhHeader *shinJoint = jointOf(shin);
    const CBvhHeader *footJoint = jointOf(foot);
    if (!thighJoint || !shinJoint || !footJoint)
        return;
    const float fileLeg = (shinJoint->restPosition - thighJoint->restPosition).length()
                        + (footJoint->restPosition - shinJoint->restPosition).length();
    if (fileLeg > 0.0f && std::isfinite(fileLeg) && std::isfinite(figureLeg))
        positionScale = figureLeg / fileLeg;
}
