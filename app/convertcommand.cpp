#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "progressbar.h"

#include "kvbvhscan.h"
#include "kvmapstore.h"
#include "kvpluginrunner.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvnode.h"
#include "kvpluginloader.h"
#include "kvscene.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <memory>
#include <vector>

namespace {

struct Job
{
    QString input;
    QString output;
};

// What every conversion of one run shares.
struct Setup
{
    KvFigureDesc figure;
    bool defaultFigure = false;
    KvImportOptions importOptions;
    QString exportMap;
    bool secondLife = false;
    ShapeOptions shape;
};

int convertOne(CommandContext &context, const Setup &setup, const Job &job)
{
    QString error;
    if (!checkInputFile(job.input, &error))
        return context.fail(error);
    if (QFileInfo(job.output).canonicalFilePath() == QFileInfo(job.input).canonicalFilePath())
        return context.fail(QStringLiteral("%1: will not write over the input").arg(job.output));

    ProgressBar progress(context.err, context.showProgress);
    progress.attach(context.host);
    ImportResult imported;
    if (!importOntoFigure(context, job.input, setup.figure, setup.importOptions, true, imported, &error))
        return context.fail(error);
    KvSkeleton *skeleton = imported.skeleton;
    const std::optional<KvBvhScan> &source = imported.source;
    if (!shapeMotion(job.input, source ? &*source : nullptr, skeleton, setup.secondLife, setup.shape, &error))
        return context.fail(error);

    KvExportOptions exportOptions;
    exportOptions.exportMap = setup.exportMap;
    exportOptions.secondLife = setup.secondLife;
    exportOptions.keyedBonesOnly = setup.secondLife && !setup.shape.allBones;
    KvPluginRunner runner(context.host, context.loader);
    if (!runner.exportFile(job.output, skeleton, exportOptions, &error))
        return context.fail(job.output + QLatin1String(": ") + error);
    progress.finish();

    const QString motion = describeWrittenFile(context, job.output, setup.secondLife);
    if (context.quiet)
        return ExitSuccess;
    context.out << job.input << " -> " << job.output << ": " << imported.mapped << " of " << imported.rows.size()
                << " joints mapped onto figure \"" << skeleton->getLabel() << "\", " << motion;
    if (setup.secondLife) {
        context.out << ", for Second Life"
                    << (setup.exportMap.isEmpty() ? QString() : QStringLiteral(" (export map %1)").arg(setup.exportMap));
    } else if (!setup.exportMap.isEmpty()) {
        context.out << ", export map " << setup.exportMap;
    }
    context.out << Qt::endl;
    for (const QString &note : imported.notes)
        context.out << job.input << ": " << note << Qt::endl;
    return ExitSuccess;
}

// Runs the jobs in child processes of this program, at most parallel at
// once; each child converts one file. Their output is passed on whole, one
// child after another, so that lines do not interleave.
int convertInProcesses(CommandContext &context, const std::vector<Job> &jobs, const QStringList &childOptions,
                       int parallel)
{
    QStringList globalOptions{QStringLiteral("--settings"), context.host->getAppSettingsMgr()->fileName(),
                              QStringLiteral("--plugin"), context.loader->fileName()};
    if (context.quiet)
        globalOptions.append(QStringLiteral("--quiet"));

    ProgressBar progress(context.err, context.showProgress);
    progress.start(QStringLiteral("Converting %1 files").arg(jobs.size()), int(jobs.size()));
    int exitCode = ExitSuccess;
    size_t next = 0;
    size_t done = 0;
    std::vector<std::pair<std::unique_ptr<QProcess>, size_t>> running;
    while (done < jobs.size()) {
        while (running.size() < size_t(parallel) && next < jobs.size()) {
            auto process = std::make_unique<QProcess>();
            process->start(QCoreApplication::applicationFilePath(),
                           globalOptions + QStringList{QStringLiteral("convert"), QStringLiteral("-o"), jobs[next].output}
                               + childOptions + QStringList{QStringLiteral("--"), jobs[next].input});
            running.emplace_back(std::move(process), next);
            ++next;
        }
        // Wait for the oldest; the others keep working meanwhile.
        QProcess &oldest = *running.front().first;
        oldest.waitForFinished(-1);
        progress.finish();
        context.out << QString::fromLocal8Bit(oldest.readAllStandardOutput());
        context.out.flush();
        context.err << QString::fromLocal8Bit(oldest.readAllStandardError());
        context.err.flush();
        if (oldest.exitStatus() != QProcess::NormalExit || oldest.error() == QProcess::FailedToStart) {
            context.fail(QStringLiteral("%1: the conversion process failed: %2")
                             .arg(jobs[running.front().second].input, oldest.errorString()));
            exitCode = ExitFailure;
        } else if (oldest.exitCode() != ExitSuccess) {
            exitCode = ExitFailure;
        }
        running.erase(running.begin());
        ++done;
        progress.start(QStringLiteral("Converting %1 files").arg(jobs.size()), int(jobs.size()));
        progress.setValue(int(done));
    }
    progress.finish();
    return exitCode;
}

} // namespace

int runConvertCommand(CommandContext &context, const QStringList &arguments)
{
    ImportArguments import;
    QString output;
    QString outDir;
    QString exportMap;
    QString jobsText;
    bool secondLife = false;
    OptionParser parser;
    parser.addValue(QStringLiteral("output"), QLatin1Char('o'), QStringLiteral("OUT.bvh"), &output,
                    QStringLiteral("the file to write (one input)"));
    parser.addValue(QStringLiteral("out-dir"), QChar(), QStringLiteral("DIR"), &outDir,
                    QStringLiteral("write each input to DIR under its own base name (any number of inputs)"));
    import.addTo(parser);
    parser.addValue(QStringLiteral("export-map"), QChar(), QStringLiteral("NAME"), &exportMap,
                    QStringLiteral("rename the figure's bones on export with this stored map"));
    parser.addFlag(QStringLiteral("second-life"), QChar(), &secondLife,
                   QStringLiteral("shape the file for Second Life (reference frame; with the default figure its "
                                  "names through the shipped SecondLife map) and warn where it would be refused"));
    parser.addValue(QStringLiteral("jobs"), QLatin1Char('j'), QStringLiteral("N"), &jobsText,
                    QStringLiteral("convert N files at once, in separate processes"));
    ShapeArguments shape;
    shape.addTo(parser);
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("convert IN.bvh -o OUT.bvh [options]\n       kvbvh convert IN.bvh... --out-dir DIR [-j N] [options]"),
            QStringLiteral("Imports each BVH file onto a figure (the built-in default figure unless --figure\n"
                           "names another) and exports the figure's motion as BVH again: motion from any\n"
                           "skeleton, retargeted onto one figure and its bone names."));
        return ExitSuccess;
    }

    const QStringList inputs = parser.arguments();
    if (inputs.isEmpty())
        return context.usageError(QStringLiteral("convert needs a BVH file to read"));
    if (output.isEmpty() == outDir.isEmpty())
        return context.usageError(QStringLiteral("convert needs either -o OUT.bvh or --out-dir DIR"));
    if (!output.isEmpty() && inputs.size() > 1)
        return context.usageError(QStringLiteral("several inputs need --out-dir DIR instead of -o"));
    int parallel = 1;
    if (!jobsText.isEmpty()) {
        bool ok = false;
        parallel = jobsText.toInt(&ok);
        if (!ok || parallel < 1)
            return context.usageError(QStringLiteral("-j needs a whole number of at least 1"));
    }
    QString usage;
    if (!import.settle(&usage) || !shape.settle(&usage))
        return context.usageError(usage);

    std::vector<Job> jobs;
    QString error;
    if (!outDir.isEmpty()) {
        if (!QFileInfo(outDir).isDir() && !QDir().mkpath(outDir))
            return context.fail(QStringLiteral("the output folder %1 cannot be made").arg(outDir));
        QSet<QString> outputs;
        for (const QString &input : inputs) {
            // The base name alone, so nothing lands outside the folder.
            const QString name = QFileInfo(input).completeBaseName() + QLatin1String(".bvh");
            const QString path = QDir(outDir).filePath(name);
            if (outputs.contains(path))
                return context.usageError(QStringLiteral("two inputs would both be written to %1").arg(path));
            outputs.insert(path);
            jobs.push_back({input, path});
        }
    } else {
        if (!checkOutputFile(output, &error))
            return context.fail(error);
        jobs.push_back({inputs.first(), output});
    }

    Setup setup;
    const std::optional<KvFigureDesc> figure = importFigure(context, import, &error);
    if (!figure)
        return context.fail(error);
    setup.figure = *figure;
    setup.defaultFigure = isDefaultFigure(setup.figure);
    KvMapStore store(context.host->getAppSettingsMgr());
    if (!exportMap.isEmpty() && !checkStoredMap(store, exportMap, &error))
        return context.fail(error);
    setup.importOptions = import.options();
    setup.secondLife = secondLife;
    setup.exportMap = chooseExportMap(store, exportMap, secondLife, setup.defaultFigure);
    setup.shape = shape.options();

    if (parallel > 1 && jobs.size() > 1) {
        QStringList childOptions;
        const auto forward = [&childOptions](const char *name, const QString &value) {
            if (!value.isEmpty())
                childOptions << QString::fromLatin1(name) << value;
        };
        forward("--figure", import.figure);
        forward("--map", import.map.isEmpty() ? QStringLiteral("none") : import.map);
        forward("--export-map", exportMap);
        forward("--up", import.up);
        childOptions << shape.forwarded();
        for (const auto &flag : {std::make_pair("--in-place", import.inPlace), std::make_pair("--limits", import.limits),
                                 std::make_pair("--keep-scene-timing", import.keepSceneTiming),
                                 std::make_pair("--second-life", secondLife)}) {
            if (flag.second)
                childOptions << QString::fromLatin1(flag.first);
        }
        return convertInProcesses(context, jobs, childOptions, parallel);
    }

    int exitCode = ExitSuccess;
    for (const Job &job : jobs) {
        if (convertOne(context, setup, job) != ExitSuccess)
            exitCode = ExitFailure;
    }
    return exitCode;
}
