#include "bvhin.h"

#include "bvhstate.h"
#include "namepattern.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// CHANNELS names, tried in this order by containment. Scale names are only
// recognised with a lower-case "scale".
struct ChannelName
{
    QLatin1String name;
    JointRecordType type;
};

const ChannelName channelNames[] = {
    {QLatin1String("Xposition"), Xposition},
    {QLatin1String("Yposition"), Yposition},
    {QLatin1String("Zposition"), Zposition},
    {QLatin1String("Xrotation"), Xrotation},
    {QLatin1String("Yrotation"), Yrotation},
    {QLatin1String("Zrotation"), Zrotation},
    {QLatin1String("Xscale"), Xscale},
    {QLatin1String("Yscale"), Yscale},
    {QLatin1String("Zscale"), Zscale},
};

// "nan" and "inf" convert (toFloat even reports success for nan); in an
// OFFSET they would poison every rest position below the joint, so any value
// that is not a finite number reads 0, like other text that is no number.
float finiteFloat(const QString &token)
{
    const float value = token.toFloat();
    return std::isfinite(value) ? value : 0.0f;
}

int channelType(const QString &token)
{
    for (const ChannelName &channel : channelNames) {
        if (token.contains(channel.name))
            return channel.type;
    }
    return EndMarker;
}

} // namespace

void CBvhIn::resetParseState()
{
    inHierarchy = true;
    inEndSite = false;
    // A file without these lines must not inherit the previous file's values.
    numFrames = 0;
    hasFrameCount = false;
    frameTime = 0.0f;
    bvhState().jointList.clear();
    jointAtLevel.clear();
    openJoints.clear();
    bonesAbove.clear();
    holdersOfBone.clear();
}

void CBvhIn::parseLine(QString line)
{
    const QStringList tokens = line.simplified().split(QLatin1Char(' '));
    // 64 bits: a CHANNELS count may be as large as an int holds.
    const qint64 tokenCount = tokens.size();
    const auto token = [&](qint64 i) { return i < tokenCount ? tokens.at(i) : QString(); };

    // Keywords count wherever they occur inside a token; the first matching
    // keyword in this order decides.
    qint64 i = 0;
    while (i < tokenCount && !tokens.at(i).isEmpty()) {
        const QString &t = tokens.at(i);
        if (t.contains(QLatin1String("HIERARCHY"))) {
            inHierarchy = true;
            i += 1;
        } else if (t.contains(QLatin1Char('}'))) {
            if (inEndSite) {
                commitRecord(EndSite);
                currentRecord.resetRecord(false);
                inEndSite = false;
            }
            currentRecord.level -= 1;
            i += 1;
        } else if (t.contains(QLatin1Char('{'))) {
            currentRecord.level += 1;
            i += 1;
        } else if (t.contains(QLatin1String("ROOT"))) {
            currentRecord.resetRecord(true);
            currentRecord.type = Joint;
            int last = int(i);
            currentRecord.name = readJointName(tokens, last);
            i = qint64(last) + 1;
        } else if (t.contains(QLatin1String("JOINT"))) {
            currentRecord.resetRecord(false);
            currentRecord.type = Joint;
            int last = int(i);
            currentRecord.name = readJointName(tokens, last);
            i = qint64(last) + 1;
        } else if (t.contains(QLatin1String("End"))) {
            if (token(i + 1).contains(QLatin1String("Site"))) {
                currentRecord.resetRecord(false);
                inEndSite = true;
                currentRecord.type = EndSite;
            }
            i += 2;
        } else if (t.contains(QLatin1String("OFFSET"))) {
            currentRecord.offset = KvVec3(finiteFloat(token(i + 1)), finiteFloat(token(i + 2)),
                                          finiteFloat(token(i + 3)));
            commitRecord(EndMarker);
            i += 4;
        } else if (t.contains(QLatin1String("CHANNELS"))) {
            const qint64 count = token(i + 1).toInt(nullptr, 10);
            if (count <= 0) {
                i += 2;
                continue;
            }
            // Names missing from the line commit nothing.
            const qint64 present = std::min(count, tokenCount - (i + 2));
            for (qint64 k = 0; k < present; ++k) {
                const int type = channelType(tokens.at(i + 2 + k));
                if (type != EndMarker)
                    commitRecord(type);
            }
            i += count + 2;
        } else if (t.contains(QLatin1String("MOTION"))) {
            commitRecord(EndMarker);
            i += 1;
        } else if (t.contains(QLatin1String("Frames:"))) {
            // A count that is no whole number an int holds (a negative one,
            // 99999999999) says nothing: the frame lines present count.
            bool usable = false;
            numFrames = token(i + 1).toInt(&usable, 10);
            hasFrameCount = usable && numFrames >= 0;
            if (!hasFrameCount)
                numFrames = 0;
            i += 2;
        } else if (t.contains(QLatin1String("Frame"))) {
            if (token(i + 1).contains(QLatin1String("Time:"))) {
                frameTime = token(i + 2).toFloat();
                i += 3;
            } else {
                i += 2;
            }
            inHierarchy = false;
        } else {
            i += 1;
        }
    }
}

QString CBvhIn::readJointName(const QStringList &tokens, int &index) const
{
    QString name;
    while (index + 1 < tokens.size() && !tokens.at(index + 1).isEmpty()) {
        ++index;
        name += tokens.at(index);
        name += QLatin1Char(' ');
    }
    return name.trimmed();
}

void CBvhIn::commitRecord(int type)
{
    if (type != EndMarker)
        currentRecord.type = type;
    if (currentRecord.type == Joint) {
        // Joints closed since the last one are no longer above this one.
        while (!openJoints.empty() && openJoints.back()->level >= currentRecord.level) {
            if (const KvNode *bone = openJoints.back()->mappedNode) {
                if (--bonesAbove[bone] == 0)
                    bonesAbove.remove(bone);
            }
            openJoints.pop_back();
        }
        matchJointName();
    }

    auto record = std::make_unique<CBvhHeader>(currentRecord);
    record->parent = findParentRecord(record->level - 1);
    if (record->parent) {
        // Rest positions are relative to the root: the root's own OFFSET is
        // never added.
        record->restPosition = record->parent->restPosition + record->offset;
        record->parent->endPosition = record->restPosition;
    }
    CBvhHeader *committed = bvhState().jointList.append(std::move(record));
    if (committed->mappedNode)
        holdersOfBone[committed->mappedNode].push_back(committed);
    if (committed->type == Joint) {
        openJoints.push_back(committed);
        if (committed->mappedNode)
            ++bonesAbove[committed->mappedNode];
    }
    if (committed->type == Joint && committed->level >= 0) {
        if (jointAtLevel.size() <= size_t(committed->level))
            jointAtLevel.resize(size_t(committed->level) + 1, nullptr);
        jointAtLevel[size_t(committed->level)] = committed;
    }
}

CBvhHeader *CBvhIn::findParentRecord(int level) const
{
    // Kept as records are committed: a file of many joints needs no scan back.
    if (level <= 0 || size_t(level) >= jointAtLevel.size())
        return nullptr;
    return jointAtLevel[size_t(level)];
}

bool CBvhIn::isSpecialJointName(const QString &name)
{
    static const CNamePattern bodyWord(QStringLiteral("body"), CNamePattern::WholeWord);
    static const CNamePattern numberedBody(QStringLiteral("body:[0-9]"));
    return name.contains(QLatin1String("WORLD_ROOT"))
        || bodyWord.fits(name)
        || numberedBody.fits(name);
}
