#include "impmapdialog.h"

#include "bvhfixture.h"
#include "kvscene.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWhatsThis>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

//   figure ── hip ─┬─ abdomen ── chest ── neck
//                  └─ lThigh ── lShin
// The file has the same joints, each named after its bone: every joint is
// matched by name.
const QByteArray fileRoot =
    kvtest::bvhJoint("hip", 0, kvtest::bvhJoint("abdomen", 1, kvtest::bvhJoint("chest", 2, kvtest::bvhJoint("neck", 3)))
                                   + kvtest::bvhJoint("lThigh", 1, kvtest::bvhJoint("lShin", 2)));
const QString allOn = QStringLiteral("hip abdomen chest neck lThigh lShin");

QList<CBvhHeader *> records(const QString &joint)
{
    QList<CBvhHeader *> found;
    for (CBvhHeader *r : bvhState().jointList) {
        if (r->name == joint)
            found.append(r);
    }
    return found;
}

QTreeWidgetItem *boneItem(const QString &bone)
{
    for (const CSkelHeader *r : bvhState().skeletonList) {
        if (r->name == bone)
            return r->listItem;
    }
    return nullptr;
}

// Every joint as "joint:bone" ("joint" when the bone has its name), with "-"
// before it when its box is unchecked, "~" after it when all its records are
// switched off, and "!" when its channel records or its figure item disagree
// with its bone.
QString summary()
{
    QStringList parts;
    for (const CBvhHeader *head : bvhState().jointList) {
        if (head->type != Joint)
            continue;
        const QList<CBvhHeader *> all = records(head->name);
        const QString bone = head->mappedNode ? head->mappedNode->getName() : QString();
        QString text = QLatin1String(head->fileItem->checkState(0) == Qt::Checked ? "" : "-") + head->name
                       + (bone == head->name ? QString() : ':' + bone);
        if (std::none_of(all.begin(), all.end(), [](const CBvhHeader *r) { return r->applyChannel; }))
            text += QLatin1Char('~');
        if (head->figureItem != boneItem(bone) || std::any_of(all.begin(), all.end(), [head](const CBvhHeader *r) {
                return r->mappedNode != head->mappedNode || r->mappedName != head->mappedName
                       || (r->figureItem && r->figureItem != head->figureItem);
            }))
            text += QLatin1Char('!');
        parts.append(text);
    }
    return parts.join(QLatin1Char(' '));
}

QString treeSummary(const QTreeWidgetItem *item)
{
    QStringList children;
    for (int i = 0; i < item->childCount(); ++i)
        children.append(treeSummary(item->child(i)));
    return item->text(0) + (children.isEmpty() ? QString() : '(' + children.join(QLatin1Char(',')) + ')');
}

} // namespace

// The import mapping dialog on a joint list read from a file and a figure
// in the scene, driven through its widgets; never exec'd.
class tst_ImpMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void mapping_data();
    void mapping();
    void options_data();
    void options();
    void detailsAndLabels();
    void saveAndLoadMap();
    void batchImport_data();
    void batchImport();
    void hugeHierarchies_data();
    void hugeHierarchies();

private:
    // The dialog with its details shown, after edits of the matched file:
    // "joint=bone" maps the joint to the bone (none when empty), "joint~"
    // switches the joint off.
    std::unique_ptr<CImpMapDialog> open(const QStringList &edits = {});

    std::unique_ptr<kvtest::TestHost> host;
    KvSkeleton *figure = nullptr;
};

void tst_ImpMapDialog::init()
{
    host = std::make_unique<kvtest::TestHost>();
    figure = kvtest::figure(QStringLiteral("figure"), {"hip:", "abdomen:hip", "chest:abdomen", "neck:chest",
                                                       "lThigh:hip", "lShin:lThigh"});
    figure->setLabel(QStringLiteral("Figure"));
    kvScene->addNode(figure);
    kvScene->selectNode(figure);
    bvhState().targetSkeleton = figure;
    bvhState().currentFileName = QStringLiteral("/takes/a<b>.bvh");
    kvtest::readHierarchy(figure, fileRoot);
}

void tst_ImpMapDialog::cleanup()
{
    host.reset();
}

std::unique_ptr<CImpMapDialog> tst_ImpMapDialog::open(const QStringList &edits)
{
    for (const QString &edit : edits) {
        KvNode *node = figure->findBone(edit.section(QLatin1Char('='), 1));
        for (CBvhHeader *r : records(edit.section(QLatin1Char('='), 0, 0).remove(QLatin1Char('~')))) {
            if (edit.endsWith(QLatin1Char('~')))
                r->applyChannel = false;
            else
                std::tie(r->mappedNode, r->mappedName) = std::pair(node, node ? node->getLabel() : QString());
        }
    }
    auto dialog = std::make_unique<CImpMapDialog>(false);
    dialog->show();
    dialog->detailsButton->click();
    return QTest::qWaitForWindowExposed(dialog.get()) ? std::move(dialog) : nullptr;
}

void tst_ImpMapDialog::mapping_data()
{
    QTest::addColumn<QStringList>("edits");
    // "joint:" and "bone:" select, "box:", "name:" and "space:" press or toggle;
    // "share:" gives abdomen the joint's bone and item, as a second holder.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("after");      // summary(), then the current joint and the selected bones
    // A joint is checked when it is mapped and switched on.
    QTest::newRow("on-open") << QStringList{"neck=", "abdomen~"} << QStringList()
                             << "hip -abdomen~ chest -neck: lThigh lShin >";
    // Selecting a joint shows its bone and never maps anything, so a second
    // holder of that bone keeps it; without a current joint, selecting a bone
    // maps nothing either.
    QTest::newRow("joint-shows-bone") << QStringList() << QStringList{"share:chest", "bone:lThigh", "joint:chest"}
                                      << "hip abdomen:chest chest neck lThigh lShin chest>chest";
    QTest::newRow("unmapped-joint-shows-none") << QStringList{"lShin="} << QStringList{"bone:lThigh", "joint:lShin"}
                                               << "hip abdomen chest neck lThigh -lShin: lShin>";
    // A bone selected next goes to the joint with its channel records, taken
    // from the joint that held it.
    QTest::newRow("bone-taken-from-holder") << QStringList() << QStringList{"joint:lShin", "bone:neck"}
                                            << "hip abdomen chest -neck: lThigh lShin:neck lShin>neck";
    QTest::newRow("unmapped-joint-gets-bone") << QStringList{"lShin="} << QStringList{"joint:lShin", "bone:lThigh"}
                                              << "hip abdomen chest neck -lThigh: lShin:lThigh lShin>lThigh";
    // Unchecking a joint switches off every joint mapped to its bone or
    // below; checking it switches on those of its bone and every bone above.
    QTest::newRow("root-off-then-path-on") << QStringList() << QStringList{"box:hip", "box:neck"}
                                           << "hip abdomen chest neck -lThigh~ -lShin~ >";
    // The walks follow the figure: a joint mapped below goes too.
    QTest::newRow("by-bone-not-by-file") << QStringList{"neck=lShin"} << QStringList{"box:lThigh"}
                                         << "hip abdomen chest -neck:lShin~ -lThigh~ -lShin~! >";
    // A press on a name takes the state the joint has; a toggle of the box, by
    // mouse or space bar, takes the new state. Each reaches the dialog once: a
    // box click seen as a press as well would spread the old state first.
    const QString chestOff = QStringLiteral("hip abdomen -chest~ -neck~ lThigh lShin");
    for (const char *gesture : {"name", "box", "space"}) {
        const bool toggles = qstrcmp(gesture, "name") != 0;
        const QStringList neck{gesture + QStringLiteral(":neck")};
        const QString on = (toggles ? chestOff : allOn) + (qstrcmp(gesture, "box") == 0 ? " >" : " neck>neck");
        const QString off = (toggles ? allOn : chestOff) + (qstrcmp(gesture, "box") == 0 ? " >" : " neck>neck");
        QTest::addRow("%s-on", gesture) << QStringList{"chest~"} << neck << on;
        QTest::addRow("%s-off", gesture) << QStringList{"chest~", "neck~"} << neck << off;
    }
}

void tst_ImpMapDialog::mapping()
{
    QFETCH(QStringList, edits);
    QFETCH(QStringList, steps);
    QFETCH(QString, after);
    const auto dialog = open(edits);
    QTreeWidget *list = dialog->fileList;
    for (const QString &step : steps) {
        const QString name = step.section(QLatin1Char(':'), 1);
        const CBvhHeader *joint = records(name).value(0);
        QTreeWidgetItem *item = joint ? joint->fileItem : nullptr;
        if (step.startsWith(QLatin1String("share"))) {
            for (CBvhHeader *r : records(QStringLiteral("abdomen")))
                std::tie(r->mappedNode, r->mappedName, r->figureItem) = std::tie(joint->mappedNode, joint->mappedName,
                                                                                 joint->figureItem);
        } else if (step.startsWith(QLatin1String("joint"))) {
            list->setCurrentItem(item);
        } else if (step.startsWith(QLatin1String("bone"))) {
            dialog->figureList->clearSelection();
            dialog->figureList->setCurrentItem(boneItem(name));
        } else if (step.startsWith(QLatin1String("name"))) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
        } else if (step.startsWith(QLatin1String("box"))) {
            QStyleOptionViewItem option;
            option.initFrom(list);
            option.rect = list->visualItemRect(item);
            option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
            const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
        } else {
            list->setCurrentItem(item);
            QTest::keyClick(list, Qt::Key_Space);
        }
    }
    QStringList selected;
    for (const QTreeWidgetItem *bone : dialog->figureList->selectedItems())
        selected += bone->text(0);
    const QString current = list->currentItem() ? list->currentItem()->text(0) : QString();
    QCOMPARE(summary() + QLatin1Char(' ') + current + QLatin1Char('>') + selected.join(QLatin1Char(',')), after);
    for (QTreeWidget *tree : {list, dialog->figureList})
        QCOMPARE(treeSummary(tree->topLevelItem(0)), QStringLiteral("hip(abdomen(chest(neck)),lThigh(lShin))"));
    for (const CBvhHeader *r : bvhState().jointList)
        QCOMPARE(r->fileItem != nullptr, r->type == Joint);
}

void tst_ImpMapDialog::options_data()
{
    QTest::addColumn<QStringList>("storedBefore");  // Frame, InPlace and Limits Opt; "-": absent
    QTest::addColumn<QList<int>>("clicks");         // button ids
    QTest::addColumn<QString>("shown");             // the four buttons' check marks after the clicks
    QTest::addColumn<QStringList>("storedAfter");
    QTest::newRow("absent") << QStringList{"-", "-", "-"} << QList<int>() << "1000" << QStringList{"-", "-", "-"};
    QTest::newRow("stored") << QStringList{"false", "true", "-"} << QList<int>() << "0110"
                            << QStringList{"false", "true", "-"};
    // The scene buttons toggle independently; each click stores its own value.
    QTest::newRow("keep-adjust-limits") << QStringList{"-", "-", "true"} << QList<int>{1, 0, 3} << "0100"
                                        << QStringList{"true", "-", "false"};
    QTest::newRow("limits-in-place-keep") << QStringList{"-", "-", "-"} << QList<int>{3, 2, 1} << "1111"
                                          << QStringList{"false", "true", "true"};
}

// Opening reads the stored options and stores nothing; every click stores
// at once, and Cancel keeps what was stored.
void tst_ImpMapDialog::options()
{
    QFETCH(QStringList, storedBefore);
    QFETCH(QList<int>, clicks);
    QFETCH(QString, shown);
    QFETCH(QStringList, storedAfter);
    const QStringList keys{"Frame Opt", "InPlace Opt", "Limits Opt"};
    for (int i = 0; i < 3; ++i) {
        if (storedBefore[i] != QLatin1String("-"))
            kvtest::setStored(keys[i], storedBefore[i]);
    }
    std::tie(frameOption, inPlaceOption, limitsOption) = std::tuple(shown[0] == '0', shown[2] == '0', shown[3] == '0');
    CImpMapDialog dialog(false);
    dialog.show();
    for (int id : clicks)
        QTest::mouseClick(dialog.optionButtons->button(id), Qt::LeftButton);
    dialog.reject();

    QString checked;
    for (int id = 0; id < 4; ++id)
        checked += QLatin1Char(dialog.optionButtons->button(id)->isChecked() ? '1' : '0');
    QCOMPARE(checked, shown);
    QCOMPARE(std::tuple(frameOption, inPlaceOption, limitsOption),
             std::tuple(storedAfter[0] != QLatin1String("false"), shown[2] == '1', shown[3] == '1'));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(kvtest::stored(keys[i]), storedAfter[i]);
}

void tst_ImpMapDialog::detailsAndLabels()
{
    kvApp->setResourcesPath(QStringLiteral(KV_SHARED_DATA_DIR "/../dialogs/resources"));
    for (const bool armsAlongX : {true, false}) {
        CImpMapDialog dialog(armsAlongX);
        QCOMPARE(dialog.fileLabel->text(), armsAlongX ? "<b>a&lt;b&gt;.bvh [X]</b>" : "<b>a&lt;b&gt;.bvh [Z]</b>");
        QCOMPARE(dialog.figureLabel->text(), QStringLiteral("<b>Figure</b>"));
        QVERIFY(!dialog.whatsThisButton->icon().pixmap(16, 16).isNull());
    }
    CImpMapDialog dialog(false);
    const QList<QWidget *> details{dialog.loadMapButton, dialog.saveMapButton, dialog.fileList, dialog.figureList};
    dialog.show();
    for (const bool shown : {false, true, false}) {
        QCOMPARE(dialog.detailsShown, shown);
        for (const QWidget *w : details)
            QCOMPARE(w->isHidden(), !shown);
        QCOMPARE(dialog.detailsButton->text(), shown ? "Hide Details<<" : "Show Details>>");
        QCOMPARE(dialog.minimumHeight(), shown ? 550 : 150);
        QCOMPARE(dialog.maximumHeight(), dialog.minimumHeight());
        QTest::mouseClick(dialog.detailsButton, Qt::LeftButton);
    }
    QTest::mouseClick(dialog.whatsThisButton, Qt::LeftButton);
    const bool entered = QWhatsThis::inWhatsThisMode();
    QWhatsThis::leaveWhatsThisMode();
    QVERIFY(entered);
}

// Save Map and Load Map through the buttons, with the picker scripted: a
// map saved after a remapping brings it back into a fresh import.
void tst_ImpMapDialog::saveAndLoadMap()
{
    kvtest::setStored(QStringLiteral("Maps"), QStringLiteral("other;"));
    kvtest::scriptPicker(QStringLiteral("my map"));
    {
        const auto dialog = open({QStringLiteral("abdomen~")});
        dialog->fileList->setCurrentItem(records(QStringLiteral("lShin")).first()->fileItem);
        dialog->figureList->setCurrentItem(boneItem(QStringLiteral("neck")));
        QTest::mouseClick(dialog->saveMapButton, Qt::LeftButton);
    }
    QCOMPARE(kvtest::stored(QStringLiteral("Maps")), QStringLiteral("other;my map;"));
    // Every joint, mapped or not, switched off or not.
    QCOMPARE(kvtest::stored(QStringLiteral("my map_DATA")),
             QStringLiteral("hip=hip;abdomen=abdomen;chest=chest;neck=;lThigh=lThigh;lShin=neck;"));

    bvhState().clearLists();
    kvtest::readHierarchy(figure, fileRoot);
    const auto dialog = open({QStringLiteral("lShin="), QStringLiteral("neck~")});
    QTest::mouseClick(dialog->loadMapButton, Qt::LeftButton);
    // neck is not named with a bone: it keeps its own, now shared with lShin,
    // and stays off.
    QCOMPARE(summary(), QStringLiteral("hip abdomen chest -neck~ lThigh lShin:neck"));
}

void tst_ImpMapDialog::batchImport_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("turnedBone");  // the bone the neck joint drives
    QTest::addColumn<bool>("frame");
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("stored-map") << QVariantMap{{"Map", "swap"}} << "lShin" << true << false;
    QTest::newRow("run-options") << QVariantMap{{"Frame Opt", false}, {"InPlace Opt", "true"}} << "neck" << false << true;
}

// A non-interactive host accepts the dialog as built; the run's settings
// pick a stored map that swaps neck and lShin, or options for this run only
// (the store says "adjust the scene").
void tst_ImpMapDialog::batchImport()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, turnedBone);
    QFETCH(bool, frame);
    QFETCH(bool, inPlace);
    bvhState().clearLists();
    kvtest::setStored(QStringLiteral("Maps"), QStringLiteral("swap;"));
    kvtest::setStored(QStringLiteral("swap_DATA"), QStringLiteral("neck=lShin;lShin=neck;"));
    kvtest::setStored(QStringLiteral("Frame Opt"), true);
    const QByteArray text = "HIERARCHY\n" + fileRoot
                            + "MOTION\nFrames: 1\nFrame Time: 0.0333333\n0 0 0 0 0 0 0 0 0 0 0 0 30 0 0 0 0 0 0 0 0\n";
    QFile file(host->dir.filePath(QStringLiteral("swing.bvh")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();

    CBvhIn::setMappingDialog(&CImpMapDialog::execForImport);
    KvFileIOSettings ioSettings;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        ioSettings.setValue(it.key(), it.value());
    QCOMPARE(CBvhIn().read(file.fileName(), ioSettings), 1);
    QCOMPARE(kvApp->messageLog(), QStringList());
    for (const QString &name : {QStringLiteral("neck"), QStringLiteral("lShin")}) {
        const double angle = figure->findBone(name)->getLocalRot(0).angleTo(KvQuat());
        QVERIFY2(kvtest::near(angle, name == turnedBone ? 30.0 * M_PI / 180.0 : 0.0, 1e-4), qPrintable(name));
    }
    QCOMPARE(std::pair(frameOption, inPlaceOption), std::pair(frame, inPlace));
    // The run's options are never stored.
    QCOMPARE(kvtest::stored(QStringLiteral("Frame Opt")), QStringLiteral("true"));
    QCOMPARE(kvtest::stored(QStringLiteral("InPlace Opt")), QStringLiteral("-"));
}

void tst_ImpMapDialog::hugeHierarchies_data()
{
    QTest::addColumn<bool>("deep");  // chains, else one root with every other joint or bone its child
    QTest::newRow("100000-deep") << true;
    QTest::newRow("100000-wide") << false;
}

// Joints and bones in file order, nested as given up to the depth limit and
// beside each other below it, which the dialog then says; the walks along the
// figure and the selection cope without overflow, in linear time. The joints
// drive a figure of their shape, which is torn down without overflow too.
void tst_ImpMapDialog::hugeHierarchies()
{
    QFETCH(bool, deep);
    constexpr int joints = 100000;
    const int bones = joints;
    KvFigureDesc desc{QStringLiteral("huge"), {}, {}};
    for (int i = 0; i < bones; ++i)
        desc.bones.push_back({QStringLiteral("b%1").arg(i), {}, i == 0 ? QString() : QStringLiteral("b%1").arg(deep ? i - 1 : 0),
                              {}, {}, {}, {}});
    KvSkeleton *huge = KvFigureBuilder::build(desc).release();
    kvScene->addNode(huge);
    bvhState().clearLists();
    bvhState().targetSkeleton = huge;
    CBvhIn().collectSkeletonBones(huge->getNodeChild(0), 1);
    CRecordList<CBvhHeader> &list = bvhState().jointList;
    for (int i = 0; i < joints; ++i) {
        CBvhHeader *record = list.append(std::make_unique<CBvhHeader>());
        std::tie(record->type, record->name, record->level) = std::tuple(Joint, QStringLiteral("j%1").arg(i), deep ? i + 1 : std::min(i, 1) + 1);
        if (i < bones)
            record->mappedNode = bvhState().skeletonList.at(i)->bone;
    }

    CImpMapDialog dialog(false);
    dialog.show();
    dialog.detailsButton->click();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.depthNote->isVisible(), deep);
    for (QTreeWidget *tree : {dialog.fileList, dialog.figureList}) {
        QList<int> listed;
        int deepest = 0;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            listed += (*it)->text(0).mid(1).toInt();
            int depth = 1;
            for (const QTreeWidgetItem *up = (*it)->parent(); up; up = up->parent())
                ++depth;
            deepest = std::max(deepest, depth);
        }
        QCOMPARE(listed.size(), tree == dialog.fileList ? joints : bones);
        QVERIFY(std::is_sorted(listed.cbegin(), listed.cend()) && listed.back() == listed.size() - 1);
        QCOMPARE(deepest, deep ? int(CImpMapDialog::listDepthLimit) : 2);
    }
    const auto applied = [&list] {
        return std::count_if(list.begin(), list.end(), [](const CBvhHeader *r) { return r->applyChannel; });
    };
    list.at(0)->fileItem->setCheckState(0, Qt::Unchecked);
    QCOMPARE(applied(), joints - bones);
    CBvhHeader *last = list.at(bones - 1);
    last->fileItem->setCheckState(0, Qt::Checked);
    QCOMPARE(applied(), joints - bones + (deep ? bones : 2));
    dialog.fileList->setCurrentItem(last->fileItem);
    QCOMPARE(dialog.figureList->currentItem(), last->figureItem);
    QCOMPARE(kvApp->execDialog(&dialog), int(QDialog::Accepted));
}

QTEST_MAIN(tst_ImpMapDialog)
#include "tst_impmapdialog.moc"
