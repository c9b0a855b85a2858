#pragma once

#include <QDialog>
#include <QHash>

class QCheckBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class CSkelHeader;
class KvFileIOSettings;
class KvNode;

// The export mapping dialog. Building it lists the bones of the target
// skeleton (bvhState().targetSkeleton, from its first child down; a node that
// is not a bone is left out with everything below it) in the tree and appends
// one record per bone to the skeleton list, depth-first, a bone before its
// children. The records outlive the dialog; the export driver empties the
// list. Column 1 edits a record's label (the name written to the file), a
// press in column 2 switches its export mark: off for the bone and its whole
// branch, on for the bone and every bone up to the root, so the exported
// bones always form one tree.
//
// Run it through kvApp->execDialog: QDialog::Rejected means cancelled. The
// Second Life check box stores its state at every click, accepted or not.
class CExpMapDialog : public QDialog
{
    Q_OBJECT
public:
    // Parented to the host's main window; modal.
    CExpMapDialog();
    ~CExpMapDialog() override;

    QCheckBox *secondLifeBox = nullptr;
    QTreeWidget *nodeList = nullptr;

    // Settings of one run (keys in storedmaps.h): "Map" loads that stored map
    // as Load Map would, "Second Life Opt" sets the box and the option
    // without storing it.
    void applyRunSettings(const KvFileIOSettings &settings);

    // Tree columns.
    enum Column { BoneColumn = 0, FileNameColumn = 1, ExportColumn = 2 };

public Q_SLOTS:
    // Stored name maps, picked in the map picker: a loaded map renames the
    // bones it names; a saved map holds every bone's label = name, exported
    // or not.
    void loadMapFile();
    void saveMapFile();
    // The record of item takes text as its label (column 1 only).
    void renameTname(QTreeWidgetItem *item, int column, const QString &text);
    // A press in the export column switches the item's branch off or its way
    // to the root on; other columns and a null item change nothing.
    void colClickedList1(QTreeWidgetItem *item, int column);
    // Stores the check box state and sets secondLifeOption.
    void saveOpts();

private:
    void buildLayout();
    // Reads the stored option; the first time, lists the bones, later shows
    // the records' current labels and marks again.
    void initDialog();
    // Applies stored map name to the labels and shows them with the stored
    // option; nothing without a settings store.
    void loadMap(const QString &name);
    // Lists the bones below root in pre-order, a record for each, without
    // recursion: a figure may be a chain of any depth.
    void listBones(KvNode *root);
    CSkelHeader *findRecordByItem(const QTreeWidgetItem *item) const;
    void disableBranch(KvNode *node);
    void enableToRoot(KvNode *node);

    bool bonesListed = false;
    QHash<const QTreeWidgetItem *, CSkelHeader *> recordOfItem;
    QHash<const KvNode *, CSkelHeader *> recordOfBone;
    QLabel *depthNote = nullptr;

public:
    // Deeper bones are listed at this level: a tree view cannot usefully show
    // (nor Qt tear down without recursing) thousands of nested rows.
    static constexpr int listDepthLimit = 100;
};
