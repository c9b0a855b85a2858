#pragma once

#include "kvbvhscan.h"
#include "kvfigurebuilder.h"
#include "kvpluginrunner.h"

#include <QString>
#include <QStringList>

#include <optional>

struct CommandContext;
struct KvBvhScan;
struct KvFigureDesc;
class KvMapStore;
class KvScene;
class KvSkeleton;

// Checks and steps that several commands share. The checks return false with
// one line for CommandContext::fail in errorMessage.

// A readable regular file.
bool checkInputFile(const QString &path, QString *errorMessage);
// A file that can be created: its folder exists and it is not a folder itself.
bool checkOutputFile(const QString &path, QString *errorMessage);
// A map of that name is stored.
bool checkStoredMap(const KvMapStore &store, const QString &name, QString *errorMessage);

// Builds desc into scene as its only figure and sets the scene clock for an
// import: 30 fps and an empty animation range, which an import that follows
// the file's timing lengthens to the file's frames; with the scene's own
// timing, the host's usual 0 to 4800 ticks (30 frames at 30 fps). Null with
// errorMessage set when the figure does not build.
KvSkeleton *addFigure(KvScene *scene, const KvFigureDesc &desc, bool followFileTiming, QString *errorMessage);

// The export map a run uses: the one named, else for Second Life with the
// default figure the shipped Second Life map (when still stored), else none.
QString chooseExportMap(const KvMapStore &store, const QString &named, bool secondLife, bool defaultFigure);

// "524 frames at 120 fps, 4.37 s"
QString motionSummary(const KvBvhScan &scan);

// A frame rate as a report shows it, from frames a second or a scene step
// in ticks.
QString rateText(double fps);
QString rateText(int step);

// The motion summary of a written file; for Second Life also a warning on
// stderr, without failing, for each reason it would refuse the file.
QString describeWrittenFile(CommandContext &context, const QString &path, bool secondLife);

class OptionParser;
struct KvImportOptions;

// The import options of convert and import.
struct ImportArguments
{
    QString figure;   // empty: the default figure
    QString map;      // empty: the automatic mapping
    bool inPlace = false;
    bool limits = false;
    bool keepSceneTiming = false;
    QString up = QStringLiteral("auto");  // which way the file stands: auto, y or z

    void addTo(OptionParser &parser);
    // Settles what was parsed ("--map none" means no map); false with a
    // usage message for a value the options do not take.
    bool settle(QString *usageMessage);
    KvImportOptions options() const;
};

// How convert shapes the imported motion before writing it.
struct ShapeOptions
{
    double fps = 0.0;          // 0: the file's rate
    QString start;             // first frame written: frames ("12") or seconds ("0.5s"); empty: the first
    QString end;               // where the motion stops, in the same units; empty: its end
    bool keepOrigin = false;   // Second Life: keep where the file places the motion
    bool allBones = false;     // Second Life: also write bones the import left without keys
};

struct ShapeArguments
{
    QString fps;
    QString start;
    QString end;
    bool keepOrigin = false;
    bool allBones = false;

    void addTo(OptionParser &parser);
    bool settle(QString *usageMessage);
    ShapeOptions options() const;
    // The options again, for a child process.
    QStringList forwarded() const;
};

// What the source file says about its frames, on stderr: frame lines that
// stop before the Frames count and values that are not numbers.
void reportFrames(CommandContext &context, const QString &input, const KvBvhScan &scan);

// Fits the scene to what is written: the range from --start to --end,
// without a Second Life reference frame that the file already has, the
// Second Life motion moved to start over the origin, the rate of --fps.
// False with errorMessage set when nothing would be left to write.
bool shapeMotion(const QString &input, const KvBvhScan *source, KvSkeleton *skeleton, bool secondLife,
                 const ShapeOptions &options, QString *errorMessage);

// The figure the import options name (--figure), the stored import map
// (--map) checked to exist. nullopt with errorMessage set otherwise.
std::optional<KvFigureDesc> importFigure(CommandContext &context, const ImportArguments &import, QString *errorMessage);

// What one import onto a fresh figure gave.
struct ImportResult
{
    KvSkeleton *skeleton = nullptr;
    QList<KvJointRow> rows;          // the mapping dialog's joints
    int mapped = 0;                  // of them, those that drive a bone
    QStringList notes;               // what the importer said it did
    std::optional<KvBvhScan> source; // the file as the host reads it; none when it cannot
};

// Imports input onto a fresh figure made from figure in the host's scene,
// as convert, import and preview do, then says on stderr what the file says
// about its frames (reportFrames) and, with warnMapping, that few joints
// found a bone. False with errorMessage set when the import failed.
bool importOntoFigure(CommandContext &context, const QString &input, const KvFigureDesc &figure,
                      const KvImportOptions &options, bool warnMapping, ImportResult &result, QString *errorMessage);

// Whether desc is the host's default figure (its bones, by name and order).
bool isDefaultFigure(const KvFigureDesc &desc);
