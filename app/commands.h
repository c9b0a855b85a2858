#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

class KvApp;
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

    // One line on stderr; the command then returns ExitFailure.
    int fail(const QString &message) const
    {
        err << "kvbvh: " << message << Qt::endl;
        return ExitFailure;
    }
    // One line on stderr; main adds the usage text.
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
