#include "kvnodedlg.h"

#include "kvapp.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <memory>

// The scene every test sees:
//
//   Props (node)            Group (node)              Villain (skeleton)
//    └ Lamp (node)           └ Hero (skeleton)          └ root (bone)
//                                └ hip (bone)
//                                    └ chest (bone)
class tst_KvNodeDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void filtering_data();
    void filtering();
    void preselection_data();
    void preselection();
    void choosingByClick_data();
    void choosingByClick();
    void batchAccept_data();
    void batchAccept();

private:
    KvNode *node(const QString &label) const { return label.isEmpty() ? nullptr : scene->findNodeByLabel(label); }
    // The tree as indented lines: "label +" choosable, "label -" greyed.
    static QStringList outline(const QTreeWidget *tree);
    static void click(KvNodeDlg &dialog, QTreeWidgetItem *item, bool twice);

    std::unique_ptr<KvScene> scene;
};

void tst_KvNodeDlg::init()
{
    scene = std::make_unique<KvScene>();
    kvScene = scene.get();

    auto *props = new KvNode(QStringLiteral("Props"));
    scene->addNode(props);
    props->addChild(new KvNode(QStringLiteral("Lamp")));

    auto *group = new KvNode(QStringLiteral("Group"));
    scene->addNode(group);
    auto *hero = new KvSkeleton(QStringLiteral("Hero"));
    group->addChild(hero);
    auto *hip = new KvBone(QStringLiteral("hip"));
    hero->addChild(hip);
    hip->addChild(new KvBone(QStringLiteral("chest")));

    auto *villain = new KvSkeleton(QStringLiteral("Villain"));
    scene->addNode(villain);
    villain->addChild(new KvBone(QStringLiteral("root")));
}

void tst_KvNodeDlg::cleanup()
{
    kvScene = nullptr;
    scene.reset();
}

QStringList tst_KvNodeDlg::outline(const QTreeWidget *tree)
{
    QStringList lines;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++depth;
        const bool choosable = (*it)->flags() & Qt::ItemIsSelectable;
        lines.append(QString(depth * 2, QLatin1Char(' ')) + (*it)->text(0) + (choosable ? QLatin1String(" +")
                                                                                       : QLatin1String(" -")));
    }
    return lines;
}

void tst_KvNodeDlg::click(KvNodeDlg &dialog, QTreeWidgetItem *item, bool twice)
{
    QTreeWidget *tree = dialog.treeWidget();
    const QPoint at = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    // QTest sends a widget only the double-click event; a user's first click
    // comes before it.
    if (twice)
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
}

void tst_KvNodeDlg::filtering_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("skeletons") << QStringLiteral("KvSkeleton")
                               << QStringList{QStringLiteral("Group -"), QStringLiteral("  Hero +"),
                                              QStringLiteral("Villain +")};
    QTest::newRow("bones") << QStringLiteral("KvBone")
                           << QStringList{QStringLiteral("Group -"), QStringLiteral("  Hero -"),
                                          QStringLiteral("    hip +"), QStringLiteral("      chest +"),
                                          QStringLiteral("Villain -"), QStringLiteral("  root +")};
    const QStringList everything{QStringLiteral("Props +"),     QStringLiteral("  Lamp +"),
                                 QStringLiteral("Group +"),     QStringLiteral("  Hero +"),
                                 QStringLiteral("    hip +"),   QStringLiteral("      chest +"),
                                 QStringLiteral("Villain +"),   QStringLiteral("  root +")};
    QTest::newRow("nodes") << QStringLiteral("KvNode") << everything;
    QTest::newRow("no-filter") << QString() << everything;
    QTest::newRow("unknown-class") << QStringLiteral("KvCamera") << QStringList();
}

void tst_KvNodeDlg::filtering()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);

    KvNodeDlg dialog(nullptr, nullptr, filter, false);
    QCOMPARE(outline(dialog.treeWidget()), expected);

    // Greyed items stay enabled (their children must be reachable) but look disabled.
    for (QTreeWidgetItemIterator it(dialog.treeWidget()); *it; ++it) {
        QVERIFY((*it)->flags() & Qt::ItemIsEnabled);
        if (!((*it)->flags() & Qt::ItemIsSelectable)) {
            QCOMPARE((*it)->foreground(0).color(),
                     dialog.treeWidget()->palette().color(QPalette::Disabled, QPalette::Text));
        }
    }
}

void tst_KvNodeDlg::preselection_data()
{
    QTest::addColumn<QString>("preselected");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("allowNone");
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<QString>("chosen");  // empty: null

    QTest::newRow("skeleton")            << "Hero" << "KvSkeleton" << false << true << "Hero";
    QTest::newRow("bone-not-skeleton")   << "hip" << "KvSkeleton" << false << false << "";
    QTest::newRow("greyed-group")        << "Group" << "KvSkeleton" << false << false << "";
    QTest::newRow("nothing")             << "" << "KvSkeleton" << false << false << "";
    QTest::newRow("nothing-allowed")     << "" << "KvSkeleton" << true << true << "";
    QTest::newRow("bone-under-bones")    << "chest" << "KvBone" << false << true << "chest";
}

void tst_KvNodeDlg::preselection()
{
    QFETCH(QString, preselected);
    QFETCH(QString, filter);
    QFETCH(bool, allowNone);
    QFETCH(bool, okEnabled);
    QFETCH(QString, chosen);

    KvNodeDlg dialog(nullptr, node(preselected), filter, allowNone);
    QCOMPARE(dialog.okButton()->isEnabled(), okEnabled);
    QCOMPARE(dialog.getNode(), node(chosen));
    if (!chosen.isEmpty()) {
        QTreeWidgetItem *item = dialog.itemForNode(node(chosen));
        QVERIFY(item);
        QVERIFY(item->isSelected());
        QCOMPARE(dialog.treeWidget()->selectedItems().size(), 1);
    } else {
        QVERIFY(dialog.treeWidget()->selectedItems().isEmpty());
    }
}

void tst_KvNodeDlg::choosingByClick_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("doubleClick");  // on the last one
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("skeleton")             << QStringList{"Hero"} << false << true << "Hero" << false;
    QTest::newRow("greyed")               << QStringList{"Group"} << false << false << "" << false;
    // Clicking a greyed node takes the earlier choice back.
    QTest::newRow("skeleton-then-greyed") << QStringList{"Villain", "Group"} << false << false << "" << false;
    QTest::newRow("double-skeleton")      << QStringList{"Hero"} << true << true << "Hero" << true;
    QTest::newRow("double-greyed")        << QStringList{"Group"} << true << false << "" << false;
}

void tst_KvNodeDlg::choosingByClick()
{
    QFETCH(QStringList, clicks);
    QFETCH(bool, doubleClick);
    QFETCH(bool, okEnabled);
    QFETCH(QString, chosen);
    QFETCH(bool, accepted);

    KvNodeDlg dialog(nullptr, nullptr, QStringLiteral("KvSkeleton"), false);
    QSignalSpy acceptedSpy(&dialog, &QDialog::accepted);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.okButton()->isEnabled());

    for (int i = 0; i < clicks.size(); ++i) {
        QTreeWidgetItem *item = dialog.itemForNode(node(clicks.at(i)));
        QVERIFY(item);
        click(dialog, item, doubleClick && i == clicks.size() - 1);
    }
    QCOMPARE(dialog.okButton()->isEnabled(), okEnabled);
    QCOMPARE(dialog.getNode(), node(chosen));
    QCOMPARE(acceptedSpy.count(), accepted ? 1 : 0);
    QCOMPARE(dialog.isVisible(), !accepted);
}

// A host without a user accepts the dialog as built: a preselected figure is
// taken, and no choice is no answer.
void tst_KvNodeDlg::batchAccept_data()
{
    QTest::addColumn<QString>("preselected");
    QTest::addColumn<bool>("allowNone");
    QTest::addColumn<int>("expected");

    QTest::newRow("preselected")     << "Hero" << false << int(QDialog::Accepted);
    QTest::newRow("nothing")         << "" << false << int(QDialog::Rejected);
    QTest::newRow("not-choosable")   << "hip" << false << int(QDialog::Rejected);
}

void tst_KvNodeDlg::batchAccept()
{
    QFETCH(QString, preselected);
    QFETCH(bool, allowNone);
    QFETCH(int, expected);

    QTemporaryDir dir;
    KvApp host(dir.filePath(QStringLiteral("host.ini")), false);
    kvScene = scene.get();  // the host brought a scene of its own

    KvNodeDlg dialog(nullptr, node(preselected), QStringLiteral("KvSkeleton"), allowNone);
    QCOMPARE(host.execDialog(&dialog), expected);
    if (expected == QDialog::Accepted)
        QCOMPARE(dialog.getNode(), preselected.isEmpty() ? nullptr : node(preselected));
}

QTEST_MAIN(tst_KvNodeDlg)
#include "tst_kvnodedlg.moc"
