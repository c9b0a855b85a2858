#include "bvhin.h"

// Until the skeleton walk and the matcher exist, nothing is mapped by name:
// the mapping completion still maps the root to the figure's first bone.

void CBvhIn::collectSkeletonBones(KvNode *, int)
{
}

void CBvhIn::matchJointName()
{
}
