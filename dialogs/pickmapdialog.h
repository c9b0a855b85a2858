#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;

// The small dialog in which the user names a stored name map: in save mode a
// stored map to replace, or a new name typed after pressing "New"; in load
// mode a map to load, or one to delete. The chosen name goes back through the
// current map name (bvhState()), which every choice and every edit of the
// name also writes while the picker is open: callers keep the name they had
// and put it back when the picker is rejected (bvhio::pickMapName does).
//
// Save mode accepts only a name that can be stored and listed again: the
// "Save" button is disabled while the name is empty or holds a ";".
//
// Run it through kvApp->execDialog. No parent, modal, 300 x 80.
class CPickMapDialog : public QDialog
{
    Q_OBJECT
public:
    // Builds the dialog and lists the stored map names; the first one shows.
    explicit CPickMapDialog(bool saveMode);
    ~CPickMapDialog() override;

    QComboBox *mapCombo = nullptr;
    bool saveMode;
    // "New" in save mode, "Delete" in load mode.
    QPushButton *modeButton = nullptr;
    // "Save" or "Load", the default button.
    QPushButton *acceptButton = nullptr;
    QPushButton *cancelButton = nullptr;

public Q_SLOTS:
    // Makes the name editable (save mode only).
    void makeEditable();
    // The current map name becomes text.
    void newSavedMapName(const QString &text);
    // Asks "Delete map '<name>' ?" for the name shown and, on Yes, deletes
    // that map and lists the stored names again.
    void deleteMap();
    // The current map name becomes the name shown; accepts. In save mode a
    // name that cannot be stored keeps the dialog open.
    void saveAndExit();
    // As saveAndExit: a host that accepts the dialog as built hands back the
    // name shown.
    void accept() override;
    // Shows the plug-in's user guide from the host's documentation path.
    void showHelp();

private:
    void loadMapNames();
    void updateAcceptButton();
};
