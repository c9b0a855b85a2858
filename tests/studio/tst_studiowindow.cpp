#include "playback.h"
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
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The studio as a user drives it: the real plug-in, its dialogs answered with
// the button named dialogButton, message boxes recorded and closed.
class tst_StudioWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void importViewExport();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void playbackFollowsClock();
    void showSource();
    void withoutPlugin();

private:
    QByteArray sceneJson() const
    {
        return KvSceneFile::toJson(KvSceneFile::describe(*host->getScene(), *window->figure()));
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> host;
    std::unique_ptr<StudioWindow> window;
    QString dialogButton;
    QStringList boxes;    // "title: text over parent" of each closed box
    QStringList dialogs;  // titles of the plug-in's dialogs
    const QString walk = kvtest::dataFile(QStringLiteral("bvh/cmu_12_01_walk_mb.bvh"));
};

void tst_StudioWindow::init()
{
    // The last test's window goes before its host.
    window.reset();
    host.reset();
    dir = std::make_unique<QTemporaryDir>();
    host = std::make_unique<KvApp>(dir->filePath(QStringLiteral("kvbvh.ini")), true);
    // Warnings show a box in front of the window once their text is logged.
    boxes.clear();
    connect(host.get(), &KvApp::message, this, [this] {
        QTimer::singleShot(0, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box && box->parentWidget());
            boxes.append(box->windowTitle() + ": " + box->text() + " over " + box->parentWidget()->objectName());
            box->button(QMessageBox::Ok)->click();
        });
    });
    dialogButton = QStringLiteral("Accept");
    dialogs.clear();
    host->setDialogHandler([this](QDialog *dialog) {
        dialogs.append(dialog->windowTitle());
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == dialogButton)
                button->click();
        }
        return dialog->result();
    });
    window = std::make_unique<StudioWindow>(host.get(), QStringLiteral(KV_PLUGIN_PATH));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

// A session: the walk keys the figure at the file's frames and rate and the
// view moves with it; the export holds every frame; unsaved changes stay when
// the user cancels; the scene saved and dropped on the window opens as it was.
void tst_StudioWindow::importViewExport()
{
    QVERIFY(window->importBvh(walk));
    // Frames: 524 at .0083333 s, 40 of the host's 4800 ticks a second.
    QCOMPARE(host->getScene()->getTimeStep(), 40);
    QVERIFY(window->statusText().contains(QStringLiteral("| 524 frames | 120 fps | 4.37 s |")));
    Viewport *viewport = window->viewport();
    QVERIFY(viewport->render(viewport->size(), 0) != viewport->render(viewport->size(), window->timeline()->tickOfFrame(100)));

    const QString path = dir->filePath(QStringLiteral("out.bvh"));
    QVERIFY(window->exportBvh(path));
    QCOMPARE(dialogs, (QStringList{QStringLiteral("BVH Importer Options"), QStringLiteral("BVH Exporter Options")}));
    const std::optional<KvBvhScan> written = KvBvhScan::scan(path);
    QVERIFY(written);
    QCOMPARE(std::pair(written->framesDeclared, written->frameLines), std::pair(524, 524));
    QCOMPARE(written->joints.size(), KvDefaultFigure::desc().bones.size());

    const QByteArray imported = sceneJson();
    QTimer::singleShot(0, this, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Cancel)->click();
    });
    QVERIFY(!window->newFigure(QStringLiteral("default")));
    QCOMPARE(sceneJson(), imported);
    const QString scenePath = dir->filePath(QStringLiteral("walk.json"));
    QVERIFY(window->saveScene(scenePath));
    QVERIFY(window->newFigure(QStringLiteral("default")));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(scenePath)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    QTRY_COMPARE(window->scenePath(), scenePath);
    QCOMPARE(sceneJson(), imported);
    QVERIFY(boxes.isEmpty());
}

void tst_StudioWindow::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");  // null: no such file
    QTest::addColumn<QString>("message");
    const QByteArray hip("HIERARCHY\nROOT hip\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET 0 1 0\n}\n}\n");
    QTest::newRow("import cancelled") << "hip.bvh" << hip + "MOTION\nFrames: 1\nFrame Time: 0.1\n0 0 0\n" << "Import operation aborted by user.";
    QTest::newRow("hierarchy without motion") << "cut.bvh" << hip << "The selected file has no motion data.";
    QTest::newRow("text named .bvh") << "notes.bvh" << QByteArray("just some notes\n") << "is not a BVH file";
    QTest::newRow("broken scene") << "scene.json" << QByteArray("{\"format\": \"kvscene\", \"version\": 1}") << "Open Scene: ";
    QTest::newRow("other json") << "data.json" << QByteArray("{\"a\": 1}") << "is neither a BVH file";
    QTest::newRow("missing") << "gone.bvh" << QByteArray() << "does not exist";
}

// Each is told over the window and leaves the scene as it was.
void tst_StudioWindow::refusedFilesChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFile file(dir->filePath(name));
    QVERIFY(content.isNull() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
    file.close();
    const QByteArray before = sceneJson();
    dialogButton = QStringLiteral("Cancel");
    QVERIFY(!window->openFile(file.fileName()));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().contains(message) && boxes.first().endsWith(" over studioWindow"), qPrintable(boxes.first()));
    QCOMPARE(dialogs.size(), name == QLatin1String("hip.bvh") ? 1 : 0);
    QCOMPARE(sceneJson(), before);
}

// Frame n is due n / 120 s after play starts: whole frames only, no rounding
// adds up, a slow drawing skips frames, and the end loops back unless told not to.
void tst_StudioWindow::playbackFollowsClock()
{
    KvScene *scene = host->getScene();
    scene->setTimeStep(40);  // 120 frames at 120 fps
    Timeline *timeline = window->timeline();
    timeline->refresh();
    qint64 now = 1000;
    timeline->playback()->setClock([&now] { return now; });
    timeline->playAction->trigger();
    const auto frameAt = [&](qint64 ms) {
        now = 1000 + ms;
        timeline->playback()->tick();
        return scene->getTime() / 40;
    };
    QCOMPARE(frameAt(508), 60);
    QCOMPARE(frameAt(509), 61);
    QCOMPARE(frameAt(990), 118);
    QCOMPARE(frameAt(1009), 1);
    timeline->loopAction->setChecked(false);
    QCOMPARE(frameAt(5000), 119);
    QVERIFY(!timeline->playback()->isPlaying());
}

// The file's own skeleton, one bone per joint, drawn with the figure but
// never part of the scene. Turned on after an import, elsewhere on the
// timeline, it is keyed at the frames the figure got from where that import
// started, and the scene, its clock and its selection stay as they were.
void tst_StudioWindow::showSource()
{
    KvScene *scene = host->getScene();
    window->timeline()->setFrame(10);
    const int start = scene->getTime();
    QVERIFY(window->importBvh(walk));
    window->timeline()->setFrame(50);
    const QByteArray imported = sceneJson();
    KvNode *selected = scene->getSelectedNode(0);
    window->showSourceAction()->setChecked(true);
    const KvSkeleton *source = window->sourceFigure();
    QVERIFY(source);
    QCOMPARE(sceneJson(), imported);
    QCOMPARE(scene->getSelectedNode(0), selected);
    QCOMPARE(scene->getNumNodes(), 1);
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(walk);
    QVERIFY(scan);
    QCOMPARE(window->viewport()->figurePainter().overlaySegments(start).size(), scan->joints.size());
    const QList<int> figureKeys = kvtest::keyTimes(*window->figure()->findBone(QStringLiteral("hip"))->getXRotControl());
    QCOMPARE(std::pair(int(figureKeys.size()), figureKeys.first()), std::pair(scan->frameCount(), start));
    QCOMPARE(kvtest::keyTimes(*source->getNodeChild(0)->getXRotControl()), figureKeys);
}

// A plug-in that does not load is told once the window is up; the window
// goes on without import.
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
}

QTEST_MAIN(tst_StudioWindow)
#include "tst_studiowindow.moc"
