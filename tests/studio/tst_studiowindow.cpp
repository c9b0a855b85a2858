#include "playback.h"
#include "scenetree.h"
#include "studiowindow.h"
#include "timeline.h"
#include "viewport.h"

#include "kvbvhscan.h"
#include "kvscenefile.h"

#include "kvapp.h"
#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include "testsupport.h"

#include <QAction>
#include <QDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The studio as a user drives it: the interactive host with the real plug-in
// and its dialogs (answered by pressing their buttons), message boxes closed
// as they come up and recorded.
class tst_StudioWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void opensWithDefaultFigure();
    void importKeysFigure();
    void cancelledImportChangesNothing();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void playbackFollowsClock();
    void exportWritesSceneFrames();
    void scenesSaveOpenAndDrop();
    void clickSelectsBone();
    void showSource();
    void withoutPlugin();

private:
    // Every plug-in dialog is answered with the button of that text.
    void pressInDialogs(const QString &buttonText);
    // The next box the window asks with is answered with button.
    void answerNextBox(QMessageBox::StandardButton button);
    QByteArray sceneJson() const;
    KvSkeleton *figure() const { return window->figure(); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> host;
    std::unique_ptr<StudioWindow> window;
    QStringList boxes;    // "title: text over parent" of each closed box
    QStringList dialogs;  // titles of the plug-in's dialogs
    const QString walk = kvtest::dataFile(QStringLiteral("bvh/cmu_12_01_walk_mb.bvh"));
};

void tst_StudioWindow::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    host = std::make_unique<KvApp>(dir->filePath(QStringLiteral("kvbvh.ini")), true);
    // Warnings show a box in front of the window once their text is logged.
    boxes.clear();
    connect(host.get(), &KvApp::message, this, [this] {
        QTimer::singleShot(0, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box && box->parentWidget());
            boxes.append(box->windowTitle() + QLatin1String(": ") + box->text() + QLatin1String(" over ")
                         + box->parentWidget()->objectName());
            box->button(QMessageBox::Ok)->click();
        });
    });
    window = std::make_unique<StudioWindow>(host.get(), QStringLiteral(KV_PLUGIN_PATH));
    window->resize(800, 600);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void tst_StudioWindow::cleanup()
{
    window->setWindowModified(false);
    window.reset();
    host.reset();
    dir.reset();
}

void tst_StudioWindow::pressInDialogs(const QString &buttonText)
{
    dialogs.clear();
    host->setDialogHandler([this, buttonText](QDialog *dialog) {
        dialogs.append(dialog->windowTitle());
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == buttonText) {
                button->click();
                return dialog->result();
            }
        }
        return int(QDialog::Rejected);
    });
}

void tst_StudioWindow::answerNextBox(QMessageBox::StandardButton button)
{
    QTimer::singleShot(0, this, [button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        box->button(button)->click();
    });
}

QByteArray tst_StudioWindow::sceneJson() const
{
    return KvSceneFile::toJson(KvSceneFile::describe(*host->getScene(), *figure()));
}

void tst_StudioWindow::opensWithDefaultFigure()
{
    QVERIFY(window->isPluginLoaded());
    KvScene *scene = host->getScene();
    QCOMPARE(scene->getNumNodes(), 1);
    KvSkeleton *skeleton = figure();
    QVERIFY(skeleton);
    QList<KvBone *> bones;
    skeleton->getAllBones(bones);
    QCOMPARE(bones.size(), int(KvDefaultFigure::desc().bones.size()));

    // The tree lists the figure and every bone, the figure chosen.
    int items = 0;
    for (QTreeWidgetItemIterator it(window->sceneTree()); *it; ++it)
        ++items;
    QCOMPARE(items, bones.size() + 1);
    QCOMPARE(window->sceneTree()->currentItem(), window->sceneTree()->itemFor(skeleton));
    QCOMPARE(scene->getSelectedNode(0), skeleton);
    QCOMPARE(window->statusText(), QStringLiteral("Figure: %1 | 30 frames | 30 fps | 1.00 s | Frame 0").arg(skeleton->getLabel()));

    // A long bone is drawn where the projection puts it: light on the dark ground.
    const QSize size(400, 300);
    const QImage image = window->viewport()->render(size, 0);
    const FigurePainter::Segment thigh = FigurePainter::segment(skeleton->findBone(QStringLiteral("lThigh")), 0);
    const std::optional<QPointF> middle =
        window->viewport()->figurePainter().project((thigh.joint + thigh.end) * 0.5, QRectF(QPointF(), size));
    QVERIFY(middle);
    QVERIFY2(QColor(image.pixel(middle->toPoint())).lightness() > 100, qPrintable(kvtest::toString(thigh.joint)));
    QVERIFY(QColor(image.pixel(5, 5)).lightness() < 100);
}

void tst_StudioWindow::importKeysFigure()
{
    pressInDialogs(QStringLiteral("Accept"));
    bool progressOverWindow = false;
    connect(host.get(), &KvApp::progressStarted, this, [&] {
        const QProgressDialog *progress = window->findChild<QProgressDialog *>();
        progressOverWindow = progress && progress->isModal();
    });
    QVERIFY(window->importBvh(walk));
    QVERIFY(boxes.isEmpty());
    QCOMPARE(dialogs, QStringList{QStringLiteral("BVH Importer Options")});
    QVERIFY(progressOverWindow);

    // The figure is keyed and the timeline spans the file's frames at its rate.
    QVERIFY(figure()->findBone(QStringLiteral("lThigh"))->getXRotControl()->getNumKeys() > 100);
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(walk);
    QVERIFY(scan);
    QCOMPARE(window->timeline()->frameCount(), scan->frameCount());
    QCOMPARE(window->timeline()->slider()->maximum(), scan->frameCount() - 1);
    QCOMPARE(host->getScene()->getTimeStep(), 40);
    QVERIFY(window->statusText().contains(QStringLiteral("| 524 frames | 120 fps | 4.37 s |")));
    QVERIFY(window->isWindowModified());
    QCOMPARE(window->recentFiles().value(0), QFileInfo(walk).absoluteFilePath());

    const QSize size(320, 240);
    const QImage first = window->viewport()->render(size, window->timeline()->tickOfFrame(0));
    QVERIFY(first != window->viewport()->render(size, window->timeline()->tickOfFrame(100)));
}

void tst_StudioWindow::cancelledImportChangesNothing()
{
    const QByteArray before = sceneJson();
    pressInDialogs(QStringLiteral("Cancel"));
    QVERIFY(!window->importBvh(walk));
    QCOMPARE(dialogs, QStringList{QStringLiteral("BVH Importer Options")});
    QCOMPARE(boxes, QStringList{QStringLiteral("BVH File Importer: Import operation aborted by user. over studioWindow")});
    QCOMPARE(sceneJson(), before);
    QCOMPARE(window->timeline()->frameCount(), 30);
    QVERIFY(!window->isWindowModified());
}

void tst_StudioWindow::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");  // null: no such file
    QTest::addColumn<QString>("message");

    QTest::newRow("text named .bvh") << "notes.bvh" << QByteArray("just some notes\n") << "is not a BVH file";
    QTest::newRow("hierarchy without motion")
        << "cut.bvh" << QByteArray("HIERARCHY\nROOT hip\n{\n  OFFSET 0 0 0\n  CHANNELS 3 Xrotation Yrotation Zrotation\n")
        << "BVH File Importer: The selected file has no motion data.";
    QTest::newRow("broken scene") << "scene.json" << QByteArray("{\"format\": \"kvscene\", \"version\": 1}")
                                  << "Open Scene: ";
    QTest::newRow("other json") << "data.json" << QByteArray("{\"a\": 1}") << "is neither a BVH file";
    QTest::newRow("missing") << "gone.bvh" << QByteArray() << "does not exist";
}

void tst_StudioWindow::refusedFilesChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString path = dir->filePath(name);
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    pressInDialogs(QStringLiteral("Accept"));
    const QByteArray before = sceneJson();

    QVERIFY(!window->openFile(path));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().contains(message) && boxes.first().endsWith(QLatin1String(" over studioWindow")),
             qPrintable(boxes.first()));
    QCOMPARE(host->messageLog().size(), 1);
    QVERIFY(dialogs.isEmpty());
    QCOMPARE(sceneJson(), before);
    QVERIFY(!window->isWindowModified());
}

void tst_StudioWindow::playbackFollowsClock()
{
    // 120 frames at 120 fps.
    KvScene *scene = host->getScene();
    scene->setTimeStep(40);
    Timeline *timeline = window->timeline();
    timeline->refresh();
    qint64 now = 1000;
    timeline->playback()->setClock([&now] { return now; });

    timeline->playAction->trigger();
    QVERIFY(timeline->playback()->isPlaying());
    // The frame played ms after the start, -1 when the scene is not there.
    const auto frameAt = [&](qint64 ms) {
        now = 1000 + ms;
        timeline->playback()->tick();
        const int frame = timeline->playback()->frame();
        return scene->getTime() == frame * 40 ? frame : -1;
    };
    // Frame n is due at n / 120 s: whole frames only, and no rounding adds up.
    QCOMPARE(frameAt(500), 60);
    QCOMPARE(frameAt(508), 60);
    QCOMPARE(frameAt(509), 61);
    // A slow drawing skips frames.
    QCOMPARE(frameAt(990), 118);
    QVERIFY(window->statusText().endsWith(QLatin1String("| Frame 118")));
    // Looping by default; past the end it starts again.
    QCOMPARE(frameAt(1009), 1);

    // Moved by hand, playback goes on from there.
    timeline->setFrame(10);
    QCOMPARE(frameAt(1109), 22);

    // Without loop it stops at the last frame; playing again starts at the first.
    timeline->loopAction->setChecked(false);
    QCOMPARE(frameAt(5000), 119);
    QVERIFY(!timeline->playback()->isPlaying());
    timeline->playAction->trigger();
    QCOMPARE(timeline->currentFrame(), 0);
    timeline->playAction->trigger();
    QVERIFY(!timeline->playback()->isPlaying());

    // The frame keys step where the frames are shown.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    window->viewport()->setFocus();
    QTest::keyClick(window->viewport(), Qt::Key_End);
    QCOMPARE(timeline->currentFrame(), 119);
    QTest::keyClick(window->viewport(), Qt::Key_Left);
    QCOMPARE(timeline->currentFrame(), 118);
}

void tst_StudioWindow::exportWritesSceneFrames()
{
    pressInDialogs(QStringLiteral("Accept"));
    QVERIFY(window->importBvh(walk));
    pressInDialogs(QStringLiteral("Accept"));
    const QString path = dir->filePath(QStringLiteral("out.bvh"));
    QVERIFY(window->exportBvh(path));
    QCOMPARE(dialogs, QStringList{QStringLiteral("BVH Exporter Options")});
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(path);
    QVERIFY(scan);
    const KvTimeRange range = host->getScene()->getAnimRange();
    QCOMPARE(scan->frameCount(), range.end / 40 - range.start / 40);
    QCOMPARE(scan->frameCount(), window->timeline()->frameCount());
    QVERIFY(boxes.isEmpty());

    const QString nowhere = dir->filePath(QStringLiteral("missing/out.bvh"));
    QVERIFY(!window->exportBvh(nowhere));
    QCOMPARE(boxes, QStringList{QStringLiteral("BVH File Exporter: The output file can not be opened or created. over studioWindow")});
    QVERIFY(!QFileInfo::exists(nowhere));
}

void tst_StudioWindow::scenesSaveOpenAndDrop()
{
    pressInDialogs(QStringLiteral("Accept"));
    QVERIFY(window->importBvh(walk));
    const QByteArray imported = sceneJson();

    // Unsaved changes are kept when the user cancels.
    answerNextBox(QMessageBox::Cancel);
    QVERIFY(!window->newFigure(QStringLiteral("default")));
    QCOMPARE(sceneJson(), imported);

    const QString path = dir->filePath(QStringLiteral("walk.json"));
    QVERIFY(window->saveScene(path));
    QVERIFY(!window->isWindowModified());
    QVERIFY(window->windowTitle().startsWith(QLatin1String("walk.json")));
    QVERIFY(window->newFigure(QStringLiteral("default")));
    QCOMPARE(figure()->findBone(QStringLiteral("lThigh"))->getXRotControl()->getNumKeys(), 0);
    QCOMPARE(window->timeline()->frameCount(), 30);

    // Dropped on the window, as a drag ends, the scene file opens as it was saved.
    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    QTRY_COMPARE(window->scenePath(), path);
    delete mime;
    QCOMPARE(sceneJson(), imported);
    QCOMPARE(window->timeline()->frameCount(), 524);
    QVERIFY(boxes.isEmpty());

    // Recent files live beside the host's settings.
    const QSettings studio(dir->filePath(QStringLiteral("studio.ini")), QSettings::IniFormat);
    QCOMPARE(studio.value(QStringLiteral("recentFiles")).toStringList(),
             (QStringList{QFileInfo(path).absoluteFilePath(), QFileInfo(walk).absoluteFilePath()}));
}

void tst_StudioWindow::clickSelectsBone()
{
    Viewport *viewport = window->viewport();
    KvScene *scene = host->getScene();
    KvBone *shin = figure()->findBone(QStringLiteral("lShin"));
    const FigurePainter::Segment segment = FigurePainter::segment(shin, scene->getTime());
    const std::optional<QPointF> middle =
        viewport->figurePainter().project((segment.joint + segment.end) * 0.5, QRectF(viewport->rect()));
    QVERIFY(middle);

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, middle->toPoint());
    QCOMPARE(scene->getNumSelectedNodes(), 1);
    QCOMPARE(scene->getSelectedNode(0), shin);
    QCOMPARE(window->sceneTree()->currentItem(), window->sceneTree()->itemFor(shin));

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QCOMPARE(scene->getNumSelectedNodes(), 0);
    QVERIFY(window->sceneTree()->selectedItems().isEmpty());

    // The tree selects in the scene too.
    KvBone *hip = figure()->findBone(QStringLiteral("hip"));
    window->sceneTree()->setCurrentItem(window->sceneTree()->itemFor(hip));
    QCOMPARE(scene->getSelectedNode(0), hip);
}

// The file's own skeleton beside the figure, keyed at the figure's frames,
// drawn and framed with it, but never part of the scene.
void tst_StudioWindow::showSource()
{
    QAction *show = window->showSourceAction();
    QVERIFY(!show->isChecked());
    // Shown before anything is imported, it comes with the import.
    show->setChecked(true);
    QVERIFY(!window->sourceFigure());
    pressInDialogs(QStringLiteral("Accept"));
    QVERIFY(window->importBvh(walk));
    const KvSkeleton *source = window->sourceFigure();
    QVERIFY(source);
    // Keying the source runs the batch importer; the host's own handler stays.
    QVERIFY(host->currentDialogHandler());
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(walk);
    QVERIFY(scan);
    QList<KvBone *> sourceBones;
    source->getAllBones(sourceBones);
    QCOMPARE(sourceBones.size(), int(scan->joints.size()));
    QCOMPARE(sourceBones.first()->getName(), scan->joints.front().name);
    KvScene *scene = host->getScene();
    QCOMPARE(scene->getNumNodes(), 1);

    // Both in view, side by side, and the source in a colour of its own.
    Viewport *viewport = window->viewport();
    const QRectF area(viewport->rect());
    const int tick = window->timeline()->tickOfFrame(200);
    FigurePainter &painter = viewport->figurePainter();
    double figureRight = -1e9;
    for (const FigurePainter::Segment &bone : painter.segments(tick))
        figureRight = std::max(figureRight, std::max(bone.joint.x, bone.end.x));
    const std::vector<FigurePainter::Segment> drawn = painter.overlaySegments(tick);
    QCOMPARE(drawn.size(), size_t(sourceBones.size()));
    const auto inView = [&](const KvVec3d &p) {
        const std::optional<QPointF> at = painter.project(p, area);
        return at && area.contains(*at);
    };
    QVERIFY(inView(FigurePainter::segment(figure()->findBone(QStringLiteral("head")), tick).end));
    for (const FigurePainter::Segment &bone : drawn) {
        QVERIFY(std::min(bone.joint.x, bone.end.x) > figureRight);
        QVERIFY(inView(bone.joint) && inView(bone.end));
    }
    const auto sourcePixels = [](const QImage &image) {
        const QColor colour = FigurePainter::overlayColor();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += std::abs(c.hslHue() - colour.hslHue()) < 12 && c.hslSaturation() > 60 ? 1 : 0;
            }
        }
        return count;
    };
    const QImage with = viewport->render(viewport->size(), tick);
    show->setChecked(false);
    QVERIFY(!window->sourceFigure());
    const QImage without = viewport->render(viewport->size(), tick);
    // Where the axes cross, their blend may come near the source's colour.
    QVERIFY2(sourcePixels(without) * 20 < sourcePixels(with), qPrintable(QString::number(sourcePixels(without))));
    show->setChecked(true);

    // A click on the source selects nothing of it.
    const FigurePainter::Segment &longest = *std::max_element(drawn.begin(), drawn.end(), [](const auto &a, const auto &b) {
        return (a.end - a.joint).length() < (b.end - b.joint).length();
    });
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, painter.project((longest.joint + longest.end) * 0.5, area)->toPoint());
    QCOMPARE(scene->getNumSelectedNodes(), 0);

    // Saved, the scene holds the figure alone.
    const QString path = dir->filePath(QStringLiteral("walk.json"));
    QVERIFY(window->saveScene(path));
    const std::optional<KvSceneDesc> saved = KvSceneFile::load(path);
    QVERIFY(saved);
    QCOMPARE(saved->figure.bones.size(), KvDefaultFigure::desc().bones.size());
    QCOMPARE(saved->tracks.size(), KvSceneFile::describe(*scene, *figure()).tracks.size());

    // Turned on later, elsewhere on the timeline, the source is keyed at the
    // frames the figure got from where its import started, and the scene,
    // its clock and its selection stay as they were.
    show->setChecked(false);
    window->timeline()->setFrame(10);
    const int start = scene->getTime();
    pressInDialogs(QStringLiteral("Accept"));
    QVERIFY(window->importBvh(walk));
    window->timeline()->setFrame(50);
    const QByteArray imported = sceneJson();
    KvNode *selected = scene->getSelectedNode(0);
    const int items = window->sceneTree()->topLevelItemCount();
    show->setChecked(true);
    QVERIFY(window->sourceFigure() && window->sourceFigure() != source);
    QCOMPARE(scene->getNumNodes(), 1);
    QCOMPARE(sceneJson(), imported);
    QCOMPARE(scene->getNumSelectedNodes(), 1);
    QCOMPARE(scene->getSelectedNode(0), selected);
    QCOMPARE(window->sceneTree()->topLevelItemCount(), items);
    const auto keyTimes = [start](const KvNode *bone) {
        std::vector<int> times;
        const KvFloatProperty *control = bone->getXRotControl();
        for (int i = 0; i < control->getNumKeys(); ++i) {
            if (control->getKeyTime(i) >= start)
                times.push_back(control->getKeyTime(i));
        }
        return times;
    };
    const std::vector<int> figureKeys = keyTimes(figure()->findBone(QStringLiteral("hip")));
    QCOMPARE(int(figureKeys.size()), scan->frameCount());
    QCOMPARE(keyTimes(window->sourceFigure()->getNodeChild(0)), figureKeys);

    // Another figure has nothing to do with the file.
    answerNextBox(QMessageBox::Discard);
    QVERIFY(window->newFigure(QStringLiteral("default")));
    QVERIFY(!window->sourceFigure());
    QVERIFY(boxes.isEmpty());
}

// A plug-in that does not load is told once the window is up; the window
// goes on without import and export.
void tst_StudioWindow::withoutPlugin()
{
    window = std::make_unique<StudioWindow>(host.get(), dir->filePath(QStringLiteral("libnothing.so")));
    window->show();
    const QByteArray before = sceneJson();
    window->start({walk});
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes.at(0).startsWith(QLatin1String("BVH Plug-in: The BVH plug-in did not load")), qPrintable(boxes.at(0)));
    QVERIFY2(boxes.at(1).startsWith(QLatin1String("Import BVH: The BVH plug-in did not load")), qPrintable(boxes.at(1)));
    QCOMPARE(sceneJson(), before);
    int found = 0;
    for (const QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == QLatin1String("&Import BVH...") || action->text() == QLatin1String("&Export BVH...")) {
            ++found;
            QVERIFY(!action->isEnabled());
        }
    }
    QCOMPARE(found, 2);
}

QTEST_MAIN(tst_StudioWindow)
#include "tst_studiowindow.moc"
