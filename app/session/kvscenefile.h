#pragma once

#include "kvfigurebuilder.h"
#include "kvtimerange.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class KvScene;
class KvSkeleton;

// The keys of one control of one bone, times in ticks (strictly rising).
struct KvKeyTrack
{
    QString bone;       // the bone's internal name
    int control = 0;    // KvNode::getControl index, 0..8
    std::vector<int> times;
    std::vector<float> values;
};

// One figure with its animation and the scene clock around it.
struct KvSceneDesc
{
    KvFigureDesc figure;
    int timeStep = 160;  // ticks per frame
    int time = 0;        // ticks
    KvTimeRange animRange{0, 4800};
    KvTimeRange playRange{0, 4800};
    std::vector<KvKeyTrack> tracks;  // in bone order, then control order
};

// Scene files (docs/scene-format.md): JSON holding a figure as figure files
// describe it, its keys and the scene's clock. Numbers are written as the
// shortest text that reads back to the same float, with '.', so
// fromJson(toJson(desc)) gives desc back bit for bit (a zero loses its sign).
//
// Failures return nullopt / false / null and set errorMessage to one line that
// starts with the file (or source) name, e.g.
// `walk.json: keys 3 "lHand" xRot: 12 times but 11 values`.
class KvSceneFile
{
public:
    // The figure of skeleton (as KvFigureFile describes it), every key of its
    // bones' transform controls, and scene's time step, time and ranges.
    static KvSceneDesc describe(const KvScene &scene, const KvSkeleton &skeleton);

    static std::optional<KvSceneDesc> load(const QString &path, QString *errorMessage = nullptr);
    static std::optional<KvSceneDesc> fromJson(const QByteArray &json, const QString &sourceName,
                                               QString *errorMessage = nullptr);
    // Writes through a temporary file, so a failed save leaves no file behind
    // and an old one untouched.
    static bool save(const KvSceneDesc &desc, const QString &path, QString *errorMessage = nullptr);
    // Empty, with errorMessage set, when a value is not finite or the figure
    // cannot be written.
    static QByteArray toJson(const KvSceneDesc &desc, QString *errorMessage = nullptr);

    // Builds the figure into scene (which owns it), keys it exactly as
    // described (limits do not clamp stored keys) and sets the scene's clock.
    // Null with errorMessage set when the figure does not build.
    static KvSkeleton *build(const KvSceneDesc &desc, KvScene *scene, QString *errorMessage = nullptr);

    // "xPos", "yPos", "zPos", "xRot", ... "zScale" for controls 0..8.
    static QString controlName(int control);
    // -1 for an unknown name.
    static int controlIndex(const QString &name);
};
