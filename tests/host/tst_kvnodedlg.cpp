#include "kvnodedlg.h"

#include "kvnode.h"
#include "kvscene.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

// The node chooser on Group (node) ─ Hero (skeleton) ─ hip (bone) and Villain
// (skeleton). OK is enabled for a node that inherits the filter; accept()
// refuses while it is not, so that a host that accepts unseen gets the same answer.
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
    QTest::addColumn<QString>("listed");  // the items, each after a ">" per level, "+" when choosable
    QTest::addColumn<QString>("chosen");  // none: OK disabled
    QTest::newRow("skeleton") << "KvSkeleton" << "Hero" << "Group- >Hero+ Villain+" << "Hero";
    QTest::newRow("unlisted") << "KvSkeleton" << "hip" << "Group- >Hero+ Villain+" << "";
    QTest::newRow("greyed") << "KvSkeleton" << "Group" << "Group- >Hero+ Villain+" << "";
    QTest::newRow("bone") << "KvBone" << "hip" << "Group- >Hero- >>hip+" << "hip";
    QTest::newRow("base-class") << "KvNode" << "Group" << "Group+ >Hero+ >>hip+ Villain+" << "Group";
}

void tst_KvNodeDlg::choosing()
{
    QFETCH(QString, filter);
    QFETCH(QString, preselected);
    QFETCH(QString, listed);
    QFETCH(QString, chosen);
    KvScene scene;
    kvScene = &scene;
    scene.addNode(new KvNode(QStringLiteral("Group")));
    scene.getNode(0)->addChild(new KvSkeleton(QStringLiteral("Hero")));
    scene.getNode(0)->getNodeChild(0)->addChild(new KvBone(QStringLiteral("hip")));
    scene.addNode(new KvSkeleton(QStringLiteral("Villain")));
    KvNodeDlg dialog(nullptr, scene.findNodeByLabel(preselected), filter, false);
    QStringList items;
    for (QTreeWidgetItemIterator it(dialog.treeWidget()); *it; ++it) {
        QString text = (*it)->text(0) + QLatin1Char((*it)->flags() & Qt::ItemIsSelectable ? '+' : '-');
        for (const QTreeWidgetItem *up = (*it)->parent(); up; up = up->parent())
            text.prepend(QLatin1Char('>'));
        items += text;
        QVERIFY((*it)->flags() & Qt::ItemIsEnabled);  // greyed only: a disabled item disables those below
    }
    QCOMPARE(items.join(QLatin1Char(' ')), listed);
    QCOMPARE(dialog.getNode(), chosen.isEmpty() ? nullptr : scene.findNodeByLabel(chosen));
    dialog.setResult(QDialog::Rejected);
    dialog.accept();
    QCOMPARE(std::pair(dialog.okButton()->isEnabled(), dialog.result() == QDialog::Accepted),
             std::pair(!chosen.isEmpty(), !chosen.isEmpty()));
    kvScene = nullptr;
}

QTEST_MAIN(tst_KvNodeDlg)
#include "tst_kvnodedlg.moc"
