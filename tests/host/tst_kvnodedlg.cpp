#include "kvnodedlg.h"

#include "kvnode.h"
#include "kvscene.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

// The node chooser on a scene of Group (node) ─ Hero (skeleton) ─ hip (bone)
// and Villain (skeleton). OK is enabled for a node that inherits the filter;
// accept() refuses while it is not, so that a host that accepts unseen gets
// the same answer.
class tst_KvNodeDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choosing_data();
    void choosing();
};

void tst_KvNodeDlg::choosing_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("preselected");
    QTest::addColumn<QString>("picked");  // by the user, afterwards
    QTest::addColumn<QString>("listed");  // the items, each after a ">" per level, "+" when choosable
    QTest::addColumn<QString>("chosen");  // none: OK disabled
    const QString skeletons = QStringLiteral("Group- >Hero+ Villain+");
    QTest::newRow("preselected") << "KvSkeleton" << "Hero" << "" << skeletons << "Hero";
    QTest::newRow("preselected-unlisted") << "KvSkeleton" << "hip" << "" << skeletons << "";
    QTest::newRow("picked") << "KvSkeleton" << "Hero" << "Villain" << skeletons << "Villain";
    QTest::newRow("picked-greyed") << "KvSkeleton" << "Villain" << "Group" << skeletons << "";
    QTest::newRow("bones") << "KvBone" << "" << "hip" << "Group- >Hero- >>hip+" << "hip";
    QTest::newRow("base-class") << "KvNode" << "Group" << "" << "Group+ >Hero+ >>hip+ Villain+" << "Group";
}

void tst_KvNodeDlg::choosing()
{
    QFETCH(QString, filter);
    QFETCH(QString, preselected);
    QFETCH(QString, picked);
    QFETCH(QString, listed);
    QFETCH(QString, chosen);
    KvScene scene;
    kvScene = &scene;
    auto *group = new KvNode(QStringLiteral("Group"));
    scene.addNode(group);
    auto *hero = new KvSkeleton(QStringLiteral("hero"));
    hero->setLabel(QStringLiteral("Hero"));  // the tree shows labels
    group->addChild(hero);
    hero->addChild(new KvBone(QStringLiteral("hip")));
    scene.addNode(new KvSkeleton(QStringLiteral("Villain")));
    const auto node = [&scene](const QString &label) { return label.isEmpty() ? nullptr : scene.findNodeByLabel(label); };

    KvNodeDlg dialog(nullptr, node(preselected), filter, false);
    QStringList items;
    for (QTreeWidgetItemIterator it(dialog.treeWidget()); *it; ++it) {
        QString text = (*it)->text(0) + QLatin1Char((*it)->flags() & Qt::ItemIsSelectable ? '+' : '-');
        for (const QTreeWidgetItem *up = (*it)->parent(); up; up = up->parent())
            text.prepend(QLatin1Char('>'));
        items += text;
        QVERIFY((*it)->flags() & Qt::ItemIsEnabled);  // greyed only: a disabled item disables those below
    }
    QCOMPARE(items.join(QLatin1Char(' ')), listed);
    if (!picked.isEmpty())
        dialog.treeWidget()->setCurrentItem(dialog.itemForNode(node(picked)));
    QCOMPARE(dialog.getNode(), node(chosen));
    QCOMPARE(dialog.okButton()->isEnabled(), !chosen.isEmpty());
    dialog.setResult(QDialog::Rejected);
    dialog.accept();
    QCOMPARE(dialog.result() == QDialog::Accepted, !chosen.isEmpty());
    kvScene = nullptr;
}

QTEST_MAIN(tst_KvNodeDlg)
#include "tst_kvnodedlg.moc"
