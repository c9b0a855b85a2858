#include "motionfixture.h"

#include "kvproperty.h"

#include <QtTest>

#include <limits>
#include <memory>

using namespace motiontest;

class tst_Timing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { host = std::make_unique<Host>(); }
    void cleanup() { host.reset(); }
    void sceneTiming_data();
    void sceneTiming();
    void limits();
    void positionScale();

private:
    std::unique_ptr<Host> host;
};

void tst_Timing::sceneTiming_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<int>("startFrame");    // of the animation range, at 160 ticks a frame; it ends at frame 30
    QTest::addColumn<int>("currentFrame");
    QTest::addColumn<float>("frameTime");
    QTest::addColumn<int>("lines");         // the file's frames
    QTest::addColumn<int>("step");          // expected
    QTest::addColumn<int>("end");           // of the range, ticks
    QTest::addColumn<int>("applied");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("30-fps-kept") << true << 0 << 0 << 0.0333333f << 10 << 160 << 4800 << 10;
    // Counted in the file's frames: 100 frames of 40 ticks after frame 10.
    QTest::newRow("new-step-longer") << true << 0 << 10 << 0.008333f << 100 << 40 << 140 * 40 << 100;
    // Frames 20 to 29 fill the range exactly: neither range changes.
    QTest::newRow("exactly-fills") << true << 20 << 20 << 0.0333333f << 10 << 160 << 4800 << 10;
    QTest::newRow("nan-time") << true << 0 << 0 << nan << 10 << 160 << 4800 << 10;
    // Off: the range's frames from the current one on, both ends included.
    QTest::newRow("option-off") << false << 0 << 0 << 0.008333f << 100 << 160 << 4800 << 30;
    QTest::newRow("option-off-late") << false << 0 << 20 << 0.008333f << 100 << 160 << 4800 << 11;
}

// The scene takes the file's frame time and length, or caps the file at the
// range when the option is off. Each applied line keys one frame later;
// keys from the current time to the range's end, both included, go; earlier
// ones stay.
void tst_Timing::sceneTiming()
{
    QFETCH(bool, option);
    QFETCH(int, startFrame);
    QFETCH(int, currentFrame);
    QFETCH(float, frameTime);
    QFETCH(int, lines);
    QFETCH(int, step);
    QFETCH(int, end);
    QFETCH(int, applied);

    frameOption = option;
    KvSkeleton *skeleton = addFigure({"hip"});
    CBvhIn in;
    readAndMap(in, hierarchy({"hip"}), skeleton);
    kvScene->setAnimRange(KvTimeRange(startFrame * 160, 30 * 160));
    const int t0 = currentFrame * 160;
    kvScene->setTime(t0);
    KvFloatProperty *x = skeleton->findBone(QStringLiteral("hip"))->getXPosControl();
    x->setKey(t0 - 80, 5);
    x->setKey(30 * 160, 5);
    in.numFrames = lines;
    in.frameTime = frameTime;
    in.clearExistingAnimation();
    in.prepareMotion();
    QCOMPARE(kvScene->getTimeStep(), step);
    const KvTimeRange range(startFrame * 160, end);
    QCOMPARE(kvScene->getAnimRange(), range);
    QCOMPARE(kvScene->getPlayRange(), end == 30 * 160 ? KvTimeRange(0, 4800) : range);
    QCOMPARE(in.numFrames, option ? lines : 30 - startFrame);

    in.alignRestPose();
    for (int line = 0; line < lines; ++line)
        in.applyFrameLine(QByteArray::number(line) + " 0 0 0 0 0");
    QCOMPARE(x->getNumKeys(), applied + 1);
    QCOMPARE(x->getKeyTime(0), t0 - 80);
    for (int k = 0; k < applied; ++k) {
        QCOMPARE(x->getKeyTime(k + 1), t0 + k * step);
        QCOMPARE(x->getKeyValue(k + 1), double(k));
    }
}

// The driven controls hold their limits during the import exactly when the
// option is on; the rotation controls get their flag back afterwards,
// position and scale controls keep the import's, undriven ones their own.
void tst_Timing::limits()
{
    for (const auto &[option, clampedBefore] : {std::pair(true, false), std::pair(false, true)}) {
        limitsOption = option;
        KvSkeleton *skeleton = addFigure({"hip@0 0 0", "chest<hip@0 1 0"});
        KvNode *chest = skeleton->findBone(QStringLiteral("chest"));
        for (int c = 0; c < 9; ++c) {
            chest->getControl(c)->setLimits(-10, 10);
            chest->getControl(c)->setIsClamped(clampedBefore);
        }
        CBvhIn in;
        readAndMap(in, hierarchy({"hip@0 0 0", "chest<hip@0 1 0"}), skeleton);
        in.numFrames = 1;
        in.prepareMotion();
        in.alignRestPose();
        in.applyFrameLine("0 0 0 0 0 0 0 20 0");
        QCOMPARE(chest->getXRotControl()->getValue(0), option ? 10.0f : 20.0f);
        in.restoreRotationLimits();
        for (int c = 3; c < 6; ++c)
            QCOMPARE(chest->getControl(c)->isClamped(), clampedBefore);
        QCOMPARE(chest->getXPosControl()->isClamped(), clampedBefore);
        QCOMPARE(skeleton->findBone(QStringLiteral("hip"))->getXPosControl()->isClamped(), option);
        bvhState().clearLists();
    }
}

// The figure's leg is 34 long; the file's 17 between the rest positions (not
// along offsets) of the joints that key the bones, not of a hip joint before
// the thigh. A file leg of no length leaves the scale as it was.
void tst_Timing::positionScale()
{
    KvSkeleton *skeleton = addFigure({"hip@0 40 0", "lThigh<hip@2 38 0", "lShin<lThigh@2 20 0", "lFoot<lShin@2 4 0",
                                      "lToe<lFoot@2 0 3"});
    const auto scaleFor = [skeleton](const QStringList &joints, const QStringList &map) {
        CBvhIn in;
        in.positionScale = 0.5f;
        readAndMap(in, hierarchy(joints), skeleton, map);
        in.computePositionScale();
        return in.positionScale;
    };
    QCOMPARE(scaleFor({"hip@0 0 0", "hipjoint<hip@1 0 0", "lThigh<hipjoint@3 -3 0", "lShin<lThigh@0 -9 0", "lFoot<lShin@0 -8 0"},
                      {"hipjoint=lThigh"}),
             2.0f);
    QCOMPARE(scaleFor({"hip@0 0 0", "lThigh<hip@1 -1 0", "lShin<lThigh@0 0 0", "lFoot<lShin@0 0 0"}, {}), 0.5f);
}

QTEST_GUILESS_MAIN(tst_Timing)
#include "tst_timing.moc"
