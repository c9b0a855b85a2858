#include "bvhout.h"

#include "bvhstate.h"
#include "exportoptions.h"
#include "numbertext.h"

#include "kvapp.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QIODevice>

#include <cmath>
#include <vector>

namespace {

constexpr float radToDeg = 57.29578f;
// Second Life takes a first frame that differs from every later one as the
// avatar's reference pose; these nudges make sure it does.
constexpr float heightNudge = 0.002f;
constexpr float angleNudgeDeg = 0.06f;
constexpr int chunkBytes = 64 * 1024;

// Decomposing in this order gives the angles of the channel line
// "Zrotation Xrotation Yrotation".
const KvRotationOrder channelOrder(2);

// Angles about X, Y and Z in degrees, in single precision like the host's
// rotation controls.
KvVec3 degreesAt(const KvNode *bone, int ticks)
{
    KvVec3 rad;
    bone->getLocalRot(ticks).getValue(channelOrder, rad);
    return {rad.x * radToDeg, rad.y * radToDeg, rad.z * radToDeg};
}

struct ExportedBone
{
    const KvNode *bone;
    bool isRoot;
    // A bone without rotation keys writes the same angles on every line;
    // they are decomposed once.
    bool unkeyed;
    KvVec3 unkeyedDegrees;
};

// The bones the hierarchy writer wrote, in its block order.
std::vector<ExportedBone> exportedBones()
{
    std::vector<ExportedBone> bones;
    for (const CSkelHeader *record : bvhState().skeletonList) {
        if (!record->bone || !record->exportFlag)
            continue;
        const KvNode *bone = record->bone;
        const bool unkeyed = bone->getControl(3)->getNumKeys() == 0 && bone->getControl(4)->getNumKeys() == 0
                          && bone->getControl(5)->getNumKeys() == 0;
        bones.push_back({bone, record->level == 1, unkeyed, unkeyed ? degreesAt(bone, 0) : KvVec3()});
    }
    return bones;
}

// "%1 %2 %3 ": each value followed by a blank, so lines end in one.
void appendGroup(QByteArray &out, float a, float b, float c)
{
    char text[3 * (fixed6Room + 1)];
    char *p = text;
    for (const float value : {a, b, c}) {
        p = writeFixed6(p, value);
        *p++ = ' ';
    }
    out.append(text, p - text);
}

} // namespace

void CBvhOut::nextFrame()
{
    if (frameIndex < frameCount)
        ++frameIndex;
}

void CBvhOut::writeReferenceFrame(QByteArray &out) const
{
    for (const ExportedBone &b : exportedBones()) {
        const KvVec3 deg = degreesAt(b.bone, startTime);
        if (b.isRoot) {
            const float y = b.bone->getLocalPos(startTime).y;
            const float nudgedY = std::fabs(y) <= heightNudge ? y + heightNudge : 0.0f;
            const float nudgedX = std::fabs(deg.x) <= angleNudgeDeg ? deg.x + angleNudgeDeg : 0.0f;
            appendGroup(out, 0.0f, nudgedY, 0.0f);
            appendGroup(out, 0.0f, nudgedX, 0.0f);
        } else {
            appendGroup(out, deg.z, deg.x + angleNudgeDeg, deg.y);
        }
    }
    out += '\n';
}

void CBvhOut::writeMotion(QIODevice *device)
{
    const std::vector<ExportedBone> bones = exportedBones();
    QByteArray out;
    out.reserve(chunkBytes + 64 * int(bones.size() + 1));

    out += "MOTION\nFrames:\t";
    out += QByteArray::number(secondLifeOption ? frameCount + 1 : frameCount);
    out += "\nFrame Time:\t";
    out += QString::fromLatin1("%1").arg(double(frameTime), 0, 'g').toLatin1();
    out += '\n';
    if (secondLifeOption && frameIndex == 0)
        writeReferenceFrame(out);

    const int step = kvScene->getTimeStep();
    while (moreFrames()) {
        kvApp->stepProgress(1);
        const int ticks = startTime + step * frameIndex;
        for (const ExportedBone &b : bones) {
            if (b.isRoot) {
                const KvVec3 p = b.bone->getLocalPos(ticks);
                appendGroup(out, p.x, p.y, p.z);
            }
            const KvVec3 deg = b.unkeyed ? b.unkeyedDegrees : degreesAt(b.bone, ticks);
            appendGroup(out, deg.z, deg.x, deg.y);
        }
        out += '\n';
        if (out.size() >= chunkBytes) {
            device->write(out);
            out.resize(0);  // keeps the capacity
        }
        nextFrame();
    }
    device->write(out);
}
