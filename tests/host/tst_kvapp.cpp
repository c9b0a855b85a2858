#include "kvapp.h"

#include "kvappsettingsmgr.h"
#include "kvscene.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// A dialog whose accept() may refuse, as dialogs with checks on OK do.
class ProbeDialog : public QDialog
{
public:
    explicit ProbeDialog(bool agrees) : agrees(agrees) {}

    void accept() override
    {
        ++acceptCalls;
        if (agrees)
            QDialog::accept();
    }

    bool agrees;
    int acceptCalls = 0;
    int showCount = 0;

protected:
    void showEvent(QShowEvent *event) override
    {
        ++showCount;
        QDialog::showEvent(event);
    }
};

// What a modal message box looked like, read while it is open.
struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    QWidget *parent = nullptr;
};

// Once the event loop runs (inside the box's exec), records the active modal
// message box and lets react close it.
void inspectNextBox(SeenBox &seen, std::function<void(QMessageBox *)> react)
{
    QTimer::singleShot(0, [&seen, react] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton *button : box->buttons())
            seen.buttons.append(box->standardButton(button));
        seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
        seen.escapeButton = box->escapeButton() ? box->standardButton(box->escapeButton()) : QMessageBox::NoButton;
        seen.parent = box->parentWidget();
        react(box);
    });
}

// Closes whatever modal widget shows up, so that a wrongly shown dialog
// fails the test instead of hanging it.
void closeAnyModal(bool &shown)
{
    QTimer::singleShot(0, [&shown] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            shown = true;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        }
    });
}

} // namespace

class tst_KvApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void globals();

    void execDialogBatch_data();
    void execDialogBatch();
    void dialogHandlerScriptsAnswer();
    void warningBatch();
    void questionBatch();
    void questionHandler();
    void warningShown();
    void warningParent();
    void questionShown_data();
    void questionShown();

    void progressCounting();
    void progressRestartAndIdleSteps();
    void progressDialogOnlyWhenInteractive();

    void pathsDropTrailingSeparator_data();
    void pathsDropTrailingSeparator();
    void showURLBatch();
    void defaultSettingsFileIsUsable();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
};

void tst_KvApp::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_KvApp::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("host.ini")), false);
}

void tst_KvApp::cleanup()
{
    app.reset();
}

void tst_KvApp::globals()
{
    QCOMPARE(kvApp, app.get());
    QVERIFY(app->getScene());
    QCOMPARE(kvScene, app->getScene());
    QVERIFY(app->getImportMgr());
    QVERIFY(app->getAppSettingsMgr());
    QCOMPARE(app->getAppSettingsMgr()->fileName(), dir->filePath(QStringLiteral("host.ini")));

    app.reset();
    QCOMPARE(kvApp, nullptr);
    QCOMPARE(kvScene, nullptr);

    // A second host takes the globals over, and gives them up in turn.
    KvApp second(dir->filePath(QStringLiteral("other.ini")), false);
    QCOMPARE(kvApp, &second);
    QCOMPARE(kvScene, second.getScene());
}

void tst_KvApp::execDialogBatch_data()
{
    QTest::addColumn<bool>("agrees");
    QTest::addColumn<bool>("staleAccepted");
    QTest::addColumn<int>("expected");

    QTest::newRow("accepts")             << true << false << int(QDialog::Accepted);
    QTest::newRow("refuses")             << false << false << int(QDialog::Rejected);
    QTest::newRow("refuses-after-stale") << false << true << int(QDialog::Rejected);
}

// Without a user the dialog is accepted as built: its own accept() runs and
// decides, and nothing is shown.
void tst_KvApp::execDialogBatch()
{
    QFETCH(bool, agrees);
    QFETCH(bool, staleAccepted);
    QFETCH(int, expected);

    ProbeDialog dialog(agrees);
    if (staleAccepted)
        dialog.setResult(QDialog::Accepted);
    QSignalSpy accepted(&dialog, &QDialog::accepted);

    QCOMPARE(app->execDialog(&dialog), expected);
    QCOMPARE(dialog.acceptCalls, 1);
    QCOMPARE(accepted.count(), agrees ? 1 : 0);
    QCOMPARE(dialog.showCount, 0);
    QVERIFY(!dialog.isVisible());

    QCOMPARE(app->execDialog(nullptr), int(QDialog::Rejected));
}

void tst_KvApp::dialogHandlerScriptsAnswer()
{
    ProbeDialog dialog(true);
    QDialog *handed = nullptr;
    app->setDialogHandler([&handed](QDialog *d) {
        handed = d;
        return 7;
    });
    // Even an interactive host leaves the answer to the handler.
    app->setInteractive(true);
    bool shown = false;
    closeAnyModal(shown);

    QCOMPARE(app->execDialog(&dialog), 7);
    QCOMPARE(handed, &dialog);
    QCOMPARE(dialog.acceptCalls, 0);
    QCoreApplication::processEvents();
    QVERIFY(!shown);
}

void tst_KvApp::warningBatch()
{
    QSignalSpy messages(app.get(), &KvApp::message);
    const QString text = QStringLiteral("The file could not be opened:\n/tmp/a b.bvh");
    app->warning(QStringLiteral("BVH File Importer"), text);

    QCOMPARE(app->messageLog(), QStringList{QStringLiteral("BVH File Importer: ") + text});
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("BVH File Importer"));
    QCOMPARE(messages.at(0).at(1).toString(), text);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    app->clearMessageLog();
    QVERIFY(app->messageLog().isEmpty());
}

void tst_KvApp::questionBatch()
{
    QSignalSpy messages(app.get(), &KvApp::message);
    QCOMPARE(app->question(QStringLiteral("BVH File Importer"), QStringLiteral("Replace map?")),
             int(QMessageBox::Yes));
    QCOMPARE(app->messageLog(), QStringList{QStringLiteral("BVH File Importer: Replace map?")});
    QCOMPARE(messages.count(), 1);
}

void tst_KvApp::questionHandler()
{
    QString askedTitle;
    QString askedText;
    app->setQuestionHandler([&](const QString &title, const QString &text) {
        askedTitle = title;
        askedText = text;
        return int(QMessageBox::No);
    });
    QCOMPARE(app->question(QStringLiteral("Maps"), QStringLiteral("Delete walk?")), int(QMessageBox::No));
    QCOMPARE(askedTitle, QStringLiteral("Maps"));
    QCOMPARE(askedText, QStringLiteral("Delete walk?"));
}

void tst_KvApp::warningShown()
{
    QMainWindow window;
    app->setInterface(&window);
    app->setInteractive(true);

    SeenBox seen;
    inspectNextBox(seen, [](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); });
    app->warning(QStringLiteral("BVH File Exporter"), QStringLiteral("Select exactly one figure."));

    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("BVH File Exporter"));
    QCOMPARE(seen.text, QStringLiteral("Select exactly one figure."));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(seen.parent, &window);
    QCOMPARE(app->messageLog().size(), 1);
}

// Over an open modal dialog, the warning belongs to that dialog.
void tst_KvApp::warningParent()
{
    QMainWindow window;
    app->setInterface(&window);
    app->setInteractive(true);
    QDialog mapping(&window);
    mapping.setModal(true);
    mapping.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mapping));
    QCOMPARE(QApplication::activeModalWidget(), &mapping);

    SeenBox seen;
    inspectNextBox(seen, [](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); });
    app->warning(QStringLiteral("BVH File Importer"), QStringLiteral("No map of that name."));
    QVERIFY(seen.seen);
    QCOMPARE(seen.parent, &mapping);
}

void tst_KvApp::questionShown_data()
{
    QTest::addColumn<int>("key");      // 0: click the button
    QTest::addColumn<int>("clicked");
    QTest::addColumn<int>("expected");

    QTest::newRow("click-yes") << 0 << int(QMessageBox::Yes) << int(QMessageBox::Yes);
    QTest::newRow("click-no")  << 0 << int(QMessageBox::No) << int(QMessageBox::No);
    QTest::newRow("escape")    << int(Qt::Key_Escape) << 0 << int(QMessageBox::No);
    QTest::newRow("enter")     << int(Qt::Key_Return) << 0 << int(QMessageBox::Yes);
}

void tst_KvApp::questionShown()
{
    QFETCH(int, key);
    QFETCH(int, clicked);
    QFETCH(int, expected);

    app->setInteractive(true);
    SeenBox seen;
    inspectNextBox(seen, [key, clicked](QMessageBox *box) {
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else
            box->button(QMessageBox::StandardButton(clicked))->click();
    });
    QCOMPARE(app->question(QStringLiteral("Delete Map"), QStringLiteral("Delete walk?")), expected);

    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("Delete Map"));
    QCOMPARE(seen.text, QStringLiteral("Delete walk?"));
    QCOMPARE(seen.buttons.size(), 2);
    QVERIFY(seen.buttons.contains(QMessageBox::Yes));
    QVERIFY(seen.buttons.contains(QMessageBox::No));
    QCOMPARE(seen.defaultButton, QMessageBox::Yes);
    QCOMPARE(seen.escapeButton, QMessageBox::No);
}

void tst_KvApp::progressCounting()
{
    QSignalSpy started(app.get(), &KvApp::progressStarted);
    QSignalSpy stepped(app.get(), &KvApp::progressStepped);
    QSignalSpy finished(app.get(), &KvApp::progressFinished);

    app->startProgress(QStringLiteral("Reading walk.bvh"), 3, false, false);
    QVERIFY(app->isProgressActive());
    QCOMPARE(app->progressCaption(), QStringLiteral("Reading walk.bvh"));
    QCOMPARE(app->progressTotal(), 3);
    QCOMPARE(app->progressValue(), 0);
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toString(), QStringLiteral("Reading walk.bvh"));
    QCOMPARE(started.at(0).at(1).toInt(), 3);

    for (int i = 0; i < 5; ++i)
        app->stepProgress(1);
    app->stepProgress(2);
    QCOMPARE(app->progressValue(), 7);  // beyond the total, still counted
    QCOMPARE(stepped.count(), 6);
    QCOMPARE(stepped.at(2).at(0).toInt(), 3);
    QCOMPARE(stepped.at(5).at(0).toInt(), 7);
    QCOMPARE(stepped.at(5).at(1).toInt(), 3);

    app->finishProgress();
    QVERIFY(!app->isProgressActive());
    QCOMPARE(finished.count(), 1);
    app->finishProgress();
    QCOMPARE(finished.count(), 1);
}

void tst_KvApp::progressRestartAndIdleSteps()
{
    QSignalSpy stepped(app.get(), &KvApp::progressStepped);
    QSignalSpy finished(app.get(), &KvApp::progressFinished);

    app->stepProgress(1);  // nothing running
    QCOMPARE(stepped.count(), 0);
    QCOMPARE(app->progressValue(), 0);

    app->startProgress(QStringLiteral("first"), 10, false, false);
    app->stepProgress(4);
    app->startProgress(QStringLiteral("second"), 2, false, false);
    QCOMPARE(finished.count(), 1);  // the first one was closed
    QCOMPARE(app->progressValue(), 0);
    QCOMPARE(app->progressTotal(), 2);
    QCOMPARE(app->progressCaption(), QStringLiteral("second"));

    app->finishProgress();
    app->stepProgress(1);
    QCOMPARE(stepped.count(), 1);
}

void tst_KvApp::progressDialogOnlyWhenInteractive()
{
    QMainWindow window;
    app->setInterface(&window);

    app->startProgress(QStringLiteral("batch"), 4, false, true);
    QVERIFY(window.findChildren<QProgressDialog *>().isEmpty());
    app->finishProgress();

    app->setInteractive(true);
    app->startProgress(QStringLiteral("Reading"), 4, false, true);
    const QList<QProgressDialog *> dialogs = window.findChildren<QProgressDialog *>();
    QCOMPARE(dialogs.size(), 1);
    const QPointer<QProgressDialog> dialog = dialogs.first();
    QCOMPARE(dialog->labelText(), QStringLiteral("Reading"));
    QCOMPARE(dialog->maximum(), 4);
    app->stepProgress(3);
    QCOMPARE(dialog->value(), 3);
    app->stepProgress(3);
    QCOMPARE(dialog->value(), 4);     // shown up to the total
    QVERIFY(dialog);                  // not closed by reaching it
    app->finishProgress();
    QVERIFY(!dialog);
}

void tst_KvApp::pathsDropTrailingSeparator_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain")      << QStringLiteral("/opt/kv/docs") << QStringLiteral("/opt/kv/docs");
    QTest::newRow("one-slash")  << QStringLiteral("/opt/kv/docs/") << QStringLiteral("/opt/kv/docs");
    QTest::newRow("two-slashes") << QStringLiteral("/opt/kv/docs//") << QStringLiteral("/opt/kv/docs");
    QTest::newRow("relative")   << QStringLiteral("docs/") << QStringLiteral("docs");
    QTest::newRow("root")       << QStringLiteral("/") << QStringLiteral("/");
}

void tst_KvApp::pathsDropTrailingSeparator()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);

    app->setResourcesPath(given);
    app->setDocumentationPath(given);
    QCOMPARE(app->getResourcesPath(), expected);
    QCOMPARE(app->getDocumentationPath(), expected);
}

void tst_KvApp::showURLBatch()
{
    QSignalSpy messages(app.get(), &KvApp::message);
    const QString url = QStringLiteral("file:///opt/kv/docs/readme.htm");
    app->showURL(url);
    QCOMPARE(app->lastShownURL(), url);
    QCOMPARE(app->messageLog().size(), 1);
    QVERIFY(app->messageLog().first().endsWith(QLatin1String(": ") + url));
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(1).toString(), url);
}

// The default file sits in a folder of its own that may not exist yet.
void tst_KvApp::defaultSettingsFileIsUsable()
{
    const QString path = KvApp::defaultSettingsFile();
    QVERIFY(QFileInfo(path).isAbsolute());
    QVERIFY(path.endsWith(QLatin1String("/kvbvh/kvbvh.ini")));
    QFile::remove(path);
    QDir(QFileInfo(path).absolutePath()).removeRecursively();

    {
        KvApp host(path, false);
        host.getAppSettingsMgr()->setBoolValue(QStringLiteral("probe"), true);
    }
    QVERIFY(QFileInfo::exists(path));
    KvAppSettingsMgr again(path);
    QVERIFY(again.getBoolValue(QStringLiteral("probe"), false));
    QFile::remove(path);
}

QTEST_MAIN(tst_KvApp)
#include "tst_kvapp.moc"
