#pragma once

#include <QString>
#include <QStringList>

struct KvBvhScan;

// What Second Life takes in an uploaded BVH file, as far as the host checks.
class KvSecondLife
{
public:
    // The export map the host ships for its default figure: every bone under
    // its own name, except the eyes, fingers and toes, which take the joint
    // names Second Life animates them by (lEye -> mEyeLeft, lThumb1 ->
    // mHandThumb1Left, lMid2 -> mHandMiddle2Left, rToe -> mToeRight ...).
    static QString exportMapName();
    static QString exportMapData();

    // Whether Second Life animates a joint of this name: the names of its
    // classic avatar (hip, abdomen, chest, ..., lShldr, rFoot) and the m-names
    // of its skeleton (mPelvis ... mHandPinky3Right, mFace..., mTail1 ...).
    static bool isKnownJointName(const QString &name);

    static constexpr double maxDurationSeconds = 60.0;

    // Why Second Life would refuse the scanned file, one line each: a root not
    // named hip, joints it does not know (named, the first few), a duration
    // over maxDurationSeconds. Empty when none applies.
    static QStringList problems(const KvBvhScan &scan);
};
