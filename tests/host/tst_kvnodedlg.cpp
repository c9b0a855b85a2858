#include "kvnodedlg.h"

#include "kvnode.h"
#include "kvscene.h"

#include <QPushButton>
#include <QSignalSpy>
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
//
// The tree shows labels; Hero's name is "hero".
class tst_KvNodeDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void filtering_data();
    void filtering();
    void choosing_data();
    void choosing();

private:
    KvNode *node(const QString &label) const { return label.isEmpty() ? nullptr : scene->findNodeByLabel(label); }

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
    auto *hero = new KvSkeleton(QStringLiteral("hero"));
    hero->setLabel(QStringLiteral("Hero"));
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

void tst_KvNodeDlg::filtering_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");  // indented by depth; "+" choosable, "-" greyed

    QTest::newRow("skeletons") << "KvSkeleton" << QStringList{"Group -", "  Hero +", "Villain +"};
    QTest::newRow("bones") << "KvBone"
                           << QStringList{"Group -", "  Hero -", "    hip +", "      chest +", "Villain -", "  root +"};
    const QStringList everything{"Props +", "  Lamp +", "Group +", "  Hero +", "    hip +", "      chest +",
                                 "Villain +", "  root +"};
    QTest::newRow("base-class") << "KvNode" << everything;
    QTest::newRow("no-filter") << QString() << everything;
    QTest::newRow("unknown-class") << "KvCamera" << QStringList();
}

void tst_KvNodeDlg::filtering()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    KvNodeDlg dialog(nullptr, nullptr, filter, false);
    QStringList lines;
    for (QTreeWidgetItemIterator it(dialog.treeWidget()); *it; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++depth;
        const bool choosable = (*it)->flags() & Qt::ItemIsSelectable;
        lines.append(QString(depth * 2, QLatin1Char(' ')) + (*it)->text(0) + (choosable ? " +" : " -"));
        // Greyed items stay enabled (their children must be reachable) but look disabled.
        QVERIFY((*it)->flags() & Qt::ItemIsEnabled);
        if (!choosable) {
            QCOMPARE((*it)->foreground(0).color(),
                     dialog.treeWidget()->palette().color(QPalette::Disabled, QPalette::Text));
        }
    }
    QCOMPARE(lines, expected);
}

void tst_KvNodeDlg::choosing_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("preselected");
    QTest::addColumn<bool>("allowNone");
    QTest::addColumn<QString>("picked");  // made the current item afterwards
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("chosen");  // empty: none

    QTest::newRow("preselected") << "KvSkeleton" << "Hero" << false << "" << false << "Hero";
    QTest::newRow("preselected-greyed") << "KvSkeleton" << "hip" << false << "" << false << "";
    QTest::newRow("nothing-allowed") << "KvSkeleton" << "" << true << "" << false << "";
    QTest::newRow("bone-under-bones") << "KvBone" << "chest" << false << "" << false << "chest";
    QTest::newRow("picked") << "KvSkeleton" << "" << false << "Villain" << false << "Villain";
    QTest::newRow("picked-greyed") << "KvSkeleton" << "Villain" << false << "Group" << false << "";
    QTest::newRow("double-click") << "KvSkeleton" << "" << false << "Hero" << true << "Hero";
    QTest::newRow("double-click-greyed") << "KvSkeleton" << "" << false << "Group" << true << "";
}

// OK is enabled for a choosable node, or with allowNone; accept() refuses
// while it is not, so a host that accepts unseen gets the same answer.
void tst_KvNodeDlg::choosing()
{
    QFETCH(QString, filter);
    QFETCH(QString, preselected);
    QFETCH(bool, allowNone);
    QFETCH(QString, picked);
    QFETCH(bool, doubleClick);
    QFETCH(QString, chosen);
    KvNodeDlg dialog(nullptr, node(preselected), filter, allowNone);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTreeWidget *tree = dialog.treeWidget();
    if (!picked.isEmpty()) {
        QTreeWidgetItem *item = dialog.itemForNode(node(picked));
        QVERIFY(item);
        tree->setCurrentItem(item);
        if (doubleClick)
            Q_EMIT tree->itemDoubleClicked(item, 0);
    }
    const bool ok = allowNone || !chosen.isEmpty();
    QCOMPARE(dialog.okButton()->isEnabled(), ok);
    QCOMPARE(dialog.getNode(), node(chosen));
    QCOMPARE(tree->selectedItems().size(), chosen.isEmpty() ? 0 : 1);
    QCOMPARE(accepted.count(), doubleClick && ok ? 1 : 0);  // a double click on a choosable node accepts
    dialog.setResult(QDialog::Rejected);
    dialog.accept();
    QCOMPARE(dialog.result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
}

QTEST_MAIN(tst_KvNodeDlg)
#include "tst_kvnodedlg.moc"
