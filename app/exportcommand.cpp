#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "progressbar.h"

#include "kvmapstore.h"
#include "kvpluginrunner.h"
#include "kvscenefile.h"

#include "kvapp.h"
#include "kvnode.h"
#include "kvscene.h"

int runExportCommand(CommandContext &context, const QStringList &arguments)
{
    QString output;
    QString exportMap;
    bool secondLife = false;
    OptionParser parser;
    parser.addValue(QStringLiteral("output"), QLatin1Char('o'), QStringLiteral("OUT.bvh"), &output,
                    QStringLiteral("the BVH file to write"));
    parser.addValue(QStringLiteral("export-map"), QChar(), QStringLiteral("NAME"), &exportMap,
                    QStringLiteral("rename the figure's bones on export with this stored map"));
    parser.addFlag(QStringLiteral("second-life"), QChar(), &secondLife,
                   QStringLiteral("shape the file for Second Life (reference frame; with the default figure its "
                                  "names through the shipped SecondLife map) and warn where it would be refused"));
    ShapeArguments shape;
    shape.addTo(parser);
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("export SCENE.json -o OUT.bvh [--second-life] [--export-map NAME] [--fps N] [--start T] [--end T]"),
            QStringLiteral("Exports the figure of a scene file (written by kvbvh import) over the scene's\n"
                           "animation range as a BVH file."));
        return ExitSuccess;
    }
    if (parser.arguments().size() != 1)
        return context.usageError(QStringLiteral("export takes one scene file"));
    if (output.isEmpty())
        return context.usageError(QStringLiteral("export needs -o OUT.bvh"));
    QString usage;
    if (!shape.settle(&usage))
        return context.usageError(usage);

    const QString input = parser.arguments().first();
    QString error;
    if (!checkInputFile(input, &error) || !checkOutputFile(output, &error))
        return context.fail(error);
    const std::optional<KvSceneDesc> desc = KvSceneFile::load(input, &error);
    if (!desc)
        return context.fail(error);
    KvMapStore store(context.host->getAppSettingsMgr());
    store.seedShippedMaps();
    if (!exportMap.isEmpty() && !checkStoredMap(store, exportMap, &error))
        return context.fail(error);
    const QString chosenMap = chooseExportMap(store, exportMap, secondLife, isDefaultFigure(desc->figure));

    KvScene *scene = context.host->getScene();
    while (scene->getNumNodes() > 0)
        scene->deleteNode(scene->getNode(0));
    KvSkeleton *skeleton = KvSceneFile::build(*desc, scene, &error);
    if (!skeleton)
        return context.fail(input + QLatin1String(": ") + error);
    ProgressBar progress(context.err, context.showProgress);
    progress.attach(context.host);
    KvPluginRunner runner(context.host, context.loader);
    if (!shapeMotion(input, nullptr, skeleton, secondLife, shape.options(), &error))
        return context.fail(error);
    if (!runner.exportFile(output, skeleton, {chosenMap, secondLife, secondLife && !shape.allBones}, &error))
        return context.fail(output + QLatin1String(": ") + error);
    progress.finish();

    const QString motion = describeWrittenFile(context, output, secondLife);
    if (!context.quiet) {
        context.out << input << " -> " << output << ": figure \"" << skeleton->getLabel() << "\", " << motion;
        if (!chosenMap.isEmpty())
            context.out << ", export map " << chosenMap;
        context.out << Qt::endl;
    }
    return ExitSuccess;
}
