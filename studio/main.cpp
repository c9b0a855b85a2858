// kvbvh-studio: the window-based host. Shows the host's scene, runs the BVH
// plug-in's importer and exporter on it with their dialogs, and plays the
// motion.

#include "studiowindow.h"

#include "kvapp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvbvh-studio"));
    QApplication::setApplicationVersion(QStringLiteral(KVBVH_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows a figure, imports BVH motion onto it and exports it through the BVH plug-in, and plays it.\n"
        "FILE: a BVH file to import, a scene file to open or a figure file to start from."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("The settings file, shared with kvbvh (default: %1).").arg(KvApp::defaultSettingsFile()),
        QStringLiteral("FILE"));
    const QCommandLineOption pluginOption(QStringLiteral("plugin"),
                                          QStringLiteral("The plug-in library to load (default: libkvbvh.so next "
                                                         "to the program)."),
                                          QStringLiteral("PATH"));
    parser.addOptions({settingsOption, pluginOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Files to open, in order."),
                                 QStringLiteral("[FILE...]"));
    parser.process(application);

    const QString settingsFile = parser.isSet(settingsOption) ? parser.value(settingsOption) : KvApp::defaultSettingsFile();
    const QString pluginPath = parser.isSet(pluginOption)
                                   ? parser.value(pluginOption)
                                   : QCoreApplication::applicationDirPath() + QLatin1String("/libkvbvh.so");

    // The host outlives the window that shows its scene.
    KvApp host(settingsFile, true);
    host.setDocumentationPath(QCoreApplication::applicationDirPath() + QLatin1String("/doc"));
    StudioWindow window(&host, pluginPath);
    window.show();
    const QStringList files = parser.positionalArguments();
    QTimer::singleShot(0, &window, [&window, files] { window.start(files); });
    return application.exec();
}
