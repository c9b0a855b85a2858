#include "pickmapdialog.h"

#include "storedmaps.h"

#include "bvhstate.h"

#include "kvapp.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

CPickMapDialog::CPickMapDialog(bool saveMode)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), saveMode(saveMode)
{
    setModal(true);
    setWindowTitle(saveMode ? tr("BVH Save Map") : tr("BVH Load Maps"));
    setFixedSize(300, 80);
    setSizeGripEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(11, 11, 11, 11);
    layout->setSpacing(2);

    auto *nameRow = new QHBoxLayout;
    nameRow->setContentsMargins(0, 0, 0, 0);
    nameRow->setSpacing(4);
    nameRow->addWidget(new QLabel(tr("Stored Maps:"), this));
    mapCombo = new QComboBox(this);
    mapCombo->setMaxVisibleItems(150);
    mapCombo->setDuplicatesEnabled(false);
    mapCombo->setEditable(false);
    connect(mapCombo, &QComboBox::textActivated, this, &CPickMapDialog::newSavedMapName);
    connect(mapCombo, &QComboBox::editTextChanged, this, &CPickMapDialog::newSavedMapName);
    connect(mapCombo, &QComboBox::currentTextChanged, this, &CPickMapDialog::updateAcceptButton);
    nameRow->addWidget(mapCombo);
    if (saveMode) {
        mapCombo->setToolTip(tr("A list of stored maps. Select the map to replace, or press the 'New' button and "
                                "type a name in this list."));
        mapCombo->setWhatsThis(QStringLiteral(
            "<p>This dialog allow for the current name mapping to be saved for later use by the importer or "
            "exporter. The name shown in the list is not the map currently in use: it is simply the first stored "
            "name. To replace another stored map, click the list once to open it, then click the map's name. To "
            "save a new map, press the &#8220;<font color=\"#FF6600\"><em>New</em></font>&#8221; button and type "
            "its name here.</p>"));
        modeButton = new QPushButton(tr("New"), this);
        modeButton->setToolTip(tr("Press this button, then type the name into the edit box at left."));
        modeButton->setWhatsThis(QStringLiteral(
            "<p>If you wish to create a new map, press the &#8220;<font color=\"#FF6600\"><em>New</em></font>&#8221; "
            "button. This makes the map name field editable, and you can type in the name for the new map.</p>"));
        connect(modeButton, &QPushButton::clicked, this, &CPickMapDialog::makeEditable);
    } else {
        mapCombo->setToolTip(tr("A list of stored maps. Select the map to load, or delete when no longer needed."));
        mapCombo->setWhatsThis(QStringLiteral(
            "<p>This dialog allow for an existing map to be selected and applied to the list of nodes being "
            "imported or exported. The name shown in the list is not the map currently in use: it is simply the "
            "first stored name. To pick another map, click the list once to open it, then click the map's "
            "name.</p>"));
        modeButton = new QPushButton(tr("Delete"), this);
        modeButton->setToolTip(tr("Select a map from the list at left, then press this button to delete it."));
        modeButton->setWhatsThis(QStringLiteral(
            "<p>If you wish to delete this saved map, press the &#8220;<font color=\"#FF6600\"><em>Delete</em>"
            "</font>&#8221; button, and answer <font color=\"#FF6600\"><em>yes</em></font> to the prompt.</p>"));
        connect(modeButton, &QPushButton::clicked, this, &CPickMapDialog::deleteMap);
    }
    nameRow->addWidget(modeButton);
    layout->addLayout(nameRow);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(4);
    if (saveMode) {
        acceptButton = new QPushButton(tr("Save"), this);
        acceptButton->setToolTip(tr("Replace, or create a new map with the existing map data."));
        acceptButton->setWhatsThis(QStringLiteral(
            "<p>Press the &#8220;<font color=\"#FF6600\"><em>Save</em></font>&#8221; button to write the map. If the "
            "map is already saved, a dialog will ask you if you wish to overwrite the existing map. If the map has "
            "not been saved before, it will be saved, and its name added to the list of saved maps.</p>"));
    } else {
        acceptButton = new QPushButton(tr("Load"), this);
        acceptButton->setToolTip(tr("Load, and apply the selected map to the list data."));
        acceptButton->setWhatsThis(QStringLiteral("<p>"));
    }
    acceptButton->setDefault(true);
    connect(acceptButton, &QPushButton::clicked, this, &CPickMapDialog::saveAndExit);
    buttonRow->addWidget(acceptButton);
    buttonRow->addSpacing(60);
    cancelButton = new QPushButton(tr("Cancel"), this);
    if (saveMode) {
        cancelButton->setToolTip(tr("Cancel the 'Save Map' operation without changing the saved maps."));
        cancelButton->setWhatsThis(QStringLiteral(
            "<p>Press &#8220;<font color=\"#FF6600\"><em>Cancel</em></font>&#8221; to leave the saved maps "
            "unchanged.</p>"));
    } else {
        cancelButton->setToolTip(tr("Cancel the 'Load Map' operation and continue to use the existing list data."));
        cancelButton->setWhatsThis(QStringLiteral("<p>"));
    }
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    buttonRow->addWidget(cancelButton);
    layout->addLayout(buttonRow);

    loadMapNames();
    updateAcceptButton();
}

CPickMapDialog::~CPickMapDialog() = default;

void CPickMapDialog::loadMapNames()
{
    mapCombo->clear();
    mapCombo->addItems(bvhio::storedMapNames());
}

void CPickMapDialog::updateAcceptButton()
{
    if (saveMode)
        acceptButton->setEnabled(bvhio::isValidMapName(mapCombo->currentText()));
}

void CPickMapDialog::makeEditable()
{
    mapCombo->setEditable(saveMode);
    // Typing a new name must not complete it to a stored one.
    if (saveMode)
        mapCombo->setCompleter(nullptr);
    updateAcceptButton();
}

void CPickMapDialog::newSavedMapName(const QString &text)
{
    bvhState().currentMapName = text;
}

void CPickMapDialog::deleteMap()
{
    const QString name = mapCombo->currentText();
    if (kvApp->question(tr("BVH File Importer"), tr("Delete map '%1' ?").arg(name)) != QMessageBox::Yes)
        return;
    bvhio::deleteStoredMap(name);
    loadMapNames();
}

void CPickMapDialog::saveAndExit()
{
    accept();
}

void CPickMapDialog::accept()
{
    // Also the way a non-interactive host accepts the dialog as built.
    const QString name = mapCombo->currentText();
    if (saveMode && !bvhio::isValidMapName(name))
        return;
    bvhState().currentMapName = name;
    QDialog::accept();
}

void CPickMapDialog::showHelp()
{
    kvApp->showURL(QLatin1String("file://") + kvApp->getDocumentationPath()
                   + QLatin1String("/BVHImportExportREADME.htm"));
}
