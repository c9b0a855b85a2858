#include "kvnodedlg.h"

#include "kvnode.h"
#include "kvscene.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPalette>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace {

enum Column { LabelColumn, TypeColumn };

QString typeName(const KvNode *node)
{
    QString name = QString::fromLatin1(node->metaObject()->className());
    if (name.startsWith(QLatin1String("Kv")))
        name.remove(0, 2);
    return name;
}

} // namespace

KvNodeDlg::KvNodeDlg(QWidget *parent, KvNode *preselected, const QString &classFilter, bool allowNone)
    : QDialog(parent),
      classFilter(classFilter),
      allowNone(allowNone),
      tree(new QTreeWidget(this)),
      buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Select Node"));

    tree->setColumnCount(2);
    tree->setHeaderLabels({tr("Node"), tr("Type")});
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setRootIsDecorated(true);
    tree->header()->setSectionResizeMode(LabelColumn, QHeaderView::Stretch);

    if (kvScene) {
        for (int i = 0; i < kvScene->getNumNodes(); ++i) {
            if (QTreeWidgetItem *item = addNode(kvScene->getNode(i), nullptr))
                tree->addTopLevelItem(item);
        }
    }
    tree->expandAll();

    if (QTreeWidgetItem *item = itemForNode(preselected); isChoosable(item)) {
        tree->setCurrentItem(item);
        item->setSelected(true);
        tree->scrollToItem(item);
    }

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tree);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &KvNodeDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &KvNodeDlg::reject);
    connect(tree, &QTreeWidget::itemSelectionChanged, this, &KvNodeDlg::updateOkButton);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        if (isChoosable(item))
            accept();
    });
    updateOkButton();
}

KvNode *KvNodeDlg::getNode() const
{
    const QList<QTreeWidgetItem *> selected = tree->selectedItems();
    for (const QTreeWidgetItem *item : selected) {
        if (isChoosable(item))
            return nodeOf(item);
    }
    return nullptr;
}

QTreeWidgetItem *KvNodeDlg::itemForNode(const KvNode *node) const
{
    if (!node)
        return nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (nodeOf(*it) == node)
            return *it;
    }
    return nullptr;
}

QPushButton *KvNodeDlg::okButton() const
{
    return buttons->button(QDialogButtonBox::Ok);
}

void KvNodeDlg::accept()
{
    if (!okButton()->isEnabled())
        return;
    QDialog::accept();
}

// Builds the item of node and of the part of its subtree worth showing;
// null when nothing in the subtree can be chosen.
QTreeWidgetItem *KvNodeDlg::addNode(KvNode *node, QTreeWidgetItem *parentItem)
{
    if (!node)
        return nullptr;
    const bool choosable = classFilter.isEmpty() || node->inherits(classFilter.toLatin1().constData());

    auto *item = new QTreeWidgetItem(parentItem);
    const QString label = node->getLabel().isEmpty() ? node->getName() : node->getLabel();
    item->setText(LabelColumn, label);
    item->setText(TypeColumn, typeName(node));
    item->setData(LabelColumn, Qt::UserRole, QVariant::fromValue<QObject *>(node));

    bool leadsSomewhere = false;
    for (int i = 0; i < node->getNumNodeChildren(); ++i)
        leadsSomewhere = addNode(node->getNodeChild(i), item) || leadsSomewhere;

    if (!choosable && !leadsSomewhere) {
        delete item;
        return nullptr;
    }
    if (choosable) {
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    } else {
        // Kept enabled so that its children stay enabled; greyed by hand.
        item->setFlags(Qt::ItemIsEnabled);
        const QBrush grey = tree->palette().brush(QPalette::Disabled, QPalette::Text);
        item->setForeground(LabelColumn, grey);
        item->setForeground(TypeColumn, grey);
    }
    return item;
}

void KvNodeDlg::updateOkButton()
{
    okButton()->setEnabled(allowNone || getNode() != nullptr);
}

bool KvNodeDlg::isChoosable(const QTreeWidgetItem *item) const
{
    return item && (item->flags() & Qt::ItemIsSelectable);
}

KvNode *KvNodeDlg::nodeOf(const QTreeWidgetItem *item)
{
    return item ? qobject_cast<KvNode *>(item->data(LabelColumn, Qt::UserRole).value<QObject *>()) : nullptr;
}
