#include "motionfixture.h"

#include "kvappsettingsmgr.h"
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
    void limits_data();
    void limits();
    void positionScale_data();
    void positionScale();
    void storedOptions();

private:
    std::unique_ptr<Host> host;
};

void tst_Timing::sceneTiming_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<int>("startFrame");    // of the animation range, at 160 ticks a frame
    QTest::addColumn<int>("endFrame");
    QTest::addColumn<int>("currentFrame");
    QTest::addColumn<float>("frameTime");
    QTest::addColumn<int>("lines");         // the file's frames
    QTest::addColumn<int>("step");          // expected
    QTest::addColumn<int>("end");           // of the range, ticks
    QTest::addColumn<int>("frames");        // lines to apply at most
    QTest::addColumn<int>("applied");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("30-fps-kept") << true << 0 << 30 << 0 << 0.0333333f << 10 << 160 << 4800 << 10 << 10;
    QTest::newRow("120-fps") << true << 0 << 30 << 0 << 0.008333f << 10 << 40 << 4800 << 10 << 10;
    QTest::newRow("lengthened") << true << 0 << 30 << 10 << 0.0333333f << 100 << 160 << 110 * 160 << 100 << 100;
    // Counted in the file's frames: 100 frames of 40 ticks after frame 10.
    QTest::newRow("new-step-longer") << true << 0 << 30 << 10 << 0.008333f << 100 << 40 << 140 * 40 << 100 << 100;
    QTest::newRow("late-start") << true << 20 << 30 << 25 << 0.0333333f << 100 << 160 << 125 * 160 << 100 << 100;
    // Frames 20 to 29 fill the range exactly: neither range changes.
    QTest::newRow("exactly-fills") << true << 20 << 30 << 20 << 0.0333333f << 10 << 160 << 4800 << 10 << 10;
    QTest::newRow("nan-time") << true << 0 << 30 << 0 << nan << 10 << 160 << 4800 << 10 << 10;
    QTest::newRow("below-a-tick") << true << 0 << 30 << 0 << 0.0001f << 10 << 160 << 4800 << 10 << 10;
    // Frames 0 to 30 of the range, both ends included, take lines.
    QTest::newRow("option-off") << false << 0 << 30 << 0 << 0.008333f << 100 << 160 << 4800 << 30 << 30;
    QTest::newRow("option-off-late") << false << 0 << 30 << 20 << 0.008333f << 100 << 160 << 4800 << 30 << 11;
    QTest::newRow("option-off-outside") << false << 0 << 30 << 40 << 0.008333f << 100 << 160 << 4800 << 30 << 0;
}

// The scene takes the file's frame time and length, or caps the file at the
// range when the option is off. Each applied line keys one frame later;
// keys from the current time on go, earlier ones stay.
void tst_Timing::sceneTiming()
{
    QFETCH(bool, option);
    QFETCH(int, startFrame);
    QFETCH(int, endFrame);
    QFETCH(int, currentFrame);
    QFETCH(float, frameTime);
    QFETCH(int, lines);
    QFETCH(int, step);
    QFETCH(int, end);
    QFETCH(int, frames);
    QFETCH(int, applied);

    frameOption = option;
    KvSkeleton *skeleton = addFigure({"hip"});
    CBvhIn in;
    readAndMap(in, hierarchy({"hip"}), skeleton);
    kvScene->setAnimRange(KvTimeRange(startFrame * 160, endFrame * 160));
    const int t0 = currentFrame * 160;
    kvScene->setTime(t0);
    KvFloatProperty *x = skeleton->findBone(QStringLiteral("hip"))->getXPosControl();
    x->setKey(-160, 5);
    x->setKey(t0 - 80, 5);
    x->setKey(t0 + 80, 5);
    in.numFrames = lines;
    in.frameTime = frameTime;
    in.clearExistingAnimation();
    in.prepareMotion();
    QCOMPARE(in.savedSceneTime, t0);
    QCOMPARE(kvScene->getTimeStep(), step);
    const KvTimeRange range(startFrame * 160, end);
    QCOMPARE(kvScene->getAnimRange(), range);
    QCOMPARE(kvScene->getPlayRange(), end == endFrame * 160 ? KvTimeRange(0, 4800) : range);
    QCOMPARE(in.numFrames, frames);

    in.alignRestPose();
    for (int line = 0; line < lines; ++line)
        in.applyFrameLine(QByteArray::number(line) + " 0 0 0 0 0");
    QCOMPARE(in.framesApplied, applied);
    QCOMPARE(kvScene->getTime(), t0 + applied * step);
    QCOMPARE(x->getNumKeys(), applied + (t0 > end ? 3 : 2));
    QCOMPARE(x->getKeyTime(1), t0 - 80);
    for (int k = 0; k < applied; ++k) {
        QCOMPARE(x->getKeyTime(k + 2), t0 + k * step);
        QCOMPARE(x->getKeyValue(k + 2), double(k));
    }
}

void tst_Timing::limits_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<bool>("clampedBefore");

    QTest::newRow("off-unclamped") << false << false;
    QTest::newRow("on-unclamped")  << true << false;
    QTest::newRow("on-clamped")    << true << true;
    QTest::newRow("off-clamped")   << false << true;
}

// The driven controls hold their limits during the import exactly when the
// option is on; the rotation controls get their flag back afterwards.
void tst_Timing::limits()
{
    QFETCH(bool, option);
    QFETCH(bool, clampedBefore);

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
    // Position and scale controls keep the import's flag; undriven ones their own.
    QCOMPARE(chest->getXPosControl()->isClamped(), clampedBefore);
    QCOMPARE(skeleton->findBone(QStringLiteral("hip"))->getXPosControl()->isClamped(), option);
}

void tst_Timing::positionScale_data()
{
    QTest::addColumn<QStringList>("figure");
    QTest::addColumn<QStringList>("joints");
    QTest::addColumn<QStringList>("map");
    QTest::addColumn<float>("scale");       // expected; the importer starts at 0.5

    const QStringList leg{"hip@0 40 0", "lThigh<hip@2 38 0", "lShin<lThigh@2 20 0", "lFoot<lShin@2 4 0", "lToe<lFoot@2 0 3"};
    const QStringList file{"hip@0 0 0", "lThigh<hip@4 -3 0", "lShin<lThigh@0 -9 0", "lFoot<lShin@0 -8 0"};
    // 34 / 17 between the joints' rest positions (not their offsets).
    QTest::newRow("half-size-file") << leg << file << QStringList{} << 2.0f;
    QTest::newRow("figure-from-file")
        << QStringList{"hip@0 0 0", "lThigh<hip@4 -3 0", "lShin<lThigh@4 -12 0", "lFoot<lShin@4 -20 0"} << file
        << QStringList{} << 1.0f;
    // Between the joints that key the bones, not along an offset.
    QTest::newRow("joint-between") << leg << QStringList{"hip@0 0 0", "lThigh<hip@4 -3 0", "knee<lThigh@0 -4 0",
                                                         "lShin<knee@0 -5 0", "lFoot<lShin@0 -8 0"} << QStringList{} << 2.0f;
    // The joint that keys the thigh measures it, not a hip joint before it.
    QTest::newRow("keying-joint") << leg << QStringList{"hip@0 0 0", "hipjoint<hip@1 0 0", "lThigh<hipjoint@3 -3 0",
                                                        "lShin<lThigh@0 -9 0", "lFoot<lShin@0 -8 0"}
                                  << QStringList{"hipjoint=lThigh"} << 2.0f;
    QTest::newRow("zero-file-leg") << leg << QStringList{"hip@0 0 0", "lThigh<hip@1 -1 0", "lShin<lThigh@0 0 0",
                                                         "lFoot<lShin@0 0 0"} << QStringList{} << 0.5f;
    QTest::newRow("unmapped-foot") << leg << file << QStringList{"lFoot="} << 0.5f;
}

void tst_Timing::positionScale()
{
    QFETCH(QStringList, figure);
    QFETCH(QStringList, joints);
    QFETCH(QStringList, map);
    QFETCH(float, scale);

    KvSkeleton *skeleton = addFigure(figure);
    CBvhIn in;
    in.positionScale = 0.5f;
    readAndMap(in, hierarchy(joints), skeleton, map);
    in.computePositionScale();
    QVERIFY2(std::abs(in.positionScale - scale) < 1e-6f, qPrintable(QString::number(in.positionScale)));
}

// Only the options stored under their keys change.
void tst_Timing::storedOptions()
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    settings->setBoolValue(QStringLiteral("Limits Opt"), true);
    settings->setBoolValue(QStringLiteral("Other"), false);
    settings->popPath();
    CBvhIn::loadImportOptions();
    QVERIFY(frameOption && !inPlaceOption && limitsOption);
    settings->pushPath(QStringLiteral("BVHIO"));
    settings->setBoolValue(QStringLiteral("Frame Opt"), false);
    settings->setBoolValue(QStringLiteral("InPlace Opt"), true);
    settings->popPath();
    CBvhIn::loadImportOptions();
    QVERIFY(!frameOption && inPlaceOption && limitsOption);
}

QTEST_GUILESS_MAIN(tst_Timing)
#include "tst_timing.moc"
