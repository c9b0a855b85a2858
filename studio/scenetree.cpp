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
    std::vector<std::pair<KvNode *, QTreeWidgetItem *>> pending;
    for (int i = scene->getNumNodes() - 1; i >= 0; --i)
        pending.emplace_back(scene->getNode(i), nullptr);
    while (!pending.empty()) {
        const auto [node, parentItem] = pending.back();
        pending.pop_back();
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        const QString label = node->getLabel().isEmpty() ? node->getName() : node->getLabel();
        item->setText(0, label);
        if (label != node->getName())
            item->setToolTip(0, node->getName());
        item->setData(0, nodeRole, QVariant::fromValue(static_cast<void *>(node)));
        items.insert(node, item);
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.emplace_back(node->getNodeChild(i), item);
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
