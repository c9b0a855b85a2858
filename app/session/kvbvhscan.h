#pragma once

#include "kvvec3.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One ROOT or JOINT of a BVH file.
struct KvBvhJoint
{
    QString name;
    int line = 0;           // 1-based
    int parent = -1;        // index into KvBvhScan::joints; -1 for a root
    int depth = 0;          // 0 for a root
    KvVec3 offset;
    KvVec3 restPosition;    // the sum of the offsets from the root down
    QStringList channels;   // as the CHANNELS line names them
    QString rotationOrder;  // the rotation channels' axes in line order ("ZXY"); empty without three
    bool hasEndSite = false;
};

// Something in a file that readers treat differently or reject.
struct KvBvhIssue
{
    int line = 0;
    QString text;
};

// What a BVH file holds, read the way the host shows it to a user: the
// skeleton with its channels, the frame count and time, the rest pose's axes,
// and what is unusual in it, each with its line number. The host's own
// reader, independent of the plug-in's.
//
// Unusual (issues): a Frames count other than the number of frame lines, frame
// lines with values that are not numbers (or not finite) or with a value count
// other than the channels ask for (only the first few such lines are named, then
// a count), a Z-up rest pose, a missing MOTION section, Frames or Frame Time.
struct KvBvhScan
{
    std::vector<KvBvhJoint> joints;
    int endSites = 0;
    int channelCount = 0;     // values a frame line should hold
    int motionLine = 0;       // 0: no MOTION section
    int framesDeclared = -1;  // -1: no Frames line
    int framesLine = 0;
    double frameTimeSeconds = 0.0;
    QString frameTimeText;    // as written
    int frameTimeLine = 0;
    int frameLines = 0;       // lines with text after Frame Time
    int firstFrameLine = 0;
    std::vector<double> firstFrame;  // the values of the first frame line, what is no number as 0
    int nonNumberValues = 0;  // values in frame lines that are not finite numbers
    int firstNonNumberLine = 0;
    // Axes as "+X", "-Y" ...; empty when the joints to measure are missing.
    QString upAxis;           // root to the first joint named like a head
    int headJoint = -1;
    QString armAxis;          // left upper arm to the left hand (or wrist)
    int leftHandJoint = -1;
    int leftUpperArmJoint = -1;
    std::vector<KvBvhIssue> issues;

    // The frames a reader plays: the Frames count, or the lines present without one.
    int frameCount() const { return framesDeclared >= 0 ? framesDeclared : frameLines; }
    // frameCount() times the frame time, in seconds.
    double durationSeconds() const { return frameCount() * frameTimeSeconds; }

    // nullopt with "path:line: ..." (or "path: ...") in errorMessage when the
    // file cannot be read or its hierarchy is malformed.
    static std::optional<KvBvhScan> scan(const QString &path, QString *errorMessage = nullptr);
    static std::optional<KvBvhScan> fromText(const QByteArray &text, const QString &sourceName,
                                             QString *errorMessage = nullptr);

    // "+X" .. "-Z": the sign and axis of v's largest component; empty for zero.
    static QString axisName(const KvVec3 &v);
};
