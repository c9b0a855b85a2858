#pragma once

#include "bvhheader.h"
#include "kvfileio.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>

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

    // Steps of one import around the reader and the driver.
    // Lists the bones below node (level is node's depth) in the skeleton list.
    void collectSkeletonBones(KvNode *node, int level);
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
    // Clears the mapping of every joint-list record mapped to bone.
    static void unmapNode(const KvNode *bone);
    // Sets armsAlongX and hipTurnAngle from the mapped shoulders.
    void detectArmAxis();
    // Once the mapping is accepted, before the first frame line, in this order.
    void clearExistingAnimation();
    // Saves the scene time in savedSceneTime and fits the scene to the file.
    void prepareMotion();
    void alignRestPose();
    void computePositionScale();
    // One MOTION line as 8-bit text, without its line end.
    void applyFrameLine(QByteArrayView line);
    // After the last line, before the scene time is restored.
    void restoreRotationLimits();

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
    CBvhHeader currentRecord;
};
