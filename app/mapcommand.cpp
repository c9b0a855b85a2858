#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "progressbar.h"

#include "kvfiguresource.h"
#include "kvmapstore.h"
#include "kvpluginrunner.h"

#include "kvapp.h"
#include "kvnode.h"

#include <QFileInfo>

int runMapCommand(CommandContext &context, const QStringList &arguments)
{
    QString figureSource;
    QString mapName;
    QString saveName;
    OptionParser parser;
    parser.addValue(QStringLiteral("figure"), QChar(), QStringLiteral("FIG"), &figureSource,
                    QStringLiteral("the figure: default (the built-in one), a figure file (.json) or a BVH file"));
    parser.addValue(QStringLiteral("map"), QChar(), QStringLiteral("NAME"), &mapName,
                    QStringLiteral("load this stored import map over the automatic mapping"));
    parser.addValue(QStringLiteral("save"), QChar(), QStringLiteral("NAME"), &saveName,
                    QStringLiteral("store the mapping as an import map of this name"));
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("map IN.bvh [--figure FIG] [--map NAME] [--save NAME]"),
            QStringLiteral("Shows how the importer maps the file's joints onto the figure's bones: each joint\n"
                           "with its bone, [x] when it is imported. --save stores that mapping as a named map,\n"
                           "in the store and format the plug-in's dialogs use."));
        return ExitSuccess;
    }
    if (parser.arguments().size() != 1)
        return context.usageError(QStringLiteral("map takes one BVH file"));
    if (!saveName.isEmpty() && !KvMapStore::isValidName(saveName))
        return context.usageError(QStringLiteral("a map name must not contain \";\""));

    const QString input = parser.arguments().first();
    QString error;
    if (!checkInputFile(input, &error))
        return context.fail(error);
    const std::optional<KvFigureDesc> figure = KvFigureSource::load(figureSource, &error);
    if (!figure)
        return context.fail(error);
    KvMapStore store(context.host->getAppSettingsMgr());
    store.seedShippedMaps();
    if (!mapName.isEmpty() && !checkStoredMap(store, mapName, &error))
        return context.fail(error);

    KvSkeleton *skeleton = addFigure(context.host->getScene(), *figure, true, &error);
    if (!skeleton)
        return context.fail(error);
    ProgressBar progress(context.err, context.showProgress);
    progress.attach(context.host);
    KvPluginRunner runner(context.host, context.loader);
    KvImportOptions options;
    options.mapName = mapName;
    const std::optional<QList<KvJointRow>> rows = runner.readMapping(input, skeleton, options, &error);
    progress.finish();
    if (!rows)
        return context.fail(input + QLatin1String(": ") + error);

    int checked = 0;
    int withBone = 0;
    qsizetype width = 0;
    for (const KvJointRow &row : *rows) {
        checked += row.checked ? 1 : 0;
        withBone += row.bone.isEmpty() ? 0 : 1;
        width = qMax(width, row.depth * 2 + row.joint.size());
    }
    QTextStream &out = context.out;
    out << QStringLiteral("%1 onto figure \"%2\": %3 of %4 joints checked, %5 shown with a bone\n")
               .arg(QFileInfo(input).fileName(), skeleton->getLabel())
               .arg(checked)
               .arg(rows->size())
               .arg(withBone);
    for (const KvJointRow &row : *rows) {
        const QString joint = QString(row.depth * 2, QLatin1Char(' ')) + row.joint;
        // A joint that shares its bone with a joint above it is checked but
        // shows no bone of its own.
        const QString bone = !row.bone.isEmpty() ? row.bone
                             : row.checked       ? QStringLiteral("(no bone shown)")
                                                 : QStringLiteral("(no bone)");
        out << (row.checked ? "[x] " : "[ ] ") << joint.leftJustified(width) << "  -> " << bone << '\n';
    }

    if (!saveName.isEmpty()) {
        QList<KvMapPair> pairs;
        for (const KvJointRow &row : *rows)
            pairs.append({row.joint, row.bone});
        const bool replaced = store.save(saveName, KvMapStore::toData(pairs));
        out << (replaced ? "Replaced" : "Stored") << " import map \"" << saveName << "\"\n";
    }
    out.flush();
    return ExitSuccess;
}
