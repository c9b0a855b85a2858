#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "progressbar.h"

#include "kvfiguresource.h"
#include "kvbvhscan.h"
#include "kvmapstore.h"
#include "kvpluginrunner.h"
#include "kvscenefile.h"

#include "kvapp.h"
#include "kvnode.h"
#include "kvscene.h"

int runImportCommand(CommandContext &context, const QStringList &arguments)
{
    ImportArguments import;
    QString output;
    OptionParser parser;
    parser.addValue(QStringLiteral("output"), QLatin1Char('o'), QStringLiteral("SCENE.json"), &output,
                    QStringLiteral("the scene file to write"));
    import.addTo(parser);
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("import IN.bvh -o SCENE.json [options]"),
            QStringLiteral("Imports a BVH file onto a figure and saves the figure, its keys and the scene's\n"
                           "timing as a scene file (docs/scene-format.md), for kvbvh export."));
        return ExitSuccess;
    }
    if (parser.arguments().size() != 1)
        return context.usageError(QStringLiteral("import takes one BVH file"));
    if (output.isEmpty())
        return context.usageError(QStringLiteral("import needs -o SCENE.json"));
    QString usage;
    if (!import.settle(&usage))
        return context.usageError(usage);

    const QString input = parser.arguments().first();
    QString error;
    if (!checkInputFile(input, &error) || !checkOutputFile(output, &error))
        return context.fail(error);
    const std::optional<KvFigureDesc> figure = KvFigureSource::load(import.figure, &error);
    if (!figure)
        return context.fail(error);
    KvMapStore store(context.host->getAppSettingsMgr());
    store.seedShippedMaps();
    if (!import.map.isEmpty() && !checkStoredMap(store, import.map, &error))
        return context.fail(error);

    KvScene *scene = context.host->getScene();
    KvSkeleton *skeleton = addFigure(scene, *figure, !import.keepSceneTiming, &error);
    if (!skeleton)
        return context.fail(error);
    ProgressBar progress(context.err, context.showProgress);
    progress.attach(context.host);
    KvPluginRunner runner(context.host, context.loader);
    QList<KvJointRow> rows;
    if (!runner.importFile(input, skeleton, import.options(), &rows, &error))
        return context.fail(input + QLatin1String(": ") + error);
    progress.finish();

    if (const std::optional<KvBvhScan> source = KvBvhScan::scan(input))
        reportFrames(context, input, *source, scene, import.options().followFileTiming);
    const KvSceneDesc desc = KvSceneFile::describe(*scene, *skeleton);
    if (!KvSceneFile::save(desc, output, &error))
        return context.fail(error);
    if (!context.quiet) {
        int checked = 0;
        for (const KvJointRow &row : rows)
            checked += row.checked ? 1 : 0;
        const int step = scene->getTimeStep();
        const KvTimeRange range = scene->getAnimRange();
        const int frames = range.end / step - range.start / step;
        context.out << input << " -> " << output << ": " << checked << " of " << rows.size()
                    << " joints mapped onto figure \"" << skeleton->getLabel() << "\", " << desc.tracks.size()
                    << " keyed controls, " << frames << " frames at " << rateText(step) << " fps, "
                    << QString::number(frames * step / 4800.0, 'f', 2) << " s" << Qt::endl;
        for (const QString &note : runner.notes())
            context.out << input << ": " << note << Qt::endl;
    }
    return ExitSuccess;
}
