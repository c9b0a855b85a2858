#include "kvscene.h"

#include "kvnode.h"

#include <utility>

KvScene *kvScene = nullptr;

#include <vector>

namespace {

// Depth first, children in order, without recursion.
KvNode *findInTree(KvNode *root, const QString &label)
{
    std::vector<KvNode *> pending{root};
    while (!pending.empty()) {
        KvNode *node = pending.back();
        pending.pop_back();
        if (node->getLabel() == label)
            return node;
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back(node->getNodeChild(i));
    }
    return nullptr;
}

} // namespace

KvScene::KvScene(QObject *parent)
    : QObject(parent)
{
}

KvScene::~KvScene()
{
    // Dying nodes report to forgetNode; with both lists already empty they
    // find nothing to remove and nobody hears of a half-destroyed scene.
    const QList<KvNode *> doomed = std::exchange(nodes, {});
    selection.clear();
    for (KvNode *node : doomed)
        delete node;
}

void KvScene::addNode(KvNode *node)
{
    Q_ASSERT(node && !node->getNodeParent() && !nodes.contains(node));
    node->setParent(this);
    nodes.append(node);
    node->setScene(this);
    Q_EMIT nodesChanged();
}

void KvScene::deleteNode(KvNode *node)
{
    if (!node)
        return;
    // The destructor unlinks the node from its parent, the top-level list and
    // the selection, for it and for every node of its subtree.
    delete node;
    Q_EMIT nodesChanged();
}

void KvScene::forgetNode(KvNode *node)
{
    nodes.removeOne(node);
    if (selection.removeAll(node) > 0)
        Q_EMIT selectionChanged();
}

KvNode *KvScene::findNodeByLabel(const QString &label) const
{
    for (KvNode *node : nodes) {
        if (KvNode *found = findInTree(node, label))
            return found;
    }
    return nullptr;
}

void KvScene::selectNode(KvNode *node, bool addToSelection)
{
    if (!node)
        return;
    if (!addToSelection)
        selection.clear();
    if (!selection.contains(node))
        selection.append(node);
    Q_EMIT selectionChanged();
}

void KvScene::clearSelection()
{
    if (selection.isEmpty())
        return;
    selection.clear();
    Q_EMIT selectionChanged();
}

void KvScene::setTime(int ticks)
{
    if (ticks == time)
        return;
    time = ticks;
    Q_EMIT timeChanged(time);
}

void KvScene::setTimeStep(int ticks)
{
    if (ticks >= 1)
        timeStep = ticks;
}

void KvScene::stepTime(int frames, bool notify)
{
    time += frames * timeStep;
    if (notify)
        Q_EMIT timeChanged(time);
}

void KvScene::setAnimRange(const KvTimeRange &range)
{
    animRange = range;
}

void KvScene::setPlayRange(const KvTimeRange &range)
{
    playRange = range;
}
