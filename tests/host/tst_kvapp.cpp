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
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A dialog whose accept() may refuse, as dialogs with checks on OK do. Shown
// by mistake, it closes itself, so that the test fails instead of hanging.
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

protected:
    void showEvent(QShowEvent *) override { QTimer::singleShot(0, this, &QDialog::reject); }
};

// Once a box's exec() runs the event loop, describes the message box in front
// ("title: text [buttons] default button over parent") and closes it with key.
void closeNextBox(QString &seen, Qt::Key key)
{
    QTimer::singleShot(0, [&seen, key] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box && box->defaultButton() && box->parentWidget());
        seen = box->windowTitle() + QLatin1String(": ") + box->text();
        for (QAbstractButton *button : box->buttons())
            seen += QLatin1String(" [") + button->text().remove(QLatin1Char('&')) + QLatin1Char(']');
        seen += QLatin1String(" default ") + box->defaultButton()->text().remove(QLatin1Char('&'));
        seen += QLatin1String(" over ") + box->parentWidget()->objectName();
        QTest::keyClick(box, key);
    });
}

} // namespace

class tst_KvApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void batch();
    void handlers();
    void shown();
    void progressCounting();
    void settings_data();
    void settings();
    void settingsGroups();
    void unusableSettingsFile_data();
    void unusableSettingsFile();

private:
    QTemporaryDir dir;
};

// Without a user a dialog is accepted as built: its own accept() runs and
// decides, whatever result it held before. Warnings and questions are logged
// and signalled with their exact title and text; questions take Yes.
void tst_KvApp::batch()
{
    {
        KvApp app(dir.filePath(QStringLiteral("batch.ini")), false);
        QCOMPARE(kvApp, &app);
        QCOMPARE(kvScene, app.getScene());
        ProbeDialog agrees(true);
        ProbeDialog refuses(false);
        refuses.setResult(QDialog::Accepted);
        QCOMPARE(app.execDialog(&agrees), int(QDialog::Accepted));
        QCOMPARE(app.execDialog(&refuses), int(QDialog::Rejected));
        QCOMPARE(agrees.acceptCalls + refuses.acceptCalls, 2);
        QCOMPARE(app.execDialog(nullptr), int(QDialog::Rejected));

        QSignalSpy messages(&app, &KvApp::message);
        const QString text = QStringLiteral("The file could not be opened:\n/tmp/a b.bvh");
        app.warning(QStringLiteral("BVH File Importer"), text);
        QCOMPARE(app.question(QStringLiteral("Maps"), QStringLiteral("Replace <b>walk</b>?")), int(QMessageBox::Yes));
        QCOMPARE(app.messageLog(), (QStringList{QStringLiteral("BVH File Importer: ") + text,
                                                QStringLiteral("Maps: Replace <b>walk</b>?")}));
        QCOMPARE(messages.at(0), (QVariantList{QStringLiteral("BVH File Importer"), text}));
    }
    QCOMPARE(kvApp, nullptr);  // no dangling globals
    QCOMPARE(kvScene, nullptr);
}

// Handlers answer even for an interactive host, which then shows nothing.
void tst_KvApp::handlers()
{
    KvApp app(dir.filePath(QStringLiteral("handlers.ini")), true);
    ProbeDialog dialog(true);
    QDialog *handed = nullptr;
    QStringList asked;
    app.setDialogHandler([&handed](QDialog *d) {
        handed = d;
        return 7;
    });
    app.setQuestionHandler([&asked](const QString &title, const QString &text) {
        asked << title << text;
        return int(QMessageBox::No);
    });
    QCOMPARE(app.execDialog(&dialog), 7);
    QCOMPARE(handed, &dialog);
    QCOMPARE(dialog.acceptCalls, 0);
    QCOMPARE(app.question(QStringLiteral("Maps"), QStringLiteral("Delete walk?")), int(QMessageBox::No));
    QCOMPARE(asked, (QStringList{QStringLiteral("Maps"), QStringLiteral("Delete walk?")}));
}

// An interactive host asks with Yes as the default, over its window, and
// warns over the modal dialog in front.
void tst_KvApp::shown()
{
    QMainWindow window;
    window.setObjectName(QStringLiteral("window"));
    KvApp app(dir.filePath(QStringLiteral("shown.ini")), true);
    app.setInterface(&window);
    QString seen;
    closeNextBox(seen, Qt::Key_Return);
    QCOMPARE(app.question(QStringLiteral("Maps"), QStringLiteral("Delete walk?")), int(QMessageBox::Yes));
    QCOMPARE(seen, QStringLiteral("Maps: Delete walk? [Yes] [No] default Yes over window"));

    QDialog mapping(&window);
    mapping.setObjectName(QStringLiteral("mapping"));
    mapping.setModal(true);
    mapping.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mapping));
    closeNextBox(seen, Qt::Key_Escape);
    app.warning(QStringLiteral("Exporter"), QStringLiteral("Select one."));
    QCOMPARE(seen, QStringLiteral("Exporter: Select one. [OK] default OK over mapping"));
}

void tst_KvApp::progressCounting()
{
    QMainWindow window;
    KvApp app(dir.filePath(QStringLiteral("progress.ini")), false);
    app.setInterface(&window);
    QSignalSpy started(&app, &KvApp::progressStarted);
    QSignalSpy stepped(&app, &KvApp::progressStepped);
    QSignalSpy finished(&app, &KvApp::progressFinished);
    app.stepProgress(1);  // nothing running: ignored
    app.startProgress(QStringLiteral("first"), 10, false, false);
    app.stepProgress(4);
    app.startProgress(QStringLiteral("Reading walk.bvh"), 3, false, false);
    QVERIFY(window.findChildren<QProgressDialog *>().isEmpty());  // nobody to show it to
    QCOMPARE(finished.count(), 1);  // the first one was closed
    QCOMPARE(started.at(1), (QVariantList{QStringLiteral("Reading walk.bvh"), 3}));
    for (int i = 0; i < 5; ++i)
        app.stepProgress(1);
    QCOMPARE(app.progressValue(), 5);  // beyond the total, still counted
    QCOMPARE(stepped.count(), 6);
    QCOMPARE(stepped.at(5), (QVariantList{5, 3}));
    app.finishProgress();
    app.finishProgress();
    QVERIFY(!app.isProgressActive());
    QCOMPARE(finished.count(), 2);
}

// Written through the host's manager, read at once by a second one on the same
// file. An invalid "stored" is never written; a bool default reads a bool.
void tst_KvApp::settings_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::newRow("bool-absent") << QVariant() << QVariant(true);
    QTest::newRow("bool-false") << QVariant(false) << QVariant(true);
    QTest::newRow("string-absent") << QVariant() << QVariant(QStringLiteral("d"));
    // INI pitfalls: commas read back as a list; '=', ';' and quotes need escaping.
    QTest::newRow("string-commas") << QVariant(QStringLiteral("Hips,Chest")) << QVariant(QString());
    QTest::newRow("string-map-data") << QVariant(QStringLiteral("hip=Hips;chest=\"Chest 1\"")) << QVariant(QString());
    QTest::newRow("string-blanks-non-latin") << QVariant(QStringLiteral("  Größe Ä ")) << QVariant(QString());
}

void tst_KvApp::settings()
{
    QFETCH(QVariant, stored);
    QFETCH(QVariant, defaultValue);
    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QLatin1String(".ini"));
    const QString key = QStringLiteral("Frame Opt");
    const bool isBool = defaultValue.typeId() == QMetaType::Bool;
    KvApp app(path, false);
    KvAppSettingsMgr *writer = app.getAppSettingsMgr();
    QCOMPARE(writer->fileName(), path);
    writer->pushPath(QStringLiteral("BVHIO"));
    if (stored.isValid() && isBool)
        writer->setBoolValue(key, stored.toBool());
    else if (stored.isValid())
        writer->setStringValue(key, stored.toString());

    QFile file(path);  // on disk at once, for other processes too
    QVERIFY(!stored.isValid() || (file.open(QIODevice::ReadOnly) && file.readAll().contains("[BVHIO]")));
    KvAppSettingsMgr reader(path);
    reader.pushPath(QStringLiteral("BVHIO"));
    const QVariant expected = stored.isValid() ? stored : defaultValue;
    bool ok = !stored.isValid();
    if (isBool)
        QCOMPARE(reader.getBoolValue(key, defaultValue.toBool(), &ok), expected.toBool());
    else
        QCOMPARE(reader.getStringValue(key, defaultValue.toString(), &ok), expected.toString());
    QCOMPARE(ok, stored.isValid());
}

void tst_KvApp::settingsGroups()
{
    KvAppSettingsMgr settings(dir.filePath(QStringLiteral("groups.ini")));
    settings.popPath();  // nothing pushed: no effect
    settings.pushPath(QStringLiteral("BVHIO"));
    settings.setStringValue(QStringLiteral("walk_DATA"), QStringLiteral("hip=Hips"));
    settings.setStringValue(QStringLiteral("Maps"), QStringLiteral("a"));
    settings.pushPath(QStringLiteral("Inner"));
    QCOMPARE(settings.currentPath(), QStringLiteral("BVHIO/Inner"));
    settings.setBoolValue(QStringLiteral("Maps"), true);
    settings.popPath();
    QCOMPARE(settings.getStringValue(QStringLiteral("Maps"), QString()), QStringLiteral("a"));
    // An empty key must not take the whole group with it.
    settings.removeValue(QStringLiteral("Maps"));
    settings.removeValue(QString());
    QCOMPARE(settings.childKeys(), QStringList{QStringLiteral("walk_DATA")});
    settings.popPath();
    settings.popPath();
    QCOMPARE(settings.currentPath(), QString());
    bool ok = true;
    QCOMPARE(settings.getStringValue(QStringLiteral("Maps"), QStringLiteral("none"), &ok), QStringLiteral("none"));
    QVERIFY(!ok);
    QVERIFY(settings.contains(QStringLiteral("BVHIO/Inner/Maps")));
    QVERIFY(KvApp::defaultSettingsFile().endsWith(QLatin1String("/kvbvh/kvbvh.ini")));
}

void tst_KvApp::unusableSettingsFile_data()
{
    QTest::addColumn<QByteArray>("text");  // of the file; empty: the path is a folder
    QTest::addColumn<QString>("problem");
    QTest::newRow("unparseable") << QByteArray("[BVHIO\nMaps=walk;\n") << "cannot be parsed";
    QTest::newRow("binary") << QByteArray("\x01\x02\xff\xfe garbage\n") << "cannot be parsed";
    QTest::newRow("a-folder") << QByteArray() << "cannot be read";
}

// Left as it is, said once: the defaults hold, changes last for the session.
void tst_KvApp::unusableSettingsFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QLatin1String(".ini"));
    QFile file(path);
    QVERIFY(text.isEmpty() ? QDir().mkdir(path) : file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QRegularExpression::escape(path + QLatin1Char(' ') + problem)
                                                           + QLatin1String(": the default settings are in force")));
    {
        KvApp app(path, false);
        KvAppSettingsMgr *settings = app.getAppSettingsMgr();
        QCOMPARE(settings->fileName(), path);
        QVERIFY(settings->unusableReason().contains(problem));
        settings->pushPath(QStringLiteral("BVHIO"));
        QCOMPARE(settings->getStringValue(QStringLiteral("Maps"), QStringLiteral("none")), QStringLiteral("none"));
        settings->setStringValue(QStringLiteral("Maps"), QStringLiteral("run;"));
        QCOMPARE(settings->getStringValue(QStringLiteral("Maps"), QString()), QStringLiteral("run;"));
    }
    QCOMPARE(QFileInfo(path).isDir(), text.isEmpty());
    QVERIFY(text.isEmpty() || (file.open(QIODevice::ReadOnly) && file.readAll() == text));
    QCOMPARE(QDir(dir.path()).entryList({QString::fromLatin1(QTest::currentDataTag()) + QLatin1Char('*')}),
             QStringList{path.section(QLatin1Char('/'), -1)});
}

QTEST_MAIN(tst_KvApp)
#include "tst_kvapp.moc"
