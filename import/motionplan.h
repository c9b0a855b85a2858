#pragma once

#include "kvquat.h"

#include <QHash>

#include <vector>

class CBvhHeader;
class KvNode;

// How the frame lines of one import reach the figure: laid out once the
// mapping is final (CBvhIn::planMotion), then walked for every line. The
// buffers are sized once, so applying a line allocates nothing.
//
// Every bone is keyed by at most one file joint. Joints that key nothing but
// are not switched off hand their rotation down to their nearest keyed
// descendants, so that no rotation of the file is lost between two keyed
// joints.
struct CMotionPlan
{
    struct Joint
    {
        CBvhHeader *record = nullptr;  // the joint record; its rest data are read at keying time
        KvNode *bone = nullptr;        // the bone this joint keys; null when it keys nothing
        int parent = -1;               // index of the file parent in joints, -1 for a root
        int depth = 0;                 // in the file's hierarchy, 0 for a root
        int firstColumn = 0;           // its channels' columns in a frame line
        int columnCount = 0;
        bool active = true;            // false: switched off, neither keyed nor handed down
        bool hasEnd = false;           // a child joint or End Site gives it a rest direction
        bool movesFigure = false;      // its position channels key the figure's first bone
        // The key of a file rotation Q is keyLead Q keyTail (see applyRotation),
        // and whether the bone may turn round and round (a figure's root).
        KvQuat keyLead;
        KvQuat keyTail;
        bool turnsFreely = false;
    };

    struct Column
    {
        int type = 0;                  // a channel JointRecordType
        bool enabled = true;           // applyChannel of the channel's record
    };

    std::vector<Joint> joints;         // file order: a parent before its children
    std::vector<Column> columns;       // one per channel record, in line order
    QHash<const KvNode *, int> keyerOfBone;  // bone -> index in joints

    // Per line, reused.
    std::vector<float> values;
    std::vector<KvQuat> handedDown;    // rotation each joint passes to its children
    std::vector<char> handsRotation;   // whether that rotation came from any value

    bool ready = false;
    bool restTaken = false;            // takeRestPose ran

    // Reads the joints' rest rotations into keyLead and keyTail, once the
    // rest pose is aligned and before the first line is keyed.
    void takeRestPose();

    void clear()
    {
        joints.clear();
        columns.clear();
        keyerOfBone.clear();
        values.clear();
        handedDown.clear();
        handsRotation.clear();
        ready = false;
        restTaken = false;
    }
    // The joint that keys bone, or null.
    const Joint *keyer(const KvNode *bone) const
    {
        const auto it = keyerOfBone.constFind(bone);
        return it == keyerOfBone.cend() ? nullptr : &joints[size_t(*it)];
    }
};
