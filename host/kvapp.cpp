#include "kvapp.h"

#include "kvappsettingsmgr.h"
#include "kvscene.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QUrl>

KvApp *kvApp = nullptr;

namespace {

QString withoutTrailingSeparator(const QString &dir)
{
    QString path = QDir::fromNativeSeparators(dir);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString applicationDir()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
}

} // namespace

KvApp::KvApp(const QString &settingsFile, bool interactive, QObject *parent)
    : QObject(parent),
      interactive(interactive),
      scene(new KvScene(this)),
      importMgr(new KvImportMgr(this)),
      settingsMgr(new KvAppSettingsMgr(settingsFile, this)),
      resourcesPath(withoutTrailingSeparator(applicationDir())),
      documentationPath(resourcesPath)
{
    kvApp = this;
    kvScene = scene;
}

KvApp::~KvApp()
{
    delete progressDialog;
    // The scene dies with this object's children, after this body: nobody may
    // reach it through the global in between.
    if (kvScene == scene)
        kvScene = nullptr;
    if (kvApp == this)
        kvApp = nullptr;
}

void KvApp::setResourcesPath(const QString &dir)
{
    resourcesPath = withoutTrailingSeparator(dir);
}

void KvApp::setDocumentationPath(const QString &dir)
{
    documentationPath = withoutTrailingSeparator(dir);
}

void KvApp::showURL(const QString &url)
{
    shownURL = url;
    if (showsWidgets() && QDesktopServices::openUrl(QUrl(url)))
        return;
    record(tr("Document"), url);
}

void KvApp::startProgress(const QString &caption, int totalSteps, bool cancellable, bool immediate)
{
    if (progressActive)
        finishProgress();
    progressActive = true;
    progressText = caption;
    progressTotalSteps = qMax(totalSteps, 0);
    progressSteps = 0;

    if (showsWidgets()) {
        progressDialog = new QProgressDialog(caption, cancellable ? tr("Cancel") : QString(),
                                             0, progressTotalSteps, mainWindow);
        // The host closes it in finishProgress, not when the bar fills up.
        progressDialog->setAutoReset(false);
        progressDialog->setAutoClose(false);
        progressDialog->setWindowModality(Qt::WindowModal);
        progressDialog->setMinimumDuration(immediate ? 0 : 500);
        progressDialog->setValue(0);
    }
    Q_EMIT progressStarted(caption, progressTotalSteps);
}

void KvApp::stepProgress(int steps)
{
    if (!progressActive)
        return;
    progressSteps += steps;
    if (progressDialog)
        progressDialog->setValue(qBound(0, progressSteps, progressTotalSteps));
    Q_EMIT progressStepped(progressSteps, progressTotalSteps);
}

void KvApp::finishProgress()
{
    if (!progressActive)
        return;
    progressActive = false;
    delete progressDialog;
    Q_EMIT progressFinished();
}

int KvApp::execDialog(QDialog *dialog)
{
    if (!dialog)
        return QDialog::Rejected;
    if (dialogHandler)
        return dialogHandler(dialog);
    if (showsWidgets())
        return dialog->exec();
    // Accept through the dialog's own accept(), so that its checks and the
    // state it commits on OK run as they would for a user; a dialog that
    // refuses to close stays rejected.
    dialog->setResult(QDialog::Rejected);
    dialog->accept();
    return dialog->result();
}

void KvApp::warning(const QString &title, const QString &text)
{
    record(title, text);
    if (showsWidgets())
        QMessageBox::warning(dialogParent(), title, text, QMessageBox::Ok, QMessageBox::Ok);
}

int KvApp::question(const QString &title, const QString &text)
{
    record(title, text);
    if (questionHandler)
        return questionHandler(title, text);
    if (!showsWidgets())
        return QMessageBox::Yes;

    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

QString KvApp::defaultSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QLatin1String("/kvbvh/kvbvh.ini");
}

QWidget *KvApp::dialogParent() const
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return mainWindow;
}

bool KvApp::showsWidgets() const
{
    return interactive && qobject_cast<QApplication *>(QCoreApplication::instance());
}

void KvApp::record(const QString &title, const QString &text)
{
    log.append(title + QLatin1String(": ") + text);
    Q_EMIT message(title, text);
}
