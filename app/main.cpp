// kvbvh: a small host that loads the BVH plug-in and drives it from the
// command line. Global options come before the command, as in git, or among
// the command's arguments.

#include "commands.h"

#include "kvapp.h"
#include "kvpluginloader.h"

#include <QApplication>
#include <QCoreApplication>

#include <csignal>
#include <memory>

#include <unistd.h>

namespace {

QtMessageHandler defaultMessageHandler = nullptr;

const Command commandTable[] = {
    {"convert", "IN.bvh... -o OUT.bvh | --out-dir DIR", "retarget motion onto a figure and write it as BVH", true,
     runConvertCommand},
    {"import", "IN.bvh -o SCENE.json", "import motion onto a figure and save the scene", true, runImportCommand},
    {"export", "SCENE.json -o OUT.bvh", "export the figure of a scene file as BVH", true, runExportCommand},
    {"map", "IN.bvh", "show (and store) how the file's joints map onto the figure", true, runMapCommand},
    {"maps", "list|show|delete|export|import|restore", "manage the stored name maps", false, runMapsCommand},
    {"figure", "export [default|FIG] -o FIG.json", "write a figure file to start one's own figure from", false,
     runFigureCommand},
    {"preview", "IN.bvh|SCENE.json [-o OUT.png]", "draw a contact sheet of the motion as a picture", true,
     runPreviewCommand},
    {"info", "IN.bvh", "describe a BVH file and what is unusual in it", false, runInfoCommand},
    {"plugins", "", "describe the plug-in and its classes", false, runPluginsCommand},
};

struct Options
{
    QString pluginPath;    // empty: libkvbvh.so next to the program
    QString settingsFile;  // empty: KvApp::defaultSettingsFile()
    bool quiet = false;
    bool help = false;
    bool version = false;
    QString command;
    QStringList commandArguments;
    QString error;         // set: bad usage
};

Options parseOptions(const QStringList &arguments)
{
    Options options;
    // "--name value" or "--name=value"; false with options.error set when the value is missing.
    const auto takeValue = [&](const QString &argument, const QString &name, int &index, QString &value) {
        if (argument.startsWith(name + QLatin1Char('='))) {
            value = argument.mid(name.size() + 1);
        } else if (index + 1 < arguments.size()) {
            value = arguments.at(++index);
        } else {
            options.error = QStringLiteral("option %1 needs a value").arg(name);
            return false;
        }
        if (value.isEmpty())
            options.error = QStringLiteral("option %1 needs a value").arg(name);
        return !value.isEmpty();
    };

    enum class Global { No, Taken, Bad };
    // The global option at index, with its value; Bad with options.error set.
    const auto takeGlobal = [&](int &index) {
        const QString &argument = arguments.at(index);
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        if (name == QLatin1String("--plugin"))
            return takeValue(argument, name, index, options.pluginPath) ? Global::Taken : Global::Bad;
        if (name == QLatin1String("--settings"))
            return takeValue(argument, name, index, options.settingsFile) ? Global::Taken : Global::Bad;
        if (argument == QLatin1String("--quiet") || argument == QLatin1String("-q")) {
            options.quiet = true;
            return Global::Taken;
        }
        return Global::No;
    };

    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QLatin1Char('-'))) {
            options.command = argument;
            // The command never sees a global option: taken out here up to
            // "--", an option's value included. A command option's value
            // spelt like one goes as --name=value.
            for (int j = i + 1; j < arguments.size(); ++j) {
                if (arguments.at(j) == QLatin1String("--")) {
                    options.commandArguments += arguments.mid(j);
                    break;
                }
                const Global global = takeGlobal(j);
                if (global == Global::Bad)
                    break;
                if (global == Global::No)
                    options.commandArguments.append(arguments.at(j));
            }
            break;
        }
        const Global global = takeGlobal(i);
        if (global == Global::Bad)
            break;
        if (global == Global::Taken)
            continue;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
        } else {
            options.error = QStringLiteral("unknown option %1").arg(argument);
            break;
        }
    }
    if (options.error.isEmpty() && options.command.isEmpty() && !options.help && !options.version)
        options.error = QStringLiteral("no command given");
    return options;
}

QString usage()
{
    QString text = QStringLiteral(
        "Usage: kvbvh [--plugin PATH] [--settings FILE] [--quiet] <command> [arguments]\n"
        "       kvbvh --help | --version\n"
        "\n"
        "Options (also after the command, before any \"--\"):\n"
        "  --plugin PATH     the plug-in library to load (default: libkvbvh.so next to kvbvh)\n"
        "  --settings FILE   the settings file (default: %1)\n"
        "  --quiet           print only errors and warnings: no reports, no progress bar\n"
        "  --help            show this help\n"
        "  --version         show the program's version\n"
        "\n"
        "Commands (kvbvh <command> --help tells more):\n").arg(KvApp::defaultSettingsFile());
    for (const Command &command : commandTable) {
        const QString synopsis = QString::fromLatin1(command.name) + QLatin1Char(' ')
                                 + QString::fromLatin1(command.arguments);
        text += QLatin1String("  ") + synopsis.trimmed().leftJustified(48) + QLatin1String("  ")
                + QString::fromLatin1(command.summary) + QLatin1Char('\n');
    }
    return text;
}

// What a command's --help says about its usage: the synopsis and the
// options, without the description.
QString commandUsage(const Command &command, const CommandContext &context)
{
    QString help;
    QTextStream stream(&help);
    CommandContext helpContext{context.host, context.loader, stream, context.err, true};
    if (command.run(helpContext, {QStringLiteral("--help")}) != ExitSuccess)
        return usage();
    stream.flush();
    QStringList blocks;
    for (const QString &block : help.split(QLatin1String("\n\n"))) {
        if (block.startsWith(QLatin1String("Usage:")) || block.startsWith(QLatin1String("Options:")))
            blocks.append(block);
    }
    if (blocks.isEmpty())
        return usage();
    QString text = blocks.join(QLatin1String("\n\n"));
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    return text;
}

const Command *findCommand(const QString &name)
{
    for (const Command &command : commandTable) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

// The plug-in builds its dialogs even when nobody sees them, and preview
// draws text, so those commands need a QApplication. The host never shows them, so it draws
// offscreen unless the user chose a platform: a display that is set but
// unreachable (a stale DISPLAY over ssh) cannot stop a batch run. Everything
// else gets by with a QCoreApplication.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool needsWidgets)
{
    if (!needsWidgets)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

// stderr carries the program's own lines, which scripts read: one error
// line on failure. Qt's chatter about the environment (a missing runtime
// folder, the offscreen platform) would break that; its critical and fatal
// messages still go through, critical ones as the program's own warnings
// (the host's word on an unusable settings file).
void quietQtMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg)
        QTextStream(stderr) << "kvbvh: warning: " << message << Qt::endl;
    else if (type == QtFatalMsg)
        defaultMessageHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    // A reader that goes away (kvbvh convert ... -o /dev/stdout | head) makes
    // writes fail, which the program reports, instead of killing it unheard.
    std::signal(SIGPIPE, SIG_IGN);
    defaultMessageHandler = qInstallMessageHandler(quietQtMessages);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QTextStream out(stdout);
    QTextStream err(stderr);

    const Options options = parseOptions(arguments);
    if (!options.error.isEmpty()) {
        err << "kvbvh: " << options.error << '\n' << usage();
        return ExitUsage;
    }
    if (options.help) {
        out << usage();
        return ExitSuccess;
    }
    if (options.version) {
        out << "kvbvh " << KVBVH_VERSION << '\n';
        return ExitSuccess;
    }
    const Command *command = findCommand(options.command);
    if (!command) {
        err << "kvbvh: unknown command " << options.command << '\n' << usage();
        return ExitUsage;
    }

    // The application outlives the host and the loader; the host (and the
    // plug-in objects in its scene) goes before the loader.
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv, command->needsWidgets);
    KvPluginLoader loader;
    KvApp host(options.settingsFile.isEmpty() ? KvApp::defaultSettingsFile() : options.settingsFile, false);
    // Resources (icons) sit next to the program, as the host has them by
    // default; the plug-in's user guide in doc/ beside it.
    host.setDocumentationPath(QCoreApplication::applicationDirPath() + QLatin1String("/doc"));
    // The plug-in's messages reach the user through the commands, which turn
    // a failed run's warning into their one error line.

    const QString pluginPath = options.pluginPath.isEmpty()
                                   ? QCoreApplication::applicationDirPath() + QLatin1String("/libkvbvh.so")
                                   : options.pluginPath;
    QString error;
    if (!loader.load(pluginPath, &error)) {
        err << "kvbvh: " << error << Qt::endl;
        return ExitFailure;
    }

    CommandContext context{&host, &loader, out, err, options.quiet};
    context.showProgress = !options.quiet && isatty(STDERR_FILENO);
    const int exitCode = command->run(context, options.commandArguments);
    if (exitCode == ExitUsage)
        err << commandUsage(*command, context);
    return exitCode;
}
