#include "pickmapdialog.h"
#include "storedmaps.h"

#include "bvhfixture.h"

#include <QComboBox>
#include <QMessageBox>
#include <QtTest>

// The map picker on the stored "walk;run;;hidden;", driven while bvhio::pickMapName runs it.
class tst_PickMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void picks_data();
    void picks();
};

void tst_PickMapDialog::picks_data()
{
    QTest::addColumn<bool>("saveMode");
    QTest::addColumn<QStringList>("steps");  // in the open picker, in order
    QTest::addColumn<QStringList>("seen");   // what the steps saw
    QTest::addColumn<QString>("name");       // the caller's map name afterwards; "before": rejected
    QTest::newRow("save-new") << true << QStringList{"new:jump", "save"} << QStringList{"jump, Save on"} << "jump";
    // Neither Save nor a host that accepts unseen takes a name that cannot be listed again.
    QTest::newRow("save-semicolon") << true << QStringList{"new:a;b", "save", "host-accepts"} << QStringList{"a;b, Save off"} << "before";
    QTest::newRow("save-empty") << true << QStringList{"new:", "save", "host-accepts"} << QStringList{", Save off"} << "before";
    QTest::newRow("load-chosen") << false << QStringList{"choose-run", "host-accepts"} << QStringList{"run"} << "run";
    // The choice reaches the caller's name at once; Cancel puts it back.
    QTest::newRow("load-cancelled") << false << QStringList{"choose-run", "cancel"} << QStringList{"run"} << "before";
    // Deleting the map shown rewrites the list as read (up to the empty field) and lists it again.
    QTest::newRow("delete-yes") << false << QStringList{"delete:yes", "cancel"} << QStringList{"run; 1"} << "before";
    QTest::newRow("delete-no") << false << QStringList{"delete:no", "cancel"} << QStringList{"walk;run;;hidden; 2"} << "before";
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
    kvApp->setQuestionHandler([&](const QString &, const QString &) { return steps.contains("delete:yes") ? QMessageBox::Yes : QMessageBox::No; });
    QStringList saw;
    kvApp->setDialogHandler([&](QDialog *dialog) {
        auto *picker = qobject_cast<CPickMapDialog *>(dialog);
        for (const QString &step : steps) {
            if (step == QLatin1String("choose-run")) {
                picker->mapCombo->setCurrentIndex(1);
                Q_EMIT picker->mapCombo->textActivated(picker->mapCombo->currentText());
                saw << bvhState().currentMapName;
            } else if (step.startsWith(QLatin1String("new"))) {
                picker->modeButton->click();
                picker->mapCombo->setEditText(step.section(QLatin1Char(':'), 1));
                saw << bvhState().currentMapName + QLatin1String(", Save ") + QLatin1String(picker->acceptButton->isEnabled() ? "on" : "off");
            } else if (step.startsWith(QLatin1String("delete"))) {
                picker->modeButton->click();
                saw << kvtest::stored("Maps") + QLatin1Char(' ') + QString::number(picker->mapCombo->count());
            } else if (step == QLatin1String("host-accepts")) {
                picker->accept();
            } else {
                (step == QLatin1String("save") ? picker->acceptButton : picker->cancelButton)->click();
            }
        }
        return picker->result();
    });
    QCOMPARE(bvhio::pickMapName(saveMode), name != QLatin1String("before"));
    QCOMPARE(bvhState().currentMapName, name);
    QCOMPARE(saw, seen);
}

QTEST_MAIN(tst_PickMapDialog)
#include "tst_pickmapdialog.moc"
