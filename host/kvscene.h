#pragma once

#include "kvcore_global.h"
#include "kvtimerange.h"

#include <QList>
#include <QObject>
#include <QString>

class KvNode;

// The host's scene: top-level nodes, selection and the clock.
// Times are ticks (kvTicksPerSecond per second); one frame lasts the time step.
class KVCORE_EXPORT KvScene : public QObject
{
    Q_OBJECT
public:
    explicit KvScene(QObject *parent = nullptr);
    ~KvScene() override;

    // Takes ownership of node and of its subtree; node must have no parent.
    void addNode(KvNode *node);
    // Removes node from the scene and the selection and deletes it (and its
    // subtree); node may lie anywhere in the scene's trees.
    void deleteNode(KvNode *node);
    int getNumNodes() const { return int(nodes.size()); }
    KvNode *getNode(int index) const { return nodes.value(index); }
    // First node in pre-order over all top-level trees whose label is label, or null.
    KvNode *findNodeByLabel(const QString &label) const;

    int getNumSelectedNodes() const { return int(selection.size()); }
    KvNode *getSelectedNode(int index) const { return selection.value(index); }
    // Selects node alone, or adds it to the selection (once).
    void selectNode(KvNode *node, bool addToSelection = false);
    void clearSelection();

    int getTime() const { return time; }
    // Emits timeChanged when the time changes.
    void setTime(int ticks);
    // Ticks per frame; values below 1 are ignored.
    int getTimeStep() const { return timeStep; }
    void setTimeStep(int ticks);
    // Moves the time by frames time steps. With notify, listeners hear of it
    // (timeChanged); without, the clock moves silently.
    void stepTime(int frames, bool notify);

    KvTimeRange getAnimRange() const { return animRange; }
    void setAnimRange(const KvTimeRange &range);
    KvTimeRange getPlayRange() const { return playRange; }
    void setPlayRange(const KvTimeRange &range);

Q_SIGNALS:
    void timeChanged(int ticks);
    void selectionChanged();
    void nodesChanged();

private:
    // A node being destroyed leaves the top-level list and the selection.
    friend class KvNode;
    void forgetNode(KvNode *node);

    QList<KvNode *> nodes;
    QList<KvNode *> selection;
    int time = 0;
    int timeStep = 160;
    KvTimeRange animRange{0, 4800};
    KvTimeRange playRange{0, 4800};
};

// The scene the host shows; set by the host (KvApp) and by tests.
extern KVCORE_EXPORT KvScene *kvScene;
