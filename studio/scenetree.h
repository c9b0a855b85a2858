#pragma once

#include <QHash>
#include <QTreeWidget>

class KvNode;
class KvScene;

// The scene's figures and their bones as a tree whose selection is the
// scene's: choosing an item selects its node in the scene (which the
// importer and exporter work on), and a node selected elsewhere is shown here.
class SceneTree : public QTreeWidget
{
    Q_OBJECT
public:
    explicit SceneTree(KvScene *scene, QWidget *parent = nullptr);

    QTreeWidgetItem *itemFor(const KvNode *node) const { return items.value(node); }
    KvNode *nodeOf(const QTreeWidgetItem *item) const;

private:
    void rebuild();
    void showSceneSelection();
    void selectInScene();

    KvScene *scene;
    QHash<const KvNode *, QTreeWidgetItem *> items;
    bool syncing = false;
};
