#include "impmapdialog.h"

#include "storedmaps.h"

#include "bvhin.h"
#include "bvhstate.h"

#include "kvapp.h"
#include "kvfileio.h"
#include "kvnode.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWhatsThis>

#include <algorithm>
#include <vector>

namespace {

constexpr int collapsedHeight = 150;
constexpr int expandedHeight = 550;
constexpr int listColumnWidth = 223;

void setUpList(QTreeWidget *list, const QString &title, const QString &toolTip, const QString &whatsThis)
{
    list->setColumnCount(1);
    list->setHeaderLabels({title});
    list->headerItem()->setToolTip(0, toolTip);
    list->setWhatsThis(whatsThis);
    list->setRootIsDecorated(true);
    list->setSortingEnabled(false);
    list->setAllColumnsShowFocus(true);
    list->setIndentation(13);
    // One line per row: with rows of one height the view places a row without
    // measuring every row above it, which thousands of check marks set at
    // once would otherwise pay for.
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    list->header()->setStretchLastSection(true);
    list->setColumnWidth(0, listColumnWidth);
}

QHBoxLayout *newRow()
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    return row;
}

QPushButton *newButton(const QString &text, int width, const QString &toolTip, const QString &whatsThis,
                       QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedWidth(width);
    button->setToolTip(toolTip);
    button->setWhatsThis(whatsThis);
    return button;
}

// The records of a joint: the joint record at index, then its channel
// records right after it, which carry its name.
template <typename Action>
void forJointRun(int index, Action action)
{
    const CRecordList<CBvhHeader> &joints = bvhState().jointList;
    const QString name = joints.at(index)->name;
    action(joints.at(index));
    for (int i = index + 1; i < joints.count() && joints.at(i)->name == name; ++i)
        action(joints.at(i));
}

// A new item under parent (top level without one), or beside parent once
// parent sits at the depth limit; flattened tells that it went beside.
QTreeWidgetItem *newListItem(QTreeWidget *list, QTreeWidgetItem *parent, int parentDepth, const QString &text,
                             bool &flattened)
{
    if (parent && parentDepth >= CImpMapDialog::listDepthLimit) {
        parent = parent->parent();
        flattened = true;
    }
    return parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(list, {text});
}

// The records mapped to each bone, in list order.
QHash<const KvNode *, QList<CBvhHeader *>> recordsByBone()
{
    QHash<const KvNode *, QList<CBvhHeader *>> byBone;
    for (CBvhHeader *record : bvhState().jointList) {
        if (record->mappedNode)
            byBone[record->mappedNode].append(record);
    }
    return byBone;
}

} // namespace

CImpMapDialog::CImpMapDialog(bool armsAlongX)
    : QDialog(kvApp ? kvApp->getInterface() : nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      armsAlongX(armsAlongX)
{
    setModal(true);
    setWindowTitle(tr("BVH Importer Options"));
    setMinimumSize(600, 250);
    setSizeGripEnabled(true);
    buildLayout();
    loadOptions();
    fillLists();
    hideDetails();
}

CImpMapDialog::~CImpMapDialog() = default;

int CImpMapDialog::execForImport(CBvhIn &importer)
{
    CImpMapDialog dialog(importer.armsAlongX);
    dialog.applyRunSettings(importer.ioSettings);
    return kvApp->execDialog(&dialog);
}

void CImpMapDialog::buildLayout()
{
    const CBvhState &state = bvhState();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(11, 11, 11, 11);
    layout->setSpacing(2);

    const QString fileWhatsThis = QStringLiteral(
        "<p>The &#8220;<font color=\"#FF6600\"><em>Selected File</em></font>&#8221; text shows the name of the BVH "
        "file being imported.");
    auto *fileRow = newRow();
    auto *fileCaption = new QLabel(tr("Selected File:"), this);
    fileCaption->setWhatsThis(fileWhatsThis + QLatin1String("</p>"));
    // Rich text: escape the name so that a '<' in it stays a character.
    const QString fileName = QFileInfo(state.currentFileName).fileName().toHtmlEscaped();
    fileLabel = new QLabel(tr("<b>%1 %2</b>").arg(fileName, armsAlongX ? QStringLiteral("[X]")
                                                                        : QStringLiteral("[Z]")), this);
    fileLabel->setFixedWidth(200);
    fileLabel->setWhatsThis(fileWhatsThis
                            + QLatin1String(" An [X] or [Z] after the file name indicates the orientation of the "
                                            "BVH figure's arms in the file data.</p>"));
    fileRow->addWidget(fileCaption);
    fileRow->addWidget(fileLabel);
    fileRow->addStretch();
    layout->addLayout(fileRow);

    const QString figureWhatsThis = QStringLiteral(
        "<p>The &#8220;<font color=\"#FF6600\"><em>Selected Figure</em></font>&#8221; text shows the name of the "
        "figure that will receive the file's animation data.</p>");
    auto *figureRow = newRow();
    auto *figureCaption = new QLabel(tr("Selected Figure:"), this);
    figureCaption->setWhatsThis(figureWhatsThis);
    const QString figureName = state.targetSkeleton ? state.targetSkeleton->getLabel() : QString();
    figureLabel = new QLabel(tr("<b>%1</b>").arg(figureName.toHtmlEscaped()), this);
    figureLabel->setFixedWidth(200);
    figureLabel->setWhatsThis(figureWhatsThis);
    figureRow->addWidget(figureCaption);
    figureRow->addWidget(figureLabel);
    figureRow->addStretch();
    layout->addLayout(figureRow);

    loadMapButton = newButton(
        tr("Load Map"), 75, tr("Load a stored name map, and change the name mapping before importing the data."),
        QStringLiteral("<p>To load a previously saved map, press the &#8220;<font color=\"#FF6600\"><em>Load Map"
                       "</em></font>&#8221; button.</p>"),
        this);
    saveMapButton = newButton(
        tr("Save Map"), 75, tr("Create, or replace a stored name map, using the current (displayed) mapping."),
        QStringLiteral("<p>To save the name mapping that&#8217;s currently displayed in the list, press the "
                       "&#8220;<font color=\"#FF6600\"><em>Save Map</em></font>&#8221; button.</p>"),
        this);
    auto *mapRow = newRow();
    mapRow->addWidget(loadMapButton);
    mapRow->addWidget(saveMapButton);
    mapRow->addStretch();
    layout->addLayout(mapRow);

    const QString listsWhatsThis = QStringLiteral(
        "<p>There are two lists for mapping entries in the file, to those in the scene. The list at left holds the "
        "names found in the BVH file, the list at right the bones of the selected skeleton. Matched members are "
        "connected: selecting an entry at left highlights the entry at right that it is mapped to, and a check "
        "mark shows that the file node will animate the mapped node.</p>"
        "<p>To change the mapping, click a name at left, then a different node at right. The new mapping replaces "
        "the current one, and the check mark moves to the new entry. Entries at left that are unchecked or not "
        "mapped are not imported.</p>"
        "<p>Clicking a check mark switches that entry and all of the entries below it off; clicking an empty box "
        "switches that entry and all of the entries above it back on.</p>");
    fileList = new QTreeWidget(this);
    setUpList(fileList, tr("File Nodes"),
              tr("A hierarchical list of the bone segment names found in the bvh file being imported."),
              listsWhatsThis);
    figureList = new QTreeWidget(this);
    setUpList(figureList, tr("Figure Nodes"),
              tr("A hierarchical list of the selected skeleton's bones that will be animated when the data is "
                 "imported."),
              listsWhatsThis);
    auto *listRow = newRow();
    listRow->addWidget(fileList);
    listRow->addWidget(figureList);
    layout->addLayout(listRow);
    depthNote = new QLabel(tr("Joints and bones nested deeper than %1 levels are listed at level %1.")
                               .arg(listDepthLimit), this);
    layout->addWidget(depthNote);

    optionsGroup = new QGroupBox(tr("Scene Animation Setup Options"), this);
    optionsGroup->setFixedWidth(250);
    optionsGroup->setWhatsThis(QStringLiteral(
        "<p>If you wish to use the settings in the file to influence the number of frames in the animation, and "
        "the number of frames per second, choose &#8220;<font color=\"#FF6600\"><em>Adjust scene to match the "
        "file.</em></font>&#8221; The animation range is lengthened to hold every frame of the file, and the "
        "frame rate is taken from the file. Choose &#8220;<font color=\"#FF6600\"><em>Use the current scene "
        "values.</em></font>&#8221; to keep the range and rate of the scene; frames beyond the end of the range "
        "are not imported. &#8220;<font color=\"#FF6600\"><em>In Place Mode</em></font>&#8221; keeps the figure "
        "on the spot: the hip keeps its rise and fall but not its X and Z translation. To keep the figure's "
        "joints inside their limits while the motion is applied, check &#8220;<font color=\"#FF6600\"><em>Lmit "
        "Joint Rotation</em></font>&#8221;.  </p>"));
    auto *adjustButton = new QRadioButton(tr("Adjust scene to match the file."), optionsGroup);
    adjustButton->setToolTip(tr("Before the animation is imported, the animation range and rate (fps) are changed."));
    auto *keepButton = new QRadioButton(tr("Use the current scene values."), optionsGroup);
    keepButton->setToolTip(
        tr("The animation data is imported as is, using the existing animation range and rate (fps)."));
    inPlaceBox = new QCheckBox(tr("In Place Mode (no X or Z hip translation)"), optionsGroup);
    inPlaceBox->setToolTip(tr("Import the animation, but keep the figure from moving in x or z direction."));
    limitsBox = new QCheckBox(tr("Limit Joint Rotation"), optionsGroup);
    limitsBox->setToolTip(tr("Turns on joint rotation limits. This may afect the imported animation."));
    // Each radio button stands for its own stored value: they toggle
    // independently, and a click on either stores that button's value.
    adjustButton->setAutoExclusive(false);
    keepButton->setAutoExclusive(false);
    optionButtons = new QButtonGroup(this);
    optionButtons->setExclusive(false);
    optionButtons->addButton(adjustButton, AdjustSceneOption);
    optionButtons->addButton(keepButton, KeepSceneOption);
    optionButtons->addButton(inPlaceBox, InPlaceOption);
    optionButtons->addButton(limitsBox, LimitsOption);
    auto *groupLayout = new QVBoxLayout(optionsGroup);
    for (QAbstractButton *button : optionButtons->buttons())
        groupLayout->addWidget(button);
    auto *optionsRow = newRow();
    optionsRow->addStretch();
    optionsRow->addWidget(optionsGroup);
    optionsRow->addStretch();
    layout->addLayout(optionsRow);

    whatsThisButton = newButton(QString(), 55, tr("Click for interactive help"), QStringLiteral("<p>"), this);
    whatsThisButton->setIcon(
        QIcon(kvApp ? kvApp->getResourcesPath() + QLatin1String("/images/icons/whatsthissmallicon.png") : QString()));
    detailsButton = newButton(tr("Show Details>>"), 100, tr("View or change the way the file is mapped to the character."),
                              QStringLiteral("<p>"), this);
    auto *acceptButton = newButton(tr("Accept"), 75,
                                   tr("Proceed with importing the data using the displayed name mapping."),
                                   QStringLiteral("<p>"), this);
    acceptButton->setDefault(true);
    auto *cancelButton = newButton(tr("Cancel"), 75, tr("Cancel the current import operation."),
                                   QStringLiteral("<p>"), this);
    auto *buttonRow = newRow();
    buttonRow->addWidget(whatsThisButton);
    buttonRow->addWidget(detailsButton);
    buttonRow->addSpacing(150);
    buttonRow->addStretch();
    buttonRow->addWidget(acceptButton);
    buttonRow->addWidget(cancelButton);
    layout->addLayout(buttonRow);

    connect(optionButtons, &QButtonGroup::idClicked, this, &CImpMapDialog::saveAnimOpts);
    connect(whatsThisButton, &QPushButton::clicked, this, &CImpMapDialog::enterWhatsThisMode);
    connect(detailsButton, &QPushButton::clicked, this, &CImpMapDialog::toggleOptions);
    connect(loadMapButton, &QPushButton::clicked, this, &CImpMapDialog::loadMapFile);
    connect(saveMapButton, &QPushButton::clicked, this, &CImpMapDialog::saveMapFile);
    // The view keeps a press on a check box to itself (the box toggles on
    // release and reports itemChanged): a press reported here is a press on
    // a name, and each gesture reaches clickedList1 once.
    connect(fileList, &QTreeWidget::itemPressed, this, &CImpMapDialog::clickedList1);
    connect(fileList, &QTreeWidget::itemChanged, this, &CImpMapDialog::onFileItemChanged);
    connect(fileList, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!syncingSelection)
            newSelList1(fileList->selectedItems().value(0));
    });
    connect(figureList, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!syncingSelection)
            newSelList2(figureList->selectedItems().value(0));
    });
    connect(acceptButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void CImpMapDialog::loadOptions()
{
    const bool frame = bvhio::storedOption(bvhio::frameOptionKey, true);
    const bool inPlace = bvhio::storedOption(bvhio::inPlaceOptionKey, false);
    const bool limits = bvhio::storedOption(bvhio::limitsOptionKey, false);
    optionButtons->button(frame ? AdjustSceneOption : KeepSceneOption)->setChecked(true);
    frameOption = frame;
    inPlaceBox->setChecked(inPlace);
    inPlaceOption = inPlace;
    limitsBox->setChecked(limits);
    limitsOption = limits;
}

void CImpMapDialog::saveAnimOpts(int id)
{
    const QString *key = nullptr;
    bool *flag = nullptr;
    bool value = false;
    switch (id) {
    case AdjustSceneOption:
    case KeepSceneOption:
        // Exclusivity is off: each radio button stores its own value,
        // whatever check state the click leaves on either.
        key = &bvhio::frameOptionKey;
        flag = &frameOption;
        value = id == AdjustSceneOption;
        break;
    case InPlaceOption:
        key = &bvhio::inPlaceOptionKey;
        flag = &inPlaceOption;
        value = inPlaceBox->isChecked();
        break;
    case LimitsOption:
        key = &bvhio::limitsOptionKey;
        flag = &limitsOption;
        value = limitsBox->isChecked();
        break;
    default:
        return;
    }
    // Without a settings store the flag still follows the click, so that the
    // import does what the dialog shows.
    bvhio::storeOption(*key, value);
    *flag = value;
}

void CImpMapDialog::applyRunSettings(const KvFileIOSettings &settings)
{
    const QString map = bvhio::runMapName(settings);
    if (!map.isEmpty()) {
        bvhState().currentMapName = map;
        loadMap(map);
    }
    if (const std::optional<bool> frame = bvhio::runOption(settings, bvhio::frameOptionKey)) {
        optionButtons->button(AdjustSceneOption)->setChecked(*frame);
        optionButtons->button(KeepSceneOption)->setChecked(!*frame);
        frameOption = *frame;
    }
    if (const std::optional<bool> inPlace = bvhio::runOption(settings, bvhio::inPlaceOptionKey)) {
        inPlaceBox->setChecked(*inPlace);
        inPlaceOption = *inPlace;
    }
    if (const std::optional<bool> limits = bvhio::runOption(settings, bvhio::limitsOptionKey)) {
        limitsBox->setChecked(*limits);
        limitsOption = *limits;
    }
}

void CImpMapDialog::enterWhatsThisMode()
{
    QWhatsThis::enterWhatsThisMode();
}

void CImpMapDialog::toggleOptions()
{
    detailsShown = !detailsShown;
    if (detailsShown)
        showDetails();
    else
        hideDetails();
}

void CImpMapDialog::showDetails()
{
    loadMapButton->show();
    saveMapButton->show();
    fileList->show();
    figureList->show();
    depthNote->setVisible(depthLimited);
    detailsButton->setText(tr("Hide Details<<"));
    setFixedHeight(expandedHeight);
}

void CImpMapDialog::hideDetails()
{
    loadMapButton->hide();
    saveMapButton->hide();
    fileList->hide();
    figureList->hide();
    depthNote->hide();
    detailsButton->setText(tr("Show Details>>"));
    setFixedHeight(collapsedHeight);
}

void CImpMapDialog::loadMapFile()
{
    if (bvhio::pickMapName(false))
        loadMap(bvhState().currentMapName);
}

void CImpMapDialog::loadMap(const QString &name)
{
    if (name.isEmpty())
        return;
    const std::optional<QString> data = bvhio::storedMapData(name);
    if (!data)
        return;
    settingChecks = true;
    bvhio::applyImportMap(*data);
    settingChecks = false;
    fileList->viewport()->update();
}

void CImpMapDialog::saveMapFile()
{
    if (!bvhio::pickMapName(true))
        return;
    const QString name = bvhState().currentMapName;
    if (bvhio::isValidMapName(name))
        bvhio::saveStoredMap(name, bvhio::importMapData(), staticMetaObject.className());
}

void CImpMapDialog::fillLists()
{
    const CBvhState &state = bvhState();
    settingChecks = true;
    fileList->clear();
    fileRecords.clear();
    bool flattened = false;
    // A joint's parent is the last joint before it one level up.
    QHash<int, const CBvhHeader *> lastJointAt;
    QHash<const QTreeWidgetItem *, int> depths;
    for (CBvhHeader *record : state.jointList) {
        if (record->type != Joint)
            continue;
        const CBvhHeader *parent = record->level == 1 ? nullptr : lastJointAt.value(record->level - 1);
        QTreeWidgetItem *parentItem = parent ? parent->fileItem : nullptr;
        const int parentDepth = depths.value(parentItem);
        QTreeWidgetItem *item = newListItem(fileList, parentItem, parentDepth, record->name, flattened);
        depths.insert(item, std::min(parentDepth + 1, int(listDepthLimit)));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, record->mappedNode && record->applyChannel ? Qt::Checked : Qt::Unchecked);
        item->setExpanded(true);
        record->fileItem = item;
        fileRecords.insert(item, record);
        lastJointAt.insert(record->level, record);
    }
    settingChecks = false;

    figureList->clear();
    depthLimited = fillFigureList() || flattened;
}

bool CImpMapDialog::fillFigureList()
{
    const CBvhState &state = bvhState();
    QHash<const KvNode *, CSkelHeader *> records;
    for (CSkelHeader *record : state.skeletonList) {
        if (!records.contains(record->bone))
            records.insert(record->bone, record);
    }
    QHash<const KvNode *, CBvhHeader *> firstJoints;
    for (CBvhHeader *joint : state.jointList) {
        if (joint->mappedNode && !firstJoints.contains(joint->mappedNode))
            firstJoints.insert(joint->mappedNode, joint);
    }

    // Pre-order without recursion: figures made from files nest thousands deep.
    struct Pending
    {
        KvNode *node;
        QTreeWidgetItem *parent;
        int parentDepth;
    };
    std::vector<Pending> pending;
    if (state.targetSkeleton)
        pending.push_back({state.targetSkeleton->getNodeChild(0), nullptr, 0});
    bool flattened = false;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (!next.node || !next.node->inherits("KvBone"))
            continue;
        CSkelHeader *record = records.value(next.node);
        if (!record)
            continue;
        QTreeWidgetItem *item = newListItem(figureList, next.parent, next.parentDepth, record->name, flattened);
        item->setExpanded(true);
        record->listItem = item;
        if (CBvhHeader *joint = firstJoints.value(next.node))
            joint->figureItem = item;
        const int depth = std::min(next.parentDepth + 1, int(listDepthLimit));
        for (int i = next.node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back({next.node->getNodeChild(i), item, depth});
    }
    return flattened;
}

void CImpMapDialog::newSelList1(QTreeWidgetItem *item)
{
    const CBvhHeader *record = fileRecords.value(item);
    if (!record)
        return;
    syncingSelection = true;
    if (QTreeWidgetItem *bone = record->figureItem) {
        figureList->scrollToItem(bone);
        bone->setSelected(true);
        figureList->setCurrentItem(bone);
        figureList->viewport()->update();
        fileList->setCurrentItem(item);
    } else {
        figureList->clearSelection();
    }
    syncingSelection = false;
}

void CImpMapDialog::newSelList2(QTreeWidgetItem *item)
{
    QTreeWidgetItem *current = fileList->currentItem();
    if (!item || !current)
        return;
    const CSkelHeader *bone = nullptr;
    for (const CSkelHeader *record : bvhState().skeletonList) {
        if (record->listItem == item) {
            bone = record;
            break;
        }
    }
    if (!bone)
        return;

    const CRecordList<CBvhHeader> &joints = bvhState().jointList;
    settingChecks = true;
    for (int i = 0; i < joints.count(); ++i) {
        if (joints.at(i)->figureItem != item)
            continue;
        forJointRun(i, [this](CBvhHeader *record) {
            record->mappedNode = nullptr;
            record->mappedName.clear();
            record->figureItem = nullptr;
            if (record->fileItem)
                setChecked(record->fileItem, false);
        });
    }
    for (int i = 0; i < joints.count(); ++i) {
        CBvhHeader *joint = joints.at(i);
        if (joint->fileItem != current)
            continue;
        if (!joint->figureItem)
            setChecked(current, true);
        forJointRun(i, [item, bone](CBvhHeader *record) {
            record->figureItem = item;
            record->mappedNode = bone->bone;
            record->mappedName = bone->name;
        });
    }
    settingChecks = false;
}

void CImpMapDialog::clickedList1(QTreeWidgetItem *item)
{
    CBvhHeader *record = fileRecords.value(item);
    if (!record)
        return;
    record->applyChannel = item->checkState(0) == Qt::Checked;
    if (record->applyChannel)
        enableToRoot(record->mappedNode);
    else
        disableBranch(record->mappedNode);
    fileList->viewport()->update();
}

void CImpMapDialog::enableToRoot(KvNode *node)
{
    const QHash<const KvNode *, QList<CBvhHeader *>> mapped = recordsByBone();
    for (; node; node = node->getNodeParent()) {
        for (CBvhHeader *record : mapped.value(node)) {
            record->applyChannel = true;
            if (record->fileItem)
                setChecked(record->fileItem, true);
        }
    }
}

void CImpMapDialog::disableBranch(KvNode *node)
{
    const QHash<const KvNode *, QList<CBvhHeader *>> mapped = recordsByBone();
    // Pre-order without recursion.
    std::vector<KvNode *> pending{node};
    while (!pending.empty()) {
        KvNode *next = pending.back();
        pending.pop_back();
        if (!next)
            continue;
        for (CBvhHeader *record : mapped.value(next)) {
            record->applyChannel = false;
            if (record->fileItem)
                setChecked(record->fileItem, false);
        }
        for (int i = next->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back(next->getNodeChild(i));
    }
}

void CImpMapDialog::setChecked(QTreeWidgetItem *item, bool on)
{
    const bool wasSetting = settingChecks;
    settingChecks = true;
    item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    settingChecks = wasSetting;
}

void CImpMapDialog::onFileItemChanged(QTreeWidgetItem *item, int column)
{
    if (!settingChecks && column == 0)
        clickedList1(item);
}
