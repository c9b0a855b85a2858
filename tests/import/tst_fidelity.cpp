// Whole-body fidelity of real conversions, judged against textbook forward
// kinematics of the source file.

#include "motionfixture.h"

#include "kvdefaultfigure.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

using namespace motiontest;

namespace {

QStringList sampleFiles()
{
    return QDir(kvtest::dataFile(QStringLiteral("bvh"))).entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
}

using kvtest::Mat3;
using kvtest::TextbookBvh;
using kvtest::Vec3;

Vec3 sub(const Vec3 &a, const Vec3 &b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// Body parts whose directions and turns a user judges first.
enum Part { UpperArm, ForeArm, Hand, Thigh, Shin, Foot, Toe, PartCount };

// A part's left-side names in the namings of the samples and of the figures
// made here, tried in order, case-sensitively, after any namespace. CMU's
// original LeftWrist is the hand its MotionBuilder names call LeftHand.
const QStringList &partNames(int part)
{
    static const QStringList names[PartCount] = {
        {"lShldr", "LeftArm", "LeftUpArm", "upperarm_l", "LeftShoulder"},
        {"lForeArm", "LeftForeArm", "LeftLowArm", "lowerarm_l", "LeftElbow"},
        {"lHand", "LeftHand", "hand_l", "LeftWrist"},
        {"lThigh", "LeftUpLeg", "thigh_l", "LeftHip"},
        {"lShin", "LeftLeg", "LeftLowLeg", "calf_l", "LeftKnee"},
        {"lFoot", "LeftFoot", "foot_l", "LeftAnkle"},
        {"lToe", "LeftToeBase", "ball_l", "LeftToe"},
    };
    return names[part];
}

QString rightSide(const QString &left)
{
    if (left.startsWith(QLatin1String("Left")))
        return QStringLiteral("Right") + left.mid(4);
    if (left.endsWith(QLatin1String("_l")))
        return left.chopped(1) + QLatin1Char('r');
    return QLatin1Char('r') + left.mid(1);
}

QString withoutNamespace(const QString &name)
{
    return name.section(QLatin1Char(':'), -1);
}

// Where a body's parts are: file joint indices or figure bones; -1 / null
// for a part the body lacks.
template <typename T>
struct Body
{
    T root{};
    T head{};
    T parts[2][PartCount]{};
};

template <typename T>
Body<T> findBody(const QStringList &names, const std::vector<T> &items, T none)
{
    const auto find = [&](const QStringList &candidates) {
        for (const QString &candidate : candidates) {
            const qsizetype i = names.indexOf(candidate);
            if (i >= 0)
                return items[size_t(i)];
        }
        return none;
    };
    Body<T> body;
    body.root = items.front();
    body.head = find({QStringLiteral("head"), QStringLiteral("Head")});
    for (int part = 0; part < PartCount; ++part) {
        body.parts[0][part] = find(partNames(part));
        QStringList right;
        for (const QString &left : partNames(part))
            right += rightSide(left);
        body.parts[1][part] = find(right);
    }
    return body;
}

// Mocapbank's skeleton as a game-engine rig names it.
const QList<QPair<QString, QString>> &engineNames()
{
    static const QList<QPair<QString, QString>> names = [] {
        QList<QPair<QString, QString>> list{{"Hips", "pelvis"}, {"Chest", "spine_01"}, {"Chest2", "spine_02"},
                                            {"Neck", "neck_01"}, {"Head", "head"}};
        const QList<QPair<QString, QString>> sided{{"LeftCollar", "clavicle_l"}, {"LeftShoulder", "upperarm_l"},
                                                   {"LeftElbow", "lowerarm_l"}, {"LeftWrist", "hand_l"},
                                                   {"LeftHip", "thigh_l"}, {"LeftKnee", "calf_l"}, {"LeftAnkle", "foot_l"}};
        for (const auto &[from, to] : sided)
            list += {{from, to}, {rightSide(from), rightSide(to)}};
        return list;
    }();
    return names;
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
    const Mat3 back = transposed(restTurn);
    for (kvtest::TextbookJoint &j : out.joints) {
        j.offset = kvtest::multiply(restTurn, j.offset);
        j.endSiteOffset = kvtest::multiply(restTurn, j.endSiteOffset);
    }
    for (int f = 0; f < bvh.frameCount; ++f) {
        std::vector<double> &row = out.frames[size_t(f)];
        for (const kvtest::TextbookJoint &j : bvh.joints) {
            Mat3 rotation = identity;
            Vec3 position{};
            std::vector<size_t> order;
            for (int c = 0; c < j.channels.size(); ++c) {
                const int axis = j.channels[c].at(0).toLatin1() - 'X';
                const double value = bvh.frames[size_t(f)][size_t(j.firstChannel + c)];
                if (!j.channels[c].endsWith(QLatin1String("rotation"))) {
                    position[size_t(axis)] = value;
                    continue;
                }
                order.push_back(size_t(axis));
                rotation = kvtest::multiply(rotation, kvtest::axisRotation(axis, value / degreesPerRadian));
            }
            rotation = j.parent < 0 ? kvtest::multiply(kvtest::multiply(motionTurn, rotation), back)
                                    : kvtest::multiply(kvtest::multiply(restTurn, rotation), back);
            if (j.parent < 0)
                position = kvtest::multiply(motionTurn, position);
            const Vec3 angles = order.size() == 3 ? kvtest::eulerAngles(rotation, order[0], order[1], order[2]) : Vec3{};
            for (int c = 0, n = 0; c < j.channels.size(); ++c) {
                const size_t axis = size_t(j.channels[c].at(0).toLatin1() - 'X');
                double &value = row[size_t(j.firstChannel + c)];
                if (!j.channels[c].endsWith(QLatin1String("rotation")))
                    value = j.parent < 0 ? position[axis] : value;
                else if (order.size() == 3)
                    value = angles[size_t(n++)] * degreesPerRadian;
            }
        }
    }
    return out;
}

// Whether v points along +Z more than along any other axis.
bool alongZ(const Vec3 &v)
{
    return v[2] > std::abs(v[0]) && v[2] > std::abs(v[1]);
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

    for (const QString &name : sampleFiles())
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
    QTest::newRow("cmu-original-onto-mixamo") << "cmu_131_01_walk_orig.bvh" << "mixamorig_colon_names.bvh" << "";
    QTest::newRow("cmu-onto-engine") << "cmu_01_01_jumps_mb.bvh" << "engine" << "";
    QTest::newRow("sl-onto-engine") << "pirouette_slnames.bvh" << "engine" << "";
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
    if (rewrite == QLatin1String("rests-along-x"))
        bvh = turned(bvh, spineAlongX, identity);
    else if (rewrite == QLatin1String("rests-z-up"))
        bvh = turned(bvh, transposed(standUp), identity);
    else if (rewrite == QLatin1String("lying"))
        bvh = turned(bvh, identity, transposed(standUp));
    QStringList jointNames;
    std::vector<int> jointIndices;
    for (const kvtest::TextbookJoint &joint : bvh.joints) {
        jointNames += withoutNamespace(joint.name);
        jointIndices.push_back(int(jointIndices.size()));
    }
    const Body<int> source = findBody(jointNames, jointIndices, -1);
    const std::vector<Vec3> rest = kvtest::restPositions(bvh);
    if (source.head < 0)
        QSKIP("not a human skeleton");
    // Z-up: resting and starting so.
    const kvtest::TextbookPose first = kvtest::forwardKinematics(bvh, 0);
    const bool zUp = alongZ(sub(rest[size_t(source.head)], rest[0]))
                  && alongZ(sub(first.position[size_t(source.head)], first.position[0]));
    const Mat3 view = zUp ? standUp : identity;

    std::unique_ptr<KvSkeleton> made;
    if (figure.isEmpty()) {
        made = KvDefaultFigure::build();
    } else {
        TextbookBvh shape = readSample(figure == QLatin1String("engine") ? QStringLiteral("mocapbank_crlf.bvh") : figure);
        for (kvtest::TextbookJoint &joint : shape.joints) {
            for (const auto &[from, to] : engineNames()) {
                if (figure == QLatin1String("engine") && joint.name == from)
                    joint.name = to;
            }
        }
        made = KvFigureBuilder::build(kvtest::figureFromBvh(shape, QStringLiteral("figure")));
    }
    QVERIFY(made);
    KvSkeleton *skeleton = made.release();
    kvScene->addNode(skeleton);
    kvScene->selectNode(skeleton);
    kvScene->setTime(0);
    QList<KvBone *> allBones;
    skeleton->getAllBones(allBones);
    QStringList boneNames;
    std::vector<const KvBone *> bones;
    for (const KvBone *bone : std::as_const(allBones)) {
        boneNames += withoutNamespace(bone->getLabel());
        bones.push_back(bone);
    }
    const Body<const KvBone *> target = findBody(boneNames, bones, static_cast<const KvBone *>(nullptr));
    QVERIFY(target.head);

    QString path = kvtest::dataFile(QStringLiteral("bvh/") + file);
    if (!rewrite.isEmpty()) {
        path = host->dir.filePath(QStringLiteral("take.bvh"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(kvtest::writeTextbookBvh(bvh));
    }
    CBvhIn in;
    QCOMPARE(in.read(path, KvFileIOSettings()), 1);
    const int step = kvScene->getTimeStep();

    // Worst angle of each measure over all frames.
    QMap<QString, double> worst;
    const auto judge = [&](const QString &what, double angle) {
        double &w = worst[what];
        w = std::max(w, angle);
    };
    const auto boneEnd = [](const KvBone *bone, int t) {
        const KvVec3d end = KvVec3d(bone->getEndPoint() - bone->getOrigin());
        const KvVec3d d = bone->getWSRot(t).multVec(end);
        return toVec(KvVec3d(bone->getWSPosD(t).x + d.x, bone->getWSPosD(t).y + d.y, bone->getWSPosD(t).z + d.z));
    };
    // The root travels the file's path scaled by the ratio of leg lengths.
    const auto distance = [](const Vec3 &a, const Vec3 &b) {
        const Vec3 d = sub(a, b);
        return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    };
    const int *fileLeg = source.parts[0];
    const KvBone *const *figureLeg = target.parts[0];
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
        const auto fileEnd = [&](int joint) {
            const kvtest::TextbookJoint &j = bvh.joints[size_t(joint)];
            const Vec3 offset = kvtest::multiply(pose.rotation[size_t(joint)], j.endSiteOffset);
            const Vec3 p = pose.position[size_t(joint)];
            return kvtest::multiply(view, Vec3{p[0] + offset[0], p[1] + offset[1], p[2] + offset[2]});
        };
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
        direction(QStringLiteral("pelvis"), source.parts[1][Thigh], source.parts[0][Thigh], target.parts[1][Thigh],
                  target.parts[0][Thigh]);
        judge(QStringLiteral("root turn"), turned(target.root, 0));
        judge(QStringLiteral("head turn"), turned(target.head, source.head));
        for (int side = 0; side < 2; ++side) {
            const QString s = side ? QStringLiteral("right ") : QStringLiteral("left ");
            const int *joint = source.parts[side];
            const KvBone *const *bone = target.parts[side];
            direction(s + QStringLiteral("upper arm"), joint[UpperArm], joint[ForeArm], bone[UpperArm], bone[ForeArm]);
            direction(s + QStringLiteral("forearm"), joint[ForeArm], joint[Hand], bone[ForeArm], bone[Hand]);
            direction(s + QStringLiteral("thigh"), joint[Thigh], joint[Shin], bone[Thigh], bone[Shin]);
            direction(s + QStringLiteral("shin"), joint[Shin], joint[Foot], bone[Shin], bone[Foot]);
            if (joint[Foot] >= 0 && bone[Foot]) {
                const Vec3 fileToe = joint[Toe] >= 0 ? at(joint[Toe]) : fileEnd(joint[Foot]);
                const Vec3 figureToe = bone[Toe] ? figureAt(bone[Toe]) : boneEnd(bone[Foot], t);
                judge(s + QStringLiteral("foot"), angleDeg(sub(figureToe, figureAt(bone[Foot])), sub(fileToe, at(joint[Foot]))));
                judge(s + QStringLiteral("foot turn"), turned(bone[Foot], joint[Foot]));
            }
            if (joint[Hand] >= 0 && bone[Hand])
                judge(s + QStringLiteral("hand turn"), turned(bone[Hand], joint[Hand]));
        }
    }

    QStringList report;
    for (auto it = worst.cbegin(); it != worst.cend(); ++it)
        report += QStringLiteral("%1 %2").arg(it.key()).arg(it.value(), 0, 'f', 2);
    qInfo("%s", qPrintable(report.join(QStringLiteral(", "))));
    QVERIFY2(worst.size() >= 16, qPrintable(report.join(QStringLiteral(", "))));
    for (auto it = worst.cbegin(); it != worst.cend(); ++it) {
        // The torso follows each of the file's spine joints, but it is laid
        // out in the figure's proportions: where the file bends its spine, a
        // figure whose spine bones differ in length points its head elsewhere.
        const double bound = it.key() == QLatin1String("torso") ? 20.0 : it.key().endsWith(QLatin1Char('%')) ? 0.5 : 3.0;
        QVERIFY2(it.value() < bound, qPrintable(report.join(QStringLiteral(", "))));
    }
}

QTEST_GUILESS_MAIN(tst_Fidelity)
#include "tst_fidelity.moc"
