#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

class KvApp;
class KvMapStore;
class KvPluginLoader;

// Exit codes of the host program.
enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// What a command runs with: a non-interactive host with the plug-in loaded.
struct CommandContext
{
    KvApp *host;
    KvPluginLoader *loader;
    QTextStream &out;
    QTextStream &err;
    bool quiet;
    // stderr is a terminal and not quiet: long work draws a progress bar.
    bool showProgress = false;

    // One line on stderr; the command then returns ExitFailure.
    int fail(const QString &message) const
    {
        err << "kvbvh: " << message << Qt::endl;
        return ExitFailure;
    }
    // One line on stderr; the command goes on.
    void warn(const QString &message) const
    {
        err << "kvbvh: warning: " << message << Qt::endl;
    }
    // One line on stderr; main adds the command's usage.
    int usageError(const QString &message) const
    {
        err << "kvbvh: " << message << Qt::endl;
        return ExitUsage;
    }
};

using CommandFunction = int (*)(CommandContext &context, const QStringList &arguments);

struct Command
{
    const char *name;
    const char *arguments;  // as the usage text shows them
    const char *summary;
    // Commands that build dialogs need a QApplication (offscreen without a display).
    bool needsWidgets;
    CommandFunction run;
};

// kvbvh plugins: the plug-in's definition and its classes.
int runPluginsCommand(CommandContext &context, const QStringList &arguments);
// kvbvh convert: import onto a figure and export again, one file or a batch.
int runConvertCommand(CommandContext &context, const QStringList &arguments);
// kvbvh import: import onto a figure and save the scene file.
int runImportCommand(CommandContext &context, const QStringList &arguments);
// kvbvh export: export the figure of a scene file.
int runExportCommand(CommandContext &context, const QStringList &arguments);
// kvbvh map: the mapping the importer would show, optionally stored.
int runMapCommand(CommandContext &context, const QStringList &arguments);
// kvbvh maps: list, show, delete, export, import and restore stored maps.
int runMapsCommand(CommandContext &context, const QStringList &arguments);
// No map is stored under name, so storing one loses nothing; false with one
// line for CommandContext::fail that names --force, for map and maps.
bool checkNewMapName(const KvMapStore &store, const QString &name, QString *errorMessage);
// kvbvh figure: write a figure file to start one's own figure from.
int runFigureCommand(CommandContext &context, const QStringList &arguments);
// kvbvh preview: a contact sheet of a BVH file's or a scene file's motion as a picture.
int runPreviewCommand(CommandContext &context, const QStringList &arguments);
// kvbvh info: what a BVH file holds and what is unusual in it.
int runInfoCommand(CommandContext &context, const QStringList &arguments);
