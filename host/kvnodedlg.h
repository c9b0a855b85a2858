#pragma once

#include "kvcore_global.h"

#include <QDialog>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;
class QDialogButtonBox;
class QPushButton;
class KvNode;

// The host's node chooser: the scene's nodes as a tree. Nodes that inherit
// the class filter can be chosen; other nodes are shown (greyed) only where
// they lead to one that can.
class KVCORE_EXPORT KvNodeDlg : public QDialog
{
    Q_OBJECT
public:
    // preselected may be null. With allowNone, OK also accepts no choice.
    KvNodeDlg(QWidget *parent, KvNode *preselected, const QString &classFilter, bool allowNone);

    void setCaption(const QString &caption) { setWindowTitle(caption); }
    // The chosen node, or null.
    KvNode *getNode() const;
    QTreeWidget *treeWidget() const { return tree; }
    // The tree item showing node, or null when the filter left it out.
    QTreeWidgetItem *itemForNode(const KvNode *node) const;
    QPushButton *okButton() const;

    // Refuses (the dialog stays open, unaccepted) while OK is disabled, so a
    // host that accepts dialogs without showing them gets the same answer.
    void accept() override;

private:
    QTreeWidgetItem *addNode(KvNode *node, QTreeWidgetItem *parentItem);
    void updateOkButton();
    bool isChoosable(const QTreeWidgetItem *item) const;
    static KvNode *nodeOf(const QTreeWidgetItem *item);

    QString classFilter;
    bool allowNone;
    QTreeWidget *tree;
    QDialogButtonBox *buttons;
};
