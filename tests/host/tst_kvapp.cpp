#include "kvapp.h"

#include "kvappsettingsmgr.h"
#include "kvscene.h"

#include <QApplication>
#include <QDialog>
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

// What a modal message box looked like while it was open.
struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    QWidget *parent = nullptr;
};

// Runs inside the box's exec(): records the active modal box, then lets
// react close it. Anything else modal is rejected, so that a dialog shown by
// mistake fails the test instead of hanging it.
void inspectNextModal(SeenBox &seen, std::function<void(QMessageBox *)> react)
{
    QTimer::singleShot(0, [&seen, react] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            if (auto *dialog = qobject_cast<QDialog *>(modal)) {
                seen.seen = true;
                dialog->reject();
            }
            return;
        }
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        for (QAbstractButton *button : box->buttons())
            seen.buttons.append(box->standardButton(button));
        seen.defaultButton = box->standardButton(box->defaultButton());
        seen.escapeButton = box->standardButton(box->escapeButton());
        seen.parent = box->parentWidget();
        react(box);
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
    void handlersScriptAnswers();
    void batchMessages_data();
    void batchMessages();
    void warningShown_data();
    void warningShown();
    void questionShown_data();
    void questionShown();
    void progressCounting();
    void progressDialogOnlyWhenInteractive();
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
    QCOMPARE(app->getAppSettingsMgr()->fileName(), dir->filePath(QStringLiteral("host.ini")));
    app.reset();
    QCOMPARE(kvApp, nullptr);
    QCOMPARE(kvScene, nullptr);
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
    QCOMPARE(app->execDialog(&dialog), expected);
    QCOMPARE(dialog.acceptCalls, 1);
    QCOMPARE(dialog.showCount, 0);
    QCOMPARE(app->execDialog(nullptr), int(QDialog::Rejected));
}

// Handlers answer even for an interactive host, which then shows nothing.
void tst_KvApp::handlersScriptAnswers()
{
    app->setInteractive(true);
    ProbeDialog dialog(true);
    QDialog *handed = nullptr;
    QStringList asked;
    app->setDialogHandler([&handed](QDialog *d) {
        handed = d;
        return 7;
    });
    app->setQuestionHandler([&asked](const QString &title, const QString &text) {
        asked << title << text;
        return int(QMessageBox::No);
    });
    SeenBox seen;
    inspectNextModal(seen, [](QMessageBox *box) { box->reject(); });

    QCOMPARE(app->execDialog(&dialog), 7);
    QCOMPARE(handed, &dialog);
    QCOMPARE(dialog.acceptCalls, 0);
    QCOMPARE(app->question(QStringLiteral("Maps"), QStringLiteral("Delete walk?")), int(QMessageBox::No));
    QCOMPARE(asked, (QStringList{QStringLiteral("Maps"), QStringLiteral("Delete walk?")}));
    QCoreApplication::processEvents();
    QVERIFY(!seen.seen);
}

void tst_KvApp::batchMessages_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("warning")  << "warning" << "BVH File Importer" << "The file could not be opened:\n/tmp/a b.bvh";
    QTest::newRow("question") << "question" << "BVH File Importer" << "Replace map <b>walk</b>?";
}

// Logged and signalled with their exact title and text; questions take Yes.
void tst_KvApp::batchMessages()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);

    QSignalSpy messages(app.get(), &KvApp::message);
    if (kind == QLatin1String("warning"))
        app->warning(title, text);
    else
        QCOMPARE(app->question(title, text), int(QMessageBox::Yes));
    QCOMPARE(app->messageLog(), QStringList{title + QLatin1String(": ") + text});
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(), title);
    QCOMPARE(messages.at(0).at(1).toString(), text);
}

void tst_KvApp::warningShown_data()
{
    QTest::addColumn<bool>("overModalDialog");
    QTest::newRow("over-main-window")  << false;
    QTest::newRow("over-modal-dialog") << true;
}

void tst_KvApp::warningShown()
{
    QFETCH(bool, overModalDialog);

    QMainWindow window;
    app->setInterface(&window);
    app->setInteractive(true);
    QDialog mapping(&window);
    if (overModalDialog) {
        mapping.setModal(true);
        mapping.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mapping));
    }

    SeenBox seen;
    inspectNextModal(seen, [](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); });
    app->warning(QStringLiteral("BVH File Exporter"), QStringLiteral("Select exactly one figure."));

    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("BVH File Exporter"));
    QCOMPARE(seen.text, QStringLiteral("Select exactly one figure."));
    QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(seen.parent, overModalDialog ? static_cast<QWidget *>(&mapping) : &window);
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
    inspectNextModal(seen, [key, clicked](QMessageBox *box) {
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
    QCOMPARE(seen.defaultButton, QMessageBox::Yes);
    QCOMPARE(seen.escapeButton, QMessageBox::No);
}

void tst_KvApp::progressCounting()
{
    QSignalSpy started(app.get(), &KvApp::progressStarted);
    QSignalSpy stepped(app.get(), &KvApp::progressStepped);
    QSignalSpy finished(app.get(), &KvApp::progressFinished);

    app->stepProgress(1);  // nothing running: ignored
    app->startProgress(QStringLiteral("first"), 10, false, false);
    app->stepProgress(4);
    app->startProgress(QStringLiteral("Reading walk.bvh"), 3, false, false);
    QCOMPARE(finished.count(), 1);  // the first one was closed
    QCOMPARE(app->progressCaption(), QStringLiteral("Reading walk.bvh"));
    QCOMPARE(app->progressValue(), 0);
    QCOMPARE(started.count(), 2);
    QCOMPARE(started.at(1).at(1).toInt(), 3);

    for (int i = 0; i < 5; ++i)
        app->stepProgress(1);
    QCOMPARE(app->progressValue(), 5);  // beyond the total, still counted
    QCOMPARE(stepped.count(), 6);
    QCOMPARE(stepped.at(5).at(0).toInt(), 5);
    QCOMPARE(stepped.at(5).at(1).toInt(), 3);

    app->finishProgress();
    app->finishProgress();
    QVERIFY(!app->isProgressActive());
    QCOMPARE(finished.count(), 2);
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
    app->stepProgress(3);
    QCOMPARE(dialog->value(), 3);
    app->stepProgress(3);
    QCOMPARE(dialog->value(), 4);  // shown up to the total...
    QVERIFY(dialog);               // ...and not closed by reaching it
    app->finishProgress();
    QVERIFY(!dialog);
}

// The default file sits in a folder of its own that may not exist yet.
void tst_KvApp::defaultSettingsFileIsUsable()
{
    const QString path = KvApp::defaultSettingsFile();
    QVERIFY(path.endsWith(QLatin1String("/kvbvh/kvbvh.ini")));
    QDir(QFileInfo(path).absolutePath()).removeRecursively();
    KvAppSettingsMgr(path).setBoolValue(QStringLiteral("probe"), true);
    QVERIFY(KvAppSettingsMgr(path).getBoolValue(QStringLiteral("probe"), false));
    QVERIFY(QFileInfo::exists(path));
    QFile::remove(path);
}

QTEST_MAIN(tst_KvApp)
#include "tst_kvapp.moc"
