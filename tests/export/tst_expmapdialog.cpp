#include "expmapdialog.h"
#include "bvhstate.h"
#include "exportfixture.h"
#include "exportoptions.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

class tst_ExpMapDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void listsBones_data();
    void listsBones();
    void exportMarks_data();
    void exportMarks();
    void renamesInFileColumnOnly();
    void secondLifeOptionPersists();

private:
    static CSkelHeader *record(const QString &name);
    static void press(CExpMapDialog &dialog, const QString &bone, int column);
    bool storedOption() const;

    QTemporaryDir dir;
    std::unique_ptr<KvApp> app;
};

//   figure ─┬─ hip ─┬─ abdomen ── chest ─┬─ neck
//           │       │                    └─ prop (node) ── gem
//           │       └─ lThigh ── lShin
//           └─ other (not the first child: not listed)
//   statue ── base (node) ── arm
void tst_ExpMapDialog::init()
{
    app = std::make_unique<KvApp>(dir.filePath(QStringLiteral("settings.ini")), false);
    KvSkeleton *figure = exporttest::figure(QStringLiteral("figure"), {"hip:", "other:", "abdomen:hip", "chest:abdomen",
                                                                      "neck:chest", "lThigh:hip", "lShin:lThigh"}).release();
    figure->setLabel(QStringLiteral("Figure <1>"));
    kvScene->addNode(figure);
    auto *prop = new KvNode(QStringLiteral("prop"));
    prop->addChild(new KvBone(QStringLiteral("gem")));
    figure->findBone(QStringLiteral("chest"))->addChild(prop);
    kvScene->addNode(exporttest::statue().release());
    bvhState().targetSkeleton = figure;
    bvhState().currentFileName = QStringLiteral("walk.bvh");
}

void tst_ExpMapDialog::cleanup()
{
    bvhState().clearLists();
    bvhState().targetSkeleton = nullptr;
    secondLifeOption = false;
    app.reset();
}

CSkelHeader *tst_ExpMapDialog::record(const QString &name)
{
    for (CSkelHeader *r : bvhState().skeletonList) {
        if (r->name == name)
            return r;
    }
    return nullptr;
}

// A mouse press in the middle of the bone's cell; an unknown bone presses
// below the last item.
void tst_ExpMapDialog::press(CExpMapDialog &dialog, const QString &bone, int column)
{
    QTreeWidget *tree = dialog.nodeList;
    const CSkelHeader *r = record(bone);
    const QHeaderView *header = tree->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    const int y = r ? tree->visualItemRect(r->listItem).center().y() : tree->viewport()->height() - 2;
    QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, QPoint(x, y));
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, QPoint(x, y));
}

bool tst_ExpMapDialog::storedOption() const
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    const bool on = settings->getBoolValue(QStringLiteral("Second Life Opt"), false);
    settings->popPath();
    return on;
}

void tst_ExpMapDialog::listsBones_data()
{
    QTest::addColumn<int>("skeleton");  // top-level node index
    QTest::addColumn<QStringList>("bones");  // name:level:parent, in list order
    QTest::newRow("figure") << 0
                            << QStringList{"hip:1:", "abdomen:2:hip", "chest:3:abdomen", "neck:4:chest",
                                           "lThigh:2:hip", "lShin:3:lThigh"};
    QTest::newRow("first-child-not-a-bone") << 1 << QStringList();
}

void tst_ExpMapDialog::listsBones()
{
    QFETCH(int, skeleton);
    QFETCH(QStringList, bones);
    bvhState().targetSkeleton = kvScene->getNode(skeleton)->getSkeleton();

    CExpMapDialog dialog;
    QStringList listed;
    for (const CSkelHeader *r : bvhState().skeletonList) {
        const QTreeWidgetItem *item = r->listItem;
        QVERIFY(item && item->treeWidget() == dialog.nodeList && item->isExpanded());
        QCOMPARE(QStringList({r->label, item->text(1), item->text(2)}), QStringList({r->name, r->name, "E"}));
        QVERIFY(r->exportFlag && r->bone == kvScene->findNodeByLabel(r->name));
        listed += QStringLiteral("%1:%2:%3").arg(r->name).arg(r->level).arg(item->parent() ? item->parent()->text(0) : QString());
    }
    QCOMPARE(listed, bones);
    QCOMPARE(dialog.nodeList->topLevelItemCount(), bones.isEmpty() ? 0 : 1);

    QCOMPARE(dialog.windowTitle(), QStringLiteral("BVH Exporter Options"));
    QCOMPARE(dialog.minimumSize(), QSize(400, 600));
    QVERIFY(dialog.isSizeGripEnabled());
    QVERIFY(dialog.windowFlags() & Qt::WindowTitleHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowSystemMenuHint));
    QStringList labels;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        labels += label->text();
    QVERIFY(labels.contains(QStringLiteral("Selected File:<b>walk.bvh</b>")));
    if (skeleton == 0)
        QVERIFY(labels.contains(QStringLiteral("Selected Figure:<b>Figure &lt;1&gt;</b>")));
}

void tst_ExpMapDialog::exportMarks_data()
{
    QTest::addColumn<QStringList>("presses");  // bone:column
    QTest::addColumn<QStringList>("exported");

    const QStringList all{"hip", "abdomen", "chest", "neck", "lThigh", "lShin"};
    QTest::newRow("root-off") << QStringList{"hip:2"} << QStringList();
    QTest::newRow("branch-off") << QStringList{"abdomen:2"} << QStringList{"hip", "lThigh", "lShin"};
    QTest::newRow("leaf-back-to-root") << QStringList{"hip:2", "neck:2"} << QStringList{"hip", "abdomen", "chest", "neck"};
    QTest::newRow("on-again-without-children") << QStringList{"chest:2", "chest:2"}
                                               << QStringList{"hip", "abdomen", "chest", "lThigh", "lShin"};
    QTest::newRow("name-columns") << QStringList{"hip:0", "abdomen:1", "lShin:0"} << all;
    QTest::newRow("below-the-items") << QStringList{"nothing:2"} << all;
}

void tst_ExpMapDialog::exportMarks()
{
    QFETCH(QStringList, presses);
    QFETCH(QStringList, exported);

    CExpMapDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const QString &p : presses)
        press(dialog, p.section(QLatin1Char(':'), 0, 0), p.section(QLatin1Char(':'), 1).toInt());

    QStringList marked;
    for (const CSkelHeader *r : bvhState().skeletonList) {
        if (r->exportFlag)
            marked += r->name;
        QCOMPARE(r->listItem->text(2), r->exportFlag ? QStringLiteral("E") : QStringLiteral(" "));
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
    QCOMPARE(record(QStringLiteral("abdomen"))->name, QStringLiteral("abdomen"));
    QCOMPARE(record(QStringLiteral("chest"))->label, QStringLiteral("chest"));
    QCOMPARE(item->text(0), QStringLiteral("abdomen"));

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    dialog.nodeList->editItem(item, 0);
    dialog.nodeList->editItem(item, 2);
    QCOMPARE(dialog.nodeList->findChildren<QLineEdit *>().size(), 0);
}

// The option is stored at the click, so cancelling keeps it, and the next
// dialog starts from it.
void tst_ExpMapDialog::secondLifeOptionPersists()
{
    for (const bool before : {false, true}) {
        CExpMapDialog dialog;
        QCOMPARE(dialog.secondLifeBox->isChecked(), before);
        QCOMPARE(secondLifeOption, before);
        dialog.secondLifeBox->click();
        QCOMPARE(storedOption(), !before);
        QCOMPARE(secondLifeOption, !before);
        dialog.reject();
        bvhState().clearLists();
        secondLifeOption = false;
    }
}

QTEST_MAIN(tst_ExpMapDialog)
#include "tst_expmapdialog.moc"
