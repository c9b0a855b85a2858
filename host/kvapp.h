#pragma once

#include "kvcore_global.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QMainWindow;
class QProgressDialog;
class QWidget;
class KvAppSettingsMgr;
class KvScene;

using KvMainWindow = QMainWindow;

// Records where the last import came from.
class KVCORE_EXPORT KvImportMgr : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    void setImportPath(const QString &dir) { importPath = dir; }
    QString getImportPath() const { return importPath; }

private:
    QString importPath;
};

// The host application object (kvApp): scene, settings, progress, paths and
// the one place where plug-ins meet the user.
//
// Interaction seam: plug-ins call execDialog, warning and question instead of
// QDialog::exec and QMessageBox. An interactive host shows them. A
// non-interactive host (batch runs, tests) accepts dialogs as built without
// showing them, writes warnings to the message log (and the message signal)
// with their exact title and text, and answers questions with their default
// button. Handlers, when set, script the answers instead.
class KVCORE_EXPORT KvApp : public QObject
{
    Q_OBJECT
public:
    // Creates the host's scene and settings manager and makes this object
    // kvApp and its scene kvScene.
    KvApp(const QString &settingsFile, bool interactive, QObject *parent = nullptr);
    ~KvApp() override;

    bool isInteractive() const { return interactive; }
    void setInteractive(bool on) { interactive = on; }

    KvScene *getScene() const { return scene; }
    KvImportMgr *getImportMgr() const { return importMgr; }
    KvAppSettingsMgr *getAppSettingsMgr() const { return settingsMgr; }
    // The parent of plug-in dialogs; null in a host without windows.
    KvMainWindow *getInterface() const { return mainWindow; }
    void setInterface(KvMainWindow *window) { mainWindow = window; }

    // Directories without a trailing separator.
    QString getResourcesPath() const { return resourcesPath; }
    void setResourcesPath(const QString &dir);
    QString getDocumentationPath() const { return documentationPath; }
    void setDocumentationPath(const QString &dir);
    // Shows a document: the desktop's viewer when interactive, the message
    // log otherwise. lastShownURL() tells what was asked for last.
    void showURL(const QString &url);
    QString lastShownURL() const { return shownURL; }

    // Progress of long work. Steps beyond the total are counted but not shown.
    void startProgress(const QString &caption, int totalSteps, bool cancellable, bool immediate);
    void stepProgress(int steps);
    void finishProgress();
    bool isProgressActive() const { return progressActive; }
    QString progressCaption() const { return progressText; }
    int progressTotal() const { return progressTotalSteps; }
    int progressValue() const { return progressSteps; }

    // The interaction seam (see above). execDialog returns the dialog's result.
    int execDialog(QDialog *dialog);
    void warning(const QString &title, const QString &text);
    // Yes is the default button, No the escape button. Returns
    // QMessageBox::Yes or QMessageBox::No.
    int question(const QString &title, const QString &text);

    using DialogHandler = std::function<int(QDialog *)>;
    using QuestionHandler = std::function<int(const QString &title, const QString &text)>;
    void setDialogHandler(DialogHandler handler) { dialogHandler = std::move(handler); }
    DialogHandler currentDialogHandler() const { return dialogHandler; }
    void setQuestionHandler(QuestionHandler handler) { questionHandler = std::move(handler); }

    // Every warning, question and non-interactive URL, as "title: text".
    QStringList messageLog() const { return log; }
    void clearMessageLog() { log.clear(); }

    // The settings file a host uses when none is given.
    static QString defaultSettingsFile();

Q_SIGNALS:
    void message(const QString &title, const QString &text);
    void progressStarted(const QString &caption, int totalSteps);
    void progressStepped(int value, int totalSteps);
    void progressFinished();

private:
    QWidget *dialogParent() const;
    // Interactive and with a QApplication to show widgets in.
    bool showsWidgets() const;
    void record(const QString &title, const QString &text);

    bool interactive;
    KvScene *scene;
    KvImportMgr *importMgr;
    KvAppSettingsMgr *settingsMgr;
    KvMainWindow *mainWindow = nullptr;
    QString resourcesPath;
    QString documentationPath;
    QString shownURL;
    bool progressActive = false;
    QString progressText;
    int progressTotalSteps = 0;
    int progressSteps = 0;
    QPointer<QProgressDialog> progressDialog;  // gone with its window
    DialogHandler dialogHandler;
    QuestionHandler questionHandler;
    QStringList log;
};

extern KVCORE_EXPORT KvApp *kvApp;
