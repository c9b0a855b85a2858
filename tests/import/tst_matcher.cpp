#include "bvhin.h"
#include "bvhstate.h"

#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "testsupport.h"

#include <QScopeGuard>
#include <QtTest>

#include <memory>

namespace {

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
// root. Read line by line, as the import driver feeds them.
void readHierarchy(CBvhIn &in, const QStringList &joints)
{
    QByteArray text = "HIERARCHY\n";
    int open = 0;
    for (const QString &entry : joints) {
        int depth = 0;
        while (entry.at(depth) == QLatin1Char('.'))
            ++depth;
        for (; open > depth; --open)
            text += "}\n";
        text += (depth == 0 ? "ROOT " : "JOINT ") + entry.mid(depth).toLatin1()
              + "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
        ++open;
    }
    for (; open > 0; --open)
        text += "}\n";
    in.resetParseState();
    for (const QByteArray &line : (text + "MOTION\n").split('\n'))
        in.parseLine(QString::fromLatin1(line));
}

// Per joint in file order: "name=bone", "-" unmapped, "*" the skeleton node.
// Empty when a record disagrees with its joint: a channel mapped apart from
// it, a mapped End Site, a mapped name that is not the node's label.
QStringList mappings()
{
    QStringList joints;
    const CBvhHeader *joint = nullptr;
    for (const CBvhHeader *r : bvhState().jointList) {
        const KvNode *node = r->mappedNode;
        if (r->type == Joint)
            joint = r;
        if (r->mappedName != (node ? node->getLabel() : QString()) || (r->type == EndSite && node)
            || (r->type >= Xposition && joint && node != joint->mappedNode))
            return {};
        if (r->type == Joint) {
            joints += r->name + QLatin1Char('=')
                    + (!node ? QStringLiteral("-") : node->inherits("KvBone") ? node->getLabel() : QStringLiteral("*"));
        }
    }
    return joints;
}

} // namespace

class tst_Matcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { bvhState().clearLists(); }
    void matching_data();
    void matching();
    void realFiles_data();
    void realFiles();
};

void tst_Matcher::matching_data()
{
    QTest::addColumn<QStringList>("figure");    // bone labels, in skeleton-list order; none: the default figure
    QTest::addColumn<QStringList>("joints");    // see readHierarchy
    QTest::addColumn<QStringList>("expected");  // per joint in file order

    const QStringList human;  // the default figure

    // A copy number after the last colon is dropped, a namespace before it.
    QTest::newRow("colon-keys") << human << QStringList{"hip:1", ".mixamorig:LeftForeArm", ".x:lShin:2", ".a:rHand:rFoot"}
                                << QStringList{"hip", "lForeArm", "lShin", "rFoot"};
    // The key is tried first as a wildcard pattern on the bones in list order.
    QTest::newRow("direct-step") << QStringList{"hip", "LeftKnee", "rShin", "lShin"}
                                 << QStringList{"hip", ".LeftKnee", ".Shin"} << QStringList{"hip", "LeftKnee", "rShin"};
    QTest::newRow("wildcard-key") << human << QStringList{"root", ".?Hand", ".[rR]Foot", ".rShin["}
                                  << QStringList{"-", "lHand", "rFoot", "rShin"};
    // Each fitting row maps the joint in turn, taking the bone from whoever held
    // it: the last row that finds a bone decides, joint ends over body parts,
    // known namings (thigh_l) over both.
    QTest::newRow("rows") << human << QStringList{"root", ".rKnee", ".LeftAnkle", ".RightElbow", ".lHandElbow", ".L_Wrist",
                                                  ".lThighShin", ".Thigh_L"}
                          << QStringList{"-", "rShin", "lFoot", "rForeArm", "lForeArm", "lHand", "lShin", "lThigh"};
    QTest::newRow("later-joint-takes-the-bone") << human << QStringList{"hip", ".lThigh", ".lThigh"}
                                                << QStringList{"hip", "-", "lThigh"};
    QTest::newRow("overridden-row-takes-the-bone") << human << QStringList{"root", ".lHand", ".LeftHandIndex1"}
                                                   << QStringList{"-", "-", "lIndex1"};
    QTest::newRow("finger-digits")
        << human << QStringList{"root", ".RightHandThumb3", ".LeftHandPinky2", ".RightHandRing1", ".LeftHandMiddle1", ".lIndex12"}
        << QStringList{"-", "rThumb3", "lPinky2", "rRing1", "lMid1", "lIndex2"};
    QTest::newRow("last-row-without-a-bone") << QStringList{"hip", "lIndex1", "lIndex3"} << QStringList{"root", ".lIndex12"}
                                             << QStringList{"-", "lIndex1"};
    // Unsided words count as whole words only, on the joint's side and the bone's.
    QTest::newRow("whole-words") << human
                                 << QStringList{"root", ".Upper Chest", ".Hip.1", ".lHip", ".Chest2"}
                                 << QStringList{"-", "chest", "hip", "-", "-"};
    // Names of other common rigs that the rows do not read.
    QTest::newRow("known-namings")
        << human << QStringList{"Hips", ".left_hip", ".calf_r", ".clavicle_l", ".mShoulderRight", ".lowerarm_l", ".hand_r", ".ball_l"}
        << QStringList{"hip", "lThigh", "rShin", "lCollar", "rShldr", "lForeArm", "rHand", "lToe"};
    QTest::newRow("bone-side-whole-word") << QStringList{"lHip", "UpperChest", "Hip Bone"} << QStringList{"Hip.1", ".chest-1"}
                                          << QStringList{"Hip Bone", "-"};
    QTest::newRow("case") << human << QStringList{"HIP", ".LTHIGH", ".RIGHTFOREARM", ".leftknee", ".rindex3"}
                          << QStringList{"hip", "lThigh", "rForeArm", "lShin", "rIndex3"};
    // A joint never takes a bone one of its ancestors holds.
    QTest::newRow("grandparent-holds") << human << QStringList{"hip", ".lHand", "..palm", "...lHand"}
                                       << QStringList{"hip", "lHand", "-", "-"};
    QTest::newRow("held-direct-hit-falls-to-rows") << QStringList{"hip", "lKnee", "lShin"} << QStringList{"hip", ".lKnee", "..lKnee"}
                                                   << QStringList{"hip", "lKnee", "lShin"};
    QTest::newRow("held-last-row-keeps-earlier-row") << human << QStringList{"root", ".LeftWrist", "..lThumbWrist1"}
                                                     << QStringList{"-", "lHand", "lThumb1"};
    // Joints that stand for the whole figure are not matched.
    QTest::newRow("special-names")
        << QStringList{"world_root", "my_WORLD_ROOT", "upper body", "nobody:1", "nobody:x", "bodyguard"}
        << QStringList{"my_WORLD_ROOT", ".world_root", ".upper body", ".nobody:1", ".nobody:x", ".bodyguard"}
        << QStringList{"-", "world_root", "-", "-", "nobody:x", "bodyguard"};
}

void tst_Matcher::matching()
{
    QFETCH(QStringList, figure);
    QFETCH(QStringList, joints);
    QFETCH(QStringList, expected);

    const std::unique_ptr<KvSkeleton> skeleton = figure.isEmpty() ? KvDefaultFigure::build() : flatFigure(figure);
    CBvhIn in;
    in.collectSkeletonBones(skeleton->getNodeChild(0), 1);
    readHierarchy(in, joints);

    QStringList actual = mappings();
    QVERIFY2(!actual.isEmpty(), "a record disagrees with its joint");
    for (QString &joint : actual)
        joint = joint.section(QLatin1Char('='), 1);
    QCOMPARE(actual, expected);
}

void tst_Matcher::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("prefix");     // "-name" strips it from the file; else it is put before each joint
    QTest::addColumn<QString>("expected");   // joint=bone after the mapping completion

    QTest::newRow("sl") << "sl_tpose_qavimator.bvh" << ""
        << "hip=hip abdomen=abdomen chest=chest head=head lCollar=lCollar lShldr=lShldr lForeArm=lForeArm lHand=lHand "
           "rHand=rHand lThigh=lThigh lShin=lShin lFoot=lFoot rFoot=rFoot";
    // A buttock joint on the pelvis above each thigh.
    QTest::newRow("sl-fingers") << "pirouette_slnames.bvh" << ""
        << "hip=hip abdomen=abdomen chest=chest leftEye=lEye lHand=lHand lThumb2=lThumb2 lMid1=lMid1 rHand=rHand "
           "lButtock=hip lThigh=lThigh lShin=lShin lFoot=lFoot rButtock=hip rFoot=rFoot";
    // The upward walks give the spine's lowest joint the pelvis and the lower
    // neck the chest: the figure has fewer bones there. The hand has five
    // children, so nothing maps down into the finger base.
    const QString cmu = "Hips=hip LHipJoint=hip LeftUpLeg=lThigh LeftLeg=lShin LeftFoot=lFoot RightFoot=rFoot LowerBack=hip "
                        "Spine=abdomen Spine1=chest Neck=chest Neck1=neck Head=head LeftShoulder=lCollar LeftArm=lShldr "
                        "LeftForeArm=lForeArm LeftHand=lHand RightHand=rHand LThumb=lThumb1 ";
    QTest::newRow("cmu-finger-group") << "cmu_01_01_jumps_mb.bvh" << "" << cmu + "LeftFingerBase=-";
    // The walk from LeftHandIndex1 shifts the arm by one bone; the one from
    // LThumb, later in the file, puts it back.
    QTest::newRow("cmu-index-finger") << "cmu_12_01_walk_mb.bvh" << ""
                                      << cmu + "LeftFingerBase=lHand LeftHandIndex1=lIndex1";
    QTest::newRow("cmu-original") << "cmu_131_01_walk_orig.bvh" << ""
        << "Hips=hip LHipJoint=hip LeftHip=lThigh LeftKnee=lShin LeftAnkle=lFoot RightAnkle=rFoot lowerback=hip "
           "Chest=abdomen Chest2=chest lowerneck=chest Neck=neck Head=head LeftCollar=lCollar LeftShoulder=lShldr "
           "LeftElbow=lForeArm LeftWrist=lHand lhand=- LThumb=lThumb1 RightWrist=rHand";
    QTest::newRow("elbow-wrist") << "mocapbank_crlf.bvh" << ""
        << "Hips=hip Chest=abdomen Chest2=chest Neck=neck Head=head LeftCollar=lCollar LeftShoulder=lShldr "
           "LeftElbow=lForeArm LeftWrist=lHand RightWrist=rHand LeftHip=lThigh LeftKnee=lShin LeftAnkle=lFoot RightAnkle=rFoot";
    const QString rig = "Hips=hip Spine=hip Spine1=abdomen Spine2=chest Neck=neck Head=head HeadTop_End=- LeftShoulder=lCollar "
                        "LeftArm=lShldr LeftForeArm=lForeArm LeftHand=lHand LeftHandMiddle1=lMid1 LeftHandThumb3=lThumb3 "
                        "RightHand=rHand LeftUpLeg=lThigh LeftLeg=lShin LeftFoot=lFoot RightFoot=rFoot";
    QTest::newRow("rig-prefixed") << "mixamorig_colon_names.bvh" << "mixamorig:" << rig;
    QTest::newRow("rig-unprefixed") << "mixamorig_colon_names.bvh" << "-mixamorig:" << rig;
    // One spine joint more: the walks run out of bones a joint earlier.
    QTest::newRow("rig-four-spine") << "fair_dab_zup.bvh" << ""
        << "Hips=hip Spine=* Spine1=hip Spine2=abdomen Spine3=chest Neck=neck Head=head LeftShoulder=lCollar "
           "LeftArm=lShldr LeftForeArm=lForeArm LeftHand=lHand LeftHandEnd=- LeftHandThumb1=lThumb1 RightHand=rHand "
           "LeftUpLeg=lThigh LeftLeg=lShin LeftFoot=lFoot RightFoot=rFoot";
    QTest::newRow("textbook") << "bvhio_blank_lines.bvh" << ""
        << "Hips=hip Chest=chest Neck=neck Head=head LeftCollar=lCollar LeftUpArm=lShldr LeftLowArm=lForeArm "
           "LeftHand=lHand RightHand=rHand LeftUpLeg=lThigh LeftLowLeg=lShin LeftFoot=lFoot RightFoot=rFoot";
}

// Real files read onto the default figure as an import does up to the
// mapping dialog.
void tst_Matcher::realFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, prefix);
    QFETCH(QString, expected);

    QFile f(kvtest::dataFile(QStringLiteral("bvh/") + file));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    if (prefix.startsWith(QLatin1Char('-')))
        text.replace(prefix.mid(1).toLatin1(), "");
    const std::unique_ptr<KvSkeleton> figure = KvDefaultFigure::build();
    QVERIFY(figure);
    bvhState().targetSkeleton = figure.get();
    const auto noTarget = qScopeGuard([] { bvhState().targetSkeleton = nullptr; });
    CBvhIn in;
    in.collectSkeletonBones(figure->getNodeChild(0), 1);
    in.resetParseState();
    for (const QByteArray &line : text.split('\n')) {
        if (in.inHierarchy)
            in.parseLine(QString::fromLatin1(line));
    }
    in.completeMapping();

    const QStringList mapped = mappings();
    QVERIFY2(!mapped.isEmpty(), "a record disagrees with its joint");
    QStringList actual;
    for (const QString &pair : expected.split(QLatin1Char(' '))) {
        const QString joint = pair.section(QLatin1Char('='), 0, 0);
        const QString key = (prefix.startsWith(QLatin1Char('-')) ? QString() : prefix) + joint + QLatin1Char('=');
        const auto it = std::find_if(mapped.cbegin(), mapped.cend(), [&](const QString &m) { return m.startsWith(key); });
        actual += joint + QLatin1Char('=') + (it == mapped.cend() ? QStringLiteral("?") : it->mid(key.size()));
    }
    QCOMPARE(actual, expected.split(QLatin1Char(' ')));
}

QTEST_GUILESS_MAIN(tst_Matcher)
#include "tst_matcher.moc"
