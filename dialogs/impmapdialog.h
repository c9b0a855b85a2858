#pragma once

#include <QDialog>
#include <QHash>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class CBvhHeader;
class CBvhIn;
class CSkelHeader;
class KvFileIOSettings;
class KvNode;

// The import mapping dialog, shown once the file's hierarchy is read and
// matched and before any key is written. It works directly on the shared
// state (bvhState(): joint list, skeleton list, target skeleton, current file
// and map names) and on the import option flags (frameOption, inPlaceOption,
// limitsOption); what it leaves there is what the import applies. The record
// pointers it keeps in items are valid while the lists are not emptied.
//
// "File Nodes" lists the file's joints (checkable: a joint is imported when
// it is checked and mapped), "Figure Nodes" the figure's bones. Selecting a
// joint selects its bone; selecting a bone then maps the current joint (and
// its channels) to it, taking the bone from the joint that held it.
// Unchecking a joint unchecks every joint mapped to its bone or to a bone
// below; checking it checks those mapped to its bone and every bone above.
// Option clicks are stored at once, so a cancelled dialog keeps them.
//
// Run it through kvApp->execDialog: QDialog::Accepted goes on with the import.
class CImpMapDialog : public QDialog
{
    Q_OBJECT
public:
    // Parented to the host's main window; modal. armsAlongX only shows, as
    // "[X]" or "[Z]" after the file name.
    explicit CImpMapDialog(bool armsAlongX);
    ~CImpMapDialog() override;

    // The importer's mapping step (see CBvhIn::setMappingDialog): builds the
    // dialog for importer, applies importer.ioSettings as run settings and
    // runs it through kvApp->execDialog.
    static int execForImport(CBvhIn &importer);

    // Settings of one run (keys in storedmaps.h): "Map" loads that stored map
    // as Load Map would, the option keys set the options shown and their
    // flags without storing them.
    void applyRunSettings(const KvFileIOSettings &settings);
    // Loads the stored map name into the joint list (the load of Load Map
    // after the picker); nothing when name is empty or not stored.
    void loadMap(const QString &name);

    // The lists show joints and bones nested deeper than this at this depth,
    // in file order, and say so in depthNote: a tree widget cannot usefully
    // show thousands of levels, and Qt walks its trees recursively.
    static constexpr int listDepthLimit = 100;

    // Ids of the options group's buttons.
    enum Option { AdjustSceneOption = 0, KeepSceneOption = 1, InPlaceOption = 2, LimitsOption = 3 };

    bool detailsShown = false;
    bool armsAlongX;
    QPushButton *detailsButton = nullptr;
    QGroupBox *optionsGroup = nullptr;
    QButtonGroup *optionButtons = nullptr;  // non-exclusive, ids as Option
    QCheckBox *inPlaceBox = nullptr;
    QCheckBox *limitsBox = nullptr;
    QPushButton *loadMapButton = nullptr;
    QPushButton *saveMapButton = nullptr;
    QTreeWidget *fileList = nullptr;
    QTreeWidget *figureList = nullptr;
    QLabel *fileLabel = nullptr;
    QLabel *figureLabel = nullptr;
    QLabel *depthNote = nullptr;  // shown with the lists when one is flattened
    QPushButton *whatsThisButton = nullptr;

public Q_SLOTS:
    // Stores the option of button id and sets its flag.
    void saveAnimOpts(int id);
    void enterWhatsThisMode();
    void toggleOptions();
    void loadMapFile();
    void saveMapFile();
    // A joint's check state, as the user's press or toggle left it, becomes
    // its applyChannel and spreads along the figure.
    void clickedList1(QTreeWidgetItem *item);
    // A joint selected: selects its bone, or no bone when it has none.
    void newSelList1(QTreeWidgetItem *item);
    // A bone selected: maps the current joint to it.
    void newSelList2(QTreeWidgetItem *item);

private:
    void buildLayout();
    void loadOptions();
    void fillLists();
    // The bones of the target skeleton; whether a branch was flattened.
    bool fillFigureList();
    void showDetails();
    void hideDetails();
    void enableToRoot(KvNode *node);
    void disableBranch(KvNode *node);
    // Check marks set by the dialog itself are no user toggles.
    void setChecked(QTreeWidgetItem *item, bool on);
    void onFileItemChanged(QTreeWidgetItem *item, int column);

    // The joint record of each file item.
    QHash<const QTreeWidgetItem *, CBvhHeader *> fileRecords;
    bool depthLimited = false;
    bool settingChecks = false;
    // Selections the dialog makes itself are no user choices.
    bool syncingSelection = false;
};
