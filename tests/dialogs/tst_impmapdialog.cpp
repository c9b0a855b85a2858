#include "impmapdialog.h"

#include "bvhfixture.h"
#include "kvscene.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <cmath>

namespace {

//   figure ── hip ─┬─ abdomen ── chest ── neck
//                  └─ lThigh ── lShin
// The file has the same joints, each named after its bone: every joint is
// matched by name.
const QStringList bones{"hip", "abdomen<hip", "chest<abdomen", "neck<chest", "lThigh<hip", "lShin<lThigh"};
const QByteArray fileHierarchy = kvtest::hierarchy(bones);

QList<CBvhHeader *> records(const QString &joint)
{
    QList<CBvhHeader *> found;
    std::copy_if(bvhState().jointList.begin(), bvhState().jointList.end(), std::back_inserter(found),
                 [&joint](const CBvhHeader *r) { return r->name == joint; });
    return found;
}

// Every joint as "joint:bone" ("joint" for its namesake), "-" before it when its box is unchecked,
// "~" after it when all its records are off, "!" when they or its figure item disagree on the bone.
QString summary()
{
    QStringList parts;
    for (const CBvhHeader *head : bvhState().jointList) {
        if (head->type != Joint)
            continue;
        const QString bone = head->mappedNode ? head->mappedNode->getName() : QString();
        bool off = true;
        bool agree = (head->figureItem ? head->figureItem->text(0) : QString()) == bone;
        for (const CBvhHeader *r : records(head->name)) {
            off = off && !r->applyChannel;
            agree = agree && r->mappedNode == head->mappedNode && r->mappedName == head->mappedName;
        }
        parts += QLatin1String(head->fileItem->checkState(0) == Qt::Checked ? "" : "-") + head->name
                 + (bone == head->name ? QString() : ':' + bone) + QLatin1String(off ? "~" : "") + QLatin1String(agree ? "" : "!");
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

// The import mapping dialog on a joint list read from a file and a figure in the scene.
class tst_ImpMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { host.reset(); }
    void mapping_data();
    void mapping();
    void savedMapReachesImport();
    void hugeHierarchy();

private:
    std::unique_ptr<kvtest::TestHost> host;
    KvSkeleton *figure = nullptr;
};

void tst_ImpMapDialog::init()
{
    host = std::make_unique<kvtest::TestHost>();
    figure = kvtest::figure(QStringLiteral("figure"), bones);
    kvScene->addNode(figure);
    kvScene->selectNode(figure);
    bvhState().targetSkeleton = figure;
    kvtest::readHierarchy(figure, fileHierarchy);
}

void tst_ImpMapDialog::mapping_data()
{
    QTest::addColumn<QStringList>("off");  // joints of the matched file switched off
    // "joint:" and "bone:" select, "box:" clicks the joint's box, "share:" makes abdomen a second holder of the bone.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("after");  // summary(), then the current joint and the selected bone
    // Selecting a joint shows its bone and maps nothing: a second holder keeps it.
    QTest::newRow("joint-shows-bone") << QStringList() << QStringList{"share:chest", "bone:lThigh", "joint:chest"}
                                      << "hip abdomen:chest chest neck lThigh lShin chest>chest";
    // A bone selected next goes to the joint with its channel records, taken from its holder.
    QTest::newRow("taken") << QStringList() << QStringList{"joint:lShin", "bone:neck"} << "hip abdomen chest -neck: lThigh lShin:neck lShin>neck";
    // Unchecking a joint switches off every joint of its bone or below in the figure.
    QTest::newRow("by-bone") << QStringList() << QStringList{"share:lShin", "box:lThigh"} << "hip -abdomen:lShin~ chest neck -lThigh~ -lShin~ >";
    // Checking a joint switches on those of its bone and every bone above. A click on a box spreads
    // the new state once: taken for a press on the name as well, it would spread the old one first.
    QTest::newRow("box-on") << QStringList{"chest", "neck"} << QStringList{"box:neck"} << "hip abdomen chest neck lThigh lShin >";
    QTest::newRow("box-off") << QStringList{"chest"} << QStringList{"box:neck"} << "hip abdomen -chest~ -neck~ lThigh lShin >";
}

void tst_ImpMapDialog::mapping()
{
    QFETCH(QStringList, off);
    QFETCH(QStringList, steps);
    QFETCH(QString, after);
    for (const QString &joint : off) {
        for (CBvhHeader *r : records(joint))
            r->applyChannel = false;
    }
    CImpMapDialog dialog(false);
    dialog.show();
    dialog.detailsButton->click();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTreeWidget *list = dialog.fileList;
    for (const QString &step : steps) {
        const QString name = step.section(QLatin1Char(':'), 1);
        const CBvhHeader *joint = records(name).value(0);
        if (step.startsWith(QLatin1String("share"))) {
            for (CBvhHeader *r : records(QStringLiteral("abdomen")))
                std::tie(r->mappedNode, r->mappedName, r->figureItem) = std::tie(joint->mappedNode, joint->mappedName, joint->figureItem);
        } else if (step.startsWith(QLatin1String("joint"))) {
            list->setCurrentItem(joint->fileItem);
        } else if (step.startsWith(QLatin1String("bone"))) {
            dialog.figureList->setCurrentItem(dialog.figureList->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0));
        } else {
            QStyleOptionViewItem option;
            option.initFrom(list);
            option.rect = list->visualItemRect(joint->fileItem);
            option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
            const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
        }
    }
    const QTreeWidgetItem *current = list->currentItem();
    const QTreeWidgetItem *selected = dialog.figureList->selectedItems().value(0);
    QCOMPARE(summary() + QLatin1Char(' ') + (current ? current->text(0) : QString()) + QLatin1Char('>')
                 + (selected ? selected->text(0) : QString()),
             after);
}

// The dialog takes the stored options, adjusting the scene unless told otherwise. A swap of two
// bones kept with Save Map (the picker scripted) drives the keys of a batch import that names the
// map; that run's options are never stored.
void tst_ImpMapDialog::savedMapReachesImport()
{
    frameOption = false;
    kvtest::setStored(QStringLiteral("Limits Opt"), true);
    kvtest::scriptPicker(QStringLiteral("swap"));
    {
        const auto dialog = std::make_unique<CImpMapDialog>(false);
        QVERIFY(frameOption && !inPlaceOption && limitsOption);
        for (const auto &[joint, bone] : {std::pair("neck", "lShin"), std::pair("lShin", "neck")}) {
            dialog->fileList->setCurrentItem(records(QString::fromLatin1(joint)).first()->fileItem);
            dialog->figureList->setCurrentItem(
                dialog->figureList->findItems(QString::fromLatin1(bone), Qt::MatchExactly | Qt::MatchRecursive).value(0));
        }
        dialog->saveMapButton->click();
    }
    QCOMPARE(kvtest::stored(QStringLiteral("swap_DATA")),
             QStringLiteral("hip=hip;abdomen=abdomen;chest=chest;neck=lShin;lThigh=lThigh;lShin=neck;"));

    // The neck joint's Zrotation is column 12, lShin's column 18.
    bvhState().clearLists();
    const QByteArray text = fileHierarchy + "Frames: 1\nFrame Time: 0.0333333\n0 0 0 0 0 0 0 0 0 0 0 0 30 0 0 0 0 0 50 0 0\n";
    QFile file(host->dir.filePath(QStringLiteral("swing.bvh")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush());
    kvApp->setDialogHandler(nullptr);
    CBvhIn::setMappingDialog(&CImpMapDialog::execForImport);
    KvFileIOSettings settings;
    settings.setValue(QStringLiteral("Map"), QStringLiteral("swap"));
    settings.setValue(QStringLiteral("InPlace Opt"), QStringLiteral("true"));
    QCOMPARE(CBvhIn().read(file.fileName(), settings), 1);
    for (const auto &[bone, degrees] : {std::pair("neck", 50.0), std::pair("lShin", 30.0)}) {
        const double angle = figure->findBone(QString::fromLatin1(bone))->getLocalRot(0).angleTo(KvQuat());
        QVERIFY2(kvtest::near(angle, degrees * M_PI / 180.0, 1e-4), bone);
    }
    QCOMPARE(std::tuple(frameOption, inPlaceOption, kvtest::stored(QStringLiteral("InPlace Opt"))),
             std::tuple(true, true, QStringLiteral("-")));
}

// A chain of 100000 joints driving a figure of its shape: both lists nest it down to the depth
// limit and list the rest there, in order.
void tst_ImpMapDialog::hugeHierarchy()
{
    constexpr int count = 100000;
    QStringList bones{QStringLiteral("b0")};
    for (int i = 1; i < count; ++i)
        bones += QStringLiteral("b%1<b%2").arg(i).arg(i - 1);
    bvhState().clearLists();
    bvhState().targetSkeleton = kvtest::figure(QStringLiteral("huge"), bones);
    kvScene->addNode(bvhState().targetSkeleton);
    CBvhIn().collectSkeletonBones(bvhState().targetSkeleton->getNodeChild(0), 1);
    for (int i = 0; i < count; ++i) {
        CBvhHeader *record = bvhState().jointList.append(std::make_unique<CBvhHeader>());
        std::tie(record->type, record->name, record->level, record->mappedNode) =
            std::tuple(Joint, QStringLiteral("b%1").arg(i), i + 1, bvhState().skeletonList.at(i)->bone);
    }

    CImpMapDialog dialog(false);
    dialog.show();
    dialog.detailsButton->click();
    for (QTreeWidget *tree : {dialog.fileList, dialog.figureList}) {
        int listed = 0;
        for (QTreeWidgetItemIterator it(tree); *it; ++it, ++listed) {
            int depth = 1;
            for (const QTreeWidgetItem *up = (*it)->parent(); up; up = up->parent())
                ++depth;
            QCOMPARE(std::pair((*it)->text(0), depth),
                     std::pair(QStringLiteral("b%1").arg(listed), std::min(listed + 1, int(CImpMapDialog::listDepthLimit))));
        }
        QCOMPARE(listed, count);
    }
}

QTEST_MAIN(tst_ImpMapDialog)
#include "tst_impmapdialog.moc"
