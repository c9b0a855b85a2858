#pragma once

#include "kvquat.h"
#include "kvvec3.h"

#include <QString>

class KvNode;
class QTreeWidgetItem;

// What a CBvhHeader stands for. Channel types follow the CHANNELS names.
enum JointRecordType {
    EndMarker = 0,
    Joint = 1,
    EndSite = 2,
    Xposition = 3,
    Yposition = 4,
    Zposition = 5,
    Xrotation = 6,
    Yrotation = 7,
    Zrotation = 8,
    Xscale = 9,
    Yscale = 10,
    Zscale = 11
};

// One record of a BVH file's hierarchy: a joint, one of its channels, an End
// Site or the end marker. Pointers are borrowed: nodes belong to the host,
// items to the dialog, parent to the joint list.
class CBvhHeader
{
public:
    CBvhHeader();
    CBvhHeader(const CBvhHeader &other) = default;
    CBvhHeader &operator=(const CBvhHeader &other) = default;
    ~CBvhHeader() = default;

    // Every field back to its initial value; level only when full.
    void resetRecord(bool full);

    QString name;
    QString mappedName;
    int level = 0;
    KvNode *mappedNode = nullptr;
    KvVec3 offset;
    KvVec3 restPosition;
    KvVec3 endPosition;
    int type = EndMarker;
    bool applyChannel = true;
    QTreeWidgetItem *fileItem = nullptr;
    QTreeWidgetItem *figureItem = nullptr;
    CBvhHeader *parent = nullptr;
    KvQuat restLocalRotation;
    KvQuat restWorldRotation;
};
