#include "commandsupport.h"

#include "commands.h"
#include "optionparser.h"

#include "kvbvhscan.h"
#include "kvfiguresource.h"
#include "kvmapstore.h"
#include "kvpluginrunner.h"
#include "kvsecondlife.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvdefaultfigure.h"
#include "kvproperty.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QFileInfo>

#include <algorithm>
#include <climits>
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

QString rateText(double fps)
{
    // Whole rates print whole; 29.97 keeps its decimals.
    return std::fabs(fps - std::round(fps)) < 0.005 ? QString::number(std::lround(fps)) : QString::number(fps, 'f', 2);
}

QString rateText(int step)
{
    return rateText(step > 0 ? 4800.0 / step : 0.0);
}

QString motionSummary(const KvBvhScan &scan)
{
    const double fps = scan.frameTimeSeconds > 0.0 ? 1.0 / scan.frameTimeSeconds : 0.0;
    const QString rate = rateText(fps);
    return QStringLiteral("%1 frame%2 at %3 fps, %4 s")
        .arg(scan.frameCount())
        .arg(scan.frameCount() == 1 ? QString() : QStringLiteral("s"))
        .arg(rate)
        .arg(scan.durationSeconds(), 0, 'f', 2);
}

QString describeWrittenFile(CommandContext &context, const QString &path, bool secondLife)
{
    // Quiet runs show no summary; only Second Life's warnings need the file read back.
    if (context.quiet && !secondLife)
        return QString();
    QString error;
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(path, &error);
    if (!scan) {
        context.warn(error);
        return QString();
    }
    const QStringList problems = secondLife ? KvSecondLife::problems(*scan) : QStringList();
    for (const QString &problem : problems) {
        // How to mend it from here.
        QString hint;
        if (problem.startsWith(QLatin1String("the motion lasts")))
            hint = QStringLiteral(" (--end %1s keeps the first %1 s)").arg(KvSecondLife::maxDurationSeconds, 0, 'f', 0);
        else if (problem.startsWith(QLatin1String("the root")))
            hint = QStringLiteral(" (--export-map can name it hip)");
        else
            hint = QStringLiteral(" (--export-map can give them Second Life's names)");
        context.warn(QStringLiteral("%1: Second Life would refuse it: %2%3").arg(path, problem, hint));
    }
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
                   QStringLiteral("keep the scene's 30 fps and 30 frames: one file frame per scene frame, so a 120 fps "
                                  "file plays at a quarter speed"));
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

namespace {

constexpr int ticksPerSecond = 4800;

// Frames ("12") or seconds ("0.5s") as ticks from the range start, on a
// frame of step; -1 for text that is neither.
int timeInTicks(const QString &text, int step)
{
    bool ok = false;
    if (text.endsWith(QLatin1Char('s'))) {
        const double seconds = text.chopped(1).toDouble(&ok);
        if (!ok || !(seconds >= 0.0) || seconds > 1e6)
            return -1;
        return int(std::lround(seconds * ticksPerSecond / step)) * step;
    }
    const int frames = text.toInt(&ok);
    return ok && frames >= 0 && frames <= INT_MAX / step ? frames * step : -1;
}

// Whether the first frame of source turns no joint by more than a degree:
// the reference pose Second Life files start with.
bool startsWithReferencePose(const KvBvhScan &source)
{
    int column = 0;
    bool hasRotation = false;
    for (const KvBvhJoint &joint : source.joints) {
        for (const QString &channel : joint.channels) {
            const size_t c = size_t(column++);
            if (!channel.endsWith(QLatin1String("rotation"), Qt::CaseInsensitive))
                continue;
            if (c >= source.firstFrame.size() || std::abs(source.firstFrame[c]) > 1.0)
                return false;
            hasRotation = true;
        }
    }
    return hasRotation;
}

// Adds delta to every key of control.
void shiftKeys(KvFloatProperty *control, float delta)
{
    for (int i = 0; i < control->getNumKeys(); ++i)
        control->setKey(control->getKeyTime(i), control->getKeyValue(i) + delta);
}

} // namespace

void ShapeArguments::addTo(OptionParser &parser)
{
    parser.addValue(QStringLiteral("fps"), QChar(), QStringLiteral("N"), &fps,
                    QStringLiteral("write N frames a second, sampled from the imported keys (the file's rate otherwise)"));
    parser.addValue(QStringLiteral("start"), QChar(), QStringLiteral("T"), &start,
                    QStringLiteral("write from frame T of the file on (T in frames, or seconds as 2.5s)"));
    parser.addValue(QStringLiteral("end"), QChar(), QStringLiteral("T"), &end,
                    QStringLiteral("stop at frame T of the file (frames, or seconds as 60s)"));
    parser.addFlag(QStringLiteral("keep-origin"), QChar(), &keepOrigin,
                   QStringLiteral("Second Life: keep where the file places the motion instead of starting at the origin"));
    parser.addFlag(QStringLiteral("all-bones"), QChar(), &allBones,
                   QStringLiteral("Second Life: also write the bones the import left without keys"));
}

bool ShapeArguments::settle(QString *usageMessage)
{
    bool ok = true;
    if (!fps.isEmpty()) {
        const double rate = fps.toDouble(&ok);
        if (!ok || !(rate > 0.0) || rate > ticksPerSecond) {
            *usageMessage = QStringLiteral("--fps needs a number of frames a second, above 0 and at most 4800");
            return false;
        }
    }
    for (const QString *time : {&start, &end}) {
        if (!time->isEmpty() && timeInTicks(*time, 1) < 0) {
            *usageMessage = QStringLiteral("--start and --end take frames (12) or seconds (2.5s), not \"%1\"").arg(*time);
            return false;
        }
    }
    return true;
}

ShapeOptions ShapeArguments::options() const
{
    ShapeOptions options;
    options.fps = fps.isEmpty() ? 0.0 : fps.toDouble();
    options.start = start;
    options.end = end;
    options.keepOrigin = keepOrigin;
    options.allBones = allBones;
    return options;
}

QStringList ShapeArguments::forwarded() const
{
    QStringList arguments;
    const std::pair<const char *, QString> values[] = {{"--fps", fps}, {"--start", start}, {"--end", end}};
    for (const auto &[name, value] : values) {
        if (!value.isEmpty())
            arguments << QString::fromLatin1(name) << value;
    }
    if (keepOrigin)
        arguments << QStringLiteral("--keep-origin");
    if (allBones)
        arguments << QStringLiteral("--all-bones");
    return arguments;
}

void reportFrames(CommandContext &context, const QString &input, const KvBvhScan &scan)
{
    // The importer already ends the scene's range with the last frame line.
    if (scan.framesDeclared > scan.frameLines) {
        context.warn(QStringLiteral("%1: holds %2 of %3 frames: the motion ends with the last frame line")
                         .arg(input).arg(scan.frameLines).arg(scan.framesDeclared));
    }
    if (scan.nonNumberValues > 0) {
        context.warn(QStringLiteral("%1: %2 value%3 that %4 no number read as 0, the first on line %5")
                         .arg(input)
                         .arg(scan.nonNumberValues)
                         .arg(scan.nonNumberValues == 1 ? QString() : QStringLiteral("s"))
                         .arg(scan.nonNumberValues == 1 ? QStringLiteral("is") : QStringLiteral("are"))
                         .arg(scan.firstNonNumberLine));
    }
}

bool shapeMotion(const QString &input, const KvBvhScan *source, KvSkeleton *skeleton, bool secondLife,
                 const ShapeOptions &options, QString *errorMessage)
{
    KvScene *scene = skeleton->scene();
    const int step = scene->getTimeStep();
    const KvTimeRange range = scene->getAnimRange();
    qint64 start = range.start;
    qint64 end = range.end;
    if (!options.start.isEmpty())
        start = range.start + qint64(timeInTicks(options.start, step));
    if (!options.end.isEmpty())
        end = std::min<qint64>(end, range.start + qint64(timeInTicks(options.end, step)));
    // The exporter writes a reference frame of its own in front.
    if (secondLife && options.start.isEmpty() && source && startsWithReferencePose(*source))
        start += step;
    if (start >= end) {
        *errorMessage = QStringLiteral("%1: no frame is left to write between --start and --end").arg(input);
        return false;
    }

    if (options.fps > 0.0) {
        const int newStep = std::max(1, int(std::lround(ticksPerSecond / options.fps)));
        scene->setTimeStep(newStep);
        end = start + (end - start) / newStep * newStep;
        if (end <= start) {
            *errorMessage = QStringLiteral("%1: the motion is shorter than one frame at %2 fps").arg(input).arg(options.fps);
            return false;
        }
    }
    const KvTimeRange written{int(start), int(end)};
    scene->setAnimRange(written);
    scene->setPlayRange(written);

    if (secondLife && !options.keepOrigin) {
        // The avatar stands where the upload puts it: the first frame's hip
        // goes over the origin, the travel is kept.
        KvNode *root = skeleton->getNodeChild(0);
        if (root) {
            const KvVec3 at = root->getWSPos(written.start);
            shiftKeys(root->getXPosControl(), -at.x);
            shiftKeys(root->getZPosControl(), -at.z);
        }
    }
    return true;
}

std::optional<KvFigureDesc> importFigure(CommandContext &context, const ImportArguments &import, QString *errorMessage)
{
    std::optional<KvFigureDesc> figure = KvFigureSource::load(import.figure, errorMessage);
    if (!figure)
        return std::nullopt;
    KvMapStore store(context.host->getAppSettingsMgr());
    store.seedShippedMaps();
    if (!import.map.isEmpty() && !checkStoredMap(store, import.map, errorMessage))
        return std::nullopt;
    return figure;
}

bool importOntoFigure(CommandContext &context, const QString &input, const KvFigureDesc &figure,
                      const KvImportOptions &options, bool warnMapping, ImportResult &result, QString *errorMessage)
{
    KvScene *scene = context.host->getScene();
    result.skeleton = addFigure(scene, figure, options.followFileTiming, errorMessage);
    if (!result.skeleton)
        return false;
    KvPluginRunner runner(context.host, context.loader);
    if (!runner.importFile(input, result.skeleton, options, &result.rows, errorMessage)) {
        *errorMessage = input + QLatin1String(": ") + *errorMessage;
        return false;
    }
    result.notes = runner.notes();
    result.mapped = int(std::count_if(result.rows.cbegin(), result.rows.cend(), [](const KvJointRow &row) { return row.checked; }));
    if (warnMapping && 2 * result.mapped < result.rows.size()) {
        context.warn(QStringLiteral("%1: %2 of %3 joints mapped: is the figure right?")
                         .arg(input).arg(result.mapped).arg(result.rows.size()));
    }
    result.source = KvBvhScan::scan(input);
    if (result.source)
        reportFrames(context, input, *result.source);
    return true;
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
