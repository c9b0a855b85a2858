#include "kvapp.h"

#include "kvappsettingsmgr.h"
#include "kvscene.h"

#include <QDialog>
#include <QMessageBox>
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

} // namespace

class tst_KvApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void batch();
    void settings();
    void unusableSettingsFile_data();
    void unusableSettingsFile();

private:
    QTemporaryDir dir;
};

// Without a user a dialog is accepted as built: its own accept() runs and
// decides, whatever result it held before; questions take Yes. A new
// progress closes the one running; steps beyond the total still count.
void tst_KvApp::batch()
{
    {
        KvApp app(dir.filePath(QStringLiteral("batch.ini")), false);
        ProbeDialog agrees(true);
        ProbeDialog refuses(false);
        refuses.setResult(QDialog::Accepted);
        QCOMPARE(app.execDialog(&agrees), int(QDialog::Accepted));
        QCOMPARE(app.execDialog(&refuses), int(QDialog::Rejected));
        QCOMPARE(agrees.acceptCalls + refuses.acceptCalls, 2);
        QCOMPARE(app.question(QStringLiteral("Maps"), QStringLiteral("Replace walk?")), int(QMessageBox::Yes));

        QSignalSpy finished(&app, &KvApp::progressFinished);
        app.startProgress(QStringLiteral("first"), 10, false, false);
        app.stepProgress(4);
        app.startProgress(QStringLiteral("Reading walk.bvh"), 3, false, false);
        QCOMPARE(finished.count(), 1);
        for (int i = 0; i < 5; ++i)
            app.stepProgress(1);
        QCOMPARE(app.progressValue(), 5);
        app.finishProgress();
        app.finishProgress();
        QCOMPARE(finished.count(), 2);
    }
    QCOMPARE(kvApp, nullptr);  // no dangling globals
    QCOMPARE(kvScene, nullptr);
}

// On disk at once for other processes and read back by another manager:
// values INI mangles unless escaped (commas read back as a list; '=', ';',
// quotes), a bool, keys an empty key's removal must not take along, none.
void tst_KvApp::settings()
{
    const QString path = dir.filePath(QStringLiteral("store.ini"));
    const QStringList values{"Hips,Chest", "hip=Hips;chest=\"Chest 1\"", "  Größe Ä "};
    KvApp app(path, false);
    KvAppSettingsMgr *writer = app.getAppSettingsMgr();
    writer->pushPath(QStringLiteral("BVHIO"));
    for (int i = 0; i < values.size(); ++i)
        writer->setStringValue(QString::number(i), values[i]);
    writer->setBoolValue(QStringLiteral("Frame Opt"), false);
    writer->removeValue(QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains("[BVHIO]"));

    KvAppSettingsMgr reader(path);
    reader.pushPath(QStringLiteral("BVHIO"));
    bool ok = false;
    for (int i = 0; i < values.size(); ++i)
        QCOMPARE(reader.getStringValue(QString::number(i), QString()), values[i]);
    QVERIFY(!reader.getBoolValue(QStringLiteral("Frame Opt"), true, &ok) && ok);
    QCOMPARE(reader.getStringValue(QStringLiteral("Maps"), QStringLiteral("none"), &ok), QStringLiteral("none"));
    QVERIFY(!ok);
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
        settings->pushPath(QStringLiteral("BVHIO"));
        QCOMPARE(settings->getStringValue(QStringLiteral("Maps"), QStringLiteral("none")), QStringLiteral("none"));
        settings->setStringValue(QStringLiteral("Maps"), QStringLiteral("run;"));
        QCOMPARE(settings->getStringValue(QStringLiteral("Maps"), QString()), QStringLiteral("run;"));
    }
    QCOMPARE(QFileInfo(path).isDir(), text.isEmpty());
    QVERIFY(text.isEmpty() || (file.open(QIODevice::ReadOnly) && file.readAll() == text));
}

QTEST_MAIN(tst_KvApp)
#include "tst_kvapp.moc"
