#include "bvhin.h"
#include "bvhout.h"
#include "bvhstate.h"
#include "expmapdialog.h"
#include "exportfixture.h"
#include "exportoptions.h"
#include "impmapdialog.h"
#include "pickmapdialog.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// Stored maps seen from the export side: the export dialog's Load Map and
// Save Map, a map passed between the two mapping dialogs, and batch exports
// that name a map and the Second Life option for one run.
class tst_ExportMaps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void saveAndLoadMap();
    void exportMapInImportDialog();
    void batchExport_data();
    void batchExport();

private:
    void setStored(const QString &key, const QVariant &value);
    QString stored(const QString &key) const;  // "-" when absent
    static CSkelHeader *skelRecord(const QString &name);
    // Scripts the map picker: saves under name (typed after "New") or loads
    // name; answers the overwrite question with answer.
    void scriptPicker(const QString &name, int answer = QMessageBox::Yes);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
    KvSkeleton *figure = nullptr;
    QStringList questions;
};

//   figure ── hip ─┬─ abdomen ── chest     abdomen is labelled "Tummy"
//                  └─ lThigh
void tst_ExportMaps::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    figure = exporttest::figure(QStringLiteral("figure"), {"hip:", "abdomen:hip", "chest:abdomen", "lThigh:hip"})
                 .release();
    QVERIFY(figure);
    figure->findBone(QStringLiteral("abdomen"))->setLabel(QStringLiteral("Tummy"));
    kvScene->addNode(figure);
    kvScene->selectNode(figure->findBone(QStringLiteral("chest")));
    bvhState().targetSkeleton = figure;
    bvhState().currentFileName = QStringLiteral("out.bvh");
    questions.clear();
}

void tst_ExportMaps::cleanup()
{
    bvhState().clearLists();
    bvhState().targetSkeleton = nullptr;
    secondLifeOption = false;
    app.reset();
    dir.reset();
}

void tst_ExportMaps::setStored(const QString &key, const QVariant &value)
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    if (value.typeId() == QMetaType::Bool)
        settings->setBoolValue(key, value.toBool());
    else
        settings->setStringValue(key, value.toString());
    settings->popPath();
}

QString tst_ExportMaps::stored(const QString &key) const
{
    const QSettings file(dir->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    const QVariant value = file.value(QStringLiteral("BVHIO/") + key);
    return value.isValid() ? value.toString() : QStringLiteral("-");
}

CSkelHeader *tst_ExportMaps::skelRecord(const QString &name)
{
    for (CSkelHeader *r : bvhState().skeletonList) {
        if (r->name == name)
            return r;
    }
    return nullptr;
}

void tst_ExportMaps::scriptPicker(const QString &name, int answer)
{
    kvApp->setDialogHandler([name](QDialog *dialog) {
        auto *picker = qobject_cast<CPickMapDialog *>(dialog);
        if (!picker)
            return int(QDialog::Rejected);
        if (picker->saveMode) {
            picker->modeButton->click();
            picker->mapCombo->setEditText(name);
        } else {
            picker->mapCombo->setCurrentIndex(picker->mapCombo->findText(name));
        }
        picker->acceptButton->click();
        return picker->result();
    });
    kvApp->setQuestionHandler([this, answer](const QString &title, const QString &text) {
        questions.append(title + QLatin1String(": ") + text);
        return answer;
    });
}

void tst_ExportMaps::saveAndLoadMap()
{
    {
        CExpMapDialog dialog;
        // Renamed through the tree; lThigh switched off, which maps ignore.
        skelRecord(QStringLiteral("hip"))->listItem->setText(CExpMapDialog::FileNameColumn, QStringLiteral("Hips"));
        dialog.colClickedList1(skelRecord(QStringLiteral("lThigh"))->listItem, CExpMapDialog::ExportColumn);
        scriptPicker(QStringLiteral("walk"));
        for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
            if (button->text() == QLatin1String("Save Map"))
                button->click();
        }
    }
    QCOMPARE(stored(QStringLiteral("Maps")), QStringLiteral("walk;"));
    QCOMPARE(stored(QStringLiteral("walk_DATA")), QStringLiteral("Hips=hip;abdomen=abdomen;chest=chest;lThigh=lThigh;"));

    // Saving over it asks; No keeps the stored data.
    bvhState().clearLists();
    {
        CExpMapDialog dialog;
        scriptPicker(QStringLiteral("walk"), QMessageBox::No);
        dialog.saveMapFile();
    }
    QCOMPARE(questions, QStringList{QStringLiteral("BVH File Importer: Overwrite map 'walk'?")});
    QCOMPARE(stored(QStringLiteral("walk_DATA")), QStringLiteral("Hips=hip;abdomen=abdomen;chest=chest;lThigh=lThigh;"));

    // Loading renames the bones it names and shows the stored option again.
    bvhState().clearLists();
    CExpMapDialog dialog;
    // A bone named twice takes the later name.
    setStored(QStringLiteral("walk_DATA"), QStringLiteral("Hips=hip;Top=chest;Other=nobody;Chest=chest;"));
    setStored(QStringLiteral("Second Life Opt"), true);
    QVERIFY(!dialog.secondLifeBox->isChecked());
    scriptPicker(QStringLiteral("walk"));
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Load Map"))
            button->click();
    }
    QStringList labels;
    for (const CSkelHeader *r : bvhState().skeletonList)
        labels.append(r->label + QLatin1Char('|') + r->listItem->text(CExpMapDialog::FileNameColumn));
    QCOMPARE(labels, (QStringList{"Hips|Hips", "abdomen|abdomen", "Chest|Chest", "lThigh|lThigh"}));
    QVERIFY(dialog.secondLifeBox->isChecked());
    QVERIFY(secondLifeOption);
    QCOMPARE(bvhState().skeletonList.count(), 4);
}

// A map saved by the export dialog pairs file names with bone names; the
// import dialog knows bones by their labels, so it applies only where the
// two agree (abdomen, labelled "Tummy", is skipped).
void tst_ExportMaps::exportMapInImportDialog()
{
    {
        CExpMapDialog dialog;
        const char *const renames[][2] = {{"hip", "Root"}, {"abdomen", "Mid"}, {"chest", "Top"}, {"lThigh", "Leg"}};
        for (const auto &rename : renames)
            dialog.renameTname(skelRecord(QString::fromLatin1(rename[0]))->listItem, CExpMapDialog::FileNameColumn,
                               QString::fromLatin1(rename[1]));
        scriptPicker(QStringLiteral("shared"));
        dialog.saveMapFile();
    }
    QCOMPARE(stored(QStringLiteral("shared_DATA")), QStringLiteral("Root=hip;Mid=abdomen;Top=chest;Leg=lThigh;"));
    bvhState().clearLists();

    // Root ─┬─ Mid ── Top        none of the names fits a bone label
    //       └─ Leg
    const QByteArray text =
        "HIERARCHY\nROOT Root\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
        "JOINT Mid\n{\nOFFSET 0 5 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n"
        "JOINT Top\n{\nOFFSET 0 5 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET 0 5 0\n}\n}\n}\n"
        "JOINT Leg\n{\nOFFSET 2 -5 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET 0 -5 0\n}\n}\n"
        "}\nMOTION\nFrames: 1\nFrame Time: 0.0333333\n";
    CBvhIn in;
    in.collectSkeletonBones(figure->getNodeChild(0), 1);
    in.resetParseState();
    for (const QString &line : QString::fromLatin1(text).split(QLatin1Char('\n'))) {
        if (!in.inHierarchy)
            break;
        in.parseLine(line);
    }
    in.completeMapping();
    CImpMapDialog dialog(false);
    const auto mapping = [] {
        QStringList parts;
        for (const CBvhHeader *r : bvhState().jointList) {
            if (r->type == Joint)
                parts.append(r->name + QLatin1Char(':') + (r->mappedNode ? r->mappedNode->getName() : QString()));
        }
        return parts;
    };
    QCOMPARE(mapping(), (QStringList{"Root:hip", "Mid:", "Top:", "Leg:"}));

    scriptPicker(QStringLiteral("shared"));
    dialog.loadMapFile();
    QCOMPARE(mapping(), (QStringList{"Root:hip", "Mid:", "Top:chest", "Leg:lThigh"}));
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->name == QLatin1String("Top"))
            QCOMPARE(r->mappedName, QStringLiteral("chest"));
    }
}

void tst_ExportMaps::batchExport_data()
{
    QTest::addColumn<bool>("storedOption");
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<bool>("referenceFrame");
    QTest::addColumn<QString>("root");
    QTest::newRow("stored-off") << false << QVariantMap() << false << "hip";
    QTest::newRow("stored-on") << true << QVariantMap() << true << "hip";
    QTest::newRow("run-on") << false << QVariantMap{{"Second Life Opt", true}} << true << "hip";
    QTest::newRow("run-off") << true << QVariantMap{{"Second Life Opt", false}} << false << "hip";
    QTest::newRow("run-map") << false << QVariantMap{{"Map", "walk"}} << false << "Hips";
    QTest::newRow("run-map-and-option") << false << QVariantMap{{"Map", "walk"}, {"Second Life Opt", "true"}} << true
                                        << "Hips";
    QTest::newRow("unknown-map") << false << QVariantMap{{"Map", "none"}} << false << "hip";
}

// A non-interactive host accepts the export dialog as built, with what the
// run's settings asked for; nothing of it is stored.
void tst_ExportMaps::batchExport()
{
    QFETCH(bool, storedOption);
    QFETCH(QVariantMap, settings);
    QFETCH(bool, referenceFrame);
    QFETCH(QString, root);
    setStored(QStringLiteral("Second Life Opt"), storedOption);
    setStored(QStringLiteral("Maps"), QStringLiteral("walk;"));
    setStored(QStringLiteral("walk_DATA"), QStringLiteral("Hips=hip;"));
    kvScene->setTimeStep(160);
    kvScene->setAnimRange(KvTimeRange(0, 10 * 160));
    const QString path = dir->filePath(QStringLiteral("out.bvh"));

    KvFileIOSettings ioSettings;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        ioSettings.setValue(it.key(), it.value());
    CBvhOut out;
    QCOMPARE(out.write(path, ioSettings), 1);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(1), QStringLiteral("ROOT ") + root);
    const qsizetype frames = lines.indexOf(QRegularExpression(QStringLiteral("^Frames:\t.*")));
    QVERIFY(frames > 0);
    QCOMPARE(lines.at(frames), QStringLiteral("Frames:\t%1").arg(referenceFrame ? 11 : 10));
    QCOMPARE(lines.size() - frames - 2, referenceFrame ? 11 : 10);
    QCOMPARE(stored(QStringLiteral("Second Life Opt")), storedOption ? QStringLiteral("true") : QStringLiteral("false"));
    QCOMPARE(stored(QStringLiteral("Maps")), QStringLiteral("walk;"));
}

QTEST_MAIN(tst_ExportMaps)
#include "tst_exportmaps.moc"
