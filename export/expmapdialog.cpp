#include "expmapdialog.h"

#include "exportoptions.h"

#include "bvhstate.h"
#include "storedmaps.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvfileio.h"
#include "kvnode.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace {

const QString settingsPath = QStringLiteral("BVHIO");
const QString secondLifeKey = QStringLiteral("Second Life Opt");
const QString exportMark = QStringLiteral("E");
const QString noExportMark = QStringLiteral(" ");

// Keeps the bone names and the export marks out of the item editor: only
// the file-name column is renamed.
class ReadOnlyDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return nullptr;
    }
};

KvAppSettingsMgr *settingsMgr()
{
    return kvApp ? kvApp->getAppSettingsMgr() : nullptr;
}

QWidget *mainWindow()
{
    return kvApp ? kvApp->getInterface() : nullptr;
}

} // namespace

CExpMapDialog::CExpMapDialog()
    : QDialog(mainWindow(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setModal(true);
    setWindowTitle(tr("BVH Exporter Options"));
    setMinimumSize(400, 600);
    setSizeGripEnabled(true);
    buildLayout();
    initDialog();
}

CExpMapDialog::~CExpMapDialog() = default;

void CExpMapDialog::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(11, 11, 11, 11);
    layout->setSpacing(2);

    auto *mapRow = new QHBoxLayout;
    mapRow->setContentsMargins(0, 0, 0, 0);
    mapRow->setSpacing(4);
    auto *loadButton = new QPushButton(tr("Load Map"), this);
    loadButton->setToolTip(tr("Load a stored name map, and change the name mapping before exporting the data."));
    loadButton->setWhatsThis(QStringLiteral(
        "<p>To load a previously saved map, press the &#8220;<font color=\"#FF6600\"><em>Load Map</em></font>&#8221; "
        "button.</p>"));
    auto *saveButton = new QPushButton(tr("Save Map"), this);
    saveButton->setToolTip(tr("Create, or replace a stored name map, using the current (displayed) mapping."));
    saveButton->setWhatsThis(QStringLiteral(
        "<p>To save the name mapping that&#8217;s currently displayed in the list, press the &#8220;<font "
        "color=\"#FF6600\"><em>Save Map</em></font>&#8221; button.</p>"));
    mapRow->addWidget(loadButton);
    mapRow->addWidget(saveButton);
    layout->addLayout(mapRow);

    auto *labelRow = new QHBoxLayout;
    labelRow->setContentsMargins(0, 0, 0, 0);
    const CBvhState &state = bvhState();
    const QString figureName = state.targetSkeleton ? state.targetSkeleton->getLabel() : QString();
    // The names are shown as rich text: escape them so that a '<' in a name
    // stays a character.
    auto *figureLabel = new QLabel(tr("Selected Figure:<b>%1</b>").arg(figureName.toHtmlEscaped()), this);
    figureLabel->setWhatsThis(QStringLiteral(
        "<p>The &#8220;<font color=\"#FF6600\"><em>Selected Figure</em></font>&#8221; text shows the name of the "
        "figure that will supply the file's animation data.</p>"));
    auto *fileLabel = new QLabel(tr("Selected File:<b>%1</b>").arg(state.currentFileName.toHtmlEscaped()), this);
    fileLabel->setWhatsThis(QStringLiteral(
        "<p>The &#8220;<font color=\"#FF6600\"><em>Selected File</em></font>&#8221; text shows the name of the BVH "
        "file being saved.</p>"));
    labelRow->addWidget(figureLabel);
    labelRow->addWidget(fileLabel);
    layout->addLayout(labelRow);

    secondLifeBox = new QCheckBox(tr("Second Life Compatibility"), this);
    secondLifeBox->setToolTip(tr("Creates BVH files for use with 'Second Life' avatars."));
    layout->addWidget(secondLifeBox);

    nodeList = new QTreeWidget(this);
    nodeList->setColumnCount(3);
    nodeList->setHeaderLabels({tr("Figure Nodes"), tr("File nodes"), tr("E")});
    QTreeWidgetItem *header = nodeList->headerItem();
    header->setToolTip(BoneColumn, tr("A hierarchical list of the selected skeleton's bones."));
    header->setToolTip(FileNameColumn,
                       tr("A list of the corresponding names that will be written in the exported bvh file."));
    header->setToolTip(ExportColumn, tr("Any column marked with an 'E' will be exported to the bvh file."));
    nodeList->setRootIsDecorated(true);
    nodeList->setSortingEnabled(false);
    nodeList->setAllColumnsShowFocus(true);
    nodeList->setIndentation(13);
    nodeList->header()->setStretchLastSection(false);
    nodeList->header()->setSectionResizeMode(QHeaderView::Interactive);
    nodeList->setColumnWidth(BoneColumn, 223);
    nodeList->setColumnWidth(FileNameColumn, 115);
    nodeList->setColumnWidth(ExportColumn, 20);
    nodeList->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    auto *readOnly = new ReadOnlyDelegate(nodeList);
    nodeList->setItemDelegateForColumn(BoneColumn, readOnly);
    nodeList->setItemDelegateForColumn(ExportColumn, readOnly);
    nodeList->setWhatsThis(QStringLiteral(
        "<p>This list shows the mapping of bone names in the scene, with those in the file. The left column lists "
        "the bones of the selected skeleton.</p>"
        "<p>The middle column shows the name that each bone will carry in the exported file. To change a name, "
        "click it once and type the new name.</p>"
        "<p>The right column marks with an &#8220;<font color=\"#FFFF00\"><em>E</em></font>&#8221; every bone that "
        "will be exported. One click on an &#8220;<font color=\"#FFFF00\"><em>E</em></font>&#8221; switches off "
        "that bone and every bone below it; one click on an empty cell switches on that bone and every bone above "
        "it.</p>"));
    layout->addWidget(nodeList);
    depthNote = new QLabel(tr("Bones nested deeper than %1 levels are listed at level %1.").arg(listDepthLimit), this);
    depthNote->hide();
    layout->addWidget(depthNote);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(4);
    auto *acceptButton = new QPushButton(tr("Accept"), this);
    acceptButton->setDefault(true);
    acceptButton->setToolTip(tr("Proceed with exporting the data using the displayed name mapping."));
    acceptButton->setWhatsThis(QStringLiteral(
        "<p>The &#8220;<font color=\"#FF6600\"><em>Accept</em></font>&#8221; button will proceed with exporting the "
        "file starting at the first frame in the animation range and using the current name map.</p>"));
    auto *cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->setToolTip(tr("Cancel the current export operation."));
    cancelButton->setWhatsThis(QStringLiteral(
        "<p>The &#8220;<font color=\"#FF6600\"><em>Cancel</em></font>&#8221; button will exit the exporter, leaving "
        "the scene unchanged.</p>"));
    buttonRow->addSpacing(50);
    buttonRow->addWidget(acceptButton);
    buttonRow->addSpacing(50);
    buttonRow->addWidget(cancelButton);
    buttonRow->addSpacing(50);
    layout->addLayout(buttonRow);

    connect(loadButton, &QPushButton::clicked, this, &CExpMapDialog::loadMapFile);
    connect(saveButton, &QPushButton::clicked, this, &CExpMapDialog::saveMapFile);
    connect(secondLifeBox, &QCheckBox::clicked, this, &CExpMapDialog::saveOpts);
    // itemChanged also reports the marks this dialog sets in column 2.
    connect(nodeList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int column) {
        if (column == FileNameColumn)
            renameTname(item, column, item->text(column));
    });
    connect(nodeList, &QTreeWidget::itemPressed, this, &CExpMapDialog::colClickedList1);
    connect(acceptButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void CExpMapDialog::initDialog()
{
    bool option = false;
    if (KvAppSettingsMgr *settings = settingsMgr()) {
        settings->pushPath(settingsPath);
        option = settings->getBoolValue(secondLifeKey, false, nullptr);
        settings->popPath();
    }
    secondLifeBox->setChecked(option);
    secondLifeOption = option;

    if (!bonesListed) {
        nodeList->clear();
        const KvSkeleton *skeleton = bvhState().targetSkeleton;
        listBones(skeleton ? skeleton->getNodeChild(0) : nullptr);
        bonesListed = true;
        return;
    }
    const QSignalBlocker quiet(nodeList);
    for (const CSkelHeader *record : bvhState().skeletonList) {
        if (!record->listItem)
            continue;
        record->listItem->setText(FileNameColumn, record->label);
        record->listItem->setText(ExportColumn, record->exportFlag ? exportMark : noExportMark);
    }
}

void CExpMapDialog::listBones(KvNode *root)
{
    struct Pending
    {
        KvNode *node;
        QTreeWidgetItem *parentItem;
        int level;
        int itemDepth;  // of parentItem: 0 for the top
    };
    std::vector<Pending> pending{{root, nullptr, 1, 0}};
    bool flattened = false;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        KvNode *node = next.node;
        if (!node || !node->inherits("KvBone"))
            continue;

        auto record = std::make_unique<CSkelHeader>();
        record->name = node->getName();
        record->label = record->name;
        record->bone = node;
        record->level = next.level;
        record->exportFlag = true;
        const QStringList texts{record->name, record->label, exportMark};
        QTreeWidgetItem *parentItem = next.parentItem;
        int itemDepth = next.itemDepth;
        if (parentItem && itemDepth >= listDepthLimit) {
            parentItem = parentItem->parent();
            --itemDepth;
            flattened = true;
        }
        auto *item = parentItem ? new QTreeWidgetItem(parentItem, texts) : new QTreeWidgetItem(nodeList, texts);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setExpanded(true);
        record->listItem = item;
        CSkelHeader *self = bvhState().skeletonList.append(std::move(record));
        recordOfItem.insert(item, self);
        if (!recordOfBone.contains(node))
            recordOfBone.insert(node, self);

        // Reversed onto the stack, so that children are listed in order.
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back({node->getNodeChild(i), item, next.level + 1, itemDepth + 1});
    }
    depthNote->setVisible(flattened);
}

CSkelHeader *CExpMapDialog::findRecordByItem(const QTreeWidgetItem *item) const
{
    return recordOfItem.value(item, nullptr);
}

void CExpMapDialog::disableBranch(KvNode *node)
{
    std::vector<KvNode *> pending{node};
    while (!pending.empty()) {
        KvNode *next = pending.back();
        pending.pop_back();
        if (!next)
            continue;
        if (CSkelHeader *record = recordOfBone.value(next, nullptr)) {
            record->exportFlag = false;
            if (record->listItem)
                record->listItem->setText(ExportColumn, noExportMark);
        }
        for (int i = 0; i < next->getNumNodeChildren(); ++i)
            pending.push_back(next->getNodeChild(i));
    }
}

void CExpMapDialog::enableToRoot(KvNode *node)
{
    for (; node; node = node->getNodeParent()) {
        if (CSkelHeader *record = recordOfBone.value(node, nullptr)) {
            record->exportFlag = true;
            if (record->listItem)
                record->listItem->setText(ExportColumn, exportMark);
        }
    }
}

void CExpMapDialog::loadMapFile()
{
    if (bvhio::pickMapName(false))
        loadMap(bvhState().currentMapName);
}

void CExpMapDialog::loadMap(const QString &name)
{
    if (name.isEmpty())
        return;
    const std::optional<QString> data = bvhio::storedMapData(name);
    if (!data)
        return;
    bvhio::applyExportMap(*data);
    initDialog();
}

void CExpMapDialog::saveMapFile()
{
    if (!bvhio::pickMapName(true))
        return;
    const QString name = bvhState().currentMapName;
    if (bvhio::isValidMapName(name))
        bvhio::saveStoredMap(name, bvhio::exportMapData(), staticMetaObject.className());
}

void CExpMapDialog::applyRunSettings(const KvFileIOSettings &settings)
{
    const QString map = bvhio::runMapName(settings);
    if (!map.isEmpty()) {
        bvhState().currentMapName = map;
        loadMap(map);
    }
    if (const std::optional<bool> on = bvhio::runOption(settings, bvhio::secondLifeOptionKey)) {
        secondLifeBox->setChecked(*on);
        secondLifeOption = *on;
    }
}

void CExpMapDialog::renameTname(QTreeWidgetItem *item, int column, const QString &text)
{
    if (column != FileNameColumn)
        return;
    if (CSkelHeader *record = findRecordByItem(item))
        record->label = text;
}

void CExpMapDialog::colClickedList1(QTreeWidgetItem *item, int column)
{
    if (!item || column != ExportColumn)
        return;
    const CSkelHeader *record = findRecordByItem(item);
    if (!record)
        return;
    if (record->exportFlag)
        disableBranch(record->bone);
    else
        enableToRoot(record->bone);
}

void CExpMapDialog::saveOpts()
{
    const bool on = secondLifeBox->isChecked();
    if (KvAppSettingsMgr *settings = settingsMgr()) {
        settings->pushPath(settingsPath);
        settings->setBoolValue(secondLifeKey, on);
        settings->popPath();
    }
    secondLifeOption = on;
}
