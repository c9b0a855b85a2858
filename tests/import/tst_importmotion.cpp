// Whole imports of real files, judged against textbook forward kinematics.

#include "motionfixture.h"

#include "kvdefaultfigure.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

using namespace motiontest;
using kvtest::Mat3;
using kvtest::TextbookBvh;
using kvtest::Vec3;

namespace {

const Mat3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
// A quarter turn about Y, taking +Z to +X.
const Mat3 quarterTurnY{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};

QByteArray readData(const QString &name)
{
    QFile file(kvtest::dataFile(QStringLiteral("bvh/") + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Vec3 sub(const Vec3 &a, const Vec3 &b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double norm(const Vec3 &v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

int axisOf(const QString &channel)
{
    return channel.at(0).toLatin1() - 'X';
}

bool isRotation(const QString &channel)
{
    return channel.endsWith(QLatin1String("rotation"));
}

// The same motion with every joint turned by turn and its channels laid out
// anew: its own positions (X Y Z on every joint when sixChannels, restating
// the offset shifted a little every frame), then rotations in the order axes
// lists them ("" keeps the joint's own).
TextbookBvh rewrite(const TextbookBvh &bvh, const Mat3 &turn, const QString &axes, bool sixChannels)
{
    TextbookBvh out = bvh;
    out.channelCount = 0;
    for (kvtest::TextbookJoint &j : out.joints) {
        j.offset = kvtest::multiply(turn, j.offset);
        j.endSiteOffset = kvtest::multiply(turn, j.endSiteOffset);
        QStringList positions, rotations;
        for (const QString &c : std::as_const(j.channels))
            (isRotation(c) ? rotations : positions) += c;
        if (sixChannels)
            positions = QStringList{"Xposition", "Yposition", "Zposition"};
        if (!axes.isEmpty())
            rotations = QStringList{axes.at(0) + QStringLiteral("rotation"), axes.at(1) + QStringLiteral("rotation"),
                                    axes.at(2) + QStringLiteral("rotation")};
        j.channels = positions + rotations;
        j.firstChannel = out.channelCount;
        out.channelCount += int(j.channels.size());
    }
    for (int f = 0; f < bvh.frameCount; ++f) {
        out.frames[size_t(f)].assign(size_t(out.channelCount), 0.0);
        for (size_t i = 0; i < out.joints.size(); ++i) {
            const kvtest::TextbookJoint &from = bvh.joints[i];
            const kvtest::TextbookJoint &to = out.joints[i];
            Vec3 position{};
            Mat3 rotation = identity;
            for (int c = 0; c < from.channels.size(); ++c) {
                const double v = bvh.frames[size_t(f)][size_t(from.firstChannel + c)];
                if (isRotation(from.channels[c]))
                    rotation = kvtest::multiply(rotation, kvtest::axisRotation(axisOf(from.channels[c]), v / degreesPerRadian));
                else
                    position[size_t(axisOf(from.channels[c]))] = v;
            }
            position = kvtest::multiply(turn, position);
            if (sixChannels && from.parent >= 0)
                position = sub(to.offset, {0.3 * std::sin(f * 0.1), 0.2, -0.1 * (f % 7)});
            rotation = kvtest::multiply(kvtest::multiply(turn, rotation), transposed(turn));
            std::vector<size_t> order;
            for (const QString &c : to.channels) {
                if (isRotation(c))
                    order.push_back(size_t(axisOf(c)));
            }
            Vec3 angles{};
            if (order.size() == 3) {
                const Vec3 abc = kvtest::eulerAngles(rotation, order[0], order[1], order[2]);
                for (size_t n = 0; n < 3; ++n)
                    angles[order[n]] = abc[n] * degreesPerRadian;
            }
            for (int c = 0; c < to.channels.size(); ++c) {
                const size_t axis = size_t(axisOf(to.channels[c]));
                out.frames[size_t(f)][size_t(to.firstChannel + c)] = isRotation(to.channels[c]) ? angles[axis] : position[axis];
            }
        }
    }
    return out;
}

} // namespace

class tst_ImportMotion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { host = std::make_unique<Host>(); }
    void cleanup() { host.reset(); }
    void ownSkeleton_data();
    void ownSkeleton();

private:
    // Imports text onto figure; the mapping dialog maps every joint to the
    // bone of its name, as a user would. Returns the time step.
    int import(const QByteArray &text, KvSkeleton *figure);

    std::unique_ptr<Host> host;
};

int tst_ImportMotion::import(const QByteArray &text, KvSkeleton *figure)
{
    QFile file(host->dir.filePath(QStringLiteral("take.bvh")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return 0;
    file.close();
    kvScene->addNode(figure);
    kvScene->selectNode(figure);
    kvScene->setTime(0);
    CBvhIn::setMappingDialog([figure](CBvhIn &) {
        for (CBvhHeader *record : bvhState().jointList) {
            record->mappedNode = record->name.isEmpty() ? nullptr : figure->findBone(record->name);
            record->mappedName = record->mappedNode ? record->mappedNode->getLabel() : QString();
        }
        return 1;
    });
    CBvhIn in;
    return in.read(file.fileName(), KvFileIOSettings()) == 1 ? kvScene->getTimeStep() : 0;
}

void tst_ImportMotion::ownSkeleton_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("turned");       // a quarter turn about Y
    QTest::addColumn<QString>("axes");      // rotation channels as rewritten; "" as they were
    QTest::addColumn<bool>("sixChannels");

    const QDir data(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &name : data.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name)) {
        TextbookBvh bvh;
        QString error;
        QVERIFY2(kvtest::readTextbookBvhFile(data.filePath(name), bvh, &error), qPrintable(error));
        // Y up: the head lies above the root mostly along Y.
        const std::vector<Vec3> rest = kvtest::restPositions(bvh);
        const auto head = std::find_if(bvh.joints.cbegin(), bvh.joints.cend(), [](const kvtest::TextbookJoint &j) {
            return j.name.contains(QLatin1String("head"), Qt::CaseInsensitive);
        });
        const Vec3 up = sub(rest[head == bvh.joints.cend() ? 0 : size_t(head - bvh.joints.cbegin())], rest[0]);
        if (up[1] > std::abs(up[0]) && up[1] > std::abs(up[2]))
            QTest::newRow(qPrintable(name)) << name << false << "" << false;
    }
    // Arms along Z: the figure must turn to face like the file's figure.
    QTest::newRow("arms-along-z") << "cmu_12_01_walk_mb.bvh" << true << "" << false;
    QTest::newRow("arms-down-along-z") << "mocapbank_crlf.bvh" << true << "" << false;
    // Another channel order, same motion.
    QTest::newRow("zyx-as-xyz") << "cmu_12_01_walk_mb.bvh" << false << "XYZ" << false;
    QTest::newRow("mixed-as-yzx") << "sl_tpose_qavimator.bvh" << false << "YZX" << false;
    // Six channels on every joint: only the root moves the figure.
    QTest::newRow("six-channels") << "mixamorig_colon_names.bvh" << false << "" << true;
}

// A file, or the same motion rewritten as another file would hold it,
// imported onto a figure made from the file: every joint lands where
// textbook forward kinematics puts it, and the root travels the file's path
// less its first height. With six channels on every joint the figure's bones
// keep their own lengths and follow the file's rotations.
void tst_ImportMotion::ownSkeleton()
{
    QFETCH(QString, name);
    QFETCH(bool, turned);
    QFETCH(QString, axes);
    QFETCH(bool, sixChannels);

    const QByteArray text = readData(name);
    TextbookBvh original;
    QVERIFY(kvtest::readTextbookBvh(text, original, nullptr));
    const bool rewritten = turned || !axes.isEmpty() || sixChannels;
    const TextbookBvh bvh = rewritten ? rewrite(original, turned ? quarterTurnY : identity, axes, sixChannels) : original;
    KvSkeleton *figure = KvFigureBuilder::build(kvtest::figureFromBvh(original, QStringLiteral("figure"))).release();
    QVERIFY(figure);
    const int step = import(rewritten ? kvtest::writeTextbookBvh(bvh) : text, figure);
    QCOMPARE(step, int(std::floor(float(float(bvh.frameTime) * 4800.0f) + 0.5f)));

    double low = 0;
    double high = 0;
    for (const Vec3 &p : kvtest::restPositions(bvh)) {
        low = std::min(low, p[1]);
        high = std::max(high, p[1]);
    }
    const double tolerance = 1e-3 * (high - low);
    const qsizetype yColumn = bvh.joints[0].channels.indexOf(QStringLiteral("Yposition"));
    QVERIFY(yColumn >= 0);
    const double firstHeight = bvh.frames[0][size_t(bvh.joints[0].firstChannel + yColumn)];
    std::vector<KvBone *> bones;
    for (const kvtest::TextbookJoint &joint : bvh.joints)
        bones.push_back(figure->findBone(joint.name));
    for (int f = 0; f < bvh.frameCount; ++f) {
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, f);
        const Vec3 rootAt = toVec(bones[0]->getWSPosD(f * step));
        const Vec3 rootPath{pose.position[0][0], pose.position[0][1] - firstHeight, pose.position[0][2]};
        QVERIFY2(norm(sub(rootAt, rootPath)) <= tolerance, qPrintable(QStringLiteral("frame %1").arg(f)));
        for (size_t i = 1; i < bones.size(); ++i) {
            const Vec3 at = toVec(bones[i]->getWSPosD(f * step));
            const Vec3 parentAt = toVec(bones[size_t(bvh.joints[i].parent)]->getWSPosD(f * step));
            const bool landed = sixChannels
                ? std::abs(norm(sub(at, parentAt)) - norm(original.joints[i].offset)) < 0.1 * tolerance
                      && angleDeg(toMat(bones[i]->getWSRot(f * step)), pose.rotation[i]) < 0.01
                : norm(sub(sub(at, rootAt), sub(pose.position[i], pose.position[0]))) <= tolerance;
            QVERIFY2(landed, qPrintable(QStringLiteral("frame %1, %2").arg(f).arg(bvh.joints[i].name)));
        }
    }
}

QTEST_GUILESS_MAIN(tst_ImportMotion)
#include "tst_importmotion.moc"
