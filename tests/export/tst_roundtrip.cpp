// A figure's motion exported and imported back onto the same figure: every
// bone gets its local rotations back, and the root its path less its first
// height. Catches exporter and importer disagreeing on channel order, angle
// signs, composition, rest alignment and frame timing, which neither
// direction's own tests can see.

#include "bvhin.h"
#include "bvhout.h"
#include "bvhstate.h"
#include "exportoptions.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvdefaultfigure.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"
#include "testsupport.h"

#include <QDialog>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

namespace {

enum FigureKind { MixedOrders, DefaultFigure };

constexpr double radPerDeg = 3.14159265358979323846 / 180.0;

//   mixed ── hip ─┬─ abdomen ── chest ── head ── lEye (starts off head's end)
//                 └─ lThigh ── lShin
// Every rotation order, none of them twice in a row.
std::unique_ptr<KvSkeleton> mixedOrdersFigure()
{
    struct Bone { const char *name; const char *parent; KvVec3 origin; KvVec3 end; int order; };
    const Bone bones[] = {
        {"hip", "", {0, 100, 0}, {0, 110, 0}, KvRotationOrder::ZXY},
        {"abdomen", "hip", {0, 110, 0}, {0, 130, 2}, KvRotationOrder::XYZ},
        {"chest", "abdomen", {0, 130, 2}, {0, 150, 0}, KvRotationOrder::YZX},
        {"head", "chest", {0, 150, 0}, {0, 170, 0}, KvRotationOrder::ZYX},
        {"lEye", "head", {3, 162, 8}, {3, 162, 9}, KvRotationOrder::XZY},
        {"lThigh", "hip", {10, 95, 0}, {12, 50, 1}, KvRotationOrder::YXZ},
        {"lShin", "lThigh", {12, 50, 1}, {12, 5, -2}, KvRotationOrder::ZYX},
    };
    KvFigureDesc desc;
    desc.name = QStringLiteral("mixed");
    for (const Bone &b : bones) {
        desc.bones.push_back({QString::fromLatin1(b.name), QString(), QString::fromLatin1(b.parent), b.origin, b.end,
                              KvRotationOrder(b.order), std::nullopt});
    }
    return KvFigureBuilder::build(desc);
}

// An angle in degrees that wanders over [-amplitude, amplitude] with the frame
// (not linearly, so a frame that the import skips does not interpolate back),
// or over the control's limits when it has them.
float angleDeg(const KvFloatProperty *control, double amplitude, double phase)
{
    const double wave = std::sin(phase);
    if (!control->hasLimits())
        return float(amplitude * wave);
    const double middle = (control->getMinLimit() + control->getMaxLimit()) / 2.0;
    const double half = (control->getMaxLimit() - control->getMinLimit()) / 2.0;
    return float(middle + half * wave);
}

// Keys every bone's rotation, and the root's position, on every keyEvery-th
// frame from start and on the last one; the frames between interpolate.
void keyMotion(KvSkeleton *figure, int start, int step, int frames, int keyEvery)
{
    QList<KvBone *> bones;
    figure->getAllBones(bones);
    for (int n = 0; n < frames; ++n) {
        if (n % keyEvery != 0 && n != frames - 1)
            continue;
        const int t = start + n * step;
        for (int i = 0; i < bones.size(); ++i) {
            KvNode *bone = bones[i];
            // Without limits, beyond a quarter turn on every axis: each order's
            // middle angle leaves the range its decomposition returns.
            bone->getXRotControl()->setKey(t, angleDeg(bone->getXRotControl(), 160, 0.9 * n + 0.7 * i));
            bone->getYRotControl()->setKey(t, angleDeg(bone->getYRotControl(), 125, 1.3 * n + 0.4 * i + 1.0));
            bone->getZRotControl()->setKey(t, angleDeg(bone->getZRotControl(), 175, 0.6 * n + 1.1 * i + 2.0));
        }
        KvNode *root = bones.first();
        root->getXPosControl()->setKey(t, float(2.5 * n - 3.0));
        root->getYPosControl()->setKey(t, float(12.0 + 4.0 * std::sin(0.8 * n)));
        root->getZPosControl()->setKey(t, float(4.0 - 1.5 * n));
    }
}

} // namespace

class tst_RoundTrip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void sameMotion_data();
    void sameMotion();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
};

void tst_RoundTrip::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    // The scene keeps the file's timing, the root moves freely and limits do
    // not hold while the keys go in.
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    settings->setBoolValue(QStringLiteral("Frame Opt"), true);
    settings->setBoolValue(QStringLiteral("InPlace Opt"), false);
    settings->setBoolValue(QStringLiteral("Limits Opt"), false);
    settings->setBoolValue(QStringLiteral("Second Life Opt"), false);
    settings->popPath();
}

void tst_RoundTrip::cleanup()
{
    CBvhIn::setMappingDialog(nullptr);
    bvhState().clearLists();
    secondLifeOption = false;
    app.reset();
    if (dir)
        dir->setAutoRemove(!QTest::currentTestFailed());
    dir.reset();
}

void tst_RoundTrip::sameMotion_data()
{
    QTest::addColumn<int>("figureKind");
    QTest::addColumn<int>("step");        // ticks per frame
    QTest::addColumn<int>("start");       // of the animation range, ticks
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("keyEvery");    // frames between keys

    QTest::newRow("mixed-orders") << int(MixedOrders) << 160 << 0 << 9 << 1;
    QTest::newRow("mixed-orders-interpolated") << int(MixedOrders) << 160 << 0 << 12 << 3;
    QTest::newRow("mixed-orders-24fps-late-start") << int(MixedOrders) << 200 << 600 << 8 << 2;
    QTest::newRow("default-figure") << int(DefaultFigure) << 160 << 0 << 7 << 1;
    QTest::newRow("default-figure-60fps-late-start") << int(DefaultFigure) << 80 << 400 << 10 << 2;
}

void tst_RoundTrip::sameMotion()
{
    QFETCH(int, figureKind);
    QFETCH(int, step);
    QFETCH(int, start);
    QFETCH(int, frames);
    QFETCH(int, keyEvery);

    KvSkeleton *figure = (figureKind == MixedOrders ? mixedOrdersFigure() : KvDefaultFigure::build()).release();
    QVERIFY(figure);
    kvScene->addNode(figure);
    const KvTimeRange range(start, start + frames * step);
    kvScene->setTimeStep(step);
    kvScene->setAnimRange(range);
    keyMotion(figure, start, step, frames, keyEvery);

    QList<KvBone *> bones;
    figure->getAllBones(bones);
    KvBone *root = bones.first();
    std::vector<std::vector<KvQuat>> rotations(size_t(bones.size()));
    std::vector<KvVec3> rootPath;
    for (int f = 0; f < frames; ++f) {
        const int t = start + f * step;
        for (int i = 0; i < bones.size(); ++i)
            rotations[size_t(i)].push_back(bones[i]->getLocalRot(t));
        rootPath.push_back(root->getLocalPos(t));
    }
    // Every bone turns well away from its rest, or the round trip shows nothing.
    for (int i = 0; i < bones.size(); ++i) {
        double widest = 0.0;
        for (const KvQuat &q : rotations[size_t(i)])
            widest = std::max(widest, q.angleTo(KvQuat()));
        QVERIFY2(widest > 20.0 * radPerDeg, qPrintable(bones[i]->getName()));
    }

    const QString file = dir->filePath(QStringLiteral("take.bvh"));
    kvScene->selectNode(figure);
    kvScene->setTime(start);
    CBvhOut out;
    QCOMPARE(out.write(file, KvFileIOSettings()), 1);

    for (KvBone *bone : bones)
        bone->clearTransformData(KvTimeRange(INT_MIN, INT_MAX));

    // The bones' labels are their names: the guess must map each joint to the
    // bone of its name, with no help from a dialog.
    QStringList misMapped;
    int joints = 0;
    CBvhIn::setMappingDialog([figure, &misMapped, &joints](CBvhIn &) {
        for (const CBvhHeader *record : bvhState().jointList) {
            if (record->type != Joint)
                continue;
            ++joints;
            if (record->mappedNode != figure->findBone(record->name))
                misMapped += record->name + QStringLiteral(" -> ") + record->mappedName;
        }
        return int(QDialog::Accepted);
    });
    kvScene->setTime(start);
    CBvhIn in;
    QCOMPARE(in.read(file, KvFileIOSettings()), 1);
    QCOMPARE(joints, int(bones.size()));
    QVERIFY2(misMapped.isEmpty(), qPrintable(misMapped.join(QStringLiteral(", "))));
    QCOMPARE(kvApp->messageLog(), QStringList());
    QCOMPARE(kvScene->getTimeStep(), step);
    QCOMPARE(kvScene->getAnimRange().start, range.start);
    QCOMPARE(kvScene->getAnimRange().end, range.end);

    QStringList wrong;
    for (int f = 0; f < frames; ++f) {
        const int t = start + f * step;
        for (int i = 0; i < bones.size(); ++i) {
            const KvQuat expected = rotations[size_t(i)][size_t(f)];
            const KvQuat actual = bones[i]->getLocalRot(t);
            if (!kvtest::sameRotation(actual, expected, 1e-3 * radPerDeg)) {
                wrong += QStringLiteral("frame %1 %2: %3 degrees off, %4 for %5")
                             .arg(f).arg(bones[i]->getName())
                             .arg(actual.angleTo(expected) / radPerDeg)
                             .arg(kvtest::toString(actual), kvtest::toString(expected));
            }
        }
        const KvVec3 expected = rootPath[size_t(f)] - KvVec3(0, rootPath[0].y, 0);
        const KvVec3 actual = root->getLocalPos(t);
        if (!kvtest::near(actual, expected, 1e-4)) {
            wrong += QStringLiteral("frame %1 root at %2, not %3")
                         .arg(f).arg(kvtest::toString(actual), kvtest::toString(expected));
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1 wrong, first: ").arg(wrong.size())
                                         + wrong.mid(0, 4).join(QStringLiteral("; "))));
}

QTEST_MAIN(tst_RoundTrip)
#include "tst_roundtrip.moc"
