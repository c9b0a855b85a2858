#pragma once

#include "kvfileio.h"

#include <QByteArray>
#include <QString>

class QIODevice;
class KvNode;

// The BVH exporter the host creates through its class factory.
//
// One write() is one export: it checks the selection, shows the export
// mapping dialog (which fills the skeleton list and sets secondLifeOption),
// then writes the hierarchy and the motion of the exported bones over the
// scene's animation range. The writers below are public so that they can be
// run on a skeleton list and counters set up by hand.
class CBvhOut : public KvExporter
{
    Q_OBJECT
public:
    CBvhOut();
    ~CBvhOut() override;

    QString getDescription() const override;
    bool canExport() const override;
    // Writes the figure of the single selected node to path; settings may
    // name a stored map and the Second Life option for this run (keys in
    // dialogs/storedmaps.h). Returns 1 when the file was written; 0 after a
    // warning (bad selection, dialog cancelled, no bone to export, target not
    // opened or not completely written). A regular target file is replaced
    // only by a complete file. Needs kvApp and kvScene. Leaves both shared
    // lists empty and the scene at its former time.
    int write(const QString &path, const KvFileIOSettings &settings) override;

    // Whole time steps in the scene's animation range (end / step - start /
    // step, truncating): sets and returns frameCount, and sets frameTime.
    int computeFrameCount();
    // Keeps the scene time in savedSceneTime, moves the scene to the start of
    // the animation range (startTime) and sets frameIndex to 0.
    void startFrames();

    // Hierarchy writer: "HIERARCHY" and one ROOT / JOINT block per exported
    // record of the skeleton list (bone set, exportFlag on), a leaf closed by
    // an End Site. Steps the host progress once per record, exported or not.
    // Expects the exported records to form one tree under a level-1 root
    // (the export dialog keeps them so).
    void writeHierarchy(QIODevice *device);
    // n tabs; empty for n <= 0.
    static QString indentString(int n);
    // "OFFSET x y z\n" with six decimals. Without useEndPoints: the node's
    // origin minus its parent's (its own origin without a parent). With
    // useEndPoints, for an End Site: the node's end point minus its origin.
    static QString offsetString(const KvNode *node, bool useEndPoints);
    // The root's six channels for 6, the three rotations otherwise.
    static QString channelString(int count);

    // Motion writer: "MOTION", the frame count and time, the Second Life
    // reference frame when secondLifeOption is on and frameIndex is 0, then
    // one line per remaining frame; frame i is sampled at startTime + i *
    // the scene's time step. Steps the progress once per frame line.
    void writeMotion(QIODevice *device);
    // Appends the reference frame line, sampled at startTime.
    void writeReferenceFrame(QByteArray &out) const;
    bool moreFrames() const { return frameIndex < frameCount; }
    void nextFrame();

    int savedSceneTime = 0;  // ticks
    int startTime = 0;       // ticks: the time of frame 0
    int frameCount = 0;
    int frameIndex = 0;
    float frameTime = 0.0f;  // seconds
};
