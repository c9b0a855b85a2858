#include "expmapdialog.h"
#include "exportoptions.h"

#include "bvhfixture.h"
#include "kvscene.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

class tst_ExpMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup()
    {
        secondLifeOption = false;
        host.reset();
    }
    void deepChain();
    void session();

private:
    std::unique_ptr<kvtest::TestHost> host;
};

//   figure ─┬─ hip ─┬─ abdomen ── chest ─┬─ neck
//           │       │                    └─ prop (node) ── gem
//           │       └─ lThigh ── lShin
//           └─ other (not the first child: not listed)
void tst_ExpMapDialog::init()
{
    host = std::make_unique<kvtest::TestHost>();
    KvSkeleton *figure = kvtest::figure(QStringLiteral("figure"), {"hip", "other", "abdomen<hip", "chest<abdomen", "neck<chest",
                                                       "lThigh<hip", "lShin<lThigh"});
    kvScene->addNode(figure);
    figure->findBone(QStringLiteral("chest"))->addChild(new KvNode(QStringLiteral("prop")));
    kvScene->findNodeByLabel(QStringLiteral("prop"))->addChild(new KvBone(QStringLiteral("gem")));
    bvhState().targetSkeleton = figure;
}

// A chain deeper than the list shows: records keep their levels (the writer
// nests by them), rows below the limit sit at the limit, and the export marks
// still follow the bones.
void tst_ExpMapDialog::deepChain()
{
    KvSkeleton chain(QStringLiteral("chain"));
    KvNode *tip = &chain;
    const int depth = CExpMapDialog::listDepthLimit + 50;
    for (int i = 1; i <= depth; ++i) {
        tip->addChild(new KvBone(QStringLiteral("b%1").arg(i)));
        tip = tip->getNodeChild(0);
    }
    bvhState().targetSkeleton = &chain;
    CExpMapDialog dialog;
    const auto &list = bvhState().skeletonList;
    QCOMPARE(list.count(), depth);
    for (int i = 0; i < depth; ++i) {
        int row = 1;
        for (const QTreeWidgetItem *up = list.at(i)->listItem->parent(); up; up = up->parent())
            ++row;
        QCOMPARE(std::pair(list.at(i)->level, row), std::pair(i + 1, std::min(i + 1, int(CExpMapDialog::listDepthLimit))));
    }
    const auto exported = [&list] { return std::count_if(list.begin(), list.end(), [](const CSkelHeader *r) { return r->exportFlag; }); };
    dialog.colClickedList1(list.at(depth - 10)->listItem, CExpMapDialog::ExportColumn);
    QCOMPARE(exported(), depth - 10);
    dialog.colClickedList1(list.at(depth - 1)->listItem, CExpMapDialog::ExportColumn);
    QCOMPARE(exported(), depth);
}

// A press in the mark column switches off the bone's branch, or switches on
// the bone and every bone up to the root; presses elsewhere change nothing.
// What is typed in the file-name column is the label written. Save Map stores
// label = name for every bone, exported or not; Load Map renames the bones it
// names, the later name of a bone named twice winning.
void tst_ExpMapDialog::session()
{
    kvtest::scriptPicker(QStringLiteral("walk"));
    CExpMapDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTreeWidget *tree = dialog.nodeList;
    const auto item = [tree](const char *bone) { return tree->findItems(QString::fromLatin1(bone), Qt::MatchExactly | Qt::MatchRecursive).value(0); };
    // Presses the middle of a cell, below the last row for no bone; gives the bones then exported.
    const auto press = [&](const char *bone, int column) {
        const QPoint at(tree->header()->sectionViewportPosition(column) + tree->header()->sectionSize(column) / 2,
                        item(bone) ? tree->visualItemRect(item(bone)).center().y() : tree->viewport()->height() - 2);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QStringList exported;
        for (const CSkelHeader *r : bvhState().skeletonList) {
            if (r->exportFlag)
                exported += r->name;
        }
        return exported.join(QLatin1Char(' '));
    };
    QCOMPARE(press("hip", 2), QString());
    QCOMPARE(press("neck", 2), QStringLiteral("hip abdomen chest neck"));
    QCOMPARE(press("abdomen", 2), QStringLiteral("hip"));
    QCOMPARE(press("chest", 2), QStringLiteral("hip abdomen chest"));
    for (const auto &[bone, column] : {std::pair("hip", 0), std::pair("abdomen", 1), std::pair("nothing", 2)})
        QCOMPARE(press(bone, column), QStringLiteral("hip abdomen chest"));
    QCOMPARE(press("lThigh", 2), QStringLiteral("hip abdomen chest lThigh"));

    tree->editItem(item("abdomen"), CExpMapDialog::FileNameColumn);
    auto *editor = tree->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("Spine 1"));
    QTest::keyClick(editor, Qt::Key_Return);  // commits through a queued call
    QTRY_COMPARE(item("abdomen")->text(CExpMapDialog::FileNameColumn), QStringLiteral("Spine 1"));
    dialog.saveMapFile();
    QCOMPARE(kvtest::stored(QStringLiteral("walk_DATA")),
             QStringLiteral("hip=hip;Spine 1=abdomen;chest=chest;neck=neck;lThigh=lThigh;lShin=lShin;"));
    kvtest::setStored(QStringLiteral("walk_DATA"), QStringLiteral("Hips=hip;Top=chest;Other=nobody;Chest=chest;"));
    dialog.loadMapFile();
    // Each record as "name:level:label", "+" when exported, "!" when its row shows otherwise.
    QStringList shown;
    for (const CSkelHeader *r : bvhState().skeletonList) {
        const bool agrees = r->listItem->text(1) == r->label && r->listItem->text(2) == QLatin1String(r->exportFlag ? "E" : " ");
        shown += QStringLiteral("%1:%2:%3").arg(r->name).arg(r->level).arg(r->label) + QLatin1String(r->exportFlag ? "+" : "")
                 + QLatin1String(agrees ? "" : "!");
    }
    QCOMPARE(shown.join(QLatin1Char(' ')), QStringLiteral("hip:1:Hips+ abdomen:2:Spine 1+ chest:3:Chest+ neck:4:neck lThigh:2:lThigh+ lShin:3:lShin"));

    // The Second Life option is stored at its click, whatever ends the dialog.
    dialog.secondLifeBox->click();
    QCOMPARE(std::pair(kvtest::stored(QStringLiteral("Second Life Opt")), secondLifeOption), std::pair(QStringLiteral("true"), true));
}

QTEST_MAIN(tst_ExpMapDialog)
#include "tst_expmapdialog.moc"
