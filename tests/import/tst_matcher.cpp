#include "bvhin.h"
#include "bvhstate.h"

#include "kvdefaultfigure.h"
#include "kvfigurebuilder.h"
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
    KvFigureDesc desc{QStringLiteral("figure"), {}, {}};
    for (const QString &label : labels)
        desc.bones.push_back({label, {}, label == labels.first() ? QString() : labels.first(), {}, {}, {}, {}});
    return KvFigureBuilder::build(desc);
}

// Joints "name", ".child", "..grandchild" (dots: the depth), fed line by line.
void readHierarchy(CBvhIn &in, const QStringList &joints)
{
    in.resetParseState();
    qsizetype open = 0;
    for (const QString &entry : joints + QStringList{QString()}) {
        const QString name = QString(entry).remove(QRegularExpression(QStringLiteral("^\\.+")));
        for (; open > entry.size() - name.size(); --open)
            in.parseLine(QStringLiteral("}"));
        if (!name.isEmpty()) {
            in.parseLine((open++ == 0 ? QStringLiteral("ROOT ") : QStringLiteral("JOINT ")) + name);
            for (const char *line : {"{", "OFFSET 0 1 0", "CHANNELS 3 Zrotation Xrotation Yrotation"})
                in.parseLine(QString::fromLatin1(line));
        }
    }
    in.parseLine(QStringLiteral("MOTION"));
}

// Per joint in file order: its bone's label, "-" unmapped. Empty when a record
// disagrees with its joint or a mapped name is not the node's label.
QStringList mappings()
{
    QStringList bones;
    const CBvhHeader *joint = nullptr;
    for (const CBvhHeader *r : bvhState().jointList) {
        const KvNode *node = r->mappedNode;
        if (r->type == Joint)
            joint = r;
        if (r->mappedName != (node ? node->getLabel() : QString()) || (r->type == EndSite && node)
            || (r->type >= Xposition && joint && node != joint->mappedNode))
            return {};
        if (r->type == Joint)
            bones += node ? node->getLabel() : QStringLiteral("-");
    }
    return bones;
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

    const QStringList human;
    // The key is tried first as a wildcard pattern on the bones in list order.
    QTest::newRow("direct-step") << QStringList{"hip", "LeftKnee", "rShin", "lShin"}
                                 << QStringList{"hip", ".LeftKnee", ".Shin"} << QStringList{"hip", "LeftKnee", "rShin"};
    // Every fitting row takes its bone from whoever held it; the last that finds
    // one decides: joint ends over body parts, known namings over both.
    QTest::newRow("rows") << human << QStringList{"root", ".rKnee", ".LeftAnkle", ".RightElbow", ".lHandElbow", ".L_Wrist",
                                                  ".lThighShin", ".Thigh_L"}
                          << QStringList{"-", "rShin", "lFoot", "rForeArm", "lForeArm", "lHand", "lShin", "lThigh"};
    QTest::newRow("later-joint-takes-the-bone") << human << QStringList{"hip", ".lThigh", ".lThigh"}
                                                << QStringList{"hip", "-", "lThigh"};
    QTest::newRow("last-row-without-a-bone") << QStringList{"hip", "lIndex1", "lIndex3"} << QStringList{"root", ".lIndex12"}
                                             << QStringList{"-", "lIndex1"};
    // Unsided words count as whole words only.
    QTest::newRow("whole-words") << human << QStringList{"root", ".Upper Chest", ".Hip.1", ".lHip", ".Chest2"}
                                 << QStringList{"-", "chest", "hip", "-", "-"};
    // Names of other common rigs that the rows do not read.
    QTest::newRow("known-namings")
        << human << QStringList{"Hips", ".left_hip", ".calf_r", ".clavicle_l", ".mShoulderRight", ".lowerarm_l", ".hand_r", ".ball_l"}
        << QStringList{"hip", "lThigh", "rShin", "lCollar", "rShldr", "lForeArm", "rHand", "lToe"};
    // A joint never takes a bone one of its ancestors holds.
    QTest::newRow("grandparent-holds") << human << QStringList{"hip", ".lHand", "..palm", "...lHand"}
                                       << QStringList{"hip", "lHand", "-", "-"};
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
    QCOMPARE(mappings(), expected);
}

// Onto a figure of the host's own bone names, every sample maps (completion
// included) as recorded before figures of other namings were supported.
void tst_Matcher::realFilesOntoHostNames()
{
    const std::unique_ptr<KvSkeleton> figure = KvDefaultFigure::build();
    bvhState().targetSkeleton = figure.get();
    const auto noTarget = qScopeGuard([] { bvhState().targetSkeleton = nullptr; });
    QStringList actual;
    const QDir data(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &name : data.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name)) {
        QFile file(data.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
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
        bvhState().clearLists();
    }
    QFile golden(QFINDTESTDATA("default-mappings.txt"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    QCOMPARE(actual, QString::fromUtf8(golden.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
}

QTEST_GUILESS_MAIN(tst_Matcher)
#include "tst_matcher.moc"
