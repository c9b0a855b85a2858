#include "bvhin.h"
#include "bvhstate.h"

#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QTreeWidgetItem>
#include <QtTest>

#include <memory>

namespace {

// Bone labels in the order a walk of the default figure meets them.
QStringList humanLabels()
{
    QStringList labels = {"hip", "abdomen", "chest", "neck", "head", "lEye", "rEye"};
    for (const char *side : {"l", "r"}) {
        const QString s = QLatin1String(side);
        labels << s + "Collar" << s + "Shldr" << s + "ForeArm" << s + "Hand";
        for (const char *finger : {"Thumb", "Index", "Mid", "Ring", "Pinky"}) {
            for (int segment = 1; segment <= 3; ++segment)
                labels << s + QLatin1String(finger) + QString::number(segment);
        }
    }
    labels << "lThigh" << "lShin" << "lFoot" << "lToe" << "rThigh" << "rShin" << "rFoot" << "rToe";
    return labels;
}

// The first label is the figure's first bone, the others its children, so the
// skeleton list holds them in the order given.
std::unique_ptr<KvSkeleton> flatFigure(const QStringList &labels)
{
    auto skeleton = std::make_unique<KvSkeleton>(QStringLiteral("figure"));
    KvNode *first = nullptr;
    for (const QString &label : labels) {
        auto *bone = new KvBone(label);
        if (first)
            first->addChild(bone);
        else
            skeleton->addChild(first = bone);
    }
    return skeleton;
}

// Joints "name", ".child", "..grandchild": the dots give the depth below the
// root. Every joint has three rotation channels; a leaf has no End Site.
QByteArray hierarchyText(const QStringList &joints)
{
    QByteArray text = "HIERARCHY\n";
    int open = 0;
    for (const QString &entry : joints) {
        int depth = 0;
        while (depth < entry.size() && entry.at(depth) == QLatin1Char('.'))
            ++depth;
        for (; open > depth; --open)
            text += "}\n";
        text += (depth == 0 ? "ROOT " : "JOINT ") + entry.mid(depth).toLatin1()
            + "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
        ++open;
    }
    for (; open > 0; --open)
        text += "}\n";
    return text + "MOTION\nFrames: 0\nFrame Time: 0.1\n";
}

// The hierarchy part, line by line, as the import driver feeds it.
void readHierarchy(CBvhIn &in, const QByteArray &text)
{
    in.resetParseState();
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = QString::fromLatin1(text).split(lineEnd);
    for (const QString &line : lines) {
        in.parseLine(line);
        if (!in.inHierarchy)
            break;
    }
}

QString mappingOf(const CBvhHeader *record)
{
    if (!record->mappedNode)
        return QStringLiteral("-");
    if (!record->mappedNode->inherits("KvBone"))
        return QStringLiteral("(not a bone)");
    return record->mappedNode->getLabel();
}

// Every record agrees with its joint: channel records carry the joint's
// mapping, End Sites none, and a mapped name is the node's label.
bool recordsConsistent(QString *problem)
{
    const CBvhHeader *joint = nullptr;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type == Joint) {
            joint = r;
        } else if (r->type == EndSite) {
            joint = nullptr;
            if (r->mappedNode || !r->mappedName.isEmpty()) {
                *problem = QStringLiteral("an End Site is mapped");
                return false;
            }
        } else if (r->type >= Xposition && joint && r->mappedNode != joint->mappedNode) {
            *problem = QStringLiteral("a channel of %1 is mapped apart from its joint").arg(joint->name);
            return false;
        }
        const QString label = r->mappedNode ? r->mappedNode->getLabel() : QString();
        if (r->mappedName != label) {
            *problem = QStringLiteral("%1 is named %2 but mapped to %3").arg(r->name, r->mappedName, label);
            return false;
        }
    }
    return true;
}

// What a figure bone is for a joint of a real file. anatomy is the figure
// bone whose joint sits at the same place on the body and moves the same
// part ("-": the figure has none). rules is given where the automatic mapping
// (matcher and mapping completion) decides otherwise; the comment says why.
struct Expected
{
    const char *joint;
    const char *anatomy;
    const char *rules = nullptr;
};

// hip, abdomen, chest, neck, head, both arms to the hand and both legs to the
// foot, named exactly like the figure's bones.
const Expected slNames[] = {
    {"hip", "hip"}, {"abdomen", "abdomen"}, {"chest", "chest"}, {"neck", "neck"}, {"head", "head"},
    {"lCollar", "lCollar"}, {"lShldr", "lShldr"}, {"lForeArm", "lForeArm"}, {"lHand", "lHand"},
    {"rCollar", "rCollar"}, {"rShldr", "rShldr"}, {"rForeArm", "rForeArm"}, {"rHand", "rHand"},
    {"lThigh", "lThigh"}, {"lShin", "lShin"}, {"lFoot", "lFoot"},
    {"rThigh", "rThigh"}, {"rShin", "rShin"}, {"rFoot", "rFoot"},
};

// The same names with eyes, two-segment fingers and a buttock joint on the
// pelvis above each thigh.
const Expected slNamesWithFingers[] = {
    {"hip", "hip"}, {"abdomen", "abdomen"}, {"chest", "chest"}, {"neck", "neck"}, {"head", "head"},
    {"leftEye", "lEye"}, {"rightEye", "rEye"},
    {"rCollar", "rCollar"}, {"rShldr", "rShldr"}, {"rForeArm", "rForeArm"}, {"rHand", "rHand"},
    {"rThumb1", "rThumb1"}, {"rThumb2", "rThumb2"}, {"rIndex1", "rIndex1"}, {"rIndex2", "rIndex2"},
    {"rMid1", "rMid1"}, {"rMid2", "rMid2"}, {"rRing1", "rRing1"}, {"rRing2", "rRing2"},
    {"rPinky1", "rPinky1"}, {"rPinky2", "rPinky2"},
    {"lCollar", "lCollar"}, {"lShldr", "lShldr"}, {"lForeArm", "lForeArm"}, {"lHand", "lHand"},
    {"lThumb1", "lThumb1"}, {"lThumb2", "lThumb2"}, {"lIndex1", "lIndex1"}, {"lIndex2", "lIndex2"},
    {"lMid1", "lMid1"}, {"lMid2", "lMid2"}, {"lRing1", "lRing1"}, {"lRing2", "lRing2"},
    {"lPinky1", "lPinky1"}, {"lPinky2", "lPinky2"},
    {"rButtock", "hip"}, {"rThigh", "rThigh"}, {"rShin", "rShin"}, {"rFoot", "rFoot"},
    {"lButtock", "hip"}, {"lThigh", "lThigh"}, {"lShin", "lShin"}, {"lFoot", "lFoot"},
};

// Motion-capture names: LHipJoint is the pelvis segment out to the hip
// joint; LowerBack sits on the pelvis and bends the lower back; Spine1 and its
// zero-length children Neck and LeftShoulder sit at the top of the chest, so
// Neck is the lower neck and LeftShoulder the collar bone; LeftArm is the
// shoulder joint; LeftFingerBase sits at the wrist and turns the palm.
const Expected cmuNamesCommon[] = {
    {"Hips", "hip"},
    {"LHipJoint", "hip"}, {"LeftUpLeg", "lThigh"}, {"LeftLeg", "lShin"}, {"LeftFoot", "lFoot"},
    {"LeftToeBase", "lToe"},
    {"RHipJoint", "hip"}, {"RightUpLeg", "rThigh"}, {"RightLeg", "rShin"}, {"RightFoot", "rFoot"},
    {"RightToeBase", "rToe"},
    // The completion walks up from the legs to the pelvis, and from the neck
    // and arms up the spine one bone per joint: the spine's lowest joint is
    // left with the pelvis.
    {"LowerBack", "abdomen", "hip"},
    {"Spine", "abdomen"}, {"Spine1", "chest"},
    // Neck (upper chest to mid-neck) is the one joint the upward walk from the
    // head gives the chest: the figure has one neck bone for two neck joints.
    {"Neck", "neck", "chest"},
    {"Neck1", "neck"}, {"Head", "head"},
    {"LeftShoulder", "lCollar"}, {"LeftArm", "lShldr"}, {"LeftForeArm", "lForeArm"}, {"LeftHand", "lHand"},
    {"LThumb", "lThumb1"},
    {"RightShoulder", "rCollar"}, {"RightArm", "rShldr"}, {"RightForeArm", "rForeArm"}, {"RightHand", "rHand"},
    {"RThumb", "rThumb1"},
};

const Expected cmuNamesFingerGroup[] = {
    // The hand has five children, so nothing maps downward into the finger
    // base, and no name below it fits a bone to walk up from.
    {"LeftFingerBase", "lHand", "-"}, {"LFingers", "-"},
    {"RightFingerBase", "rHand", "-"}, {"RFingers", "-"},
};

// The index-finger take: the upward walk from LeftHandIndex1 first shifts the
// arm by one bone (hand to forearm ...); the walk from LThumb, which comes
// later in the file, puts it back.
const Expected cmuNamesIndexFinger[] = {
    {"LeftFingerBase", "lHand"}, {"LeftHandIndex1", "lIndex1"},
    {"RightFingerBase", "rHand"}, {"RightHandIndex1", "rIndex1"},
};

// The original release of the same captures: Hip/Knee/Ankle and
// Collar/Shoulder/Elbow/Wrist; lowerback, Chest and Chest2 are LowerBack,
// Spine and Spine1 above; lowerneck and Neck are Neck and Neck1; lhand sits at
// the wrist's end and turns the palm.
const Expected cmuOriginalNames[] = {
    {"Hips", "hip"},
    {"LHipJoint", "hip"}, {"LeftHip", "lThigh"}, {"LeftKnee", "lShin"}, {"LeftAnkle", "lFoot"}, {"LeftToe", "lToe"},
    {"RHipJoint", "hip"}, {"RightHip", "rThigh"}, {"RightKnee", "rShin"}, {"RightAnkle", "rFoot"}, {"RightToe", "rToe"},
    {"lowerback", "abdomen", "hip"},  // as LowerBack above
    // Chest is found by name, but the upward walks from the collars give it
    // the abdomen, which is where it sits.
    {"Chest", "abdomen"}, {"Chest2", "chest"},
    {"lowerneck", "neck", "chest"},  // as Neck above
    {"Neck", "neck"}, {"Head", "head"},
    {"LeftCollar", "lCollar"}, {"LeftShoulder", "lShldr"}, {"LeftElbow", "lForeArm"}, {"LeftWrist", "lHand"},
    // LeftWrist holds the hand, so lhand may not take it; the hand has five
    // children, so the completion does not map downward either.
    {"lhand", "lHand", "-"}, {"LFingers", "-"}, {"LThumb", "lThumb1"},
    {"RightCollar", "rCollar"}, {"RightShoulder", "rShldr"}, {"RightElbow", "rForeArm"}, {"RightWrist", "rHand"},
    {"rhand", "rHand", "-"}, {"RFingers", "-"}, {"RThumb", "rThumb1"},
};

// Shoulder/Elbow/Wrist and Hip/Knee/Ankle on a two-joint spine: Chest is the
// lower back, Chest2 the chest; LeftShoulder is the shoulder joint.
const Expected elbowWristNames[] = {
    {"Hips", "hip"}, {"Chest", "abdomen"}, {"Chest2", "chest"},
    {"LeftCollar", "lCollar"}, {"LeftShoulder", "lShldr"}, {"LeftElbow", "lForeArm"}, {"LeftWrist", "lHand"},
    {"RightCollar", "rCollar"}, {"RightShoulder", "rShldr"}, {"RightElbow", "rForeArm"}, {"RightWrist", "rHand"},
    {"Neck", "neck"}, {"Head", "head"},
    {"LeftHip", "lThigh"}, {"LeftKnee", "lShin"}, {"LeftAnkle", "lFoot"},
    {"RightHip", "rThigh"}, {"RightKnee", "rShin"}, {"RightAnkle", "rFoot"},
};

// Rig names: Spine is the lower back, Spine1 the waist, Spine2 the chest;
// LeftShoulder is the collar bone, LeftArm the shoulder joint, LeftUpLeg the
// hip joint, LeftLeg the knee. HeadTop_End only marks the top of the head.
const Expected rigNames[] = {
    {"Hips", "hip"},
    // The upward walk from the neck reaches Spine as the third joint below
    // it: the figure has one bone fewer between pelvis and neck.
    {"Spine", "abdomen", "hip"},
    {"Spine1", "abdomen"}, {"Spine2", "chest"},
    {"Neck", "neck"}, {"Head", "head"}, {"HeadTop_End", "-"}, {"LeftEye", "lEye"}, {"RightEye", "rEye"},
    {"LeftShoulder", "lCollar"}, {"LeftArm", "lShldr"}, {"LeftForeArm", "lForeArm"}, {"LeftHand", "lHand"},
    {"LeftHandMiddle1", "lMid1"}, {"LeftHandMiddle2", "lMid2"}, {"LeftHandMiddle3", "lMid3"},
    {"LeftHandThumb1", "lThumb1"}, {"LeftHandThumb2", "lThumb2"}, {"LeftHandThumb3", "lThumb3"},
    {"LeftHandIndex1", "lIndex1"}, {"LeftHandIndex2", "lIndex2"}, {"LeftHandIndex3", "lIndex3"},
    {"LeftHandRing1", "lRing1"}, {"LeftHandRing2", "lRing2"}, {"LeftHandRing3", "lRing3"},
    {"LeftHandPinky1", "lPinky1"}, {"LeftHandPinky2", "lPinky2"}, {"LeftHandPinky3", "lPinky3"},
    {"RightShoulder", "rCollar"}, {"RightArm", "rShldr"}, {"RightForeArm", "rForeArm"}, {"RightHand", "rHand"},
    {"RightHandMiddle1", "rMid1"}, {"RightHandMiddle2", "rMid2"}, {"RightHandMiddle3", "rMid3"},
    {"RightHandThumb1", "rThumb1"}, {"RightHandThumb2", "rThumb2"}, {"RightHandThumb3", "rThumb3"},
    {"RightHandIndex1", "rIndex1"}, {"RightHandIndex2", "rIndex2"}, {"RightHandIndex3", "rIndex3"},
    {"RightHandRing1", "rRing1"}, {"RightHandRing2", "rRing2"}, {"RightHandRing3", "rRing3"},
    {"RightHandPinky1", "rPinky1"}, {"RightHandPinky2", "rPinky2"}, {"RightHandPinky3", "rPinky3"},
    {"RightUpLeg", "rThigh"}, {"RightLeg", "rShin"}, {"RightFoot", "rFoot"}, {"RightToeBase", "rToe"},
    {"LeftUpLeg", "lThigh"}, {"LeftLeg", "lShin"}, {"LeftFoot", "lFoot"}, {"LeftToeBase", "lToe"},
};

// The same rig names on a four-joint spine (two in the lower back, two in the
// chest), hands ending in a HandEnd marker and a one-segment thumb.
const Expected rigNamesFourSpine[] = {
    {"Hips", "hip"},
    // One joint more than the rig above between pelvis and neck: the upward
    // walks run out of bones one joint earlier, so Spine is left with the
    // skeleton node itself and Spine1 and Spine2 sit one bone low.
    {"Spine", "abdomen", "(not a bone)"},
    {"Spine1", "abdomen", "hip"},
    {"Spine2", "chest", "abdomen"},
    {"Spine3", "chest"},
    {"Neck", "neck"}, {"Head", "head"},
    {"RightShoulder", "rCollar"}, {"RightArm", "rShldr"}, {"RightForeArm", "rForeArm"}, {"RightHand", "rHand"},
    {"RightHandEnd", "-"}, {"RightHandThumb1", "rThumb1"},
    {"LeftShoulder", "lCollar"}, {"LeftArm", "lShldr"}, {"LeftForeArm", "lForeArm"}, {"LeftHand", "lHand"},
    {"LeftHandEnd", "-"}, {"LeftHandThumb1", "lThumb1"},
    {"RightUpLeg", "rThigh"}, {"RightLeg", "rShin"}, {"RightFoot", "rFoot"}, {"RightToeBase", "rToe"},
    {"LeftUpLeg", "lThigh"}, {"LeftLeg", "lShin"}, {"LeftFoot", "lFoot"}, {"LeftToeBase", "lToe"},
};

// The textbook skeleton: one spine joint (Chest, just above the pelvis) for
// the whole torso; UpArm and LowArm for the arm, UpLeg and LowLeg for the leg.
const Expected textbookNames[] = {
    {"Hips", "hip"},
    // Found by name, though it bends the torso from the lower back.
    {"Chest", "abdomen", "chest"},
    {"Neck", "neck"}, {"Head", "head"},
    {"LeftCollar", "lCollar"}, {"LeftUpArm", "lShldr"}, {"LeftLowArm", "lForeArm"}, {"LeftHand", "lHand"},
    {"RightCollar", "rCollar"}, {"RightUpArm", "rShldr"}, {"RightLowArm", "rForeArm"}, {"RightHand", "rHand"},
    {"LeftUpLeg", "lThigh"}, {"LeftLowLeg", "lShin"}, {"LeftFoot", "lFoot"},
    {"RightUpLeg", "rThigh"}, {"RightLowLeg", "rShin"}, {"RightFoot", "rFoot"},
};

struct RealFile
{
    const char *name;                  // row name
    const char *file;                  // under data/bvh
    const char *stripPrefix;           // removed from the file's text, or null
    const char *jointPrefix;           // put before each joint name of the tables
    std::vector<std::pair<const Expected *, size_t>> tables;
};

template <size_t N>
std::pair<const Expected *, size_t> table(const Expected (&rows)[N])
{
    return {rows, N};
}

const std::vector<RealFile> &sampleFiles()
{
    static const std::vector<RealFile> files = {
        {"sl-qavimator", "sl_tpose_qavimator.bvh", nullptr, "", {table(slNames)}},
        {"sl-opencollar", "sl_hug_opencollar.bvh", nullptr, "", {table(slNames)}},
        {"sl-pirouette", "pirouette_slnames.bvh", nullptr, "", {table(slNamesWithFingers)}},
        {"cmu-jumps", "cmu_01_01_jumps_mb.bvh", nullptr, "", {table(cmuNamesCommon), table(cmuNamesFingerGroup)}},
        {"cmu-walk", "cmu_12_01_walk_mb.bvh", nullptr, "", {table(cmuNamesCommon), table(cmuNamesIndexFinger)}},
        {"cmu-original", "cmu_131_01_walk_orig.bvh", nullptr, "", {table(cmuOriginalNames)}},
        {"mocapbank", "mocapbank_crlf.bvh", nullptr, "", {table(elbowWristNames)}},
        {"rig-prefixed", "mixamorig_colon_names.bvh", nullptr, "mixamorig:", {table(rigNames)}},
        {"rig-unprefixed", "mixamorig_colon_names.bvh", "mixamorig:", "", {table(rigNames)}},
        {"rig-four-spine", "fair_dab_zup.bvh", nullptr, "", {table(rigNamesFourSpine)}},
        {"textbook", "bvhio_blank_lines.bvh", nullptr, "", {table(textbookNames)}},
    };
    return files;
}

} // namespace

class tst_Matcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void matching_data();
    void matching();
    void unmapNode_data();
    void unmapNode();
    void realFiles_data();
    void realFiles();
    void realFilesCovered_data();
    void realFilesCovered();

private:
    // Joint name → mapping after the completion, per row of sampleFiles().
    QHash<QString, QHash<QString, QString>> realMappings;
    QHash<QString, QString> realProblems;
};

// Reads each real file once onto the default figure, as an import does up to
// the mapping dialog.
void tst_Matcher::initTestCase()
{
    const std::unique_ptr<KvSkeleton> figure = KvDefaultFigure::build();
    QVERIFY(figure);
    for (const RealFile &real : sampleFiles()) {
        QFile file(kvtest::dataFile(QStringLiteral("bvh/") + QLatin1String(real.file)));
        QVERIFY2(file.open(QIODevice::ReadOnly), real.file);
        QByteArray text = file.readAll();
        if (real.stripPrefix)
            text.replace(real.stripPrefix, "");

        bvhState().clearLists();
        bvhState().targetSkeleton = figure.get();
        CBvhIn in;
        in.collectSkeletonBones(figure->getNodeChild(0), 1);
        readHierarchy(in, text);
        QVERIFY2(!in.inHierarchy, real.file);
        in.completeMapping();

        QHash<QString, QString> &mapping = realMappings[QLatin1String(real.name)];
        for (const CBvhHeader *r : bvhState().jointList) {
            if (r->type == Joint)
                mapping.insert(r->name, mappingOf(r));
        }
        QString problem;
        if (!recordsConsistent(&problem))
            realProblems.insert(QLatin1String(real.name), problem);
    }
    bvhState().clearLists();
    bvhState().targetSkeleton = nullptr;
}

void tst_Matcher::cleanup()
{
    bvhState().clearLists();
}

void tst_Matcher::matching_data()
{
    QTest::addColumn<QStringList>("figure");    // bone labels, in skeleton-list order
    QTest::addColumn<QStringList>("joints");    // see hierarchyText
    QTest::addColumn<QStringList>("expected");  // per joint in file order: bone label, "-" unmapped

    const QStringList human = humanLabels();

    // Keys: a copy number after the last colon is dropped, a namespace before
    // it is.
    QTest::newRow("copy-number") << human << QStringList{"hip:1", ".lThigh:2"} << QStringList{"hip", "lThigh"};
    QTest::newRow("namespace")
        << QStringList{"Hips", "Spine", "LeftUpLeg"}
        << QStringList{"mixamorig:Hips", ".mixamorig:Spine", ".mixamorig:LeftUpLeg"}
        << QStringList{"Hips", "Spine", "LeftUpLeg"};
    QTest::newRow("namespace-fits-a-row")
        << human << QStringList{"Beta:Neck", ".Beta:LeftForeArm"} << QStringList{"neck", "lForeArm"};
    QTest::newRow("only-the-last-colon")
        << QStringList{"hip", "abdomen", "chest", "lCollar"} << QStringList{"a:b:c"} << QStringList{"chest"};
    QTest::newRow("number-after-several-colons")
        << human << QStringList{"root", ".x:lShin:2"} << QStringList{"-", "lShin"};
    QTest::newRow("nothing-after-the-colon") << human << QStringList{"hip:"} << QStringList{"hip"};

    // The direct step reads the key as a wildcard pattern.
    QTest::newRow("asterisk") << human << QStringList{"*"} << QStringList{"hip"};
    QTest::newRow("question-mark") << human << QStringList{"root", ".?Hand"} << QStringList{"-", "lHand"};
    QTest::newRow("bracket-set") << human << QStringList{"root", ".[rR]Foot"} << QStringList{"-", "rFoot"};
    QTest::newRow("unclosed-bracket") << human << QStringList{"root", ".rHand["} << QStringList{"-", "rHand"};
    QTest::newRow("direct-step-before-rows")
        << QStringList{"hip", "LeftKnee", "lShin"} << QStringList{"hip", ".LeftKnee"} << QStringList{"hip", "LeftKnee"};
    QTest::newRow("first-bone-in-list-wins")
        << QStringList{"hip", "rShin", "lShin"} << QStringList{"root", ".Shin"} << QStringList{"-", "rShin"};

    // One bone, two joints that are not each other's ancestors: the later
    // joint takes it, with its channels.
    QTest::newRow("later-sibling-takes-the-bone")
        << human << QStringList{"hip", ".lThigh", ".lThigh"} << QStringList{"hip", "-", "lThigh"};
    // Every fitting row maps the joint in turn: a row that a later row
    // overrides has still taken its bone from the hand's joint.
    QTest::newRow("overridden-row-takes-the-bone")
        << human << QStringList{"root", ".lHand", ".LeftHandIndex1"} << QStringList{"-", "-", "lIndex1"};
    QTest::newRow("later-cousin-takes-the-bone")
        << human << QStringList{"hip", ".Q1", "..LeftWrist", ".Q2", "..lHand"}
        << QStringList{"hip", "-", "-", "-", "lHand"};

    // Table rows: the last fitting row that finds a bone decides, joint-end
    // names over body parts.
    QTest::newRow("knee-row") << human << QStringList{"root", ".rKnee"} << QStringList{"-", "rShin"};
    QTest::newRow("ankle-elbow-wrist")
        << human << QStringList{"root", ".LeftAnkle", ".RightElbow", ".L_Wrist"}
        << QStringList{"-", "lFoot", "rForeArm", "lHand"};
    QTest::newRow("joint-end-row-over-body-part")
        << human << QStringList{"root", ".lHandElbow"} << QStringList{"-", "lForeArm"};
    QTest::newRow("later-body-part-row") << human << QStringList{"root", ".lThighShin"} << QStringList{"-", "lShin"};
    QTest::newRow("finger-over-hand") << human << QStringList{"root", ".LeftHandIndex1"} << QStringList{"-", "lIndex1"};
    QTest::newRow("highest-segment-digit") << human << QStringList{"root", ".lIndex12"} << QStringList{"-", "lIndex2"};
    QStringList noIndex2 = human;
    noIndex2.removeAll(QStringLiteral("lIndex2"));
    QTest::newRow("later-row-without-a-bone")
        << noIndex2 << QStringList{"root", ".lIndex12"} << QStringList{"-", "lIndex1"};
    QTest::newRow("fingers-by-side-and-segment")
        << human << QStringList{"root", ".RightHandThumb3", ".LeftHandPinky2", ".RightHandRing1", ".LeftHandMiddle3"}
        << QStringList{"-", "rThumb3", "lPinky2", "rRing1", "lMid3"};
    QTest::newRow("side-letter-must-come-first")
        << human << QStringList{"root", ".Thigh_L", ".Foot.R"} << QStringList{"-", "-", "-"};

    // Unsided words count as whole words only, on the joint's side and on
    // the bone's.
    QTest::newRow("whole-word-before-point") << human << QStringList{"Hip.1"} << QStringList{"hip"};
    QTest::newRow("whole-word-after-dash") << human << QStringList{"left-hip"} << QStringList{"hip"};
    QTest::newRow("whole-words-after-blank")
        << human << QStringList{"root", ".Upper Chest", ".Neck"} << QStringList{"-", "chest", "neck"};
    QTest::newRow("not-whole-words")
        << human << QStringList{"root", ".lHip", ".left_hip", ".Hips", ".Chest2", ".Neck1", ".HeadTop_End"}
        << QStringList{"-", "-", "-", "-", "-", "-", "-"};
    QTest::newRow("bone-side-whole-word")
        << QStringList{"Hips", "UpperChest", "Hip Bone"} << QStringList{"Hip.1", ".chest-1"}
        << QStringList{"Hip Bone", "-"};

    // Case does not matter on either side.
    QTest::newRow("case-insensitive")
        << human << QStringList{"HIP", ".LTHIGH", ".RIGHTFOREARM", ".leftknee", ".rindex3"}
        << QStringList{"hip", "lThigh", "rForeArm", "lShin", "rIndex3"};

    // A joint never takes a bone one of its ancestors holds.
    QTest::newRow("hand-end-below-hand")
        << human << QStringList{"root", ".L_Wrist", "..L_Wrist_End"} << QStringList{"-", "lHand", "-"};
    QTest::newRow("thumb-without-digit-below-hand")
        << human << QStringList{"root", ".LeftHand", "..LeftHandThumb"} << QStringList{"-", "lHand", "-"};
    QTest::newRow("direct-step-below-holder")
        << human << QStringList{"root", ".LeftWrist", "..lhand"} << QStringList{"-", "lHand", "-"};
    QTest::newRow("grandparent-holds")
        << human << QStringList{"hip", ".lHand", "..palm", "...lHand"} << QStringList{"hip", "lHand", "-", "-"};
    QTest::newRow("held-direct-hit-falls-to-rows")
        << QStringList{"hip", "lKnee", "lShin"} << QStringList{"hip", ".lKnee", "..lKnee"}
        << QStringList{"hip", "lKnee", "lShin"};
    QTest::newRow("root-holds")
        << human << QStringList{"hip", ".hip"} << QStringList{"hip", "-"};
    QTest::newRow("held-row-skipped-for-later-row")
        << human << QStringList{"root", ".LeftHand", "..LeftHandThumb1"} << QStringList{"-", "lHand", "lThumb1"};
    QTest::newRow("held-last-row-keeps-earlier-row")
        << human << QStringList{"root", ".LeftWrist", "..lThumbWrist1"} << QStringList{"-", "lHand", "lThumb1"};

    // Joints that stand for the whole figure are not matched.
    QTest::newRow("special-names")
        << QStringList{"WORLD_ROOT", "Body", "upper body", "body:2", "bodyguard"}
        << QStringList{"WORLD_ROOT", ".Body", ".upper body", ".body:2", ".bodyguard"}
        << QStringList{"-", "-", "-", "-", "bodyguard"};
    QTest::newRow("no-bones") << QStringList{} << QStringList{"hip", ".lThigh", ".*"} << QStringList{"-", "-", "-"};
}

void tst_Matcher::matching()
{
    QFETCH(QStringList, figure);
    QFETCH(QStringList, joints);
    QFETCH(QStringList, expected);

    const std::unique_ptr<KvSkeleton> skeleton = flatFigure(figure);
    CBvhIn in;
    in.collectSkeletonBones(skeleton->getNodeChild(0), 1);
    readHierarchy(in, hierarchyText(joints));

    QStringList mapped;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type == Joint)
            mapped += mappingOf(r);
    }
    QCOMPARE(mapped, expected);
    QString problem;
    QVERIFY2(recordsConsistent(&problem), qPrintable(problem));
}

void tst_Matcher::unmapNode_data()
{
    QTest::addColumn<QString>("holders");   // per record: the bone it is mapped to, '-' none
    QTest::addColumn<QString>("bone");      // the bone to unmap, '-' a null node
    QTest::addColumn<QString>("expected");

    QTest::newRow("every-holder") << "aab-a" << "a" << "--b--";
    QTest::newRow("other-bones-kept") << "aab-a" << "b" << "aa--a";
    QTest::newRow("bone-not-held") << "aa-" << "c" << "aa-";
    QTest::newRow("null-node") << "ab-" << "-" << "ab-";
}

// Records that lose their bone lose name and dialog item with it; every other
// record, an unmapped one with a stale name included, is left as it was.
void tst_Matcher::unmapNode()
{
    QFETCH(QString, holders);
    QFETCH(QString, bone);
    QFETCH(QString, expected);

    const std::unique_ptr<KvSkeleton> skeleton = flatFigure({"a", "b", "c"});
    const auto boneNamed = [&](QChar name) -> KvNode * {
        return name == QLatin1Char('-') ? nullptr : skeleton->findBone(name);
    };
    std::vector<std::unique_ptr<QTreeWidgetItem>> items;
    for (const QChar holder : holders) {
        auto record = std::make_unique<CBvhHeader>();
        record->type = Joint;
        record->mappedNode = boneNamed(holder);
        record->mappedName = record->mappedNode ? record->mappedNode->getLabel() : QStringLiteral("stale");
        items.push_back(std::make_unique<QTreeWidgetItem>());
        record->figureItem = items.back().get();
        bvhState().jointList.append(std::move(record));
    }

    CBvhIn::unmapNode(boneNamed(bone.at(0)));

    for (int i = 0; i < holders.size(); ++i) {
        const CBvhHeader *r = bvhState().jointList.at(i);
        const bool cleared = holders.at(i) != expected.at(i);
        QCOMPARE(r->mappedNode, boneNamed(expected.at(i)));
        if (cleared) {
            QCOMPARE(r->mappedName, QString());
            QVERIFY(!r->figureItem);
        } else {
            QCOMPARE(r->mappedName, r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("stale"));
            QCOMPARE(r->figureItem, items.at(size_t(i)).get());
        }
    }
}

void tst_Matcher::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("joint");
    QTest::addColumn<QString>("anatomy");
    QTest::addColumn<QString>("rules");

    for (const RealFile &real : sampleFiles()) {
        for (const auto &[rows, count] : real.tables) {
            for (size_t i = 0; i < count; ++i) {
                const Expected &e = rows[i];
                const QString joint = QLatin1String(real.jointPrefix) + QLatin1String(e.joint);
                QTest::addRow("%s/%s", real.name, e.joint)
                    << QString::fromLatin1(real.name) << joint << QString::fromLatin1(e.anatomy)
                    << QString::fromLatin1(e.rules ? e.rules : e.anatomy);
            }
        }
    }
}

// Each joint of a real file gets the bone its place on the body asks for,
// except where the table records that the automatic mapping decides
// otherwise; both kinds of row fail when the mapping changes.
void tst_Matcher::realFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, joint);
    QFETCH(QString, anatomy);
    QFETCH(QString, rules);

    const QHash<QString, QString> mapping = realMappings.value(file);
    QVERIFY2(mapping.contains(joint), qPrintable(joint));
    const QString mapped = mapping.value(joint);
    QVERIFY2(mapped == rules, qPrintable(QStringLiteral("%1 is mapped to %2, expected %3 (the body asks for %4)")
                                             .arg(joint, mapped, rules, anatomy)));
}

void tst_Matcher::realFilesCovered_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("tabled");
    for (const RealFile &real : sampleFiles()) {
        QStringList joints;
        for (const auto &[rows, count] : real.tables) {
            for (size_t i = 0; i < count; ++i)
                joints += QLatin1String(real.jointPrefix) + QLatin1String(rows[i].joint);
        }
        QTest::newRow(real.name) << QString::fromLatin1(real.name) << joints;
    }
}

// Every joint of every file has a row, and the records agree with their
// joints.
void tst_Matcher::realFilesCovered()
{
    QFETCH(QString, file);
    QFETCH(QStringList, tabled);

    QStringList read = realMappings.value(file).keys();
    read.sort();
    tabled.sort();
    QCOMPARE(tabled, read);
    QVERIFY2(!realProblems.contains(file), qPrintable(realProblems.value(file)));
}

QTEST_GUILESS_MAIN(tst_Matcher)

#include "tst_matcher.moc"
