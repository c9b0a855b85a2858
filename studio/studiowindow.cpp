#include "studiowindow.h"

#include "playback.h"
#include "scenetree.h"
#include "timeline.h"
#include "viewport.h"

#include "kvfiguresource.h"
#include "kvmapstore.h"
#include "kvpluginrunner.h"
#include "kvscenefile.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvdefaultfigure.h"
#include "kvfigurebuilder.h"
#include "kvfileio.h"
#include "kvnode.h"
#include "kvplugin.h"
#include "kvscene.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

const QString programName = QStringLiteral("kvbvh-studio");
const QString recentKey = QStringLiteral("recentFiles");
const QString geometryKey = QStringLiteral("window/geometry");
const QString stateKey = QStringLiteral("window/state");
const QString folderKey = QStringLiteral("lastFolder");
const QString sourceKey = QStringLiteral("view/showSource");
constexpr int maxRecent = 8;

const QString bvhFilter = QStringLiteral("BioVision Files (*.bvh)");
const QString sceneFilter = QStringLiteral("Scene Files (*.json)");

QString studioSettingsFile(const KvApp *host)
{
    return QFileInfo(host->getAppSettingsMgr()->fileName()).absolutePath() + QLatin1String("/studio.ini");
}

// Whole rates print whole; 29.97 keeps its decimals.
QString rateText(int step)
{
    const double fps = 4800.0 / step;
    return std::fabs(fps - std::round(fps)) < 0.005 ? QString::number(std::lround(fps)) : QString::number(fps, 'f', 2);
}

// "scene" or "figure" for the JSON files the studio reads, by their format
// field; empty for anything else.
QString jsonKind(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString format = QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("format")).toString();
    if (format == QLatin1String("kvscene"))
        return QStringLiteral("scene");
    if (format == QLatin1String("kvfigure"))
        return QStringLiteral("figure");
    return QString();
}

bool sameKeys(const KvSceneDesc &a, const KvSceneDesc &b)
{
    if (a.timeStep != b.timeStep || a.time != b.time || a.animRange != b.animRange || a.playRange != b.playRange
        || a.tracks.size() != b.tracks.size())
        return false;
    for (size_t i = 0; i < a.tracks.size(); ++i) {
        const KvKeyTrack &x = a.tracks[i];
        const KvKeyTrack &y = b.tracks[i];
        if (x.bone != y.bone || x.control != y.control || x.times != y.times || x.values != y.values)
            return false;
    }
    return true;
}

// The in-place choice the import dialog keeps, which the last import used.
bool storedInPlace(const KvApp *host)
{
    KvAppSettingsMgr *settings = host->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    const bool inPlace = settings->getBoolValue(QStringLiteral("InPlace Opt"), false);
    settings->popPath();
    return inPlace;
}

struct Bounds
{
    KvVec3d low{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    KvVec3d high = -low;

    bool isEmpty() const { return low.x > high.x; }
    KvVec3d size() const { return isEmpty() ? KvVec3d() : high - low; }
    KvVec3d centre() const { return (low + high) * 0.5; }
};

Bounds boundsAt(const KvSkeleton &figure, int time)
{
    Bounds bounds;
    QList<KvBone *> bones;
    figure.getAllBones(bones);
    for (const KvBone *bone : bones) {
        const FigurePainter::Segment segment = FigurePainter::segment(bone, time);
        for (const KvVec3d &p : {segment.joint, segment.end}) {
            bounds.low = KvVec3d(std::min(bounds.low.x, p.x), std::min(bounds.low.y, p.y), std::min(bounds.low.z, p.z));
            bounds.high = KvVec3d(std::max(bounds.high.x, p.x), std::max(bounds.high.y, p.y), std::max(bounds.high.z, p.z));
        }
    }
    return bounds;
}

// The source at the figure's size (files come in any unit), its feet at the
// figure's level where the import started, and beside it along X by the
// widest either gets over the motion, so that the two never touch.
FigureOverlay placeBeside(const KvSkeleton &figure, const KvSkeleton &source, const KvScene &scene, int start)
{
    FigureOverlay overlay;
    overlay.figure = &source;
    const Bounds figureBounds = boundsAt(figure, start);
    const Bounds sourceBounds = boundsAt(source, start);
    if (figureBounds.isEmpty() || sourceBounds.isEmpty())
        return overlay;
    const double figureSize = figureBounds.size().length();
    const double sourceSize = sourceBounds.size().length();
    if (figureSize > 0.0 && sourceSize > 0.0)
        overlay.scale = figureSize / sourceSize;

    const int step = scene.getTimeStep();
    const int end = std::max(start, scene.getAnimRange().end - step);
    const int samples = std::clamp((end - start) / step, 1, 50);
    double width = 0.0;
    for (int i = 0; i <= samples; ++i) {
        const int time = start + int(qint64(end - start) * i / samples);
        width = std::max({width, boundsAt(figure, time).size().x, boundsAt(source, time).size().x * overlay.scale});
    }
    const KvVec3d figureCentre = figureBounds.centre();
    const KvVec3d sourceCentre = sourceBounds.centre() * overlay.scale;
    overlay.offset = KvVec3d(figureCentre.x - sourceCentre.x + width + 0.1 * figureSize,
                             figureBounds.low.y - sourceBounds.low.y * overlay.scale, figureCentre.z - sourceCentre.z);
    return overlay;
}

} // namespace

StudioWindow::StudioWindow(KvApp *host, const QString &pluginPath, QWidget *parent)
    : QMainWindow(parent),
      host(host),
      settings(studioSettingsFile(host), QSettings::IniFormat),
      view(new Viewport(host->getScene(), this)),
      timebar(new Timeline(host->getScene(), this)),
      tree(new SceneTree(host->getScene(), this)),
      figureLabel(new QLabel(this)),
      framesLabel(new QLabel(this)),
      rateLabel(new QLabel(this)),
      durationLabel(new QLabel(this)),
      frameLabel(new QLabel(this)),
      sourceScene(std::make_unique<KvScene>())
{
    setObjectName(QStringLiteral("studioWindow"));
    host->setInterface(this);
    setAcceptDrops(true);

    if (!loader.load(pluginPath, &pluginError))
        pluginError = tr("The BVH plug-in did not load, so nothing can be imported or exported: %1").arg(pluginError);
    // The export dialog offers the shipped maps from the start, as kvbvh does.
    KvMapStore(host->getAppSettingsMgr()).seedShippedMaps();

    auto *centre = new QWidget(this);
    auto *column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(view, 1);
    column->addWidget(timebar);
    setCentralWidget(centre);
    // Frame keys step wherever the figure and its frames are shown.
    view->addActions({timebar->firstAction, timebar->previousAction, timebar->nextAction, timebar->lastAction});

    auto *dock = new QDockWidget(tr("Scene"), this);
    dock->setObjectName(QStringLiteral("sceneDock"));
    dock->setWidget(tree);
    addDockWidget(Qt::LeftDockWidgetArea, dock);

    for (QLabel *label : {figureLabel, framesLabel, rateLabel, durationLabel, frameLabel})
        statusBar()->addPermanentWidget(label);
    // Room for long takes, so that the bar does not shift while playing.
    frameLabel->setMinimumWidth(frameLabel->fontMetrics().horizontalAdvance(tr("Frame 000000")));
    buildMenus();
    importAction->setEnabled(loader.isLoaded());
    exportAction->setEnabled(loader.isLoaded());

    connect(timebar, &Timeline::frameShown, this, &StudioWindow::updateStatus);
    connect(host->getScene(), &KvScene::selectionChanged, this, &StudioWindow::updateStatus);

    replaceFigure(KvDefaultFigure::build().release());
    resize(1100, 720);
    restoreGeometry(settings.value(geometryKey).toByteArray());
    restoreState(settings.value(stateKey).toByteArray());
    setScenePath(QString());
    // Where the frame and view keys act.
    view->setFocus();
}

StudioWindow::~StudioWindow()
{
    view->setOverlay(FigureOverlay());
    if (host->getInterface() == this)
        host->setInterface(nullptr);
}

void StudioWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    QMenu *newMenu = file->addMenu(tr("&New Figure"));
    QAction *newDefault = newMenu->addAction(tr("&Default Figure"), this, [this] { newFigure(QStringLiteral("default")); });
    newDefault->setShortcut(QKeySequence::New);
    newMenu->addAction(tr("From &Figure File..."), this, [this] { chooseNewFigure(QStringLiteral("json")); });
    newMenu->addAction(tr("From &BVH Skeleton..."), this, [this] { chooseNewFigure(QStringLiteral("bvh")); });
    file->addAction(tr("&Open Scene..."), QKeySequence::Open, this, &StudioWindow::chooseScene);
    recentMenu = file->addMenu(tr("Open &Recent"));
    updateRecentMenu();
    file->addAction(tr("&Save Scene"), QKeySequence::Save, this, &StudioWindow::saveCurrent);
    file->addAction(tr("Save Scene &As..."), QKeySequence::SaveAs, this, &StudioWindow::chooseSaveTarget);
    file->addSeparator();
    importAction = file->addAction(tr("&Import BVH..."), QKeySequence(tr("Ctrl+I")), this, &StudioWindow::chooseImport);
    exportAction = file->addAction(tr("&Export BVH..."), QKeySequence(tr("Ctrl+E")), this, &StudioWindow::chooseExport);
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    QMenu *viewMenu = menuBar()->addMenu(tr("&View"));
    const struct { const char *text; const char *key; ViewCamera::View view; } views[] = {
        {QT_TR_NOOP("&Front"), "1", ViewCamera::Front},
        {QT_TR_NOOP("&Side"), "3", ViewCamera::Side},
        {QT_TR_NOOP("&Top"), "7", ViewCamera::Top},
        {QT_TR_NOOP("&Perspective"), "5", ViewCamera::Free},
    };
    // Keys that also type and move in the scene tree act in the viewport only.
    const auto viewportAction = [this, viewMenu](const QString &text, const QKeySequence &key) {
        QAction *action = viewMenu->addAction(text);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        view->addAction(action);
        return action;
    };
    for (const auto &entry : views) {
        const ViewCamera::View target = entry.view;
        connect(viewportAction(tr(entry.text), QKeySequence(QString::fromLatin1(entry.key))), &QAction::triggered,
                this, [this, target] { view->setView(target); });
    }
    viewMenu->addSeparator();
    connect(viewportAction(tr("F&rame Figure"), QKeySequence(Qt::Key_F)), &QAction::triggered, view,
            &Viewport::frameScene);
    sourceAction = viewMenu->addAction(tr("Show &Source"));
    sourceAction->setCheckable(true);
    sourceAction->setStatusTip(tr("Draw the skeleton of the file imported last beside the figure, playing its own motion"));
    sourceAction->setChecked(settings.value(sourceKey, false).toBool());
    connect(sourceAction, &QAction::toggled, this, &StudioWindow::toggleSource);
    viewMenu->addSeparator();
    viewMenu->addAction(findChild<QDockWidget *>()->toggleViewAction());

    QMenu *play = menuBar()->addMenu(tr("&Playback"));
    play->addActions({timebar->playAction, timebar->firstAction, timebar->previousAction, timebar->nextAction,
                      timebar->lastAction});
    play->addSeparator();
    play->addAction(timebar->loopAction);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("BVH Plug-in &Guide"), this, [this] {
        host->showURL(QLatin1String("file://") + host->getDocumentationPath() + QLatin1String("/BVHImportExportREADME.htm"));
    });
    help->addAction(tr("&About kvbvh-studio"), this, &StudioWindow::showAbout);
}

void StudioWindow::start(const QStringList &paths)
{
    if (!pluginError.isEmpty())
        warn(tr("BVH Plug-in"), pluginError);
    for (const QString &path : paths)
        openFile(path);
}

KvSkeleton *StudioWindow::figure() const
{
    const KvScene *scene = host->getScene();
    if (scene->getNumSelectedNodes() > 0) {
        if (KvSkeleton *skeleton = scene->getSelectedNode(0)->getSkeleton())
            return skeleton;
    }
    for (int i = 0; i < scene->getNumNodes(); ++i) {
        if (KvSkeleton *skeleton = scene->getNode(i)->getSkeleton())
            return skeleton;
    }
    return nullptr;
}

bool StudioWindow::beginWork()
{
    if (working)
        return false;
    working = true;
    // Playback would move the clock under the plug-in.
    timebar->playback()->pause();
    return true;
}

void StudioWindow::warn(const QString &title, const QString &text)
{
    host->warning(title, text);
}

bool StudioWindow::newFigure(const QString &source)
{
    const QString title = tr("New Figure");
    QString error;
    const std::optional<KvFigureDesc> desc = KvFigureSource::load(source, &error);
    std::unique_ptr<KvSkeleton> skeleton = desc ? KvFigureBuilder::build(*desc, &error) : nullptr;
    if (!skeleton) {
        warn(title, error);
        return false;
    }
    if (!beginWork())
        return false;
    const auto done = qScopeGuard([this] { working = false; });
    if (!maySetAside())
        return false;
    KvScene *scene = host->getScene();
    // The host's new scene: 30 frames at 30 fps.
    scene->setTimeStep(160);
    scene->setAnimRange(KvTimeRange(0, 4800));
    scene->setPlayRange(KvTimeRange(0, 4800));
    scene->setTime(0);
    forgetSource();
    replaceFigure(skeleton.release());
    setScenePath(QString());
    // A BVH file in the list would import when chosen again.
    if (source.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        addRecent(source);
    return true;
}

void StudioWindow::replaceFigure(KvSkeleton *skeleton)
{
    KvScene *scene = host->getScene();
    while (scene->getNumNodes() > 0)
        scene->deleteNode(scene->getNode(0));
    scene->addNode(skeleton);
    scene->selectNode(skeleton);
    sceneClockChanged();
    view->frameScene();
    setModified(false);
}

bool StudioWindow::openScene(const QString &path)
{
    const QString title = tr("Open Scene");
    QString error;
    const std::optional<KvSceneDesc> desc = KvSceneFile::load(path, &error);
    // Built once aside, so that a figure that does not build leaves the scene alone.
    if (!desc || !KvFigureBuilder::build(desc->figure, &error)) {
        warn(title, error);
        return false;
    }
    if (!beginWork())
        return false;
    const auto done = qScopeGuard([this] { working = false; });
    if (!maySetAside())
        return false;
    forgetSource();
    KvScene *scene = host->getScene();
    while (scene->getNumNodes() > 0)
        scene->deleteNode(scene->getNode(0));
    KvSkeleton *skeleton = KvSceneFile::build(*desc, scene, &error);
    if (!skeleton) {
        warn(title, error);
        return false;
    }
    scene->selectNode(skeleton);
    sceneClockChanged();
    view->frameScene();
    setModified(false);
    setScenePath(path);
    addRecent(path);
    return true;
}

bool StudioWindow::saveScene(const QString &path)
{
    const QString title = tr("Save Scene");
    const KvSkeleton *skeleton = figure();
    if (!skeleton) {
        warn(title, tr("There is no figure to save."));
        return false;
    }
    QString error;
    if (!KvSceneFile::save(KvSceneFile::describe(*host->getScene(), *skeleton), path, &error)) {
        warn(title, error);
        return false;
    }
    setModified(false);
    setScenePath(path);
    addRecent(path);
    statusBar()->showMessage(tr("Saved %1").arg(QFileInfo(path).fileName()), 5000);
    return true;
}

bool StudioWindow::importBvh(const QString &path)
{
    const QString title = tr("Import BVH");
    if (!beginWork())
        return false;
    const auto done = qScopeGuard([this] { working = false; });
    const std::unique_ptr<KvImporter> importer(loader.createImporter());
    KvSkeleton *skeleton = figure();
    if (!importer) {
        warn(title, pluginError.isEmpty() ? tr("The BVH plug-in has no importer.") : pluginError);
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        warn(title, tr("%1 is not a file.").arg(path));
        return false;
    }
    if (!importer->recognize(path)) {
        warn(title, tr("%1 is not a BVH file: the importer takes files named *.bvh that start with HIERARCHY.")
                        .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    if (!skeleton) {
        warn(title, tr("There is no figure to import onto: File > New Figure makes one."));
        return false;
    }

    KvScene *scene = host->getScene();
    if (scene->getNumSelectedNodes() == 0)
        scene->selectNode(skeleton);
    // The plug-in leaves the scene alone when it stops; should it not, the
    // figure goes back to what it was.
    const KvSceneDesc before = KvSceneFile::describe(*scene, *skeleton);
    const int start = scene->getTime();
    if (importer->read(path, KvFileIOSettings()) != 1) {
        if (!sameKeys(before, KvSceneFile::describe(*scene, *skeleton))) {
            scene->deleteNode(skeleton);
            if (KvSkeleton *restored = KvSceneFile::build(before, scene))
                scene->selectNode(restored);
        }
        sceneClockChanged();
        return false;
    }
    sceneClockChanged();
    setModified(true);
    addRecent(path);
    const QStringList notes = importer->getPostIONotes();
    statusBar()->showMessage(notes.isEmpty() ? tr("Imported %1").arg(QFileInfo(path).fileName()) : notes.join(QLatin1Char(' ')),
                             8000);
    forgetSource();
    sourcePath = path;
    sourceStart = start;
    if (sourceAction->isChecked() && makeSource()) {
        showSourceOverlay();
        view->frameScene();
    }
    return true;
}

bool StudioWindow::exportBvh(const QString &path)
{
    const QString title = tr("Export BVH");
    if (!beginWork())
        return false;
    const auto done = qScopeGuard([this] { working = false; });
    const std::unique_ptr<KvExporter> exporter(loader.createExporter());
    KvSkeleton *skeleton = figure();
    if (!exporter) {
        warn(title, pluginError.isEmpty() ? tr("The BVH plug-in has no exporter.") : pluginError);
        return false;
    }
    if (!skeleton) {
        warn(title, tr("There is no figure to export."));
        return false;
    }
    // The exporter writes the figure of the one selected node.
    KvScene *scene = host->getScene();
    if (scene->getNumSelectedNodes() != 1 || scene->getSelectedNode(0)->getSkeleton() != skeleton)
        scene->selectNode(skeleton);
    if (exporter->write(path, KvFileIOSettings()) != 1)
        return false;
    statusBar()->showMessage(tr("Exported %1 frames to %2").arg(timebar->frameCount()).arg(QFileInfo(path).fileName()),
                             8000);
    return true;
}

bool StudioWindow::openFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        warn(tr("Open"), info.exists() ? tr("%1 is not a file.").arg(path) : tr("%1 does not exist.").arg(path));
        return false;
    }
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("bvh"))
        return importBvh(path);
    const QString kind = suffix == QLatin1String("json") ? jsonKind(path) : QString();
    if (kind == QLatin1String("scene"))
        return openScene(path);
    if (kind == QLatin1String("figure"))
        return newFigure(path);
    warn(tr("Open"), tr("%1 is neither a BVH file (.bvh) nor a scene or figure file (.json).").arg(path));
    return false;
}

bool StudioWindow::maySetAside()
{
    if (!isWindowModified())
        return true;
    QMessageBox box(QMessageBox::Warning, programName, tr("The scene has changes that are not saved."),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setInformativeText(tr("Save them before they are replaced?"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return saveCurrent();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

bool StudioWindow::saveCurrent()
{
    return currentPath.isEmpty() ? chooseSaveTarget() : saveScene(currentPath);
}

bool StudioWindow::chooseSaveTarget()
{
    const QString suggested = currentPath.isEmpty() ? lastFolder() + QLatin1String("/scene.json") : currentPath;
    QString path = QFileDialog::getSaveFileName(this, tr("Save Scene"), suggested, sceneFilter);
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".json");
    return saveScene(path);
}

void StudioWindow::chooseNewFigure(const QString &kind)
{
    const bool bvh = kind == QLatin1String("bvh");
    const QString path = QFileDialog::getOpenFileName(this, bvh ? tr("Figure from a BVH Skeleton") : tr("Figure File"),
                                                      lastFolder(), bvh ? bvhFilter : tr("Figure Files (*.json)"));
    if (!path.isEmpty())
        newFigure(path);
}

void StudioWindow::chooseScene()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Scene"), lastFolder(), sceneFilter);
    if (!path.isEmpty())
        openScene(path);
}

void StudioWindow::chooseImport()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Import BVH"), lastFolder(), bvhFilter);
    if (!path.isEmpty())
        importBvh(path);
}

void StudioWindow::chooseExport()
{
    const KvSkeleton *skeleton = figure();
    const QString name = skeleton ? skeleton->getName() : QStringLiteral("figure");
    QString path = QFileDialog::getSaveFileName(this, tr("Export BVH"), lastFolder() + QLatin1Char('/') + name + QLatin1String(".bvh"),
                                                bvhFilter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".bvh");
    if (exportBvh(path))
        settings.setValue(folderKey, QFileInfo(path).absolutePath());
}

void StudioWindow::showAbout()
{
    QString plugin = tr("The BVH plug-in is not loaded.");
    if (const KvPlugin *definition = loader.definition())
        plugin = tr("Plug-in: %1 %2").arg(definition->getName(), definition->getVersionString());
    QMessageBox::about(this, tr("About kvbvh-studio"),
                       tr("<p><b>kvbvh-studio %1</b></p><p>Imports BVH motion onto figures and exports it again "
                          "through the BVH plug-in, and plays it.</p><p>%2</p><p>Settings: %3</p>")
                           .arg(QCoreApplication::applicationVersion(), plugin.toHtmlEscaped(),
                                host->getAppSettingsMgr()->fileName().toHtmlEscaped()));
}

const KvSkeleton *StudioWindow::sourceFigure() const
{
    return view->figurePainter().overlay().figure;
}

void StudioWindow::toggleSource(bool on)
{
    settings.setValue(sourceKey, on);
    if (!on || sourcePath.isEmpty()) {
        showSourceOverlay();
        if (on)
            statusBar()->showMessage(tr("Show Source draws the skeleton of the file imported last: import one."), 8000);
        return;
    }
    // An import under way shows the source once it is done.
    if (!beginWork())
        return;
    const auto done = qScopeGuard([this] { working = false; });
    if (makeSource()) {
        showSourceOverlay();
        view->frameScene();
    }
}

bool StudioWindow::makeSource()
{
    if (sourceScene->getNumNodes() > 0 || sourcePath.isEmpty())
        return sourceScene->getNumNodes() > 0;
    QString error;
    const std::optional<KvFigureDesc> desc = KvFigureSource::load(sourcePath, &error);
    std::unique_ptr<KvSkeleton> skeleton = desc ? KvFigureBuilder::build(*desc, &error) : nullptr;
    std::optional<KvSceneDesc> keyed;
    if (skeleton) {
        // The plug-in keys figures of the host's scene: the source is keyed
        // there, before anything is drawn again, and taken out, leaving the
        // clock and the selection as they were.
        KvScene *scene = host->getScene();
        const int time = scene->getTime();
        const int step = scene->getTimeStep();
        const KvTimeRange animRange = scene->getAnimRange();
        const KvTimeRange playRange = scene->getPlayRange();
        QList<KvNode *> selected;
        for (int i = 0; i < scene->getNumSelectedNodes(); ++i)
            selected.append(scene->getSelectedNode(i));

        KvSkeleton *source = skeleton.release();
        scene->addNode(source);
        scene->setTime(sourceStart);
        // One file frame to a scene frame from where the import started: the
        // frames the figure got, whether the scene took the file's rate or not.
        KvImportOptions options;
        options.followFileTiming = false;
        options.inPlace = storedInPlace(host);
        // Scripted like a batch run: no dialog, no message box.
        const bool interactive = host->isInteractive();
        host->setInteractive(false);
        KvPluginRunner runner(host, &loader);
        if (runner.importFile(sourcePath, source, options, nullptr, &error))
            keyed = KvSceneFile::describe(*scene, *source);
        host->setInteractive(interactive);
        scene->deleteNode(source);

        scene->setTimeStep(step);
        scene->setAnimRange(animRange);
        scene->setPlayRange(playRange);
        scene->setTime(time);
        scene->clearSelection();
        for (KvNode *node : selected)
            scene->selectNode(node, true);
    }
    if (!keyed || !KvSceneFile::build(*keyed, sourceScene.get(), &error)) {
        statusBar()->showMessage(
            tr("The skeleton of %1 cannot be shown: %2").arg(QFileInfo(sourcePath).fileName(), error), 8000);
        return false;
    }
    return true;
}

void StudioWindow::forgetSource()
{
    sourcePath.clear();
    // The viewport lets go before the figure goes.
    view->setOverlay(FigureOverlay());
    while (sourceScene->getNumNodes() > 0)
        sourceScene->deleteNode(sourceScene->getNode(0));
}

void StudioWindow::showSourceOverlay()
{
    const KvSkeleton *target = figure();
    const auto *source = qobject_cast<const KvSkeleton *>(sourceScene->getNode(0));
    if (!sourceAction->isChecked() || !target || !source) {
        view->setOverlay(FigureOverlay());
        return;
    }
    view->setOverlay(placeBeside(*target, *source, *host->getScene(), sourceStart),
                     tr("Source: %1").arg(QFileInfo(sourcePath).fileName()));
}

void StudioWindow::setModified(bool modified)
{
    setWindowModified(modified);
}

void StudioWindow::setScenePath(const QString &path)
{
    currentPath = path;
    const QString name = path.isEmpty() ? tr("Untitled") : QFileInfo(path).fileName();
    setWindowTitle(QStringLiteral("%1[*] - %2").arg(name, programName));
}

void StudioWindow::sceneClockChanged()
{
    timebar->refresh();
    updateStatus();
}

void StudioWindow::updateStatus()
{
    const KvScene *scene = host->getScene();
    const KvSkeleton *skeleton = figure();
    figureLabel->setText(skeleton ? tr("Figure: %1").arg(skeleton->getLabel()) : tr("No figure"));
    const int frames = timebar->frameCount();
    framesLabel->setText(frames == 1 ? tr("1 frame") : tr("%1 frames").arg(frames));
    rateLabel->setText(tr("%1 fps").arg(rateText(scene->getTimeStep())));
    durationLabel->setText(tr("%1 s").arg(frames * scene->getTimeStep() / 4800.0, 0, 'f', 2));
    frameLabel->setText(tr("Frame %1").arg(timebar->currentFrame()));
}

QString StudioWindow::statusText() const
{
    QStringList parts;
    for (const QLabel *label : {figureLabel, framesLabel, rateLabel, durationLabel, frameLabel})
        parts.append(label->text());
    return parts.join(QLatin1String(" | "));
}

QStringList StudioWindow::recentFiles() const
{
    return settings.value(recentKey).toStringList();
}

void StudioWindow::addRecent(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > maxRecent)
        files.removeLast();
    settings.setValue(recentKey, files);
    settings.setValue(folderKey, QFileInfo(absolute).absolutePath());
    updateRecentMenu();
}

void StudioWindow::updateRecentMenu()
{
    recentMenu->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files.at(i);
        QAction *action = recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        action->setStatusTip(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    recentMenu->addSeparator();
    QAction *clear = recentMenu->addAction(tr("&Clear List"), this, [this] {
        settings.remove(recentKey);
        updateRecentMenu();
    });
    clear->setEnabled(!files.isEmpty());
}

QString StudioWindow::lastFolder() const
{
    return settings.value(folderKey, QDir::homePath()).toString();
}

void StudioWindow::closeEvent(QCloseEvent *event)
{
    if (working || !maySetAside()) {
        event->ignore();
        return;
    }
    timebar->playback()->pause();
    settings.setValue(geometryKey, saveGeometry());
    settings.setValue(stateKey, saveState());
    event->accept();
}

void StudioWindow::dragEnterEvent(QDragEnterEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void StudioWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    event->acceptProposedAction();
    // Dialogs wait until the drop is over, so that the source is not held up.
    QTimer::singleShot(0, this, [this, paths] {
        for (const QString &path : paths)
            openFile(path);
    });
}
