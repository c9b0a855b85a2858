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
    void realFilesOntoHostNames();
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

// Onto a figure with the host's own bone names the automatic mapping of every
// sample, mapping completion included, is the one recorded before figures of
// other namings were supported (default-mappings.txt; KVBVH_RECORD_GOLDEN=1
// writes it anew).
void tst_Matcher::realFilesOntoHostNames()
{
    QStringList actual;
    const QDir data(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &name : data.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name)) {
        QFile file(data.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::unique_ptr<KvSkeleton> figure = KvDefaultFigure::build();
        bvhState().targetSkeleton = figure.get();
        const auto noTarget = qScopeGuard([] {
            bvhState().clearLists();
            bvhState().targetSkeleton = nullptr;
        });
        CBvhIn in;
        in.collectSkeletonBones(figure->getNodeChild(0), 1);
        in.resetParseState();
        while (!file.atEnd() && in.inHierarchy)
            in.parseLine(QString::fromLatin1(file.readLine()).trimmed());
        in.completeMapping();
        actual += QStringLiteral("# ") + name;
        for (const CBvhHeader *record : bvhState().jointList) {
            if (record->type == Joint)
                actual += record->name + QStringLiteral(" -> ") + record->mappedName;
        }
    }
    if (qEnvironmentVariableIsSet("KVBVH_RECORD_GOLDEN")) {
        QFile out(QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("default-mappings.txt")));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(actual.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    QFile golden(QFINDTESTDATA("default-mappings.txt"));
    QVERIFY2(golden.open(QIODevice::ReadOnly), "default-mappings.txt is missing");
    QCOMPARE(actual, QString::fromUtf8(golden.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
}

QTEST_GUILESS_MAIN(tst_Matcher)
#include "tst_matcher.moc"
