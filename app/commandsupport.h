#pragma once

#include <QString>
#include <QStringList>

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

// Whether desc is the host's default figure (its bones, by name and order).
bool isDefaultFigure(const KvFigureDesc &desc);
