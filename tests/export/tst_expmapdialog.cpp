#include "expmapdialog.h"
#include "exportoptions.h"
#include "impmapdialog.h"

#include "bvhfixture.h"
#include "kvscene.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

CSkelHeader *record(const QString &name)
{
    for (CSkelHeader *r : bvhState().skeletonList) {
        if (r->name == name)
            return r;
    }
    return nullptr;
}

// Every record as "name:level:label" with "+" when exported; "!" marks one
// whose item disagrees with it.
QString records()
{
    QStringList found;
    for (const CSkelHeader *r : bvhState().skeletonList) {
        const QTreeWidgetItem *item = r->listItem;
        const bool agrees = item->text(0) == r->name && item->text(1) == r->label
                            && item->text(2) == QLatin1String(r->exportFlag ? "E" : " ")
                            && r->bone->getName() == r->name
                            && (item->parent() ? item->parent()->text(0) : QString())
                                   == (r->level > 1 ? r->bone->getNodeParent()->getName() : QString());
        found += QStringLiteral("%1:%2:%3%4%5").arg(r->name).arg(r->level)
                     .arg(r->label, QLatin1String(r->exportFlag ? "+" : ""), QLatin1String(agrees ? "" : "!"));
    }
    return found.join(QLatin1Char(' '));
}

} // namespace

class tst_ExpMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void listsBones();
    void exportMarks_data();
    void exportMarks();
    void renamesInFileColumnOnly();
    void secondLifeOptionPersists();
    void storedMaps();

private:
    std::unique_ptr<kvtest::TestHost> host;
    KvSkeleton *figure = nullptr;
};

//   figure ─┬─ hip ─┬─ abdomen ── chest ─┬─ neck
//           │       │                    └─ prop (node) ── gem
//           │       └─ lThigh ── lShin
//           └─ other (not the first child: not listed)
void tst_ExpMapDialog::init()
{
    host = std::make_unique<kvtest::TestHost>();
    figure = kvtest::figure(QStringLiteral("figure"), {"hip:", "other:", "abdomen:hip", "chest:abdomen", "neck:chest",
                                                       "lThigh:hip", "lShin:lThigh"});
    figure->setLabel(QStringLiteral("Figure <1>"));
    kvScene->addNode(figure);
    figure->findBone(QStringLiteral("chest"))->addChild(new KvNode(QStringLiteral("prop")));
    kvScene->findNodeByLabel(QStringLiteral("prop"))->addChild(new KvBone(QStringLiteral("gem")));
    bvhState().targetSkeleton = figure;
    bvhState().currentFileName = QStringLiteral("walk.bvh");
}

void tst_ExpMapDialog::cleanup()
{
    secondLifeOption = false;
    host.reset();
}

// One record per bone, depth first, each with its item in the tree; a
// skeleton whose first child is no bone lists nothing.
void tst_ExpMapDialog::listsBones()
{
    {
        CExpMapDialog dialog;
        QCOMPARE(records(), QStringLiteral("hip:1:hip+ abdomen:2:abdomen+ chest:3:chest+ neck:4:neck+ lThigh:2:lThigh+ "
                                           "lShin:3:lShin+"));
        QCOMPARE(dialog.nodeList->topLevelItemCount(), 1);
        QStringList texts;
        for (const QLabel *label : dialog.findChildren<QLabel *>()) {
            if (label->isVisibleTo(&dialog))
                texts += label->text();
        }
        QCOMPARE(texts, QStringList({"Selected Figure:<b>Figure &lt;1&gt;</b>", "Selected File:<b>walk.bvh</b>"}));
    }
    bvhState().clearLists();
    KvSkeleton statue(QStringLiteral("statue"));
    statue.addChild(new KvNode(QStringLiteral("base")));
    statue.getNodeChild(0)->addChild(new KvBone(QStringLiteral("arm")));
    bvhState().targetSkeleton = &statue;
    {
        CExpMapDialog dialog;
        QCOMPARE(bvhState().skeletonList.count() + dialog.nodeList->topLevelItemCount(), 0);
    }

    // A chain deeper than the list shows: records keep their levels (the
    // writer nests by them), rows below the limit sit at the limit, and the
    // export marks still follow the bones.
    bvhState().clearLists();
    KvSkeleton chain(QStringLiteral("chain"));
    KvNode *tip = &chain;
    const int depth = CExpMapDialog::listDepthLimit + 50;
    for (int i = 1; i <= depth; ++i) {
        auto *bone = new KvBone(QStringLiteral("b%1").arg(i));
        tip->addChild(bone);
        tip = bone;
    }
    bvhState().targetSkeleton = &chain;
    CExpMapDialog dialog;
    const auto &list = bvhState().skeletonList;
    QCOMPARE(list.count(), depth);
    int deepest = 0;
    for (int i = 0; i < depth; ++i) {
        QCOMPARE(list.at(i)->level, i + 1);
        int rowDepth = 1;
        for (const QTreeWidgetItem *up = list.at(i)->listItem->parent(); up; up = up->parent())
            ++rowDepth;
        deepest = std::max(deepest, rowDepth);
    }
    QCOMPARE(deepest, int(CExpMapDialog::listDepthLimit));
    QVERIFY(dialog.findChildren<QLabel *>().last()->isVisibleTo(&dialog));
    dialog.colClickedList1(list.at(depth - 10)->listItem, CExpMapDialog::ExportColumn);
    QCOMPARE(int(std::count_if(list.begin(), list.end(), [](const CSkelHeader *r) { return r->exportFlag; })), depth - 10);
    dialog.colClickedList1(list.at(depth - 1)->listItem, CExpMapDialog::ExportColumn);
    QVERIFY(std::all_of(list.begin(), list.end(), [](const CSkelHeader *r) { return r->exportFlag; }));
}

void tst_ExpMapDialog::exportMarks_data()
{
    QTest::addColumn<QStringList>("presses");  // bone:column
    QTest::addColumn<QStringList>("exported");
    QTest::newRow("branch-off") << QStringList{"abdomen:2"} << QStringList{"hip", "lThigh", "lShin"};
    QTest::newRow("leaf-back-to-root") << QStringList{"hip:2", "neck:2"}
                                       << QStringList{"hip", "abdomen", "chest", "neck"};
    QTest::newRow("on-again-without-children") << QStringList{"chest:2", "chest:2"}
                                               << QStringList{"hip", "abdomen", "chest", "lThigh", "lShin"};
    QTest::newRow("name-columns") << QStringList{"hip:0", "abdomen:1", "nothing:2"}
                                  << QStringList{"hip", "abdomen", "chest", "neck", "lThigh", "lShin"};
}

// Mouse presses in the middle of a bone's cell; an unknown bone presses below
// the last item.
void tst_ExpMapDialog::exportMarks()
{
    QFETCH(QStringList, presses);
    QFETCH(QStringList, exported);
    CExpMapDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTreeWidget *tree = dialog.nodeList;
    for (const QString &p : presses) {
        const CSkelHeader *r = record(p.section(QLatin1Char(':'), 0, 0));
        const int column = p.section(QLatin1Char(':'), 1).toInt();
        const QPoint at(tree->header()->sectionViewportPosition(column) + tree->header()->sectionSize(column) / 2,
                        r ? tree->visualItemRect(r->listItem).center().y() : tree->viewport()->height() - 2);
        QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
    }
    QStringList marked;
    for (const QString &entry : records().split(QLatin1Char(' '))) {
        QVERIFY2(!entry.endsWith(QLatin1Char('!')), qPrintable(entry));
        if (entry.endsWith(QLatin1Char('+')))
            marked += entry.section(QLatin1Char(':'), 0, 0);
    }
    QCOMPARE(marked, exported);
}

void tst_ExpMapDialog::renamesInFileColumnOnly()
{
    CExpMapDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTreeWidgetItem *item = record(QStringLiteral("abdomen"))->listItem;
    dialog.nodeList->editItem(item, 1);
    auto *editor = dialog.nodeList->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Spine 1"));
    QTest::keyClick(editor, Qt::Key_Return);  // commits through a queued call
    QTRY_COMPARE(record(QStringLiteral("abdomen"))->label, QStringLiteral("Spine 1"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    dialog.nodeList->editItem(item, 0);
    dialog.nodeList->editItem(item, 2);
    QCOMPARE(dialog.nodeList->findChildren<QLineEdit *>().size(), 0);
    // The dialog's own export marks are no renames.
    dialog.colClickedList1(item, CExpMapDialog::ExportColumn);
    QCOMPARE(records(), QStringLiteral("hip:1:hip+ abdomen:2:Spine 1 chest:3:chest neck:4:neck lThigh:2:lThigh+ "
                                       "lShin:3:lShin+"));
}

// The option is stored at the click, so cancelling keeps it, and the next
// dialog starts from it.
void tst_ExpMapDialog::secondLifeOptionPersists()
{
    for (const bool before : {false, true}) {
        CExpMapDialog dialog;
        QCOMPARE(std::pair(dialog.secondLifeBox->isChecked(), secondLifeOption), std::pair(before, before));
        dialog.secondLifeBox->click();
        dialog.reject();
        QCOMPARE(kvtest::stored(QStringLiteral("Second Life Opt")), QVariant(!before).toString());
        QCOMPARE(secondLifeOption, !before);
        bvhState().clearLists();
        secondLifeOption = false;
    }
}

// Save Map stores file name = bone name for every bone, exported or not. The
// import dialog knows bones by their labels, so the map applies there only
// where the two agree (abdomen and neck are skipped). Load Map renames the
// bones it names; a bone named twice takes the later name.
void tst_ExpMapDialog::storedMaps()
{
    figure->findBone(QStringLiteral("abdomen"))->setLabel(QStringLiteral("Tummy"));
    figure->findBone(QStringLiteral("neck"))->setLabel(QStringLiteral("Neck"));
    kvtest::scriptPicker(QStringLiteral("walk"));
    const auto click = [](QDialog &dialog, const char *text) {
        for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
            if (button->text() == QLatin1String(text))
                button->click();
        }
    };
    {
        CExpMapDialog dialog;
        for (const QString rename : {"hip=Root", "abdomen=Mid", "chest=Top", "lThigh=Leg"})
            record(rename.section('=', 0, 0))->listItem->setText(CExpMapDialog::FileNameColumn, rename.section('=', 1));
        dialog.colClickedList1(record(QStringLiteral("lThigh"))->listItem, CExpMapDialog::ExportColumn);
        click(dialog, "Save Map");
    }
    QCOMPARE(kvtest::stored(QStringLiteral("Maps")), QStringLiteral("walk;"));
    QCOMPARE(kvtest::stored(QStringLiteral("walk_DATA")),
             QStringLiteral("Root=hip;Mid=abdomen;Top=chest;neck=neck;Leg=lThigh;lShin=lShin;"));
    bvhState().clearLists();

    using kvtest::bvhJoint;
    kvtest::readHierarchy(figure, bvhJoint("Root", 0, bvhJoint("Mid", 1, bvhJoint("Top", 2)) + bvhJoint("Leg", 1)));
    {
        CImpMapDialog dialog(false);
        dialog.loadMapFile();
        QStringList mapping;
        for (const CBvhHeader *r : bvhState().jointList) {
            if (r->type == Joint)
                mapping += r->name + QLatin1Char(':') + r->mappedName;
        }
        QCOMPARE(mapping.join(QLatin1Char(' ')), QStringLiteral("Root:hip Mid: Top:chest Leg:lThigh"));
    }
    bvhState().clearLists();

    CExpMapDialog dialog;
    kvtest::setStored(QStringLiteral("walk_DATA"), QStringLiteral("Hips=hip;Top=chest;Other=nobody;Chest=chest;"));
    kvtest::setStored(QStringLiteral("Second Life Opt"), true);
    click(dialog, "Load Map");
    QCOMPARE(records(), QStringLiteral("hip:1:Hips+ abdomen:2:abdomen+ chest:3:Chest+ neck:4:neck+ lThigh:2:lThigh+ "
                                       "lShin:3:lShin+"));
    QVERIFY(dialog.secondLifeBox->isChecked() && secondLifeOption);
}

QTEST_MAIN(tst_ExpMapDialog)
#include "tst_expmapdialog.moc"
