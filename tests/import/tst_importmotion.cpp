// Whole imports of real files, judged against textbook forward kinematics.

#include "motionfixture.h"

#include "kvapp.h"
#include "kvdefaultfigure.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace motiontest;
using kvtest::Mat3;
using kvtest::TextbookBvh;
using kvtest::Vec3;

namespace {

QString bvhPath(const QString &name)
{
    return kvtest::dataFile(QStringLiteral("bvh/") + name);
}

Vec3 sub(const Vec3 &a, const Vec3 &b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double norm(const Vec3 &v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double distance(const Vec3 &a, const Vec3 &b)
{
    return norm(sub(a, b));
}

int axisOf(const QString &channel)
{
    return channel.at(0).toUpper().toLatin1() - 'X';
}

bool isRotation(const QString &channel)
{
    return channel.endsWith(QLatin1String("rotation"));
}

// Angles (radians) with m == R_i(a) R_j(b) R_k(c) for the listed axes i, j, k.
Vec3 decompose(const Mat3 &m, int i, int j, int k)
{
    const double s = (j == (i + 1) % 3) ? 1.0 : -1.0;
    const double b = std::asin(std::clamp(s * m[size_t(i)][size_t(k)], -1.0, 1.0));
    const double a = std::atan2(-s * m[size_t(j)][size_t(k)], m[size_t(k)][size_t(k)]);
    const double c = std::atan2(-s * m[size_t(i)][size_t(j)], m[size_t(i)][size_t(i)]);
    return {a, b, c};
}

// A joint's local translation (position channels only) and rotation at a frame.
void localTransform(const TextbookBvh &bvh, size_t joint, int frame, Vec3 &position, Mat3 &rotation)
{
    const kvtest::TextbookJoint &j = bvh.joints[joint];
    position = {};
    rotation = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (int c = 0; c < j.channels.size(); ++c) {
        const double v = bvh.frames[size_t(frame)][size_t(j.firstChannel + c)];
        if (isRotation(j.channels[c]))
            rotation = kvtest::multiply(rotation, kvtest::axisRotation(axisOf(j.channels[c]), v / degreesPerRadian));
        else
            position[size_t(axisOf(j.channels[c]))] += v;
    }
}

// The same motion with every joint turned by turn (offsets, translations,
// rotations) and channels laid out anew: the positions the joint had (or X Y Z
// when sixChannels), then its rotations in the listed order (rotationAxes,
// empty: as it was). The positions that six channels add restate the offset,
// shifted a little every frame.
TextbookBvh rewrite(const TextbookBvh &bvh, const Mat3 &turn, const QString &rotationAxes, bool sixChannels)
{
    TextbookBvh out = bvh;
    out.channelCount = 0;
    for (size_t i = 0; i < out.joints.size(); ++i) {
        kvtest::TextbookJoint &j = out.joints[i];
        j.offset = kvtest::multiply(turn, bvh.joints[i].offset);
        j.endSiteOffset = kvtest::multiply(turn, bvh.joints[i].endSiteOffset);
        QStringList channels;
        for (const QString &c : bvh.joints[i].channels) {
            if (!isRotation(c) && !sixChannels)
                channels += c;
        }
        if (sixChannels)
            channels = QStringList{"Xposition", "Yposition", "Zposition"};
        for (const QString &c : bvh.joints[i].channels) {
            if (isRotation(c) && rotationAxes.isEmpty())
                channels += c;
        }
        for (const QChar axis : rotationAxes)
            channels += QString(axis) + QStringLiteral("rotation");
        j.channels = channels;
        j.firstChannel = out.channelCount;
        out.channelCount += int(channels.size());
    }
    for (int f = 0; f < bvh.frameCount; ++f) {
        std::vector<double> &row = out.frames[size_t(f)];
        row.assign(size_t(out.channelCount), 0.0);
        for (size_t i = 0; i < out.joints.size(); ++i) {
            const kvtest::TextbookJoint &j = out.joints[i];
            Vec3 position;
            Mat3 rotation;
            localTransform(bvh, i, f, position, rotation);
            position = kvtest::multiply(turn, position);
            if (sixChannels && bvh.joints[i].parent >= 0) {
                const Vec3 wobble{0.3 * std::sin(f * 0.1), 0.2, -0.1 * (f % 7)};
                position = sub(j.offset, wobble);
            }
            rotation = kvtest::multiply(kvtest::multiply(turn, rotation), transposed(turn));
            std::vector<int> axes;
            for (const QString &c : j.channels) {
                if (isRotation(c))
                    axes.push_back(axisOf(c));
            }
            Vec3 angles{};
            if (axes.size() == 3) {
                const Vec3 abc = decompose(rotation, axes[0], axes[1], axes[2]);
                for (size_t n = 0; n < 3; ++n)
                    angles[size_t(axes[n])] = abc[n] * degreesPerRadian;
            }
            for (int c = 0; c < j.channels.size(); ++c) {
                const int axis = axisOf(j.channels[c]);
                row[size_t(j.firstChannel + c)] = isRotation(j.channels[c]) ? angles[size_t(axis)] : position[size_t(axis)];
            }
        }
    }
    return out;
}

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 12);
}

void writeJoint(const TextbookBvh &bvh, size_t index, const QByteArray &indent, QByteArray &text)
{
    const kvtest::TextbookJoint &j = bvh.joints[index];
    text += indent + (j.parent < 0 ? "ROOT " : "JOINT ") + j.name.toLatin1() + "\n" + indent + "{\n";
    text += indent + "  OFFSET " + number(j.offset[0]) + " " + number(j.offset[1]) + " " + number(j.offset[2]) + "\n";
    text += indent + "  CHANNELS " + QByteArray::number(j.channels.size()) + " " + j.channels.join(' ').toLatin1() + "\n";
    for (size_t c = index + 1; c < bvh.joints.size(); ++c) {
        if (bvh.joints[c].parent == int(index))
            writeJoint(bvh, c, indent + "  ", text);
    }
    if (j.hasEndSite) {
        const Vec3 &e = j.endSiteOffset;
        text += indent + "  End Site\n" + indent + "  {\n" + indent + "    OFFSET " + number(e[0]) + " " + number(e[1])
              + " " + number(e[2]) + "\n" + indent + "  }\n";
    }
    text += indent + "}\n";
}

QByteArray toText(const TextbookBvh &bvh)
{
    QByteArray text = "HIERARCHY\n";
    for (size_t i = 0; i < bvh.joints.size(); ++i) {
        if (bvh.joints[i].parent < 0)
            writeJoint(bvh, i, "", text);
    }
    text += "MOTION\nFrames: " + QByteArray::number(bvh.frameCount) + "\nFrame Time: " + number(bvh.frameTime) + "\n";
    for (const std::vector<double> &row : bvh.frames) {
        QByteArrayList values;
        for (double v : row)
            values += number(v);
        text += values.join(' ') + "\n";
    }
    return text;
}

// A quarter turn about Y, taking +Z to +X.
const Mat3 quarterTurnY{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};
const Mat3 noTurn{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

int jointIndex(const TextbookBvh &bvh, const QString &name)
{
    for (size_t i = 0; i < bvh.joints.size(); ++i) {
        if (bvh.joints[i].name == name)
            return int(i);
    }
    return -1;
}

} // namespace

class tst_ImportMotion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void sameSkeleton_data();
    void sameSkeleton();
    void rewrittenFile_data();
    void rewrittenFile();
    void otherSkeleton_data();
    void otherSkeleton();

private:
    // Imports text onto figure; with mapByName the mapping dialog maps every
    // joint to the bone of its name, as a user would. Returns the time step.
    int import(const QByteArray &text, KvSkeleton *figure, bool mapByName);
    KvSkeleton *addFigure(std::unique_ptr<KvSkeleton> figure);
    // Every bone's world position relative to the root bone's, against the
    // file's joints relative to its root, within tolerance; at every frame.
    void compareWithFile(const TextbookBvh &bvh, KvSkeleton *figure, int step, double tolerance);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
};

void tst_ImportMotion::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    frameOption = true;
    inPlaceOption = false;
    limitsOption = false;
}

void tst_ImportMotion::cleanup()
{
    CBvhIn::setMappingDialog(nullptr);
    app.reset();
    dir.reset();
}

KvSkeleton *tst_ImportMotion::addFigure(std::unique_ptr<KvSkeleton> figure)
{
    KvSkeleton *skeleton = figure.release();
    if (skeleton)
        kvScene->addNode(skeleton);
    return skeleton;
}

int tst_ImportMotion::import(const QByteArray &text, KvSkeleton *figure, bool mapByName)
{
    QFile file(dir->filePath(QStringLiteral("take.bvh")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return 0;
    file.close();
    kvScene->selectNode(figure);
    kvScene->setTime(0);
    CBvhIn::setMappingDialog([mapByName, figure](CBvhIn &) {
        if (!mapByName)
            return 1;
        for (CBvhHeader *record : bvhState().jointList) {
            KvBone *bone = record->name.isEmpty() ? nullptr : figure->findBone(record->name);
            record->mappedNode = bone;
            record->mappedName = bone ? bone->getLabel() : QString();
        }
        return 1;
    });
    CBvhIn in;
    if (in.read(file.fileName(), KvFileIOSettings()) != 1)
        return 0;
    return kvScene->getTimeStep();
}

void tst_ImportMotion::compareWithFile(const TextbookBvh &bvh, KvSkeleton *figure, int step, double tolerance)
{
    std::vector<KvBone *> bones;
    for (const kvtest::TextbookJoint &joint : bvh.joints)
        bones.push_back(figure->findBone(joint.name));
    for (int f = 0; f < bvh.frameCount; ++f) {
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, f);
        const Vec3 root = toVec(bones[0]->getWSPosD(f * step));
        for (size_t i = 1; i < bones.size(); ++i) {
            const Vec3 actual = sub(toVec(bones[i]->getWSPosD(f * step)), root);
            const Vec3 expected = sub(pose.position[i], pose.position[0]);
            if (distance(actual, expected) > tolerance) {
                QFAIL(qPrintable(QStringLiteral("frame %1, %2: %3 from the file's position")
                                     .arg(f).arg(bvh.joints[i].name).arg(distance(actual, expected))));
            }
        }
    }
}

void tst_ImportMotion::sameSkeleton_data()
{
    QTest::addColumn<QString>("name");
    const QDir data(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &name : data.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name)) {
        TextbookBvh bvh;
        QString error;
        QVERIFY2(kvtest::readTextbookBvhFile(data.filePath(name), bvh, &error), qPrintable(error));
        // Y up: the head lies above the root mostly along Y.
        const std::vector<Vec3> rest = kvtest::restPositions(bvh);
        size_t top = 0;
        for (size_t i = 0; i < rest.size(); ++i) {
            if (bvh.joints[i].name.contains(QLatin1String("head"), Qt::CaseInsensitive)) {
                top = i;
                break;
            }
        }
        const Vec3 up = sub(rest[top], rest[0]);
        if (up[1] > std::abs(up[0]) && up[1] > std::abs(up[2]))
            QTest::newRow(qPrintable(name)) << name;
    }
}

// The file's own skeleton as the figure: every joint lands where textbook
// forward kinematics puts it, and the root travels the file's path less its
// first height. Catches wrong rotation orders, composition, lost or
// misplaced rotations, scaling and frames landing at the wrong time.
void tst_ImportMotion::sameSkeleton()
{
    QFETCH(QString, name);
    TextbookBvh bvh;
    QVERIFY(kvtest::readTextbookBvhFile(bvhPath(name), bvh, nullptr));
    KvSkeleton *figure = addFigure(KvFigureBuilder::build(kvtest::figureFromBvh(bvh, QStringLiteral("figure"))));
    QVERIFY(figure);
    QFile file(bvhPath(name));
    QVERIFY(file.open(QIODevice::ReadOnly));

    const int step = import(file.readAll(), figure, true);
    QVERIFY(step > 0);
    QCOMPARE(step, int(std::floor(float(float(bvh.frameTime) * 4800.0f) + 0.5f)));

    double low = 0;
    double high = 0;
    for (const Vec3 &p : kvtest::restPositions(bvh)) {
        low = std::min(low, p[1]);
        high = std::max(high, p[1]);
    }
    compareWithFile(bvh, figure, step, 1e-3 * (high - low));

    const kvtest::TextbookJoint &root = bvh.joints[0];
    const int yColumn = root.firstChannel + int(root.channels.indexOf(QStringLiteral("Yposition")));
    QVERIFY(yColumn >= root.firstChannel);
    KvBone *rootBone = figure->findBone(root.name);
    for (int f = 0; f < bvh.frameCount; ++f) {
        Vec3 expected = kvtest::forwardKinematics(bvh, f).position[0];
        expected[1] -= bvh.frames[0][size_t(yColumn)];
        const Vec3 actual = toVec(rootBone->getWSPosD(f * step));
        QVERIFY2(distance(actual, expected) <= 1e-3 * (high - low), qPrintable(QStringLiteral("frame %1").arg(f)));
    }
}

void tst_ImportMotion::rewrittenFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("turned");       // a quarter turn about Y
    QTest::addColumn<QString>("axes");      // rotation channels as rewritten; "" as they were
    QTest::addColumn<bool>("sixChannels");

    // Arms along Z: the figure must turn to face like the file's figure.
    QTest::newRow("arms-along-z-sl") << "pirouette_slnames.bvh" << true << "" << false;
    QTest::newRow("arms-along-z-cmu") << "cmu_12_01_walk_mb.bvh" << true << "" << false;
    QTest::newRow("arms-down-along-z") << "mocapbank_crlf.bvh" << true << "" << false;
    // Another channel order, same motion.
    QTest::newRow("zyx-as-xyz") << "cmu_12_01_walk_mb.bvh" << false << "XYZ" << false;
    QTest::newRow("mixed-as-yzx") << "sl_tpose_qavimator.bvh" << false << "YZX" << false;
    QTest::newRow("zxy-as-zyx") << "pirouette_slnames.bvh" << false << "ZYX" << false;
    // Six channels on every joint: only the root moves the figure.
    QTest::newRow("six-channels-mixamo") << "mixamorig_colon_names.bvh" << false << "" << true;
    QTest::newRow("six-channels-sl") << "sl_hug_opencollar.bvh" << false << "" << true;
}

// A file rewritten as another file would hold the same motion, imported onto a
// figure made from the original: the pose follows the rewritten file, and
// bones keep their lengths.
void tst_ImportMotion::rewrittenFile()
{
    QFETCH(QString, name);
    QFETCH(bool, turned);
    QFETCH(QString, axes);
    QFETCH(bool, sixChannels);

    TextbookBvh original;
    QVERIFY(kvtest::readTextbookBvhFile(bvhPath(name), original, nullptr));
    const Mat3 turn = turned ? quarterTurnY : noTurn;
    const TextbookBvh rewritten = rewrite(original, turn, axes, sixChannels);
    // The rewrite itself must hold the same motion (turned).
    for (int f = 0; f < original.frameCount; f += 17) {
        const kvtest::TextbookPose a = kvtest::forwardKinematics(original, f);
        const kvtest::TextbookPose b = kvtest::forwardKinematics(rewritten, f);
        for (size_t i = 0; i < a.rotation.size(); ++i) {
            const Mat3 turned = kvtest::multiply(kvtest::multiply(turn, a.rotation[i]), transposed(turn));
            QVERIFY2(angleDeg(turned, b.rotation[i]) < 1e-4, qPrintable(QString::number(angleDeg(turned, b.rotation[i]))));
        }
    }

    KvSkeleton *figure = addFigure(KvFigureBuilder::build(kvtest::figureFromBvh(original, QStringLiteral("figure"))));
    QVERIFY(figure);
    const int step = import(toText(rewritten), figure, true);
    QVERIFY(step > 0);

    double height = 0;
    for (const Vec3 &p : kvtest::restPositions(original))
        height = std::max(height, norm(p));
    if (!sixChannels) {
        compareWithFile(rewritten, figure, step, 1e-3 * height);
        return;
    }
    // The file's offsets stand in its position channels; the figure's bones
    // keep their own lengths and follow the file's rotations.
    for (int f = 0; f < original.frameCount; ++f) {
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(original, f);
        for (size_t i = 1; i < original.joints.size(); ++i) {
            const KvBone *bone = figure->findBone(original.joints[i].name);
            const KvBone *parent = figure->findBone(original.joints[size_t(original.joints[i].parent)].name);
            const double length = distance(toVec(bone->getWSPosD(f * step)), toVec(parent->getWSPosD(f * step)));
            QVERIFY2(std::abs(length - norm(original.joints[i].offset)) < 1e-4 * height,
                     qPrintable(QStringLiteral("frame %1, %2").arg(f).arg(original.joints[i].name)));
            QVERIFY(angleDeg(toMat(bone->getWSRot(f * step)), pose.rotation[i]) < 0.01);
        }
    }
}

void tst_ImportMotion::otherSkeleton_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("stripPrefix");
    // File joints standing for: lShldr lForeArm lHand lThigh lShin lFoot head
    // rThigh, then rShldr rForeArm rHand rShin rFoot.
    QTest::addColumn<QStringList>("joints");
    QTest::addColumn<QString>("middleFinger");  // the joint for lMid1; "" for none

    const auto names = [](const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    QTest::newRow("sl-qavimator") << "sl_tpose_qavimator.bvh" << false
        << names("lShldr lForeArm lHand lThigh lShin lFoot head rThigh rShldr rForeArm rHand rShin rFoot") << "";
    QTest::newRow("sl-opencollar") << "sl_hug_opencollar.bvh" << false
        << names("lShldr lForeArm lHand lThigh lShin lFoot head rThigh rShldr rForeArm rHand rShin rFoot") << "";
    QTest::newRow("sl-cmu") << "pirouette_slnames.bvh" << false
        << names("lShldr lForeArm lHand lThigh lShin lFoot head rThigh rShldr rForeArm rHand rShin rFoot") << "lMid1";
    QTest::newRow("cmu-jumps") << "cmu_01_01_jumps_mb.bvh" << false
        << names("LeftArm LeftForeArm LeftHand LeftUpLeg LeftLeg LeftFoot Head RightUpLeg RightArm RightForeArm "
                 "RightHand RightLeg RightFoot") << "";
    QTest::newRow("cmu-walk") << "cmu_12_01_walk_mb.bvh" << false
        << names("LeftArm LeftForeArm LeftHand LeftUpLeg LeftLeg LeftFoot Head RightUpLeg RightArm RightForeArm "
                 "RightHand RightLeg RightFoot") << "";
    QTest::newRow("mixamo-prefix") << "mixamorig_colon_names.bvh" << false
        << names("mixamorig:LeftArm mixamorig:LeftForeArm mixamorig:LeftHand mixamorig:LeftUpLeg mixamorig:LeftLeg "
                 "mixamorig:LeftFoot mixamorig:Head mixamorig:RightUpLeg mixamorig:RightArm mixamorig:RightForeArm "
                 "mixamorig:RightHand mixamorig:RightLeg mixamorig:RightFoot")
        << "mixamorig:LeftHandMiddle1";
    QTest::newRow("mixamo-plain") << "mixamorig_colon_names.bvh" << true
        << names("LeftArm LeftForeArm LeftHand LeftUpLeg LeftLeg LeftFoot Head RightUpLeg RightArm RightForeArm "
                 "RightHand RightLeg RightFoot") << "LeftHandMiddle1";
    QTest::newRow("elbow-wrist-mocapbank") << "mocapbank_crlf.bvh" << false
        << names("LeftShoulder LeftElbow LeftWrist LeftHip LeftKnee LeftAnkle Head RightHip RightShoulder "
                 "RightElbow RightWrist RightKnee RightAnkle") << "";
    QTest::newRow("elbow-wrist-cmu") << "cmu_131_01_walk_orig.bvh" << false
        << names("LeftShoulder LeftElbow LeftWrist LeftHip LeftKnee LeftAnkle Head RightHip RightShoulder "
                 "RightElbow RightWrist RightKnee RightAnkle") << "";
}

// Files of other skeletons onto the default figure, mapped without help: limb
// bones point where the file's limbs point, the hips face the same way, and
// hip, head, hands and feet turn from the first frame as the file's joints do.
void tst_ImportMotion::otherSkeleton()
{
    QFETCH(QString, name);
    QFETCH(bool, stripPrefix);
    QFETCH(QStringList, joints);
    QFETCH(QString, middleFinger);

    QFile file(bvhPath(name));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    if (stripPrefix)
        text.replace("mixamorig:", "");
    TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvh(text, bvh, &error), qPrintable(error));
    KvSkeleton *figure = addFigure(KvDefaultFigure::build());
    QVERIFY(figure);
    const int step = import(text, figure, false);
    QVERIFY(step > 0);

    std::vector<int> fileJoints;
    for (const QString &joint : joints) {
        fileJoints.push_back(jointIndex(bvh, joint));
        QVERIFY2(fileJoints.back() >= 0, qPrintable(joint));
    }
    // The hand points at its middle finger, not at the file's last finger.
    const int middle = middleFinger.isEmpty() ? -1 : jointIndex(bvh, middleFinger);
    QCOMPARE(middle >= 0, !middleFinger.isEmpty());
    const auto bone = [figure](const char *label) {
        KvNode *node = kvScene->findNodeByLabel(QString::fromLatin1(label));
        return node && node->getSkeleton() == figure ? node : nullptr;
    };
    // Limb bone, its child bone; file joint, its child joint (indices into joints).
    const struct { const char *bone; const char *child; int joint; int childJoint; } limbs[] = {
        {"lShldr", "lForeArm", 0, 1}, {"lForeArm", "lHand", 1, 2}, {"lThigh", "lShin", 3, 4}, {"lShin", "lFoot", 4, 5},
        {"rShldr", "rForeArm", 8, 9}, {"rForeArm", "rHand", 9, 10}, {"rThigh", "rShin", 7, 11}, {"rShin", "rFoot", 11, 12},
    };
    // Bones whose turn from the first frame follows the file joint.
    const struct { const char *bone; int joint; } turning[] = {
        {"head", 6}, {"lHand", 2}, {"rHand", 10}, {"lFoot", 5}, {"rFoot", 12},
    };
    KvNode *hip = bone("hip");
    QVERIFY(hip);
    const std::vector<Vec3> rest = kvtest::restPositions(bvh);
    Vec3 fileAcross = sub(rest[size_t(fileJoints[3])], rest[size_t(fileJoints[7])]);
    fileAcross[1] = 0;
    const Vec3 figureAcross = toVec(KvVec3d(bone("lThigh")->getOrigin() - bone("rThigh")->getOrigin()));
    const kvtest::TextbookPose first = kvtest::forwardKinematics(bvh, 0);

    for (int f = 0; f < bvh.frameCount; ++f) {
        const int t = f * step;
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, f);
        const auto where = [&](int row) { return QStringLiteral("frame %1, %2").arg(f).arg(joints[row]); };
        for (const auto &limb : limbs) {
            const Vec3 actual = sub(toVec(bone(limb.child)->getWSPosD(t)), toVec(bone(limb.bone)->getWSPosD(t)));
            const Vec3 expected = sub(pose.position[size_t(fileJoints[size_t(limb.childJoint)])],
                                      pose.position[size_t(fileJoints[size_t(limb.joint)])]);
            QVERIFY2(angleDeg(actual, expected) < 2.0, qPrintable(where(limb.joint)));
        }
        if (middle >= 0) {
            const Vec3 actual = sub(toVec(bone("lMid1")->getWSPosD(t)), toVec(bone("lHand")->getWSPosD(t)));
            const Vec3 expected = sub(pose.position[size_t(middle)], pose.position[size_t(fileJoints[2])]);
            QVERIFY2(angleDeg(actual, expected) < 2.0, qPrintable(where(2)));
        }
        const Vec3 across = kvtest::multiply(toMat(hip->getWSRot(t)), figureAcross);
        QVERIFY2(angleDeg(across, kvtest::multiply(pose.rotation[0], fileAcross)) < 2.0, qPrintable(where(3)));
        const Mat3 hipTurn = kvtest::multiply(toMat(hip->getWSRot(t)), transposed(toMat(hip->getWSRot(0))));
        QVERIFY2(angleDeg(hipTurn, kvtest::multiply(pose.rotation[0], transposed(first.rotation[0]))) < 2.0,
                 qPrintable(where(3)));
        for (const auto &part : turning) {
            KvNode *node = bone(part.bone);
            const size_t j = size_t(fileJoints[size_t(part.joint)]);
            const Mat3 actual = kvtest::multiply(toMat(node->getWSRot(t)), transposed(toMat(node->getWSRot(0))));
            const Mat3 expected = kvtest::multiply(pose.rotation[j], transposed(first.rotation[j]));
            QVERIFY2(angleDeg(actual, expected) < 2.0, qPrintable(where(part.joint)));
        }
    }
}

QTEST_GUILESS_MAIN(tst_ImportMotion)
#include "tst_importmotion.moc"
