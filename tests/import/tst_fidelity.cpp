#include "motionfixture.h"

#include "kvdefaultfigure.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>
#include <numeric>

using namespace motiontest;

namespace {

using kvtest::Mat3;
using kvtest::TextbookBvh;
using kvtest::Vec3;

Vec3 sub(const Vec3 &a, const Vec3 &b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// Limbs whose directions and turns a user judges first.
enum Limb { UpperArm, ForeArm, Hand, Thigh, Shin, Foot, Toe, LimbCount };

// A limb's left-side names in the namings of the samples and of the figures
// made here, tried in order, case-sensitively, after any namespace. CMU's
// original LeftWrist is the hand its later conversions call LeftHand.
const QStringList &limbNames(int limb)
{
    static const QStringList names[LimbCount] = {
        {"lShldr", "LeftArm", "LeftUpArm", "upperarm_l", "LeftShoulder"},
        {"lForeArm", "LeftForeArm", "LeftLowArm", "lowerarm_l", "LeftElbow"},
        {"lHand", "LeftHand", "hand_l", "LeftWrist"},
        {"lThigh", "LeftUpLeg", "thigh_l", "LeftHip"},
        {"lShin", "LeftLeg", "LeftLowLeg", "calf_l", "LeftKnee"},
        {"lFoot", "LeftFoot", "foot_l", "LeftAnkle"},
        {"lToe", "LeftToeBase", "ball_l", "LeftToe"},
    };
    return names[limb];
}

QString rightSide(const QString &left)
{
    return left.startsWith(QLatin1String("Left")) ? QStringLiteral("Right") + left.mid(4)
         : left.endsWith(QLatin1String("_l"))     ? left.chopped(1) + QLatin1Char('r')
                                                  : QLatin1Char('r') + left.mid(1);
}

// Where a body's limbs are: file joint indices or figure bones, found by their
// names after any namespace; -1 / null for a limb the body lacks.
template <typename T>
struct Body
{
    T root{};
    T head{};
    T limbs[2][LimbCount]{};
};

template <typename T, typename Label>
Body<T> findBody(const std::vector<T> &items, Label label, T none)
{
    const auto find = [&](const QStringList &candidates) {
        for (const QString &candidate : candidates) {
            for (const T &item : items) {
                if (label(item).section(QLatin1Char(':'), -1) == candidate)
                    return item;
            }
        }
        return none;
    };
    Body<T> body;
    body.root = items.front();
    body.head = find({QStringLiteral("head"), QStringLiteral("Head")});
    for (int limb = 0; limb < LimbCount; ++limb) {
        body.limbs[0][limb] = find(limbNames(limb));
        QStringList right;
        for (const QString &left : limbNames(limb))
            right += rightSide(left);
        body.limbs[1][limb] = find(right);
    }
    return body;
}

// Mocapbank's joint names as a game-engine rig has them.
QString engineName(const QString &name)
{
    static const QStringList pairs = QStringLiteral("Hips pelvis Chest spine_01 Chest2 spine_02 Neck neck_01 Head head "
                                                    "LeftCollar clavicle_l LeftShoulder upperarm_l LeftElbow lowerarm_l "
                                                    "LeftWrist hand_l LeftHip thigh_l LeftKnee calf_l LeftAnkle foot_l")
                                         .split(QLatin1Char(' '));
    for (qsizetype i = 0; i < pairs.size(); i += 2) {
        if (name == pairs[i])
            return pairs[i + 1];
        if (pairs[i].startsWith(QLatin1String("Left")) && name == rightSide(pairs[i]))
            return rightSide(pairs[i + 1]);
    }
    return name;
}

TextbookBvh readSample(const QString &name)
{
    TextbookBvh bvh;
    QString error;
    if (!kvtest::readTextbookBvhFile(kvtest::dataFile(QStringLiteral("bvh/") + name), bvh, &error))
        qWarning("%s: %s", qPrintable(name), qPrintable(error));
    return bvh;
}

const Mat3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
// A quarter turn about X taking +Z to +Y: how a Z-up file stands up.
const Mat3 standUp{{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}};
// A quarter turn about Z taking +Y to +X.
const Mat3 spineAlongX{{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}};

// The file rewritten: its rest pose turned by restTurn (every offset turned,
// every joint's rotation seen in turned axes, the root's undoing the turn),
// then the whole motion turned by motionTurn at the root.
TextbookBvh turned(const TextbookBvh &bvh, const Mat3 &restTurn, const Mat3 &motionTurn)
{
    TextbookBvh out = bvh;
    for (kvtest::TextbookJoint &j : out.joints) {
        j.offset = kvtest::multiply(restTurn, j.offset);
        j.endSiteOffset = kvtest::multiply(restTurn, j.endSiteOffset);
    }
    for (int f = 0; f < bvh.frameCount; ++f) {
        for (const kvtest::TextbookJoint &j : bvh.joints) {
            Mat3 rotation = identity;
            Vec3 position{};
            std::vector<size_t> order;
            for (int c = 0; c < j.channels.size(); ++c) {
                const size_t axis = size_t(j.channels[c].at(0).toLatin1() - 'X');
                const double value = bvh.frames[size_t(f)][size_t(j.firstChannel + c)];
                if (j.channels[c].endsWith(QLatin1String("rotation"))) {
                    order.push_back(axis);
                    rotation = kvtest::multiply(rotation, kvtest::axisRotation(int(axis), value / degreesPerRadian));
                } else {
                    position[axis] = value;
                }
            }
            rotation = kvtest::multiply(kvtest::multiply(j.parent < 0 ? motionTurn : restTurn, rotation), transposed(restTurn));
            position = kvtest::multiply(motionTurn, position);
            const Vec3 angles = order.size() == 3 ? kvtest::eulerAngles(rotation, order[0], order[1], order[2]) : Vec3{};
            for (int c = 0, n = 0; c < j.channels.size(); ++c) {
                double &value = out.frames[size_t(f)][size_t(j.firstChannel + c)];
                if (!j.channels[c].endsWith(QLatin1String("rotation")))
                    value = j.parent < 0 ? position[size_t(j.channels[c].at(0).toLatin1() - 'X')] : value;
                else if (order.size() == 3)
                    value = angles[size_t(n++)] * degreesPerRadian;
            }
        }
    }
    return out;
}

} // namespace

class tst_Fidelity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { host = std::make_unique<Host>(); }
    void cleanup() { host.reset(); }
    void wholeBody_data();
    void wholeBody();

private:
    std::unique_ptr<Host> host;
};

void tst_Fidelity::wholeBody_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("figure");  // "": the default figure; a sample: a figure made from it; "engine"
    QTest::addColumn<QString>("rewrite");  // "": the file as it is; else how it is turned

    const QDir data(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &name : data.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(name)) << name << "" << "";
    // Captures that rest along +X or +Z and whose first frame stands them up
    // (left as they are), and a Y-up file that starts lying (a crawl).
    QTest::newRow("spine-rests-along-x") << "cmu_12_01_walk_mb.bvh" << "" << "rests-along-x";
    QTest::newRow("rests-z-up-stands") << "mocapbank_crlf.bvh" << "" << "rests-z-up";
    QTest::newRow("crawl") << "sl_hug_opencollar.bvh" << "" << "lying";
    // Across namings, mapped without help.
    QTest::newRow("cmu-onto-mixamo") << "cmu_12_01_walk_mb.bvh" << "mixamorig_colon_names.bvh" << "";
    QTest::newRow("mixamo-onto-cmu") << "mixamorig_colon_names.bvh" << "cmu_12_01_walk_mb.bvh" << "";
    QTest::newRow("sl-onto-cmu-original") << "pirouette_slnames.bvh" << "cmu_131_01_walk_orig.bvh" << "";
    QTest::newRow("mixamo-onto-engine") << "mixamorig_colon_names.bvh" << "engine" << "";
    QTest::newRow("zup-onto-engine") << "fair_dab_zup.bvh" << "engine" << "";
}

// A file converted onto a figure: at every frame, limbs, feet, the line
// across the hips and the torso point where textbook forward kinematics of
// the file puts them, root, head, hands and feet turn as the file's joints do
// since the first frame, and the root travels the file's path in the
// figure's size. A file that rests and starts Z-up is judged stood up.
void tst_Fidelity::wholeBody()
{
    QFETCH(QString, file);
    QFETCH(QString, figure);
    QFETCH(QString, rewrite);

    TextbookBvh bvh = readSample(file);
    QVERIFY(!bvh.joints.empty());
    QString path = kvtest::dataFile(QStringLiteral("bvh/") + file);
    if (!rewrite.isEmpty()) {
        const Mat3 restTurn = rewrite == QLatin1String("rests-along-x") ? spineAlongX
                            : rewrite == QLatin1String("rests-z-up") ? transposed(standUp) : identity;
        bvh = turned(bvh, restTurn, rewrite == QLatin1String("lying") ? transposed(standUp) : identity);
        path = host->dir.filePath(QStringLiteral("take.bvh"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(kvtest::writeTextbookBvh(bvh)) > 0);
    }
    std::vector<int> joints(bvh.joints.size());
    std::iota(joints.begin(), joints.end(), 0);
    const Body<int> source = findBody(joints, [&](int j) { return bvh.joints[size_t(j)].name; }, -1);
    if (source.head < 0)
        QSKIP("not a human skeleton");
    const std::vector<Vec3> rest = kvtest::restPositions(bvh);
    const kvtest::TextbookPose first = kvtest::forwardKinematics(bvh, 0);
    // Z-up: the head above the root mostly along +Z, at rest and at the start.
    const auto alongZ = [](const Vec3 &v) { return v[2] > std::abs(v[0]) && v[2] > std::abs(v[1]); };
    const bool zUp = alongZ(sub(rest[size_t(source.head)], rest[0]))
                  && alongZ(sub(first.position[size_t(source.head)], first.position[0]));
    const Mat3 view = zUp ? standUp : identity;

    std::unique_ptr<KvSkeleton> made = KvDefaultFigure::build();
    if (!figure.isEmpty()) {
        TextbookBvh shape = readSample(figure == QLatin1String("engine") ? QStringLiteral("mocapbank_crlf.bvh") : figure);
        for (kvtest::TextbookJoint &joint : shape.joints)
            joint.name = figure == QLatin1String("engine") ? engineName(joint.name) : joint.name;
        made = KvFigureBuilder::build(kvtest::figureFromBvh(shape, QStringLiteral("figure")));
    }
    QVERIFY(made);
    KvSkeleton *skeleton = made.release();
    kvScene->addNode(skeleton);
    kvScene->selectNode(skeleton);
    QList<KvBone *> allBones;
    skeleton->getAllBones(allBones);
    const std::vector<const KvBone *> bones(allBones.cbegin(), allBones.cend());
    const auto label = [](const KvBone *bone) { return bone->getLabel(); };
    const Body<const KvBone *> target = findBody(bones, label, static_cast<const KvBone *>(nullptr));
    QVERIFY(target.head);

    CBvhIn in;
    QCOMPARE(in.read(path, KvFileIOSettings()), 1);
    const int step = kvScene->getTimeStep();

    // Worst angle of each measure over all frames.
    QMap<QString, double> worst;
    const auto judge = [&](const QString &what, double angle) { worst[what] = std::max(worst[what], angle); };
    // The root travels the file's path scaled by the ratio of leg lengths.
    const auto distance = [](const Vec3 &a, const Vec3 &b) {
        const Vec3 d = sub(a, b);
        return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    };
    const int *fileLeg = source.limbs[0];
    const KvBone *const *figureLeg = target.limbs[0];
    QVERIFY(fileLeg[Thigh] >= 0 && fileLeg[Shin] >= 0 && fileLeg[Foot] >= 0);
    QVERIFY(figureLeg[Thigh] && figureLeg[Shin] && figureLeg[Foot]);
    const double figureLegLength = distance(toVec(figureLeg[Shin]->getOrigin()), toVec(figureLeg[Thigh]->getOrigin()))
                                 + distance(toVec(figureLeg[Foot]->getOrigin()), toVec(figureLeg[Shin]->getOrigin()));
    const double scale = figureLegLength / (distance(rest[size_t(fileLeg[Shin])], rest[size_t(fileLeg[Thigh])])
                                            + distance(rest[size_t(fileLeg[Foot])], rest[size_t(fileLeg[Shin])]));
    const Vec3 rootStart = toVec(target.root->getWSPosD(0));
    for (int f = 0; f < bvh.frameCount; ++f) {
        const int t = f * step;
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, f);
        const auto at = [&](int joint) { return kvtest::multiply(view, pose.position[size_t(joint)]); };
        const auto figureAt = [&](const KvBone *bone) { return toVec(bone->getWSPosD(t)); };
        const auto turned = [&](const KvBone *bone, int joint) {
            const Mat3 figureTurn = kvtest::multiply(toMat(bone->getWSRot(t)), transposed(toMat(bone->getWSRot(0))));
            const Mat3 fileTurn = kvtest::multiply(kvtest::multiply(view, kvtest::multiply(pose.rotation[size_t(joint)],
                                                   transposed(first.rotation[size_t(joint)]))), transposed(view));
            return angleDeg(figureTurn, fileTurn);
        };
        const auto direction = [&](const QString &what, int from, int to, const KvBone *boneFrom, const KvBone *boneTo) {
            if (from >= 0 && to >= 0 && boneFrom && boneTo)
                judge(what, angleDeg(sub(figureAt(boneTo), figureAt(boneFrom)), sub(at(to), at(from))));
        };

        const Vec3 travel = sub(at(0), kvtest::multiply(view, first.position[0]));
        judge(QStringLiteral("root path %"), 100.0 * distance(sub(figureAt(target.root), rootStart),
                                                             {scale * travel[0], scale * travel[1], scale * travel[2]})
                                                 / figureLegLength);
        direction(QStringLiteral("torso"), 0, source.head, target.root, target.head);
        direction(QStringLiteral("pelvis"), source.limbs[1][Thigh], source.limbs[0][Thigh], target.limbs[1][Thigh],
                  target.limbs[0][Thigh]);
        judge(QStringLiteral("root turn"), turned(target.root, 0));
        judge(QStringLiteral("head turn"), turned(target.head, source.head));
        for (int side = 0; side < 2; ++side) {
            const QString s = side ? QStringLiteral("right ") : QStringLiteral("left ");
            const int *joint = source.limbs[side];
            const KvBone *const *bone = target.limbs[side];
            for (const auto &[name, from, to] : {std::tuple("upper arm", UpperArm, ForeArm), std::tuple("forearm", ForeArm, Hand),
                                                 std::tuple("thigh", Thigh, Shin), std::tuple("shin", Shin, Foot)})
                direction(s + QLatin1String(name), joint[from], joint[to], bone[from], bone[to]);
            // A foot points at its toe, else along its End Site or the bone.
            if (joint[Foot] >= 0 && bone[Foot]) {
                const size_t j = size_t(joint[Foot]);
                const Vec3 endSite = kvtest::multiply(pose.rotation[j], bvh.joints[j].endSiteOffset);
                const KvVec3d along = bone[Foot]->getWSRot(t).multVec(KvVec3d(bone[Foot]->getEndPoint() - bone[Foot]->getOrigin()));
                const Vec3 fileFoot = joint[Toe] >= 0 ? sub(at(joint[Toe]), at(joint[Foot])) : kvtest::multiply(view, endSite);
                const Vec3 figureFoot = bone[Toe] ? sub(figureAt(bone[Toe]), figureAt(bone[Foot])) : toVec(along);
                judge(s + QStringLiteral("foot"), angleDeg(figureFoot, fileFoot));
                judge(s + QStringLiteral("foot turn"), turned(bone[Foot], joint[Foot]));
            }
            if (joint[Hand] >= 0 && bone[Hand])
                judge(s + QStringLiteral("hand turn"), turned(bone[Hand], joint[Hand]));
        }
    }

    QStringList report;
    bool within = worst.size() >= 16;
    for (auto it = worst.cbegin(); it != worst.cend(); ++it) {
        // The torso follows each of the file's spine joints, but it is laid
        // out in the figure's proportions: where the file bends its spine, a
        // figure whose spine bones differ in length points its head elsewhere.
        const double bound = it.key() == QLatin1String("torso") ? 20.0 : it.key().endsWith(QLatin1Char('%')) ? 0.5 : 3.0;
        within = within && it.value() < bound;
        report += QStringLiteral("%1 %2").arg(it.key()).arg(it.value(), 0, 'f', 2);
    }
    QVERIFY2(within, qPrintable(report.join(QStringLiteral(", "))));
}

QTEST_GUILESS_MAIN(tst_Fidelity)
#include "tst_fidelity.moc"
