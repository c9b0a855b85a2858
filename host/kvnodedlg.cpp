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

#include <vector>

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
QTreeWidgetItem *KvNodeDlg::addNode(KvNode *root, QTreeWidgetItem *parentItem)
{
    if (!root)
        return nullptr;
    // Depth first without recursion (a figure may be a chain of any depth):
    // an item is settled once all its children are.
    struct Open
    {
        KvNode *node;
        QTreeWidgetItem *item;
        int nextChild;
        bool leadsSomewhere;
    };
    const auto open = [&](KvNode *node, QTreeWidgetItem *parent) {
        auto *item = new QTreeWidgetItem(parent);
        const QString label = node->getLabel().isEmpty() ? node->getName() : node->getLabel();
        item->setText(LabelColumn, label);
        item->setText(TypeColumn, typeName(node));
        item->setData(LabelColumn, Qt::UserRole, QVariant::fromValue<QObject *>(node));
        return Open{node, item, 0, false};
    };
    std::vector<Open> stack{open(root, parentItem)};
    QTreeWidgetItem *settled = nullptr;
    while (!stack.empty()) {
        Open &top = stack.back();
        if (top.nextChild < top.node->getNumNodeChildren()) {
            if (KvNode *child = top.node->getNodeChild(top.nextChild++))
                stack.push_back(open(child, top.item));
            continue;
        }
        const bool choosable = classFilter.isEmpty() || top.node->inherits(classFilter.toLatin1().constData());
        settled = top.item;
        if (!choosable && !top.leadsSomewhere) {
            delete settled;
            settled = nullptr;
        } else if (choosable) {
            settled->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        } else {
            // Kept enabled so that its children stay enabled; greyed by hand.
            settled->setFlags(Qt::ItemIsEnabled);
            const QBrush grey = tree->palette().brush(QPalette::Disabled, QPalette::Text);
            settled->setForeground(LabelColumn, grey);
            settled->setForeground(TypeColumn, grey);
        }
        stack.pop_back();
        if (!stack.empty())
            stack.back().leadsSomewhere = stack.back().leadsSomewhere || settled;
    }
    return settled;
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
