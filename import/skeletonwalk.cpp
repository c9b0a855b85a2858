#include "bvhin.h"

#include "bodyparts.h"
#include "bvhstate.h"

#include "kvnode.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

// Anything else (a prop, a camera, a null child) ends the walk on its branch.
bool isBone(const KvNode *node)
{
    return node && node->inherits("KvBone");
}

} // namespace

void CBvhIn::collectSkeletonBones(KvNode *node, int level)
{
    // Pre-order with children in the host's order: the matcher gives a bone
    // to the first record that fits, so this order is part of the contract.
    // Without recursion: figures may be chains thousands of bones deep.
    std::vector<std::pair<KvNode *, int>> pending{{node, level}};
    while (!pending.empty()) {
        const auto [bone, depth] = pending.back();
        pending.pop_back();
        if (!isBone(bone))
            continue;
        auto record = std::make_unique<CSkelHeader>();
        record->name = bone->getLabel();
        record->label = record->name;
        record->level = depth;
        record->bone = bone;
        record->part = bodyparts::partOf(record->name);
        bvhState().skeletonList.append(std::move(record));
        for (int i = bone->getNumNodeChildren() - 1; i >= 0; --i)
            pending.emplace_back(bone->getNodeChild(i), depth + 1);
    }
    if (level == 1)
        settleParts();
}

void CBvhIn::settleParts()
{
    const CRecordList<CSkelHeader> &bones = bvhState().skeletonList;
    std::vector<int> levels;
    std::vector<int> parts;
    for (const CSkelHeader *record : bones) {
        levels.push_back(record->level);
        parts.push_back(record->part);
    }
    bodyparts::settleParts(levels, parts);
    size_t i = 0;
    QMultiHash<QString, CSkelHeader *> &byKey = bvhState().bonesByKey;
    byKey.clear();
    for (auto it = bones.rbegin(); it != bones.rend(); ++it) {
        CSkelHeader *record = *it;
        record->part = parts[parts.size() - 1 - i++];
        // Inserted last to first: values() lists the first record first.
        byKey.insert(bodyparts::matchKey(record->name).toLower(), record);
    }
}

KvNode *CBvhIn::findBoneByLabel(KvNode *root, const QString &text)
{
    // Depth first, children in order, without recursion; a node that is no
    // bone ends its branch.
    std::vector<KvNode *> pending{root};
    while (!pending.empty()) {
        KvNode *node = pending.back();
        pending.pop_back();
        if (!isBone(node))
            continue;
        if (node->getLabel().contains(text, Qt::CaseSensitive))
            return node;
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back(node->getNodeChild(i));
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
