#include "bvhin.h"

#include "bvhstate.h"
#include "bodyparts.h"
#include "namepattern.h"

#include <QVarLengthArray>

#include <vector>

void CBvhIn::matchJointName()
{
    if (currentRecord.type != Joint || isSpecialJointName(currentRecord.name))
        return;

    // Bones held by the joint's file ancestors are not taken. Taking one
    // would move that ancestor off its bone (a hand-end joint taking the
    // hand), and the mapping completion's upward walk would then shift the
    // whole limb.
    const auto usable = [&](const CSkelHeader *candidate) {
        return candidate && !bonesAbove.contains(candidate->bone);
    };

    // The first bone that stands for part and is free to take.
    const auto findPart = [&](int part) -> CSkelHeader * {
        for (CSkelHeader *record : bvhState().skeletonList) {
            if (record->part == part && usable(record))
                return record;
        }
        return nullptr;
    };

    const QString key = bodyparts::matchKey(currentRecord.name);
    const auto mapTo = [this](const CSkelHeader *record) {
        currentRecord.mappedName = record->label;
        releaseBone(record->bone);
        currentRecord.mappedNode = record->bone;
    };

    // A bone of the joint's own name, whatever namespaces either carries.
    for (CSkelHeader *record : bvhState().bonesByKey.values(key.toLower())) {
        if (usable(record)) {
            mapTo(record);
            return;
        }
    }
    CSkelHeader *found = findSkeletonBone(key);
    if (usable(found)) {
        mapTo(found);
        return;
    }
    // Every fitting row that finds a bone maps the joint again, so the last
    // one decides: the more specific name (the last finger segment named, a
    // joint-end name over the body part it contains, a known naming over
    // both). Each of these mappings takes its bone from the joint that held
    // it. Bones are found by the part their own names stand for, so that
    // figures of any naming take part; a bone an ancestor holds is passed
    // over for the next one of that part.
    const std::vector<CNamePattern> &rows = bodyparts::rows();
    for (size_t row = 0; row < rows.size(); ++row) {
        if (!rows[row].fits(key))
            continue;
        if (CSkelHeader *bone = findPart(int(row)))
            mapTo(bone);
    }
    for (const bodyparts::JointEndRow &row : bodyparts::jointEndRows()) {
        if (!row.key.fits(key))
            continue;
        if (CSkelHeader *bone = findPart(row.part))
            mapTo(bone);
    }
    const int known = bodyparts::knownNamingPart(key);
    if (known != bodyparts::NoPart) {
        if (CSkelHeader *bone = findPart(known))
            mapTo(bone);
    }
}

CSkelHeader *CBvhIn::findSkeletonBone(const QString &pattern)
{
    return findSkeletonBone(CNamePattern(pattern));
}

CSkelHeader *CBvhIn::findSkeletonBone(const CNamePattern &pattern)
{
    for (CSkelHeader *record : bvhState().skeletonList) {
        if (pattern.fits(record->name))
            return record;
    }
    return nullptr;
}

namespace {

// Takes bone from those of records that hold it.
template<typename Records>
void unmapFrom(const Records &records, const KvNode *bone)
{
    for (CBvhHeader *record : records) {
        if (record->mappedNode != bone)
            continue;
        record->mappedNode = nullptr;
        record->mappedName = QLatin1String("");
        record->figureItem = nullptr;
    }
}

} // namespace

void CBvhIn::unmapNode(const KvNode *bone)
{
    if (bone)
        unmapFrom(bvhState().jointList, bone);
}

void CBvhIn::releaseBone(const KvNode *bone)
{
    const auto holders = holdersOfBone.find(bone);
    if (holders == holdersOfBone.end())
        return;
    unmapFrom(*holders, bone);
    holdersOfBone.erase(holders);
}

bool CBvhIn::holdsBoneByName(const CBvhHeader *joint)
{
    return joint && joint->mappedNode && bodyparts::matchKey(joint->name) == bodyparts::matchKey(joint->mappedName);
}
