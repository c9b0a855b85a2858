#include "impmapdialog.h"
#include "pickmapdialog.h"

#include "bvhin.h"
#include "bvhstate.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvscene.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWhatsThis>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

//   figure ── hip ─┬─ abdomen ── chest ── neck
//                  └─ lThigh ── lShin
// The file has the same joints, each named after its bone: every joint is
// matched by name. The root has six channels, every other joint three.
const char *const figureBones[][2] = {{"hip", ""},       {"abdomen", "hip"}, {"chest", "abdomen"},
                                      {"neck", "chest"}, {"lThigh", "hip"},  {"lShin", "lThigh"}};

QByteArray joint(const char *name, int depth, const QByteArray &children)
{
    const QByteArray channels = depth == 0 ? "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                                           : "CHANNELS 3 Zrotation Xrotation Yrotation\n";
    const QByteArray body = children.isEmpty() ? QByteArray("End Site\n{\nOFFSET 0 5 0\n}\n") : children;
    return QByteArray(depth == 0 ? "ROOT " : "JOINT ") + name + "\n{\nOFFSET 0 5 0\n" + channels + body + "}\n";
}

const QByteArray hierarchy =
    "HIERARCHY\n"
    + joint("hip", 0, joint("abdomen", 1, joint("chest", 2, joint("neck", 3, {}))) + joint("lThigh", 1, joint("lShin", 2, {})))
    + "MOTION\nFrames: 1\nFrame Time: 0.0333333\n";

const QStringList jointNames{"hip", "abdomen", "chest", "neck", "lThigh", "lShin"};

} // namespace

// The import mapping dialog on a joint list read from a file and a figure
// in the scene, driven through its widgets; never exec'd.
class tst_ImpMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void checkMarksOnOpen_data();
    void checkMarksOnOpen();
    void jointSelectsBone_data();
    void jointSelectsBone();
    void boneRemapsJoint_data();
    void boneRemapsJoint();
    void checkMarksSpread_data();
    void checkMarksSpread();
    void pressVersusToggle_data();
    void pressVersusToggle();
    void optionsOnOpen_data();
    void optionsOnOpen();
    void optionClicksStored_data();
    void optionClicksStored();
    void detailsToggle();
    void labels_data();
    void labels();
    void whatsThis();
    void saveAndLoadMap();
    void batchImport_data();
    void batchImport();

private:
    // Reads the file's hierarchy into the joint list, matched against the
    // figure, then applies "joint=bone" edits (empty bone: unmapped) and
    // switches the listed joints off.
    void readFile(const QStringList &edits = {}, const QStringList &switchedOff = {});
    static QList<CBvhHeader *> records(const QString &joint);
    static CBvhHeader *jointRecord(const QString &joint) { return records(joint).value(0); }
    static QTreeWidgetItem *boneItem(const QString &bone);
    KvNode *bone(const QString &name) const { return figure->findBone(name); }
    // "joint:bone" for every joint; "!" marks a channel record that differs
    // from its joint.
    static QString mappingSummary();
    // The joints whose check mark is on.
    static QStringList checkedJoints();
    // The joints whose records all have applyChannel off.
    static QStringList switchedOffJoints();
    static QString treeSummary(const QTreeWidgetItem *item);
    void setStored(const QString &key, const QVariant &value);
    QString stored(const QString &key) const;  // "-" when absent
    static void showDetails(CImpMapDialog &dialog);
    static QPoint checkBoxCenter(QTreeWidget *list, QTreeWidgetItem *item);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
    KvSkeleton *figure = nullptr;
};

void tst_ImpMapDialog::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    desc.label = QStringLiteral("Figure");
    for (const auto &b : figureBones) {
        desc.bones.emplace_back();
        desc.bones.back().name = QString::fromLatin1(b[0]);
        desc.bones.back().parent = QString::fromLatin1(b[1]);
        desc.bones.back().endPoint = KvVec3(0, 5, 0);
    }
    figure = KvFigureBuilder::build(desc).release();
    QVERIFY(figure);
    kvScene->addNode(figure);
    bvhState().targetSkeleton = figure;
    bvhState().currentFileName = QStringLiteral("walk.bvh");
    bvhState().currentMapName = QStringLiteral("before");
}

void tst_ImpMapDialog::cleanup()
{
    CBvhIn::setMappingDialog(nullptr);
    bvhState().clearLists();
    bvhState().targetSkeleton = nullptr;
    frameOption = true;
    inPlaceOption = false;
    limitsOption = false;
    app.reset();
    dir.reset();
}

void tst_ImpMapDialog::readFile(const QStringList &edits, const QStringList &switchedOff)
{
    CBvhIn in;
    in.collectSkeletonBones(figure->getNodeChild(0), 1);
    in.resetParseState();
    for (const QString &line : QString::fromLatin1(hierarchy).split(QLatin1Char('\n'))) {
        if (!in.inHierarchy)
            break;
        in.parseLine(line);
    }
    in.completeMapping();
    for (const QString &edit : edits) {
        KvNode *node = bone(edit.section(QLatin1Char('='), 1));
        for (CBvhHeader *r : records(edit.section(QLatin1Char('='), 0, 0))) {
            r->mappedNode = node;
            r->mappedName = node ? node->getLabel() : QString();
        }
    }
    for (const QString &name : switchedOff) {
        for (CBvhHeader *r : records(name))
            r->applyChannel = false;
    }
}

QList<CBvhHeader *> tst_ImpMapDialog::records(const QString &joint)
{
    QList<CBvhHeader *> found;
    for (CBvhHeader *r : bvhState().jointList) {
        if (r->name == joint)
            found.append(r);
    }
    return found;
}

QTreeWidgetItem *tst_ImpMapDialog::boneItem(const QString &bone)
{
    for (const CSkelHeader *r : bvhState().skeletonList) {
        if (r->name == bone)
            return r->listItem;
    }
    return nullptr;
}

QString tst_ImpMapDialog::mappingSummary()
{
    QStringList parts;
    for (const QString &name : jointNames) {
        const QList<CBvhHeader *> all = records(name);
        const CBvhHeader *head = all.value(0);
        QString text = name + QLatin1Char(':') + (head->mappedNode ? head->mappedNode->getName() : QString());
        for (const CBvhHeader *r : all) {
            if (r->mappedNode != head->mappedNode || r->mappedName != head->mappedName
                || (r->figureItem && r->figureItem != head->figureItem)) {
                text += QLatin1Char('!');
                break;
            }
        }
        // The joint's figure item is its bone's item, or none when unmapped.
        if (head->figureItem != (head->mappedNode ? boneItem(head->mappedNode->getName()) : nullptr))
            text += QLatin1Char('?');
        parts.append(text);
    }
    return parts.join(QLatin1Char(' '));
}

QStringList tst_ImpMapDialog::checkedJoints()
{
    QStringList on;
    for (const QString &name : jointNames) {
        if (jointRecord(name)->fileItem->checkState(0) == Qt::Checked)
            on.append(name);
    }
    return on;
}

QStringList tst_ImpMapDialog::switchedOffJoints()
{
    QStringList off;
    for (const QString &name : jointNames) {
        const QList<CBvhHeader *> all = records(name);
        if (std::all_of(all.begin(), all.end(), [](const CBvhHeader *r) { return !r->applyChannel; }))
            off.append(name);
    }
    return off;
}

QString tst_ImpMapDialog::treeSummary(const QTreeWidgetItem *item)
{
    QStringList children;
    for (int i = 0; i < item->childCount(); ++i)
        children.append(treeSummary(item->child(i)));
    const QString text = item->text(0);
    return children.isEmpty() ? text : text + QLatin1Char('(') + children.join(QLatin1Char(',')) + QLatin1Char(')');
}

void tst_ImpMapDialog::setStored(const QString &key, const QVariant &value)
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    if (value.typeId() == QMetaType::Bool)
        settings->setBoolValue(key, value.toBool());
    else
        settings->setStringValue(key, value.toString());
    settings->popPath();
}

QString tst_ImpMapDialog::stored(const QString &key) const
{
    // Read from the file itself, as the next run of the host would.
    const QSettings file(dir->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    const QVariant value = file.value(QStringLiteral("BVHIO/") + key);
    return value.isValid() ? value.toString() : QStringLiteral("-");
}

void tst_ImpMapDialog::showDetails(CImpMapDialog &dialog)
{
    dialog.show();
    if (!dialog.detailsShown)
        dialog.detailsButton->click();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

QPoint tst_ImpMapDialog::checkBoxCenter(QTreeWidget *list, QTreeWidgetItem *item)
{
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item->text(0);
    option.checkState = item->checkState(0);
    option.widget = list;
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

void tst_ImpMapDialog::checkMarksOnOpen_data()
{
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QStringList>("switchedOff");
    QTest::addColumn<QStringList>("checked");
    QTest::newRow("all-matched") << QStringList() << QStringList() << jointNames;
    QTest::newRow("unmatched") << QStringList{"neck="} << QStringList()
                               << QStringList{"hip", "abdomen", "chest", "lThigh", "lShin"};
    QTest::newRow("switched-off") << QStringList() << QStringList{"abdomen", "lShin"}
                                  << QStringList{"hip", "chest", "neck", "lThigh"};
    QTest::newRow("both") << QStringList{"lShin="} << QStringList{"lShin"}
                          << QStringList{"hip", "abdomen", "chest", "neck", "lThigh"};
}

void tst_ImpMapDialog::checkMarksOnOpen()
{
    QFETCH(QStringList, edits);
    QFETCH(QStringList, switchedOff);
    QFETCH(QStringList, checked);
    readFile(edits, switchedOff);

    CImpMapDialog dialog(false);
    QCOMPARE(checkedJoints(), checked);
    QCOMPARE(dialog.fileList->topLevelItemCount(), 1);
    QCOMPARE(treeSummary(dialog.fileList->topLevelItem(0)), QStringLiteral("hip(abdomen(chest(neck)),lThigh(lShin))"));
    QCOMPARE(dialog.figureList->topLevelItemCount(), 1);
    QCOMPARE(treeSummary(dialog.figureList->topLevelItem(0)), QStringLiteral("hip(abdomen(chest(neck)),lThigh(lShin))"));
    // Only joint records have file items; channels and End Sites have none.
    for (const CBvhHeader *r : bvhState().jointList)
        QCOMPARE(r->fileItem != nullptr, r->type == Joint);
    // Opening changes no mapping; every mapped joint links its bone's item.
    QString expected;
    for (const QString &name : jointNames) {
        const bool unmapped = edits.contains(name + QLatin1Char('='));
        expected += name + QLatin1Char(':') + (unmapped ? QString() : name) + QLatin1Char(' ');
    }
    QCOMPARE(mappingSummary(), expected.trimmed());
}

void tst_ImpMapDialog::jointSelectsBone_data()
{
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("selectedBone");  // empty: none
    QTest::newRow("mapped") << QStringList() << "chest" << "chest";
    QTest::newRow("mapped-elsewhere") << QStringList{"lShin=neck", "neck="} << "lShin" << "neck";
    QTest::newRow("unmapped-clears") << QStringList{"lShin="} << "lShin" << "";
}

// Selecting a joint shows its bone; it never maps anything, so the joint
// that shares the bone keeps it.
void tst_ImpMapDialog::jointSelectsBone()
{
    QFETCH(QStringList, edits);
    QFETCH(QString, select);
    QFETCH(QString, selectedBone);
    readFile(edits);
    CImpMapDialog dialog(false);
    showDetails(dialog);
    // A second holder of the joint's bone, with the bone's item.
    CBvhHeader *head = jointRecord(select);
    if (head->mappedNode) {
        for (CBvhHeader *r : records(QStringLiteral("abdomen"))) {
            r->mappedNode = head->mappedNode;
            r->mappedName = head->mappedName;
            r->figureItem = head->figureItem;
        }
    }
    // Without a current joint, selecting a bone maps nothing.
    dialog.figureList->setCurrentItem(boneItem(QStringLiteral("lThigh")));
    const QString before = mappingSummary();

    dialog.fileList->setCurrentItem(head->fileItem);
    const QList<QTreeWidgetItem *> selected = dialog.figureList->selectedItems();
    QCOMPARE(selected.size(), selectedBone.isEmpty() ? 0 : 1);
    if (!selectedBone.isEmpty()) {
        QCOMPARE(selected.first(), boneItem(selectedBone));
        QCOMPARE(dialog.figureList->currentItem(), boneItem(selectedBone));
    }
    QCOMPARE(dialog.fileList->currentItem(), head->fileItem);
    QCOMPARE(mappingSummary(), before);
}

void tst_ImpMapDialog::boneRemapsJoint_data()
{
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("joint");
    QTest::addColumn<QString>("bone");
    QTest::addColumn<QString>("mapping");
    QTest::addColumn<QStringList>("checked");
    QTest::newRow("takes-from-holder")
        << QStringList() << "lShin" << "neck"
        << "hip:hip abdomen:abdomen chest:chest neck: lThigh:lThigh lShin:neck"
        << QStringList{"hip", "abdomen", "chest", "lThigh", "lShin"};
    QTest::newRow("unmapped-joint-gets-bone")
        << QStringList{"lShin="} << "lShin" << "lThigh"
        << "hip:hip abdomen:abdomen chest:chest neck:neck lThigh: lShin:lThigh"
        << QStringList{"hip", "abdomen", "chest", "neck", "lShin"};
    QTest::newRow("free-bone")
        << QStringList{"neck="} << "lShin" << "neck"
        << "hip:hip abdomen:abdomen chest:chest neck: lThigh:lThigh lShin:neck"
        << QStringList{"hip", "abdomen", "chest", "lThigh", "lShin"};
    QTest::newRow("bone-it-holds")
        << QStringList() << "chest" << "chest"
        << "hip:hip abdomen:abdomen chest:chest neck:neck lThigh:lThigh lShin:lShin" << jointNames;
}

void tst_ImpMapDialog::boneRemapsJoint()
{
    QFETCH(QStringList, edits);
    QFETCH(QString, joint);
    QFETCH(QString, bone);
    QFETCH(QString, mapping);
    QFETCH(QStringList, checked);
    readFile(edits);
    CImpMapDialog dialog(false);
    showDetails(dialog);

    dialog.fileList->setCurrentItem(jointRecord(joint)->fileItem);
    dialog.figureList->clearSelection();
    dialog.figureList->setCurrentItem(boneItem(bone));
    QCOMPARE(mappingSummary(), mapping);
    QCOMPARE(checkedJoints(), checked);
    QVERIFY(switchedOffJoints().isEmpty());
}

void tst_ImpMapDialog::checkMarksSpread_data()
{
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QStringList>("toggles");  // "-joint" off, "+joint" on, in order
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QStringList>("switchedOff");
    QTest::newRow("branch-off") << QStringList() << QStringList{"-abdomen"}
                                << QStringList{"hip", "lThigh", "lShin"}
                                << QStringList{"abdomen", "chest", "neck"};
    QTest::newRow("root-off") << QStringList() << QStringList{"-hip"} << QStringList() << jointNames;
    QTest::newRow("path-on") << QStringList() << QStringList{"-hip", "+neck"}
                             << QStringList{"hip", "abdomen", "chest", "neck"}
                             << QStringList{"lThigh", "lShin"};
    QTest::newRow("leaf-off") << QStringList() << QStringList{"-lShin"}
                              << QStringList{"hip", "abdomen", "chest", "neck", "lThigh"} << QStringList{"lShin"};
    // The walks follow the figure: a joint mapped below goes too.
    QTest::newRow("by-bone-not-by-file") << QStringList{"neck=lShin"} << QStringList{"-lThigh"}
                                         << QStringList{"hip", "abdomen", "chest"}
                                         << QStringList{"neck", "lThigh", "lShin"};
    QTest::newRow("unmapped-joint-alone") << QStringList{"chest="} << QStringList{"+chest", "-chest"}
                                          << QStringList{"hip", "abdomen", "neck", "lThigh", "lShin"}
                                          << QStringList{};
}

void tst_ImpMapDialog::checkMarksSpread()
{
    QFETCH(QStringList, edits);
    QFETCH(QStringList, toggles);
    QFETCH(QStringList, checked);
    QFETCH(QStringList, switchedOff);
    readFile(edits);
    CImpMapDialog dialog(false);
    showDetails(dialog);

    for (const QString &toggle : toggles) {
        QTreeWidgetItem *item = jointRecord(toggle.mid(1))->fileItem;
        const Qt::CheckState wanted = toggle.startsWith(QLatin1Char('+')) ? Qt::Checked : Qt::Unchecked;
        dialog.fileList->setCurrentItem(item);
        // Toggled as the user's click on the box does.
        if (item->checkState(0) != wanted)
            QTest::mouseClick(dialog.fileList->viewport(), Qt::LeftButton, {}, checkBoxCenter(dialog.fileList, item));
        QCOMPARE(item->checkState(0), wanted);
    }
    QCOMPARE(checkedJoints(), checked);
    // The unmapped joint of the last row: only its own record follows.
    if (toggles.last() == QLatin1String("-chest"))
        QVERIFY(!jointRecord(QStringLiteral("chest"))->applyChannel);
    else
        QCOMPARE(switchedOffJoints(), switchedOff);
}

void tst_ImpMapDialog::pressVersusToggle_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("neckOn");
    QTest::addColumn<bool>("neckAfter");
    QTest::addColumn<bool>("chestAfter");
    // chest opens switched off; neck's bone lies below chest's.
    for (const char *gesture : {"name", "box", "space"}) {
        const bool toggles = qstrcmp(gesture, "name") != 0;
        QTest::addRow("%s-on", gesture) << gesture << true << !toggles << !toggles;
        QTest::addRow("%s-off", gesture) << gesture << false << toggles << toggles;
    }
}

// A press on a name takes the state the joint has; a toggle of the box, by
// mouse or space bar, takes the new state. Each reaches the dialog once: a
// box click seen as a press as well would spread the old state first.
void tst_ImpMapDialog::pressVersusToggle()
{
    QFETCH(QString, gesture);
    QFETCH(bool, neckOn);
    QFETCH(bool, neckAfter);
    QFETCH(bool, chestAfter);
    QStringList off{QStringLiteral("chest")};
    if (!neckOn)
        off.append(QStringLiteral("neck"));
    readFile({}, off);
    CImpMapDialog dialog(false);
    showDetails(dialog);
    QTreeWidget *list = dialog.fileList;
    QTreeWidgetItem *neck = jointRecord(QStringLiteral("neck"))->fileItem;
    QCOMPARE(neck->checkState(0) == Qt::Checked, neckOn);

    if (gesture == QLatin1String("name")) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(neck).center());
    } else if (gesture == QLatin1String("box")) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxCenter(list, neck));
    } else {
        list->setCurrentItem(neck);
        QTest::keyClick(list, Qt::Key_Space);
    }
    if (gesture != QLatin1String("box"))
        QCOMPARE(list->currentItem(), neck);
    QCOMPARE(neck->checkState(0) == Qt::Checked, neckAfter);
    for (const CBvhHeader *r : records(QStringLiteral("neck")))
        QCOMPARE(r->applyChannel, neckAfter);
    QCOMPARE(jointRecord(QStringLiteral("chest"))->fileItem->checkState(0) == Qt::Checked, chestAfter);
    QCOMPARE(jointRecord(QStringLiteral("chest"))->applyChannel, chestAfter);
    // Joints beside the path never change.
    QCOMPARE(jointRecord(QStringLiteral("lShin"))->fileItem->checkState(0), Qt::Checked);
}

void tst_ImpMapDialog::optionsOnOpen_data()
{
    QTest::addColumn<QVariant>("frame");    // invalid: key absent
    QTest::addColumn<QVariant>("inPlace");
    QTest::addColumn<QVariant>("limits");
    QTest::addColumn<bool>("adjust");       // the two radio buttons and the frame flag
    QTest::addColumn<bool>("inPlaceOn");
    QTest::addColumn<bool>("limitsOn");
    QTest::newRow("absent") << QVariant() << QVariant() << QVariant() << true << false << false;
    QTest::newRow("keep-scene") << QVariant(false) << QVariant() << QVariant() << false << false << false;
    QTest::newRow("adjust-scene") << QVariant(true) << QVariant(false) << QVariant(false) << true << false << false;
    QTest::newRow("all-on") << QVariant(true) << QVariant(true) << QVariant(true) << true << true << true;
    // Another installation's file holds the text form.
    QTest::newRow("text-false") << QVariant(QStringLiteral("false")) << QVariant(QStringLiteral("true"))
                                << QVariant() << false << true << false;
}

void tst_ImpMapDialog::optionsOnOpen()
{
    QFETCH(QVariant, frame);
    QFETCH(QVariant, inPlace);
    QFETCH(QVariant, limits);
    QFETCH(bool, adjust);
    QFETCH(bool, inPlaceOn);
    QFETCH(bool, limitsOn);
    if (frame.isValid())
        setStored(QStringLiteral("Frame Opt"), frame);
    if (inPlace.isValid())
        setStored(QStringLiteral("InPlace Opt"), inPlace);
    if (limits.isValid())
        setStored(QStringLiteral("Limits Opt"), limits);
    frameOption = !adjust;
    inPlaceOption = !inPlaceOn;
    limitsOption = !limitsOn;
    readFile();

    CImpMapDialog dialog(false);
    QCOMPARE(dialog.optionButtons->button(0)->isChecked(), adjust);
    QCOMPARE(dialog.optionButtons->button(1)->isChecked(), !adjust);
    QCOMPARE(dialog.inPlaceBox->isChecked(), inPlaceOn);
    QCOMPARE(dialog.limitsBox->isChecked(), limitsOn);
    QCOMPARE(frameOption, adjust);
    QCOMPARE(inPlaceOption, inPlaceOn);
    QCOMPARE(limitsOption, limitsOn);
    // Opening stores nothing.
    QCOMPARE(stored(QStringLiteral("Frame Opt")), frame.isValid() ? frame.toString() : QStringLiteral("-"));
}

void tst_ImpMapDialog::optionClicksStored_data()
{
    QTest::addColumn<QList<int>>("clicks");  // button ids
    QTest::addColumn<bool>("adjustOn");
    QTest::addColumn<bool>("keepOn");
    QTest::addColumn<QString>("frame");    // stored; "-": absent
    QTest::addColumn<QString>("inPlace");
    QTest::addColumn<QString>("limits");
    // The scene buttons toggle independently; each click stores its own value.
    QTest::newRow("keep-while-adjust-on") << QList<int>{1} << true << true << "false" << "-" << "-";
    QTest::newRow("adjust-while-on") << QList<int>{0} << false << false << "true" << "-" << "-";
    QTest::newRow("keep-then-adjust") << QList<int>{1, 0} << false << true << "true" << "-" << "-";
    QTest::newRow("in-place") << QList<int>{2} << true << false << "-" << "true" << "-";
    QTest::newRow("limits-twice") << QList<int>{3, 3} << true << false << "-" << "-" << "false";
    QTest::newRow("all") << QList<int>{3, 2, 1} << true << true << "false" << "true" << "true";
}

void tst_ImpMapDialog::optionClicksStored()
{
    QFETCH(QList<int>, clicks);
    QFETCH(bool, adjustOn);
    QFETCH(bool, keepOn);
    QFETCH(QString, frame);
    QFETCH(QString, inPlace);
    QFETCH(QString, limits);
    readFile();
    CImpMapDialog dialog(false);
    dialog.show();

    for (int id : clicks)
        QTest::mouseClick(dialog.optionButtons->button(id), Qt::LeftButton);
    QCOMPARE(dialog.optionButtons->button(0)->isChecked(), adjustOn);
    QCOMPARE(dialog.optionButtons->button(1)->isChecked(), keepOn);
    // Stored at the click, before the dialog is closed, and kept by Cancel.
    for (int pass = 0; pass < 2; ++pass) {
        QCOMPARE(stored(QStringLiteral("Frame Opt")), frame);
        QCOMPARE(stored(QStringLiteral("InPlace Opt")), inPlace);
        QCOMPARE(stored(QStringLiteral("Limits Opt")), limits);
        QCOMPARE(frameOption, frame != QLatin1String("false"));
        QCOMPARE(inPlaceOption, inPlace == QLatin1String("true"));
        QCOMPARE(limitsOption, limits == QLatin1String("true"));
        dialog.reject();
    }
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void tst_ImpMapDialog::detailsToggle()
{
    readFile();
    CImpMapDialog dialog(false);
    const QList<QWidget *> details{dialog.loadMapButton, dialog.saveMapButton, dialog.fileList, dialog.figureList};
    const auto check = [&](bool shown, int height, const QString &text) {
        QCOMPARE(dialog.detailsShown, shown);
        for (const QWidget *w : details)
            QCOMPARE(w->isHidden(), !shown);
        QVERIFY(!dialog.optionsGroup->isHidden());
        QCOMPARE(dialog.detailsButton->text(), text);
        QCOMPARE(dialog.height(), height);
        QCOMPARE(dialog.minimumHeight(), height);
        QCOMPARE(dialog.maximumHeight(), height);
        QCOMPARE(dialog.minimumWidth(), 600);
    };
    check(false, 150, QStringLiteral("Show Details>>"));
    dialog.show();
    QTest::mouseClick(dialog.detailsButton, Qt::LeftButton);
    check(true, 550, QStringLiteral("Hide Details<<"));
    QTest::mouseClick(dialog.detailsButton, Qt::LeftButton);
    check(false, 150, QStringLiteral("Show Details>>"));
    // The width follows the size grip down to 600 pixels.
    dialog.resize(900, 150);
    QCOMPARE(dialog.width(), 900);
    dialog.resize(400, 150);
    QCOMPARE(dialog.width(), 600);
}

void tst_ImpMapDialog::labels_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("armsAlongX");
    QTest::addColumn<QString>("text");
    QTest::newRow("arms-x") << "walk.bvh" << true << "<b>walk.bvh [X]</b>";
    QTest::newRow("arms-z") << "walk.bvh" << false << "<b>walk.bvh [Z]</b>";
    QTest::newRow("directory-dropped") << "/takes/day 2/run.bvh" << true << "<b>run.bvh [X]</b>";
    QTest::newRow("markup-escaped") << "a<b>.bvh" << false << "<b>a&lt;b&gt;.bvh [Z]</b>";
}

void tst_ImpMapDialog::labels()
{
    QFETCH(QString, fileName);
    QFETCH(bool, armsAlongX);
    QFETCH(QString, text);
    bvhState().currentFileName = fileName;
    readFile();
    CImpMapDialog dialog(armsAlongX);
    QCOMPARE(dialog.fileLabel->text(), text);
    QCOMPARE(dialog.figureLabel->text(), QStringLiteral("<b>Figure</b>"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("BVH Importer Options"));
}

void tst_ImpMapDialog::whatsThis()
{
    // The icon comes from the host's resources path.
    kvApp->setResourcesPath(QStringLiteral(KV_SHARED_DATA_DIR "/../dialogs/resources"));
    readFile();
    CImpMapDialog dialog(false);
    QVERIFY(!dialog.whatsThisButton->icon().pixmap(16, 16).isNull());
    kvApp->setResourcesPath(dir->path());
    CImpMapDialog withoutIcon(false);
    QVERIFY(withoutIcon.whatsThisButton->icon().pixmap(16, 16).isNull());

    dialog.show();
    QVERIFY(!QWhatsThis::inWhatsThisMode());
    QTest::mouseClick(dialog.whatsThisButton, Qt::LeftButton);
    const bool entered = QWhatsThis::inWhatsThisMode();
    QWhatsThis::leaveWhatsThisMode();
    QVERIFY(entered);
}

// Save Map and Load Map through the buttons, with the picker scripted: a
// map saved after a remapping brings it back into a fresh import.
void tst_ImpMapDialog::saveAndLoadMap()
{
    QString pickerName;  // typed after "New" when saving, chosen when loading
    kvApp->setDialogHandler([&](QDialog *dialog) {
        auto *picker = qobject_cast<CPickMapDialog *>(dialog);
        if (!picker)
            return int(QDialog::Rejected);
        if (picker->saveMode) {
            picker->modeButton->click();
            picker->mapCombo->setEditText(pickerName);
        } else {
            picker->mapCombo->setCurrentIndex(picker->mapCombo->findText(pickerName));
        }
        picker->acceptButton->click();
        return picker->result();
    });
    setStored(QStringLiteral("Maps"), QStringLiteral("other;"));

    readFile({}, {QStringLiteral("abdomen")});
    {
        CImpMapDialog dialog(false);
        showDetails(dialog);
        dialog.fileList->setCurrentItem(jointRecord(QStringLiteral("lShin"))->fileItem);
        dialog.figureList->setCurrentItem(boneItem(QStringLiteral("neck")));
        QCOMPARE(mappingSummary(), QStringLiteral("hip:hip abdomen:abdomen chest:chest neck: lThigh:lThigh lShin:neck"));
        pickerName = QStringLiteral("my map");
        QTest::mouseClick(dialog.saveMapButton, Qt::LeftButton);
    }
    QCOMPARE(stored(QStringLiteral("Maps")), QStringLiteral("other;my map;"));
    // Every joint, mapped or not, switched off or not.
    QCOMPARE(stored(QStringLiteral("my map_DATA")),
             QStringLiteral("hip=hip;abdomen=abdomen;chest=chest;neck=;lThigh=lThigh;lShin=neck;"));
    QCOMPARE(bvhState().currentMapName, QStringLiteral("my map"));

    bvhState().clearLists();
    readFile({QStringLiteral("lShin=")});
    CImpMapDialog dialog(false);
    showDetails(dialog);
    QVERIFY(!checkedJoints().contains(QStringLiteral("lShin")));
    pickerName = QStringLiteral("my map");
    QTest::mouseClick(dialog.loadMapButton, Qt::LeftButton);
    // neck is not named with a bone: it keeps its own, now shared with lShin.
    QCOMPARE(mappingSummary(), QStringLiteral("hip:hip abdomen:abdomen chest:chest neck:neck lThigh:lThigh lShin:neck"));
    QCOMPARE(checkedJoints(), jointNames);
    QVERIFY(switchedOffJoints().isEmpty());
}

void tst_ImpMapDialog::batchImport_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<bool>("storedKeepScene");  // "Frame Opt" false in the store
    QTest::addColumn<QString>("turnedBone");      // the bone the left joint drives
    QTest::addColumn<bool>("frame");
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("automatic") << QVariantMap() << false << "left" << true << false;
    QTest::newRow("stored-options") << QVariantMap() << true << "left" << false << false;
    QTest::newRow("stored-map") << QVariantMap{{"Map", "swap"}} << false << "right" << true << false;
    QTest::newRow("unknown-map") << QVariantMap{{"Map", "none"}} << false << "left" << true << false;
    QTest::newRow("run-options") << QVariantMap{{"Frame Opt", false}, {"InPlace Opt", "true"}} << false << "left"
                                 << false << true;
    QTest::newRow("run-overrides-store") << QVariantMap{{"Frame Opt", true}} << true << "left" << true << false;
}

//   rig ── hip ─┬─ left      File: hip ─┬─ left  (Z rotation 30 degrees)
//               └─ right                └─ right (no rotation)
// A non-interactive host accepts the dialog as built; the run's settings
// pick a stored map that swaps the two joints, and options for this run only.
void tst_ImpMapDialog::batchImport()
{
    QFETCH(QVariantMap, settings);
    QFETCH(bool, storedKeepScene);
    QFETCH(QString, turnedBone);
    QFETCH(bool, frame);
    QFETCH(bool, inPlace);
    KvFigureDesc desc;
    desc.name = QStringLiteral("rig");
    const char *const rigBones[][2] = {{"hip", ""}, {"left", "hip"}, {"right", "hip"}};
    for (const auto &b : rigBones) {
        desc.bones.emplace_back();
        desc.bones.back().name = QString::fromLatin1(b[0]);
        desc.bones.back().parent = QString::fromLatin1(b[1]);
    }
    desc.bones[1].endPoint = KvVec3(5, 0, 0);
    desc.bones[2].endPoint = KvVec3(-5, 0, 0);
    KvSkeleton *rig = KvFigureBuilder::build(desc).release();
    QVERIFY(rig);
    kvScene->addNode(rig);
    kvScene->selectNode(rig);
    setStored(QStringLiteral("Maps"), QStringLiteral("swap;"));
    setStored(QStringLiteral("swap_DATA"), QStringLiteral("hip=hip;left=right;right=left;"));
    if (storedKeepScene)
        setStored(QStringLiteral("Frame Opt"), false);
    const QString storedBefore = stored(QStringLiteral("Frame Opt"));

    const QByteArray text =
        "HIERARCHY\nROOT hip\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
        "JOINT left\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET 5 0 0\n}\n}\n"
        "JOINT right\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET -5 0 0\n}\n}\n"
        "}\nMOTION\nFrames: 2\nFrame Time: 0.0333333\n"
        "0 0 0 0 0 0 30 0 0 0 0 0\n0 0 0 0 0 0 30 0 0 0 0 0\n";
    QFile file(dir->filePath(QStringLiteral("swing.bvh")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(text), text.size());
    file.close();

    CBvhIn::setMappingDialog(&CImpMapDialog::execForImport);
    KvFileIOSettings ioSettings;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        ioSettings.setValue(it.key(), it.value());
    CBvhIn in;
    QCOMPARE(in.read(file.fileName(), ioSettings), 1);
    QVERIFY2(kvApp->messageLog().isEmpty(), qPrintable(kvApp->messageLog().join(QLatin1Char('\n'))));

    const double turn = 30.0 * M_PI / 180.0;
    for (const QString &name : {QStringLiteral("left"), QStringLiteral("right")}) {
        const double angle = rig->findBone(name)->getLocalRot(0).angleTo(KvQuat());
        QVERIFY2(kvtest::near(angle, name == turnedBone ? turn : 0.0, 1e-4),
                 qPrintable(QStringLiteral("%1 turned by %2 rad").arg(name).arg(angle)));
    }
    QCOMPARE(frameOption, frame);
    QCOMPARE(inPlaceOption, inPlace);
    // The run's options are never stored.
    QCOMPARE(stored(QStringLiteral("Frame Opt")), storedBefore);
    QCOMPARE(stored(QStringLiteral("InPlace Opt")), QStringLiteral("-"));
}

QTEST_MAIN(tst_ImpMapDialog)
#include "tst_impmapdialog.moc"
