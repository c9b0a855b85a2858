#include "commandsupport.h"

#include "commands.h"
#include "optionparser.h"

#include "kvbvhscan.h"
#include "kvmapstore.h"
#include "kvpluginrunner.h"
#include "kvsecondlife.h"

#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QFileInfo>

#include <cmath>
#include <memory>

bool checkInputFile(const QString &path, QString *errorMessage)
{
    const QFileInfo info(path);
    QString problem;
    if (!info.exists())
        problem = QStringLiteral("no such file");
    else if (!info.isFile())
        problem = QStringLiteral("not a file");
    else if (!info.isReadable())
        problem = QStringLiteral("cannot read it (permission denied)");
    if (problem.isEmpty())
        return true;
    *errorMessage = path + QLatin1String(": ") + problem;
    return false;
}

bool checkOutputFile(const QString &path, QString *errorMessage)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        *errorMessage = path + QLatin1String(": is a folder");
    else if (!folder.isDir())
        *errorMessage = QStringLiteral("%1: the folder %2 does not exist").arg(path, info.path());
    else
        return true;
    return false;
}

bool checkStoredMap(const KvMapStore &store, const QString &name, QString *errorMessage)
{
    if (store.contains(name))
        return true;
    *errorMessage = QStringLiteral("no stored map named \"%1\" (see kvbvh maps list)").arg(name);
    return false;
}

KvSkeleton *addFigure(KvScene *scene, const KvFigureDesc &desc, bool followFileTiming, QString *errorMessage)
{
    std::unique_ptr<KvSkeleton> skeleton = KvFigureBuilder::build(desc, errorMessage);
    if (!skeleton)
        return nullptr;
    while (scene->getNumNodes() > 0)
        scene->deleteNode(scene->getNode(0));
    scene->setTimeStep(160);
    scene->setTime(0);
    const KvTimeRange range = followFileTiming ? KvTimeRange(0, 0) : KvTimeRange(0, 4800);
    scene->setAnimRange(range);
    scene->setPlayRange(range);
    KvSkeleton *figure = skeleton.release();
    scene->addNode(figure);
    return figure;
}

QString chooseExportMap(const KvMapStore &store, const QString &named, bool secondLife, bool defaultFigure)
{
    if (!named.isEmpty())
        return named;
    if (secondLife && defaultFigure && store.contains(KvSecondLife::exportMapName()))
        return KvSecondLife::exportMapName();
    return QString();
}

QString motionSummary(const KvBvhScan &scan)
{
    const double fps = scan.frameTimeSeconds > 0.0 ? 1.0 / scan.frameTimeSeconds : 0.0;
    // Whole rates print whole; 29.97 keeps its decimals.
    const QString rate = std::fabs(fps - std::round(fps)) < 0.005 ? QString::number(std::lround(fps))
                                                                   : QString::number(fps, 'f', 2);
    return QStringLiteral("%1 frame%2 at %3 fps, %4 s")
        .arg(scan.frameCount())
        .arg(scan.frameCount() == 1 ? QString() : QStringLiteral("s"))
        .arg(rate)
        .arg(scan.durationSeconds(), 0, 'f', 2);
}

QString describeWrittenFile(CommandContext &context, const QString &path, bool secondLife)
{
    QString error;
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(path, &error);
    if (!scan) {
        context.warn(error);
        return QString();
    }
    const QStringList problems = secondLife ? KvSecondLife::problems(*scan) : QStringList();
    for (const QString &problem : problems)
        context.warn(QStringLiteral("%1: Second Life would refuse it: %2").arg(path, problem));
    return motionSummary(*scan);
}

void ImportArguments::addTo(OptionParser &parser)
{
    parser.addValue(QStringLiteral("figure"), QChar(), QStringLiteral("FIG"), &figure,
                    QStringLiteral("the figure: default (the built-in one), a figure file (.json) or a BVH file"));
    parser.addValue(QStringLiteral("map"), QChar(), QStringLiteral("NAME"), &map,
                    QStringLiteral("load this stored import map over the automatic mapping"));
    parser.addFlag(QStringLiteral("in-place"), QChar(), &inPlace,
                   QStringLiteral("keep the root on the spot (no X or Z translation)"));
    parser.addFlag(QStringLiteral("limits"), QChar(), &limits,
                   QStringLiteral("hold the figure's joints inside their rotation limits"));
    parser.addFlag(QStringLiteral("keep-scene-timing"), QChar(), &keepSceneTiming,
                   QStringLiteral("keep the scene's 30 fps and 30 frames instead of the file's rate and length"));
    parser.addValue(QStringLiteral("up"), QChar(), QStringLiteral("auto|y|z"), &up,
                    QStringLiteral("stand a Z-up file up: z always, y never, auto (default) when it rests and starts Z-up"));
}

bool ImportArguments::settle(QString *usageMessage)
{
    if (map == QLatin1String("none"))
        map.clear();
    up = up.toLower();
    if (up != QLatin1String("auto") && up != QLatin1String("y") && up != QLatin1String("z")) {
        *usageMessage = QStringLiteral("--up takes auto, y or z");
        return false;
    }
    return true;
}

KvImportOptions ImportArguments::options() const
{
    KvImportOptions options;
    options.mapName = map;
    options.followFileTiming = !keepSceneTiming;
    options.inPlace = inPlace;
    options.limits = limits;
    options.upAxis = up;
    return options;
}

bool isDefaultFigure(const KvFigureDesc &desc)
{
    const KvFigureDesc &standard = KvDefaultFigure::desc();
    if (desc.bones.size() != standard.bones.size())
        return false;
    for (size_t i = 0; i < desc.bones.size(); ++i) {
        if (desc.bones[i].name != standard.bones[i].name)
            return false;
    }
    return true;
}
