#include "bvhin.h"

#include "bodyparts.h"
#include "bvhstate.h"
#include "linereader.h"

#include "kvapp.h"
#include "kvnode.h"
#include "kvnodedlg.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QChar>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>

#include <algorithm>
#include <climits>

namespace {

CBvhIn::MappingDialog &mappingDialogHook()
{
    static CBvhIn::MappingDialog dialog;
    return dialog;
}

// Whether the line holds more than white space (white space as the reader's
// simplification sees it).
bool hasText(QByteArrayView line)
{
    for (const char c : line) {
        if (!QChar(QLatin1Char(c)).isSpace())
            return true;
    }
    return false;
}

int clampToInt(qint64 n)
{
    return int(std::clamp<qint64>(n, 0, INT_MAX));
}

// The skeleton of the first selected node, or the one the user picks in the
// node chooser. Null when the chooser is rejected or yields no skeleton;
// rejected tells which.
KvSkeleton *chooseTargetSkeleton(bool &rejected)
{
    rejected = false;
    KvNode *selected = kvScene->getNumSelectedNodes() > 0 ? kvScene->getSelectedNode(0) : nullptr;
    KvSkeleton *skeleton = selected ? selected->getSkeleton() : nullptr;
    if (skeleton && skeleton->inherits("KvSkeleton"))
        return skeleton;

    KvNodeDlg chooser(kvApp->getInterface(), selected, QStringLiteral("KvSkeleton"), false);
    chooser.setCaption(CBvhIn::tr("BVH File Importer - Skeleton Node Selector"));
    if (kvApp->execDialog(&chooser) != QDialog::Accepted) {
        rejected = true;
        return nullptr;
    }
    KvNode *chosen = chooser.getNode();
    return chosen ? chosen->getSkeleton() : nullptr;
}

// Whether joint holds a bone of its own name (case and namespaces aside)
// while its parent holds a bone further up than the bone's parent: the
// figure has bones in between that the file lacks.
bool skipsFigureBones(const CBvhHeader *joint)
{
    const KvNode *parentBone = joint->parent ? joint->parent->mappedNode : nullptr;
    if (!parentBone || bodyparts::matchKey(joint->name).compare(bodyparts::matchKey(joint->mappedName), Qt::CaseInsensitive) != 0)
        return false;
    const KvNode *up = joint->mappedNode->getNodeParent();
    // The usual case, answered without walking a deep figure to its root.
    if (up == parentBone)
        return false;
    for (up = up ? up->getNodeParent() : nullptr; up; up = up->getNodeParent()) {
        if (up == parentBone)
            return true;
    }
    return false;
}

} // namespace

void CBvhIn::setMappingDialog(MappingDialog dialog)
{
    mappingDialogHook() = std::move(dialog);
}

int CBvhIn::read(const QString &path, const KvFileIOSettings &settings)
{
    ioSettings = settings;
    standUp = -1;
    Q_ASSERT(kvApp && kvScene);
    const QString title = tr("BVH File Importer");
    CBvhState &state = bvhState();

    bool rejected = false;
    KvSkeleton *skeleton = chooseTargetSkeleton(rejected);
    if (rejected)
        return 0;
    if (!skeleton) {
        kvApp->warning(title, tr("The chosen node does not belong to a figure."));
        return 0;
    }
    state.targetSkeleton = skeleton;

    collectSkeletonBones(skeleton->getNodeChild(0), 1);
    state.currentMapName = QLatin1String("");
    loadImportOptions();
    startIO();

    // The host brackets the operation with startIO / finishIO, so every
    // return from here on finishes it.
    const auto failOpening = [&] {
        kvApp->warning(title, tr("The selected file can not be opened."));
        state.clearLists();
        finishIO();
        return 0;
    };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failOpening();
    const QFileInfo info(path);
    kvApp->getImportMgr()->setImportPath(info.path());

    // Counted with the same line splitting as the reading below, so the
    // progress total is exact.
    qint64 lineCount = 0;
    qint64 textLineCount = 0;
    {
        CLineReader counter(&file);
        QByteArrayView line;
        while (counter.readLine(line)) {
            ++lineCount;
            if (hasText(line))
                ++textLineCount;
        }
    }
    file.close();
    if (!file.open(QIODevice::ReadOnly))
        return failOpening();

    state.currentFileName = info.fileName();
    kvApp->startProgress(tr("BVH Import [%1]").arg(info.fileName()), clampToInt(lineCount), false, false);
    resetParseState();

    const auto stop = [&](const QString &text) {
        file.close();
        finishIO();
        kvApp->finishProgress();
        kvApp->warning(title, text);
        state.clearLists();
        return 0;
    };

    CLineReader reader(&file);
    QByteArrayView line;
    qint64 textLinesRead = 0;
    while (reader.readLine(line)) {
        kvApp->stepProgress(1);
        if (!inHierarchy) {
            applyFrameLine(line);
            continue;
        }
        if (hasText(line))
            ++textLinesRead;
        parseLine(QString::fromLatin1(line));
        if (inHierarchy)
            continue;

        if (!hasFrameCount)
            numFrames = clampToInt(textLineCount - textLinesRead);
        completeMapping();
        detectArmAxis();
        const MappingDialog dialog = mappingDialogHook();
        if ((dialog ? dialog(*this) : int(QDialog::Accepted)) != QDialog::Accepted)
            return stop(tr("Import operation aborted by user."));
        clearExistingAnimation();
        prepareMotion();
        alignRestPose();
        computePositionScale();
        // Room for a key a line on every keyed control, so that a long take
        // does not regrow them (and briefly hold them twice) as it is keyed.
        const KvTimeRange range = kvScene->getAnimRange();
        const int step = std::max(1, kvScene->getTimeStep());
        const qint64 inRange = range.contains(kvScene->getTime()) ? qint64(range.end - kvScene->getTime()) / step + 1 : 0;
        const int lines = clampToInt(std::min({qint64(numFrames), textLineCount - textLinesRead, inRange}));
        for (const CMotionPlan::Joint &joint : motionPlan.joints) {
            if (!joint.bone)
                continue;
            for (int c = joint.movesFigure ? 0 : 3; c < 6; ++c) {
                KvFloatProperty *control = joint.bone->getControl(c);
                control->reserveKeys(control->getNumKeys() + lines);
            }
        }
    }

    // The hierarchy never ended: nothing was shown, and prepareMotion never
    // saved a scene time to go back to. Leave the scene as it is.
    if (inHierarchy) {
        // A file that opens but fails to read says so, not that it lacks motion.
        return stop(file.error() == QFileDevice::NoError ? tr("The selected file has no motion data.")
                                                         : tr("The selected file can not be read."));
    }

    fitRangeToFrames();
    restoreRotationLimits();
    state.clearLists();
    kvScene->setTime(savedSceneTime);
    file.close();
    finishIO();
    kvApp->finishProgress();
    return 1;
}

void CBvhIn::completeMapping()
{
    const CRecordList<CBvhHeader> &joints = bvhState().jointList;

    // Parts as the whole file tells them, settled as the figure's are.
    std::vector<const CBvhHeader *> jointRecords;
    std::vector<int> levels;
    std::vector<int> parts;
    for (const CBvhHeader *record : joints) {
        if (record->type != Joint)
            continue;
        jointRecords.push_back(record);
        levels.push_back(record->level);
        parts.push_back(bodyparts::partOf(record->name));
    }
    bodyparts::settleParts(levels, parts);
    QHash<const CBvhHeader *, int> partOfJoint;
    for (size_t i = 0; i < jointRecords.size(); ++i)
        partOfJoint.insert(jointRecords[i], parts[i]);
    QHash<const KvNode *, int> partOfBone;
    for (const CSkelHeader *bone : bvhState().skeletonList)
        partOfBone.insert(bone->bone, bone->part);
    // A limb joint the matcher put on a bone of another part or of none, as
    // names alike do (a rig's LeftShoulder, its collar, on a figure whose
    // LeftShoulder is the upper arm; lHand on a figure's lhand, a hand end),
    // takes the first bone of its own part instead.
    const auto heldAbove = [](const CBvhHeader *joint, const KvNode *bone) {
        for (const CBvhHeader *up = joint->parent; up; up = up->parent) {
            if (up->mappedNode == bone)
                return true;
        }
        return false;
    };
    for (CBvhHeader *record : joints) {
        const int part = partOfJoint.value(record, bodyparts::NoPart);
        if (!record->mappedNode || !bodyparts::isSided(part))
            continue;
        if (partOfBone.value(record->mappedNode, bodyparts::NoPart) == part)
            continue;
        for (const CSkelHeader *bone : bvhState().skeletonList) {
            if (bone->part == part && !heldAbove(record, bone->bone)) {
                unmapNode(bone->bone);
                record->mappedNode = bone->bone;
                record->mappedName = bone->label;
                break;
            }
        }
    }
    // Whether joint's bone stands for the limb part the joint does.
    const auto holdsBoneByPart = [&](const CBvhHeader *joint) {
        const int part = partOfJoint.value(joint, bodyparts::NoPart);
        return bodyparts::isSided(part) && partOfBone.value(joint->mappedNode, bodyparts::NoPart) == part;
    };

    // Mappings travel up the file's chain as far as the figure's chain goes,
    // and down into children of bones that have only one child.
    for (CBvhHeader *record : joints) {
        if (record->type != Joint || isSpecialJointName(record->name))
            continue;
        if (record->mappedNode && !skipsFigureBones(record)) {
            const CBvhHeader *below = record;
            for (CBvhHeader *up = record->parent; up && !isSpecialJointName(up->name); up = up->parent) {
                // The file's chain may be longer than the figure's: a joint
                // that holds a bone spelt as its own name, or a limb joint
                // whose bone is the same part, keeps it, and so does the
                // chain above it.
                if (holdsBoneByName(up) || holdsBoneByPart(up))
                    break;
                up->mappedNode = below->mappedNode->getNodeParent();
                if (!up->mappedNode)
                    break;
                up->mappedName = up->mappedNode->getLabel();
                below = up;
            }
        } else if (!record->mappedNode && record->parent && record->parent->mappedNode
                   && record->parent->mappedNode->getNumNodeChildren() == 1
                   && !holdsBoneByName(findRecordForNode(record->parent->mappedNode->getNodeChild(0)))) {
            record->mappedNode = record->parent->mappedNode->getNodeChild(0);
            record->mappedName = record->mappedNode->getLabel();
        }
    }

    // A joint's channel records follow it under the same name.
    const CBvhHeader *head = nullptr;
    for (CBvhHeader *record : joints) {
        if (head && record->name == head->name) {
            record->mappedNode = head->mappedNode;
            record->mappedName = head->mappedName;
            record->parent = head->parent;
        } else {
            head = record;
        }
    }

    // The file's root always drives the figure's first bone.
    const KvSkeleton *skeleton = bvhState().targetSkeleton;
    KvNode *firstBone = skeleton ? skeleton->getNodeChild(0) : nullptr;
    for (CBvhHeader *record : joints) {
        if (isSpecialJointName(record->name))
            break;
        if (record->level != 1)
            continue;
        record->mappedNode = firstBone;
        record->mappedName = firstBone ? firstBone->getLabel() : QString();
        record->parent = nullptr;
    }
}
