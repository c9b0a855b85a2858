#include "bvhheader.h"

CBvhHeader::CBvhHeader()
{
    resetRecord(true);
}

void CBvhHeader::resetRecord(bool full)
{
    name.clear();
    mappedName.clear();
    if (full)
        level = 0;
    mappedNode = nullptr;
    offset = KvVec3();
    restPosition = KvVec3();
    endPosition = KvVec3();
    type = EndMarker;
    applyChannel = true;
    fileItem = nullptr;
    figureItem = nullptr;
    parent = nullptr;
    restLocalRotation.makeIdentity();
    restWorldRotation.makeIdentity();
}
