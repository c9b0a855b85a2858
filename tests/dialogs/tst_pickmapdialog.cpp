#include "pickmapdialog.h"
#include "storedmaps.h"

#include "bvhstate.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The map picker, driven through its widgets; the caller's side of it
// (bvhio::pickMapName) through the host's dialog handler.
class tst_PickMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void modes_data();
    void modes();
    void handsBackName_data();
    void handsBackName();
    void refusesUnstorableNames_data();
    void refusesUnstorableNames();
    void cancelKeepsCallersName();
    void deletesShownMap_data();
    void deletesShownMap();
    void showsHelp();

private:
    void setMaps(const QString &maps);
    QString maps() const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
};

void tst_PickMapDialog::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    bvhState().currentMapName = QStringLiteral("before");
}

void tst_PickMapDialog::cleanup()
{
    app.reset();
    dir.reset();
}

void tst_PickMapDialog::setMaps(const QString &maps)
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    settings->setStringValue(QStringLiteral("Maps"), maps);
    settings->popPath();
}

QString tst_PickMapDialog::maps() const
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    const QString value = settings->getStringValue(QStringLiteral("Maps"), QStringLiteral("<none>"));
    settings->popPath();
    return value;
}

void tst_PickMapDialog::modes_data()
{
    QTest::addColumn<bool>("saveMode");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("modeButton");
    QTest::addColumn<QString>("acceptButton");
    QTest::newRow("save") << true << "BVH Save Map" << "New" << "Save";
    QTest::newRow("load") << false << "BVH Load Maps" << "Delete" << "Load";
}

void tst_PickMapDialog::modes()
{
    QFETCH(bool, saveMode);
    QFETCH(QString, caption);
    QFETCH(QString, modeButton);
    QFETCH(QString, acceptButton);
    setMaps(QStringLiteral("walk;run;;hidden;"));

    CPickMapDialog picker(saveMode);
    QCOMPARE(picker.windowTitle(), caption);
    QCOMPARE(picker.size(), QSize(300, 80));
    QCOMPARE(picker.minimumSize(), picker.maximumSize());
    QCOMPARE(picker.modeButton->text(), modeButton);
    QCOMPARE(picker.acceptButton->text(), acceptButton);
    QVERIFY(picker.acceptButton->isDefault());
    QStringList buttons;
    for (const QPushButton *button : picker.findChildren<QPushButton *>())
        buttons.append(button->text());
    buttons.sort();
    QStringList expected{modeButton, acceptButton, QStringLiteral("Cancel")};
    expected.sort();
    QCOMPARE(buttons, expected);
    QVERIFY(!picker.mapCombo->isEditable());
    QCOMPARE(picker.mapCombo->count(), 2);
    QCOMPARE(picker.mapCombo->itemText(1), QStringLiteral("run"));
    QCOMPARE(picker.mapCombo->currentText(), QStringLiteral("walk"));
}

void tst_PickMapDialog::handsBackName_data()
{
    QTest::addColumn<bool>("saveMode");
    QTest::addColumn<QString>("maps");
    QTest::addColumn<int>("choose");    // index chosen in the list; -1: none
    QTest::addColumn<QString>("typed");  // after "New"; empty: not pressed
    QTest::addColumn<QString>("name");
    QTest::newRow("save-shown") << true << "walk;run;" << -1 << "" << "walk";
    QTest::newRow("save-chosen") << true << "walk;run;" << 1 << "" << "run";
    QTest::newRow("save-new") << true << "walk;run;" << -1 << "jump" << "jump";
    QTest::newRow("save-new-empty-store") << true << "" << -1 << "first map" << "first map";
    QTest::newRow("load-shown") << false << "walk;run;" << -1 << "" << "walk";
    QTest::newRow("load-chosen") << false << "walk;run;" << 1 << "" << "run";
    QTest::newRow("load-empty-store") << false << "" << -1 << "" << "";
}

void tst_PickMapDialog::handsBackName()
{
    QFETCH(bool, saveMode);
    QFETCH(QString, maps);
    QFETCH(int, choose);
    QFETCH(QString, typed);
    QFETCH(QString, name);
    setMaps(maps);

    kvApp->setDialogHandler([&](QDialog *dialog) {
        auto *picker = qobject_cast<CPickMapDialog *>(dialog);
        if (!picker)
            return int(QDialog::Rejected);
        if (choose >= 0) {
            picker->mapCombo->setCurrentIndex(choose);
            Q_EMIT picker->mapCombo->textActivated(picker->mapCombo->currentText());
        }
        if (!typed.isEmpty()) {
            picker->modeButton->click();
            if (!picker->mapCombo->isEditable())
                return int(QDialog::Rejected);
            picker->mapCombo->lineEdit()->selectAll();
            QTest::keyClicks(picker->mapCombo->lineEdit(), typed);
        }
        picker->acceptButton->click();
        return picker->result();
    });
    QVERIFY(bvhio::pickMapName(saveMode));
    QCOMPARE(bvhState().currentMapName, name);
}

void tst_PickMapDialog::refusesUnstorableNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "walk 2" << true;
    QTest::newRow("semicolon") << "walk;run" << false;
    QTest::newRow("trailing-semicolon") << "walk;" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_PickMapDialog::refusesUnstorableNames()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    CPickMapDialog picker(true);
    QVERIFY(!picker.acceptButton->isEnabled());  // nothing stored, nothing typed
    picker.modeButton->click();
    QVERIFY(picker.mapCombo->isEditable());
    QTest::keyClicks(picker.mapCombo->lineEdit(), typed);
    QCOMPARE(picker.acceptButton->isEnabled(), accepted);

    picker.setResult(QDialog::Rejected);
    picker.saveAndExit();
    QCOMPARE(picker.result() == QDialog::Accepted, accepted);

    // Nor does a host that accepts the picker as built; the caller then
    // keeps its name.
    kvApp->setDialogHandler([&](QDialog *dialog) {
        auto *shown = qobject_cast<CPickMapDialog *>(dialog);
        if (!shown)
            return int(QDialog::Accepted);
        shown->modeButton->click();
        QTest::keyClicks(shown->mapCombo->lineEdit(), typed);
        shown->setResult(QDialog::Rejected);
        shown->accept();
        return shown->result();
    });
    bvhState().currentMapName = QStringLiteral("before");
    QCOMPARE(bvhio::pickMapName(true), accepted);
    QCOMPARE(bvhState().currentMapName, accepted ? typed : QStringLiteral("before"));
}

void tst_PickMapDialog::cancelKeepsCallersName()
{
    setMaps(QStringLiteral("walk;run;"));
    kvApp->setDialogHandler([](QDialog *dialog) {
        auto *picker = qobject_cast<CPickMapDialog *>(dialog);
        if (!picker)
            return int(QDialog::Accepted);
        picker->mapCombo->setCurrentIndex(1);
        Q_EMIT picker->mapCombo->textActivated(picker->mapCombo->currentText());
        // The choice reaches the current map name while the picker is open.
        if (bvhState().currentMapName != QLatin1String("run"))
            return int(QDialog::Accepted);
        picker->reject();
        return picker->result();
    });
    QVERIFY(!bvhio::pickMapName(false));
    QCOMPARE(bvhState().currentMapName, QStringLiteral("before"));
}

void tst_PickMapDialog::deletesShownMap_data()
{
    QTest::addColumn<QString>("maps");
    QTest::addColumn<int>("choose");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("mapsAfter");  // "<none>": key removed
    QTest::addColumn<QStringList>("listed");
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    QTest::newRow("first") << "walk;run;" << 0 << yes << "run;" << QStringList{"run"};
    QTest::newRow("second") << "walk;run;jump;" << 1 << yes << "walk;jump;" << QStringList{"walk", "jump"};
    QTest::newRow("only") << "walk;" << 0 << yes << "<none>" << QStringList();
    QTest::newRow("answer-no") << "walk;run;" << 1 << no << "walk;run;" << QStringList{"walk", "run"};
}

void tst_PickMapDialog::deletesShownMap()
{
    QFETCH(QString, maps);
    QFETCH(int, choose);
    QFETCH(int, answer);
    QFETCH(QString, mapsAfter);
    QFETCH(QStringList, listed);
    setMaps(maps);
    QStringList asked;
    kvApp->setQuestionHandler([&](const QString &title, const QString &text) {
        asked.append(title + QLatin1String(": ") + text);
        return answer;
    });

    CPickMapDialog picker(false);
    picker.mapCombo->setCurrentIndex(choose);
    const QString name = picker.mapCombo->currentText();
    picker.modeButton->click();
    QCOMPARE(asked, QStringList{QStringLiteral("BVH File Importer: Delete map '%1' ?").arg(name)});
    QCOMPARE(this->maps(), mapsAfter);
    QStringList shown;
    for (int i = 0; i < picker.mapCombo->count(); ++i)
        shown.append(picker.mapCombo->itemText(i));
    QCOMPARE(shown, listed);
    // After a delete the first remaining name shows.
    if (answer == QMessageBox::Yes)
        QCOMPARE(picker.mapCombo->currentText(), listed.value(0));
    QCOMPARE(picker.result(), int(QDialog::Rejected));
    QVERIFY(!picker.isVisible());
}

void tst_PickMapDialog::showsHelp()
{
    kvApp->setDocumentationPath(dir->filePath(QStringLiteral("docs/")));
    CPickMapDialog picker(false);
    picker.showHelp();
    QCOMPARE(kvApp->lastShownURL(),
             QLatin1String("file://") + dir->filePath(QStringLiteral("docs")) + QLatin1String("/BVHImportExportREADME.htm"));
}

QTEST_MAIN(tst_PickMapDialog)
#include "tst_pickmapdialog.moc"
