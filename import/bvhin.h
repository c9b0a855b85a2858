#pragma once

#include "bvhheader.h"
#include "motionplan.h"

#include "kvfileio.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class CNamePattern;
class CSkelHeader;
class KvNode;

// The BVH importer the host creates through its class factory.
class CBvhIn : public KvImporter
{
    Q_OBJECT
public:
    CBvhIn();
    ~CBvhIn() override;

    bool recognize(const QString &path) override;
    int getNumExtensions() const override;
    QString getExtension(int index) const override;
    QString getDescription() const override;
    QStringList getPostIONotes() const override;
    int read(const QString &path, const KvFileIOSettings &settings) override;

    // Reader: one HIERARCHY line at a time into the joint list.
    void resetParseState();
    void parseLine(QString line);
    // The rest of the line from tokens[index + 1] on, words joined by single
    // blanks; index is left at the last token read.
    QString readJointName(const QStringList &tokens, int &index) const;
    // Appends a copy of the current record; type 0 keeps the record's type.
    void commitRecord(int type);
    // The last joint record of the joint list at level; null for level 0.
    CBvhHeader *findParentRecord(int level) const;
    static bool isSpecialJointName(const QString &name);

    // Once the hierarchy is read: spreads the matcher's mappings up and down
    // the joint chains, onto each joint's channel records, and maps the
    // root's records to the target skeleton's first bone.
    void completeMapping();

    // The import mapping dialog, shown once the hierarchy is read. It returns
    // QDialog::Accepted to go on with the import. plugin/ installs the real
    // dialog; while none is installed the mapping is taken as guessed.
    using MappingDialog = std::function<int(CBvhIn &importer)>;
    static void setMappingDialog(MappingDialog dialog);
    // The settings of the read in progress, for the mapping dialog: a batch
    // run may name a stored map and option values here (keys in
    // dialogs/storedmaps.h).
    KvFileIOSettings ioSettings;

    // Steps of one import around the reader and the driver.
    // Lists the bones below node (level is node's depth) in the skeleton list.
    // Each record stands for the body part its label names; the call for
    // level 1 settles the parts of the whole list (settleParts).
    void collectSkeletonBones(KvNode *node, int level);
    // Settles the parts of the skeleton list as a whole (bodyparts::settleParts)
    // and indexes its records by name.
    static void settleParts();
    // The first bone in pre-order from node whose label contains text (case
    // sensitive); the search does not pass through nodes that are not bones.
    static KvNode *findBoneByLabel(KvNode *node, const QString &text);
    // The first record of the joint list mapped to node (a joint record, as a
    // joint is committed before its channels), or null.
    static CBvhHeader *findRecordForNode(const KvNode *node);
    // Guesses the bone for currentRecord when it is a joint. Never takes a bone
    // that one of the joint's file ancestors holds; takes it from any other
    // joint that holds it.
    void matchJointName();
    // The first skeleton record whose name fits pattern, or null; a QString is
    // read as a wildcard pattern (compiled on every call).
    static CSkelHeader *findSkeletonBone(const QString &pattern);
    static CSkelHeader *findSkeletonBone(const CNamePattern &pattern);
    // Whether joint holds its bone because the bone is spelt as the joint is
    // (namespaces aside).
    static bool holdsBoneByName(const CBvhHeader *joint);
    // Clears the mapping of every joint-list record mapped to bone.
    static void unmapNode(const KvNode *bone);
    // unmapNode for the records read so far, through holdersOfBone.
    void releaseBone(const KvNode *bone);
    // Sets armsAlongX (the mapping dialog shows it) from the file joint mapped
    // to a right shoulder bone, and hipTurnAngle (radians about Y) to the
    // quarter turn between the file's facing and the figure's, measured on
    // that joint and bone. Both keep their values when no joint is mapped to
    // a right shoulder. The rest alignment finds the facing by itself.
    void detectArmAxis();
    // Reads the import options stored under "BVHIO" where they exist.
    static void loadImportOptions();
    // Once the mapping is accepted, before the first frame line, in this order.
    void clearExistingAnimation();
    // Saves the scene time in savedSceneTime and fits the scene to the file.
    void prepareMotion();
    // Decides which joint keys each bone and lays out the frame columns
    // (motionPlan); alignRestPose and the first frame line call it.
    void planMotion();
    // Turns every keyed bone, parents first, to point as its joint does in
    // the file's rest pose (toward the joints keying the bones below it, or
    // toward its End Site), then captures every mapped joint's rest rotations
    // into its records.
    void alignRestPose();
    // positionScale = the figure's leg length / the file's; kept when either
    // cannot be measured.
    void computePositionScale();
    // One MOTION line as 8-bit text, without its line end. A line without
    // values is no frame.
    void applyFrameLine(QByteArrayView line);
    // Whether the file's motion is turned Z-up to Y-up at its root: as the
    // run's upAxisKey setting says ("y": never, "z": always), or, by default,
    // when the rest pose and the first frame both stand along +Z.
    bool decideStandUp(const CMotionPlan::Joint &root, const KvQuat &firstRotation) const;
    // After the last line, before the scene time is restored: the range that
    // prepareMotion lengthened ends with the frames the file held.
    void fitRangeToFrames();
    void restoreRotationLimits();

    // Parts of the steps above.
    // The middle one of node's child bones (the (n / 2 + 1)-th child node of
    // n child bones), or null when node has no child bone.
    static KvNode *middleChildBone(const KvNode *node);
    // The twist axis of node's rotation order and the mask of the other two
    // axes; both untouched for an invalid order.
    static void boneAxes(const KvNode *node, KvVec3 &axis, KvVec3 &mask);
    // Keys record's bone at the current time: a local position in file units
    // (times positionScale), a rotation given in the file's rest axes, a scale.
    void applyPosition(const CBvhHeader &record, const KvVec3 &position);
    void applyRotation(const CMotionPlan::Joint &joint, const KvQuat &fileRotation);
    void applyScale(const CBvhHeader &record, const KvVec3 &scale);
    // Sets the clamp flag of the control that a channel of type drives to
    // limitsOption; remembers a rotation control's flag in savedRotationClamp.
    void applyLimitFlag(KvNode *node, int type);
    // Whether the next line is applied: frames remain and the scene time lies
    // inside the animation range.
    bool isFrameInRange() const;
    // One frame on, while isFrameInRange.
    void advanceFrame();

    bool inHierarchy = true;
    bool inEndSite = false;
    float hipTurnAngle = 0.0f;     // radians
    bool armsAlongX = false;
    float positionScale = 1.0f;
    int numFrames = 0;
    bool hasFrameCount = false;    // this parse met a "Frames:" line
    int framesApplied = 0;
    float frameTime = 0.0f;        // seconds
    bool applyXPosition = true;
    bool applyYPosition = true;
    bool applyZPosition = true;
    float firstYPosition = 0.0f;
    bool firstYSeen = false;
    int savedSceneTime = 0;        // ticks
    int rangeEndBefore = -1;       // ticks; the range end before prepareMotion lengthened it, -1 if it did not
    int standUp = -1;              // the import turns Z up to Y up: 1 yes, 0 no, -1 not yet decided
    CBvhHeader currentRecord;
    std::vector<CBvhHeader *> jointAtLevel;  // the last joint committed at each level
    // While the hierarchy is read: the joints from the root down to the one
    // being matched, the bones they hold, and which records hold each bone,
    // so that matching a joint costs the same at any depth and width.
    std::vector<const CBvhHeader *> openJoints;
    QHash<const KvNode *, int> bonesAbove;
    QHash<const KvNode *, std::vector<CBvhHeader *>> holdersOfBone;
    CMotionPlan motionPlan;
};

// The run setting that says which way the file stands: "auto", "y" or "z".
inline const QString upAxisKey = QStringLiteral("Up Axis");

// Import options, set by the import mapping dialog and stored under "BVHIO".
extern bool frameOption;         // the scene takes the file's frame time and length
extern bool inPlaceOption;       // the root keeps X and Z at 0
extern bool limitsOption;        // rotation limits hold during the import
// A driven rotation control's clamp flag from before the import.
extern bool savedRotationClamp;
