#include "bvhin.h"

#include "bvhstate.h"
#include "namepattern.h"

#include <QVarLengthArray>

#include <vector>

namespace {

// Body-part patterns; a joint's key that fits a row is given the first bone
// that fits the same row. Unsided words (hip, chest, head ...) count only as
// whole words, so that lHip or Hips do not take the hip.
const std::vector<CNamePattern> &bodyPartRows()
{
    static const std::vector<CNamePattern> rows = [] {
        struct Row
        {
            const char *wildcard;
            bool wholeWord;
        };
        static const Row table[] = {
            {"[hH]ip", true},
            {"[lL]*[bB]uttock", false}, {"[rR]*[bB]uttock", false},
            {"[lL]*[tT]high", false}, {"[rR]*[tT]high", false},
            {"[lL]*[sS]hin", false}, {"[rR]*[sS]hin", false},
            {"[lL]*[fF]oot", false}, {"[rR]*[fF]oot", false},
            {"[lL]*[tT]oe", false}, {"[rR]*[tT]oe", false},
            {"[aA]bdomen", true},
            {"[cC]hest", true},
            {"[lL]*[cC]ollar", false}, {"[rR]*[cC]ollar", false},
            {"[lL]*[sS]h*ld*r", false}, {"[rR]*[sS]h*ld*r", false},
            {"[lL]*[fF]ore[aA]rm", false}, {"[rR]*[fF]ore[aA]rm", false},
            {"[lL]*[hH]and", false}, {"[rR]*[hH]and", false},
            {"[lL]*[pP]inky*1", false}, {"[rR]*[pP]inky*1", false},
            {"[lL]*[pP]inky*2", false}, {"[rR]*[pP]inky*2", false},
            {"[lL]*[pP]inky*3", false}, {"[rR]*[pP]inky*3", false},
            {"[lL]*[rR]ing*1", false}, {"[rR]*[rR]ing*1", false},
            {"[lL]*[rR]ing*2", false}, {"[rR]*[rR]ing*2", false},
            {"[lL]*[rR]ing*3", false}, {"[rR]*[rR]ing*3", false},
            {"[lL]*[mM]id*1", false}, {"[rR]*[mM]id*1", false},
            {"[lL]*[mM]id*2", false}, {"[rR]*[mM]id*2", false},
            {"[lL]*[mM]id*3", false}, {"[rR]*[mM]id*3", false},
            {"[lL]*[iI]ndex*1", false}, {"[rR]*[iI]ndex*1", false},
            {"[lL]*[iI]ndex*2", false}, {"[rR]*[iI]ndex*2", false},
            {"[lL]*[iI]ndex*3", false}, {"[rR]*[iI]ndex*3", false},
            {"[lL]*[tT]humb*1", false}, {"[rR]*[tT]humb*1", false},
            {"[lL]*[tT]humb*2", false}, {"[rR]*[tT]humb*2", false},
            {"[lL]*[tT]humb*3", false}, {"[rR]*[tT]humb*3", false},
            {"[nN]eck", true},
            {"[nN]eck*1", false},
            {"[hH]ead", true},
            {"[lL]*[eE]ye", false}, {"[rR]*[eE]ye", false},
            {"[tT]ail", true},
            {"[tT]ail*1", false},
            {"[hH]orn", true},
            {"[lL]*[hH]orn", false}, {"[rR]*[hH]orn", false},
        };
        std::vector<CNamePattern> compiled;
        compiled.reserve(std::size(table));
        for (const Row &row : table) {
            compiled.emplace_back(QString::fromLatin1(row.wildcard),
                                  row.wholeWord ? CNamePattern::WholeWord : CNamePattern::Anywhere);
        }
        return compiled;
    }();
    return rows;
}

// Joints named after the joint a bone turns at (knee, ankle, wrist, elbow)
// rather than the bone, translated to that bone. Tried after the body-part
// rows, so they win over them.
struct JointEndRow
{
    CNamePattern key;
    CNamePattern bone;
};

const std::vector<JointEndRow> &jointEndRows()
{
    static const std::vector<JointEndRow> rows = [] {
        static const char *const table[][2] = {
            {"[lL]*[kK]nee", "[lL]*[sS]hin"},
            {"[rR]*[kK]nee", "[rR]*[sS]hin"},
            {"[lL]*[aA]nkle", "[lL]*[fF]oot"},
            {"[rR]*[aA]nkle", "[rR]*[fF]oot"},
            {"[lL]*[wW]rist", "[lL]*[hH]and"},
            {"[rR]*[wW]rist", "[rR]*[hH]and"},
            {"[lL]*[eE]lbow", "[lL]*[fF]ore[aA]rm"},
            {"[rR]*[eE]lbow", "[rR]*[fF]ore[aA]rm"},
        };
        std::vector<JointEndRow> compiled;
        compiled.reserve(std::size(table));
        for (const auto &row : table)
            compiled.push_back({CNamePattern(QString::fromLatin1(row[0])), CNamePattern(QString::fromLatin1(row[1]))});
        return compiled;
    }();
    return rows;
}

// Digits with at most one decimal point: the copy number in hip:1.
bool isCopyNumber(const QString &text)
{
    bool hasDigit = false;
    bool hasPoint = false;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128) {
            hasDigit = true;
        } else if (c == QLatin1Char('.') && !hasPoint) {
            hasPoint = true;
        } else {
            return false;
        }
    }
    return hasDigit;
}

// The part of a joint's name that is matched. A colon either numbers a copy
// (hip:1, matched as hip) or ends a namespace (mixamorig:Hips, matched as
// Hips); with several colons only the last one counts.
QString matchKey(const QString &name)
{
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return name;
    const QString after = name.mid(colon + 1).trimmed();
    if (after.isEmpty() || isCopyNumber(after))
        return name.left(colon).trimmed();
    return after;
}

} // namespace

void CBvhIn::matchJointName()
{
    if (currentRecord.type != Joint || isSpecialJointName(currentRecord.name))
        return;

    // Bones held by the joint's file ancestors. Taking one would move that
    // ancestor off its bone (a hand-end joint taking the hand), and the
    // mapping completion's upward walk would then shift the whole limb.
    QVarLengthArray<const KvNode *, 16> ancestorBones;
    for (const CBvhHeader *up = findParentRecord(currentRecord.level - 1); up; up = up->parent) {
        if (up->mappedNode)
            ancestorBones.append(up->mappedNode);
    }
    const auto usable = [&](const CSkelHeader *candidate) {
        return candidate && !ancestorBones.contains(candidate->bone);
    };

    const QString key = matchKey(currentRecord.name);
    const auto mapTo = [this](const CSkelHeader *record) {
        currentRecord.mappedName = record->label;
        unmapNode(record->bone);
        currentRecord.mappedNode = record->bone;
    };

    CSkelHeader *found = findSkeletonBone(key);
    if (usable(found)) {
        mapTo(found);
        return;
    }
    // Every fitting row that finds a bone maps the joint again, so the last
    // one decides: the more specific name (the last finger segment named, a
    // joint-end name over the body part it contains). Each of these mappings
    // takes its bone from the joint that held it.
    for (const CNamePattern &row : bodyPartRows()) {
        if (!row.fits(key))
            continue;
        found = findSkeletonBone(row);
        if (usable(found))
            mapTo(found);
    }
    for (const JointEndRow &row : jointEndRows()) {
        if (!row.key.fits(key))
            continue;
        found = findSkeletonBone(row.bone);
        if (usable(found))
            mapTo(found);
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

void CBvhIn::unmapNode(const KvNode *bone)
{
    if (!bone)
        return;
    for (CBvhHeader *record : bvhState().jointList) {
        if (record->mappedNode != bone)
            continue;
        record->mappedNode = nullptr;
        record->mappedName = QLatin1String("");
        record->figureItem = nullptr;
    }
}
