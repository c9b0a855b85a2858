#include "kvapp.h"

#include "kvappsettingsmgr.h"
#include "kvscene.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

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
};

// Once the event loop runs (inside a box's exec()), describes the active modal
// dialog ("" for none) and closes it: a message box by key, anything else
// rejected, so that a dialog shown by mistake fails the test instead of hanging it.
void closeNextModal(QString &seen, QWidget *expectedParent, Qt::Key key)
{
    QTimer::singleShot(0, [&seen, expectedParent, key] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!box) {
            seen = dialog ? QStringLiteral("a dialog") : QString();
            if (dialog)
                dialog->reject();
            return;
        }
        seen = box->windowTitle() + QLatin1String(": ") + box->text();
        for (QAbstractButton *button : box->buttons())
            seen += QStringLiteral(" [%1]").arg(button->text().remove(QLatin1Char('&')));
        seen += QStringLiteral(" default %1").arg(box->defaultButton()->text().remove(QLatin1Char('&')));
        if (box->parentWidget() != expectedParent)
            seen += QLatin1String(" over another window");
        QTest::keyClick(box, key);
    });
}

} // namespace

class tst_KvApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void globals();
    void execDialogBatch_data();
    void execDialogBatch();
    void handlersScriptAnswers();
    void batchMessages_data();
    void batchMessages();
    void shownMessages_data();
    void shownMessages();
    void progressCounting();
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void settingsGroups();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
};

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
    QCOMPARE(kvScene, app->getScene());
    QCOMPARE(app->getAppSettingsMgr()->fileName(), dir->filePath(QStringLiteral("host.ini")));
    app.reset();
    QCOMPARE(kvApp, nullptr);
    QCOMPARE(kvScene, nullptr);
    QVERIFY(KvApp::defaultSettingsFile().endsWith(QLatin1String("/kvbvh/kvbvh.ini")));
}

void tst_KvApp::execDialogBatch_data()
{
    QTest::addColumn<bool>("agrees");
    QTest::addColumn<bool>("staleAccepted");
    QTest::addColumn<int>("expected");
    QTest::newRow("accepts") << true << false << int(QDialog::Accepted);
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
    QString seen;
    closeNextModal(seen, nullptr, Qt::Key_Escape);
    QCOMPARE(app->execDialog(&dialog), expected);
    QCOMPARE(dialog.acceptCalls, 1);
    QCoreApplication::processEvents();
    QCOMPARE(seen, QString());
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
    QString seen;
    closeNextModal(seen, nullptr, Qt::Key_Escape);
    QCOMPARE(app->execDialog(&dialog), 7);
    QCOMPARE(handed, &dialog);
    QCOMPARE(dialog.acceptCalls, 0);
    QCOMPARE(app->question(QStringLiteral("Maps"), QStringLiteral("Delete walk?")), int(QMessageBox::No));
    QCOMPARE(asked, (QStringList{QStringLiteral("Maps"), QStringLiteral("Delete walk?")}));
    QCoreApplication::processEvents();
    QCOMPARE(seen, QString());
}

void tst_KvApp::batchMessages_data()
{
    QTest::addColumn<bool>("isQuestion");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("warning") << false << "BVH File Importer" << "The file could not be opened:\n/tmp/a b.bvh";
    QTest::newRow("question") << true << "BVH File Importer" << "Replace map <b>walk</b>?";
}

// Logged and signalled with their exact title and text; questions take Yes.
void tst_KvApp::batchMessages()
{
    QFETCH(bool, isQuestion);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QSignalSpy messages(app.get(), &KvApp::message);
    if (isQuestion)
        QCOMPARE(app->question(title, text), int(QMessageBox::Yes));
    else
        app->warning(title, text);
    QCOMPARE(app->messageLog(), QStringList{title + QLatin1String(": ") + text});
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0), (QVariantList{title, text}));
}

// An interactive host shows the box over the modal dialog in front, if any.
void tst_KvApp::shownMessages_data()
{
    QTest::addColumn<bool>("isQuestion");
    QTest::addColumn<bool>("overModalDialog");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("seen");
    QTest::newRow("warning-over-dialog") << false << true << int(Qt::Key_Return) << 0
                                         << "Exporter: Select one. [OK] default OK";
    QTest::newRow("question-enter") << true << false << int(Qt::Key_Return) << int(QMessageBox::Yes)
                                    << "Exporter: Select one. [Yes] [No] default Yes";
}

void tst_KvApp::shownMessages()
{
    QFETCH(bool, isQuestion);
    QFETCH(bool, overModalDialog);
    QFETCH(int, key);
    QFETCH(int, expected);
    QFETCH(QString, seen);
    QMainWindow window;
    app->setInterface(&window);
    app->setInteractive(true);
    QDialog mapping(&window);
    if (overModalDialog) {
        mapping.setModal(true);
        mapping.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mapping));
    }
    QString box;
    closeNextModal(box, overModalDialog ? static_cast<QWidget *>(&mapping) : &window, Qt::Key(key));
    if (isQuestion)
        QCOMPARE(app->question(QStringLiteral("Exporter"), QStringLiteral("Select one.")), expected);
    else
        app->warning(QStringLiteral("Exporter"), QStringLiteral("Select one."));
    QCOMPARE(box, seen);
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
    QCOMPARE(started.at(1), (QVariantList{QStringLiteral("Reading walk.bvh"), 3}));
    for (int i = 0; i < 5; ++i)
        app->stepProgress(1);
    QCOMPARE(app->progressValue(), 5);  // beyond the total, still counted
    QCOMPARE(stepped.count(), 6);
    QCOMPARE(stepped.at(5), (QVariantList{5, 3}));
    app->finishProgress();
    app->finishProgress();
    QVERIFY(!app->isProgressActive());
    QCOMPARE(finished.count(), 2);
}

// Written by one manager, read at once by a second one on the same file. An
// invalid "stored" means the key is never written; a bool default reads a bool.
void tst_KvApp::settingsRoundTrip_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<bool>("expectedOk");
    QTest::newRow("bool-absent") << QVariant() << QVariant(true) << false;
    QTest::newRow("bool-false") << QVariant(false) << QVariant(true) << true;
    QTest::newRow("string-absent") << QVariant() << QVariant(QStringLiteral("d")) << false;
    // INI pitfalls: commas read back as a list; '=', ';' and quotes need escaping.
    QTest::newRow("string-commas") << QVariant(QStringLiteral("Hips,Chest")) << QVariant(QString()) << true;
    QTest::newRow("string-map-data") << QVariant(QStringLiteral("hip=Hips;chest=\"Chest 1\"")) << QVariant(QString())
                                     << true;
    QTest::newRow("string-blanks-non-latin") << QVariant(QStringLiteral("  Größe Ä ")) << QVariant(QString()) << true;
}

void tst_KvApp::settingsRoundTrip()
{
    QFETCH(QVariant, stored);
    QFETCH(QVariant, defaultValue);
    QFETCH(bool, expectedOk);
    const QString key = QStringLiteral("Frame Opt");
    const bool isBool = defaultValue.typeId() == QMetaType::Bool;
    KvAppSettingsMgr *writer = app->getAppSettingsMgr();
    writer->pushPath(QStringLiteral("BVHIO"));
    if (stored.isValid() && isBool)
        writer->setBoolValue(key, stored.toBool());
    else if (stored.isValid())
        writer->setStringValue(key, stored.toString());

    KvAppSettingsMgr reader(writer->fileName());
    reader.pushPath(QStringLiteral("BVHIO"));
    const QVariant expected = expectedOk ? stored : defaultValue;
    bool ok = !expectedOk;
    if (isBool)
        QCOMPARE(reader.getBoolValue(key, defaultValue.toBool(), &ok), expected.toBool());
    else
        QCOMPARE(reader.getStringValue(key, defaultValue.toString(), &ok), expected.toString());
    QCOMPARE(ok, expectedOk);
}

void tst_KvApp::settingsGroups()
{
    KvAppSettingsMgr *settings = app->getAppSettingsMgr();
    settings->popPath();  // nothing pushed: no effect
    settings->pushPath(QStringLiteral("BVHIO"));
    settings->setStringValue(QStringLiteral("walk_DATA"), QStringLiteral("hip=Hips"));
    settings->setStringValue(QStringLiteral("Maps"), QStringLiteral("a"));
    settings->pushPath(QStringLiteral("Inner"));
    QCOMPARE(settings->currentPath(), QStringLiteral("BVHIO/Inner"));
    settings->setBoolValue(QStringLiteral("Maps"), true);
    settings->popPath();
    QCOMPARE(settings->getStringValue(QStringLiteral("Maps"), QString()), QStringLiteral("a"));
    // An empty key must not take the whole group with it.
    settings->removeValue(QStringLiteral("Maps"));
    settings->removeValue(QString());
    QCOMPARE(settings->childKeys(), QStringList{QStringLiteral("walk_DATA")});
    settings->popPath();
    settings->popPath();
    QCOMPARE(settings->currentPath(), QString());
    bool ok = true;
    QCOMPARE(settings->getStringValue(QStringLiteral("Maps"), QStringLiteral("none"), &ok), QStringLiteral("none"));
    QVERIFY(!ok);
    QVERIFY(settings->contains(QStringLiteral("BVHIO/Inner/Maps")));
}

QTEST_MAIN(tst_KvApp)
#include "tst_kvapp.moc"
