#pragma once

#include "kvpluginloader.h"

#include <QMainWindow>
#include <QSettings>
#include <QStringList>

#include <memory>

class QLabel;
class QMenu;
class KvApp;
class KvScene;
class KvSkeleton;
class SceneTree;
class Timeline;
class Viewport;

// The window-based host: the host's scene (a figure, its keys and the clock)
// shown in a viewport, a scene tree and a timeline, with the BVH plug-in's
// importer and exporter run on it as a host runs them, dialogs and all.
//
// Every failure ends in the host's warning (a message box over the window)
// and leaves the scene as it was. The operations return whether they did
// their work, so that tests and start-up can drive them without the menus.
class StudioWindow : public QMainWindow
{
    Q_OBJECT
public:
    // host is the interactive host whose scene the window shows; the plug-in
    // is loaded from pluginPath, the studio's own settings (recent files,
    // window layout) lie in studio.ini beside the host's settings file.
    StudioWindow(KvApp *host, const QString &pluginPath, QWidget *parent = nullptr);
    ~StudioWindow() override;

    // Once the window is shown: tells when the plug-in did not load, then
    // opens each of paths as openFile does.
    void start(const QStringList &paths);

    // source: "default", a figure file or a BVH file whose skeleton becomes
    // the figure. The new figure replaces the scene, at rest, with the
    // host's 30 frames at 30 fps.
    bool newFigure(const QString &source);
    bool openScene(const QString &path);
    bool saveScene(const QString &path);
    // Through the plug-in, onto the selected figure (the figure, when nothing
    // is selected).
    bool importBvh(const QString &path);
    bool exportBvh(const QString &path);
    // A BVH file is imported, a scene file opened, a figure file becomes the figure.
    bool openFile(const QString &path);

    // The figure that saving, importing and exporting work on: the selected
    // node's, else the scene's first.
    KvSkeleton *figure() const;
    QString scenePath() const { return currentPath; }
    bool isPluginLoaded() const { return loader.isLoaded(); }
    QStringList recentFiles() const;

    // View > Show Source: the skeleton of the file imported last, keyed by
    // importing the file onto it, drawn beside the figure in its own colour
    // and played with it. It lives in a scene of its own, so that saving,
    // exporting, the scene tree and picking never see it.
    QAction *showSourceAction() const { return sourceAction; }
    // Null while it is not shown.
    const KvSkeleton *sourceFigure() const;

    Viewport *viewport() const { return view; }
    Timeline *timeline() const { return timebar; }
    SceneTree *sceneTree() const { return tree; }
    QString statusText() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenus();
    void chooseNewFigure(const QString &kind);
    void chooseScene();
    bool saveCurrent();
    bool chooseSaveTarget();
    void chooseImport();
    void chooseExport();
    void showAbout();

    // Asks before unsaved changes go; false: keep them.
    bool maySetAside();
    void replaceFigure(KvSkeleton *skeleton);
    // Whether another operation may start; pauses playback.
    bool beginWork();
    void warn(const QString &title, const QString &text);
    void setModified(bool modified);
    void setScenePath(const QString &path);
    void sceneClockChanged();
    void updateStatus();
    void addRecent(const QString &path);
    void updateRecentMenu();
    QString lastFolder() const;
    void toggleSource(bool on);
    // Makes the source of sourcePath when it is not made yet; false when it
    // cannot be made (told in the status bar).
    bool makeSource();
    void forgetSource();
    void showSourceOverlay();

    KvApp *host;
    KvPluginLoader loader;
    QString pluginError;
    QSettings settings;
    Viewport *view;
    Timeline *timebar;
    SceneTree *tree;
    QMenu *recentMenu = nullptr;
    QAction *importAction = nullptr;
    QAction *exportAction = nullptr;
    QAction *sourceAction = nullptr;
    QLabel *figureLabel;
    QLabel *framesLabel;
    QLabel *rateLabel;
    QLabel *durationLabel;
    QLabel *frameLabel;
    QString currentPath;
    bool working = false;
    std::unique_ptr<KvScene> sourceScene;
    QString sourcePath;    // the file imported last; empty: none since the figure came
    int sourceStart = 0;   // the tick its import started at
};
