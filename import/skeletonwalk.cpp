#include "bvhin.h"

#include "bodyparts.h"
#include "bvhstate.h"

#include "kvnode.h"

#include <memory>

namespace {

// Anything else (a prop, a camera, a null child) ends the walk on its branch.
bool isBone(const KvNode *node)
{
    return node && node->inherits("KvBone");
}

} // namespace

void CBvhIn::collectSkeletonBones(KvNode *node, int level)
{
    if (!isBone(node))
        return;
    auto record = std::make_unique<CSkelHeader>();
    record->name = node->getLabel();
    record->label = record->name;
    record->level = level;
    record->bone = node;
    record->part = bodyparts::partOf(record->name);
    bvhState().skeletonList.append(std::move(record));
    // Pre-order with children in the host's order: the matcher gives a bone
    // to the first record that fits, so this order is part of the contract.
    for (int i = 0; i < node->getNumNodeChildren(); ++i)
        collectSkeletonBones(node->getNodeChild(i), level + 1);
    if (level == 1)
        settleShoulders();
}

void CBvhIn::settleShoulders()
{
    // Where a shoulder lies above another bone read as a shoulder (a rig's
    // LeftShoulder above its LeftArm), it is the collar.
    const CRecordList<CSkelHeader> &bones = bvhState().skeletonList;
    for (auto it = bones.begin(); it != bones.end(); ++it) {
        CSkelHeader *record = *it;
        if (record->part != bodyparts::LeftShoulder && record->part != bodyparts::RightShoulder)
            continue;
        for (auto below = std::next(it); below != bones.end() && (*below)->level > record->level; ++below) {
            if ((*below)->part == record->part) {
                record->part += bodyparts::LeftCollar - bodyparts::LeftShoulder;
                break;
            }
        }
    }
}

KvNode *CBvhIn::findBoneByLabel(KvNode *node, const QString &text)
{
    if (!isBone(node))
        return nullptr;
    if (node->getLabel().contains(text, Qt::CaseSensitive))
        return node;
    for (int i = 0; i < node->getNumNodeChildren(); ++i) {
        if (KvNode *found = findBoneByLabel(node->getNodeChild(i), text))
            return found;
    }
    return nullptr;
}

CBvhHeader *CBvhIn::findRecordForNode(const KvNode *node)
{
    if (!node)
        return nullptr;
    for (CBvhHeader *record : bvhState().jointList) {
        if (record->mappedNode == node)
            return record;
    }
    return nullptr;
}
