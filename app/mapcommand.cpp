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
#include <QHash>

namespace {

// The bone each joint drives. The rows name the bone the dialog shows, and it
// shows a bone on the first joint mapped to it only; a checked joint showing
// none drives the bone of the nearest joint above it, as the importer spreads
// a bone down a chain (Hips and LowerBack on hip, LeftHand and LeftFingerBase
// on lHand) and as the dialog's Save Map stores it.
QStringList jointBones(const QList<KvJointRow> &rows)
{
    QStringList bones;
    QStringList above;  // the bone of the joint above at each depth
    for (const KvJointRow &row : rows) {
        above.resize(row.depth);
        QString bone = row.bone;
        for (qsizetype depth = above.size() - 1; bone.isEmpty() && row.checked && depth >= 0; --depth)
            bone = above.at(depth);
        above.append(bone);
        bones.append(bone);
    }
    return bones;
}

} // namespace

int runMapCommand(CommandContext &context, const QStringList &arguments)
{
    QString figureSource;
    QString mapName;
    QString saveName;
    bool force = false;
    OptionParser parser;
    parser.addValue(QStringLiteral("figure"), QChar(), QStringLiteral("FIG"), &figureSource,
                    QStringLiteral("the figure: default (the built-in one), a figure file (.json) or a BVH file"));
    parser.addValue(QStringLiteral("map"), QChar(), QStringLiteral("NAME"), &mapName,
                    QStringLiteral("load this stored import map over the automatic mapping"));
    parser.addValue(QStringLiteral("save"), QChar(), QStringLiteral("NAME"), &saveName,
                    QStringLiteral("store the mapping as an import map of this name"));
    parser.addFlag(QStringLiteral("force"), QChar(), &force,
                   QStringLiteral("let --save replace a stored map of the same name"));
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("map IN.bvh [--figure FIG] [--map NAME] [--save NAME [--force]]"),
            QStringLiteral("Shows how the importer maps the file's joints onto the figure's bones: each joint\n"
                           "with its bone, [x] when it is imported, and the other joints on a bone that several\n"
                           "drive. --save stores that mapping as a named map, in the store and format the\n"
                           "plug-in's dialogs use."));
        return ExitSuccess;
    }
    if (parser.arguments().size() != 1)
        return context.usageError(QStringLiteral("map takes one BVH file"));
    if (!saveName.isEmpty() && !KvMapStore::isValidName(saveName))
        return context.usageError(QStringLiteral("a map name must not contain \";\""));
    if (force && saveName.isEmpty())
        return context.usageError(QStringLiteral("--force goes with --save"));

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
    if (!saveName.isEmpty() && !force && !checkNewMapName(store, saveName, &error))
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

    const QStringList bones = jointBones(*rows);
    int checked = 0;
    QHash<QString, QStringList> drivers;  // bone -> the checked joints on it, in file order
    qsizetype width = 0;
    for (qsizetype i = 0; i < rows->size(); ++i) {
        const KvJointRow &row = rows->at(i);
        checked += row.checked ? 1 : 0;
        if (row.checked && !bones.at(i).isEmpty())
            drivers[bones.at(i)].append(row.joint);
        width = qMax(width, row.depth * 2 + row.joint.size());
    }
    qsizetype driving = 0;
    qsizetype shared = 0;
    for (const QStringList &joints : std::as_const(drivers)) {
        driving += joints.size();
        shared += joints.size() > 1 ? 1 : 0;
    }
    QTextStream &out = context.out;
    out << QStringLiteral("%1 onto figure \"%2\": %3 of %4 joints checked, %5 %6 %7 %8")
               .arg(QFileInfo(input).fileName(), skeleton->getLabel())
               .arg(checked)
               .arg(rows->size())
               .arg(driving)
               .arg(QLatin1String(driving == 1 ? "drives" : "drive"))
               .arg(drivers.size())
               .arg(QLatin1String(drivers.size() == 1 ? "bone" : "bones"));
    if (shared > 0)
        out << " (" << shared << " shared)";
    out << '\n';
    for (qsizetype i = 0; i < rows->size(); ++i) {
        const KvJointRow &row = rows->at(i);
        const QString joint = QString(row.depth * 2, QLatin1Char(' ')) + row.joint;
        QString bone = bones.at(i).isEmpty() ? QStringLiteral("(no bone)") : bones.at(i);
        QStringList others = row.checked ? drivers.value(bones.at(i)) : QStringList();
        others.removeOne(row.joint);
        if (!others.isEmpty())
            bone += QLatin1String(" (also ") + others.join(QLatin1String(", ")) + QLatin1Char(')');
        out << (row.checked ? "[x] " : "[ ] ") << joint.leftJustified(width) << "  -> " << bone << '\n';
    }

    if (!saveName.isEmpty()) {
        // As the dialog's Save Map: every joint with its bone, shared or not.
        QList<KvMapPair> pairs;
        for (qsizetype i = 0; i < rows->size(); ++i)
            pairs.append({rows->at(i).joint, bones.at(i)});
        const bool replaced = store.save(saveName, KvMapStore::toData(pairs));
        if (!context.quiet)
            out << (replaced ? "Replaced" : "Stored") << " import map \"" << saveName << "\"\n";
    }
    out.flush();
    return ExitSuccess;
}
