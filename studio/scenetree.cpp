#include "scenetree.h"

#include "kvnode.h"
#include "kvscene.h"

#include <QHeaderView>

namespace {

// Item data: the node, looked up in the item map before use, so that an item
// outliving its node is never followed.
constexpr int nodeRole = Qt::UserRole;

} // namespace

SceneTree::SceneTree(KvScene *scene, QWidget *parent) : QTreeWidget(parent), scene(scene)
{
    setHeaderLabel(tr("Scene"));
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(scene, &KvScene::nodesChanged, this, &SceneTree::rebuild);
    connect(scene, &KvScene::selectionChanged, this, &SceneTree::showSceneSelection);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &SceneTree::selectInScene);
    rebuild();
}

KvNode *SceneTree::nodeOf(const QTreeWidgetItem *item) const
{
    if (!item)
        return nullptr;
    auto *node = static_cast<KvNode *>(item->data(0, nodeRole).value<void *>());
    return items.value(node) == item ? node : nullptr;
}

void SceneTree::rebuild()
{
    syncing = true;
    clear();
    items.clear();
    // Nodes deeper than the tree can usefully show (and Qt can tear down
    // without recursing) are listed at the deepest level shown.
    constexpr int deepest = 100;
    struct Pending
    {
        KvNode *node;
        QTreeWidgetItem *parentItem;
        int depth;  // of the item to make, 1 at the top
    };
    std::vector<Pending> pending;
    for (int i = scene->getNumNodes() - 1; i >= 0; --i)
        pending.push_back({scene->getNode(i), nullptr, 1});
    while (!pending.empty()) {
        auto [node, parentItem, depth] = pending.back();
        pending.pop_back();
        if (depth > deepest) {
            parentItem = parentItem->parent();
            depth = deepest;
        }
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        const QString label = node->getLabel().isEmpty() ? node->getName() : node->getLabel();
        item->setText(0, label);
        if (label != node->getName())
            item->setToolTip(0, node->getName());
        item->setData(0, nodeRole, QVariant::fromValue(static_cast<void *>(node)));
        items.insert(node, item);
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back({node->getNodeChild(i), item, depth + 1});
    }
    // Figures open to their first bones; deeper chains stay closed.
    expandToDepth(1);
    syncing = false;
    showSceneSelection();
}

void SceneTree::showSceneSelection()
{
    syncing = true;
    clearSelection();
    KvNode *selected = scene->getNumSelectedNodes() > 0 ? scene->getSelectedNode(0) : nullptr;
    if (QTreeWidgetItem *item = items.value(selected)) {
        setCurrentItem(item);
        item->setSelected(true);
        scrollToItem(item);
    }
    syncing = false;
}

void SceneTree::selectInScene()
{
    if (syncing)
        return;
    KvNode *node = nodeOf(selectedItems().value(0));
    if (node)
        scene->selectNode(node);
    else
        scene->clearSelection();
}
