#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "progressbar.h"

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
    const std::optional<KvFigureDesc> figure = importFigure(context, import, &error);
    if (!figure)
        return context.fail(error);
    KvScene *scene = context.host->getScene();
    ProgressBar progress(context.err, context.showProgress);
    progress.attach(context.host);
    ImportResult imported;
    if (!importOntoFigure(context, input, *figure, import.options(), false, imported, &error))
        return context.fail(error);
    progress.finish();

    KvSkeleton *skeleton = imported.skeleton;
    const KvSceneDesc desc = KvSceneFile::describe(*scene, *skeleton);
    if (!KvSceneFile::save(desc, output, &error))
        return context.fail(error);
    if (!context.quiet) {
        const int step = scene->getTimeStep();
        const KvTimeRange range = scene->getAnimRange();
        const int frames = range.end / step - range.start / step;
        context.out << input << " -> " << output << ": " << imported.mapped << " of " << imported.rows.size()
                    << " joints mapped onto figure \"" << skeleton->getLabel() << "\", " << desc.tracks.size()
                    << " keyed controls, " << frames << " frames at " << rateText(step) << " fps, "
                    << QString::number(frames * step / 4800.0, 'f', 2) << " s" << Qt::endl;
        for (const QString &note : imported.notes)
            context.out << input << ": " << note << Qt::endl;
    }
    return ExitSuccess;
}
