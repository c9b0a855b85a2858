#include "bvhin.h"

#include "kvscene.h"

// The smallest bodies that keep an import sound while the skeleton walk, the
// matcher, rest alignment, timing and the motion handler are still to come:
// nothing is mapped by name, the scene keeps its timing and pose, and frame
// lines are ignored.

void CBvhIn::detectArmAxis()
{
}

void CBvhIn::clearExistingAnimation()
{
}

void CBvhIn::prepareMotion()
{
    savedSceneTime = kvScene->getTime();
    framesApplied = 0;
}

void CBvhIn::alignRestPose()
{
}

void CBvhIn::computePositionScale()
{
}

void CBvhIn::applyFrameLine(QByteArrayView)
{
}

void CBvhIn::restoreRotationLimits()
{
}
