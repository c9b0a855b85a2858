#include "pickmapdialog.h"
#include "storedmaps.h"

#include "bvhfixture.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>

// The map picker driven through its widgets while the caller
// (bvhio::pickMapName) runs it through the host's dialog handler.
class tst_PickMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void picks_data();
    void picks();
    void showsHelp();
};

void tst_PickMapDialog::picks_data()
{
    QTest::addColumn<bool>("saveMode");
    QTest::addColumn<QStringList>("steps");  // in the open picker, in order
    QTest::addColumn<QStringList>("seen");   // after the picker's caption, buttons and list, what the steps saw
    QTest::addColumn<QString>("name");       // the caller's map name afterwards; "before": rejected
    QTest::newRow("save-shown") << true << QStringList{"save"} << QStringList() << "walk";
    QTest::newRow("save-new") << true << QStringList{"new:jump", "save"} << QStringList{"jump, Save on"} << "jump";
    // Neither the button nor a host that accepts the picker as built takes a
    // name that cannot be listed again.
    QTest::newRow("save-semicolon") << true << QStringList{"new:walk;run", "save", "host-accepts"}
                                    << QStringList{"walk;run, Save off"} << "before";
    QTest::newRow("save-empty") << true << QStringList{"new:", "save", "host-accepts"} << QStringList{", Save off"}
                                << "before";
    QTest::newRow("load-chosen") << false << QStringList{"choose:1", "host-accepts"} << QStringList{"run"} << "run";
    // The choice reaches the caller's name at once; Cancel puts it back.
    QTest::newRow("load-cancelled") << false << QStringList{"choose:1", "cancel"} << QStringList{"run"} << "before";
    QTest::newRow("delete-yes") << false << QStringList{"choose:1", "delete:yes", "cancel"}
                                << QStringList{"run", "BVH File Importer: Delete map 'run' ? -> walk; listing walk"}
                                << "before";
    QTest::newRow("delete-no") << false << QStringList{"choose:1", "delete:no", "cancel"}
                               << QStringList{"run", "BVH File Importer: Delete map 'run' ? -> walk;run;;hidden; "
                                                     "listing walk run"} << "before";
}

void tst_PickMapDialog::picks()
{
    QFETCH(bool, saveMode);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, seen);
    QFETCH(QString, name);
    const kvtest::TestHost host;
    kvtest::setStored(QStringLiteral("Maps"), QStringLiteral("walk;run;;hidden;"));
    bvhState().currentMapName = QStringLiteral("before");
    QStringList saw;
    kvApp->setDialogHandler([&](QDialog *dialog) {
        auto *picker = qobject_cast<CPickMapDialog *>(dialog);
        if (!picker)
            return int(QDialog::Rejected);
        const auto listed = [picker] {
            QStringList names;
            for (int i = 0; i < picker->mapCombo->count(); ++i)
                names.append(picker->mapCombo->itemText(i));
            return names.join(QLatin1Char(' '));
        };
        saw << picker->windowTitle() + QLatin1Char(' ') + picker->modeButton->text() + QLatin1Char(' ')
                   + picker->acceptButton->text() + QLatin1String(": ") + listed();
        for (const QString &step : steps) {
            const QString arg = step.section(QLatin1Char(':'), 1);
            if (step.startsWith(QLatin1String("choose"))) {
                picker->mapCombo->setCurrentIndex(arg.toInt());
                Q_EMIT picker->mapCombo->textActivated(picker->mapCombo->currentText());
                saw << bvhState().currentMapName;
            } else if (step.startsWith(QLatin1String("new"))) {
                picker->modeButton->click();
                picker->mapCombo->lineEdit()->clear();
                QTest::keyClicks(picker->mapCombo->lineEdit(), arg);
                saw << bvhState().currentMapName + QLatin1String(", Save ")
                           + QLatin1String(picker->acceptButton->isEnabled() ? "on" : "off");
            } else if (step.startsWith(QLatin1String("delete"))) {
                const int answer = arg == QLatin1String("yes") ? QMessageBox::Yes : QMessageBox::No;
                kvApp->setQuestionHandler([answer](const QString &, const QString &) { return answer; });
                picker->modeButton->click();
                saw << kvApp->messageLog().join(QLatin1Char('|')) + QLatin1String(" -> ") + kvtest::stored("Maps")
                           + QLatin1String(" listing ") + listed();
            } else if (step == QLatin1String("save")) {
                picker->saveAndExit();
            } else {
                step == QLatin1String("cancel") ? picker->cancelButton->click() : picker->accept();
            }
        }
        return picker->result();
    });
    QCOMPARE(bvhio::pickMapName(saveMode), name != QLatin1String("before"));
    QCOMPARE(bvhState().currentMapName, name);
    QCOMPARE(saw.mid(1), seen);
    QCOMPARE(saw.value(0), saveMode ? QStringLiteral("BVH Save Map New Save: walk run")
                                    : QStringLiteral("BVH Load Maps Delete Load: walk run"));
}

void tst_PickMapDialog::showsHelp()
{
    const kvtest::TestHost host;
    kvApp->setDocumentationPath(QStringLiteral("/opt/kv/docs/"));
    CPickMapDialog(false).showHelp();
    QCOMPARE(kvApp->lastShownURL(), QStringLiteral("file:///opt/kv/docs/BVHImportExportREADME.htm"));
}

QTEST_MAIN(tst_PickMapDialog)
#include "tst_pickmapdialog.moc"
