#include "motionfixture.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvproperty.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace motiontest;

class tst_Timing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void sceneTiming_data();
    void sceneTiming();
    void linesApplied_data();
    void linesApplied();
    void limits_data();
    void limits();
    void positionScale_data();
    void positionScale();
    void storedOptions_data();
    void storedOptions();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
};

void tst_Timing::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    frameOption = true;
    inPlaceOption = false;
    limitsOption = false;
}

void tst_Timing::cleanup()
{
    bvhState().clearLists();
    app.reset();
    dir.reset();
}

void tst_Timing::sceneTiming_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<int>("startFrame");    // of the animation range, at 160 ticks a frame
    QTest::addColumn<int>("endFrame");
    QTest::addColumn<int>("currentFrame");
    QTest::addColumn<float>("frameTime");
    QTest::addColumn<int>("fileFrames");
    QTest::addColumn<int>("step");          // expected
    QTest::addColumn<int>("start");         // expected range, ticks
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("frames");        // lines to apply at most

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("30-fps-kept")   << true << 0 << 30 << 0 << 0.0333333f << 10 << 160 << 0 << 4800 << 10;
    QTest::newRow("120-fps")       << true << 0 << 30 << 0 << 0.008333f << 10 << 40 << 0 << 4800 << 10;
    QTest::newRow("lengthened")    << true << 0 << 30 << 10 << 0.0333333f << 100 << 160 << 0 << 110 * 160 << 100;
    QTest::newRow("long-enough")   << true << 0 << 200 << 10 << 0.0333333f << 100 << 160 << 0 << 200 * 160 << 100;
    // Counted in the file's frames: 100 frames of 40 ticks fit into 4800.
    QTest::newRow("new-step-fits") << true << 0 << 30 << 0 << 0.008333f << 100 << 40 << 0 << 4800 << 100;
    QTest::newRow("new-step-longer") << true << 0 << 30 << 10 << 0.008333f << 100 << 40 << 0 << 140 * 40 << 100;
    QTest::newRow("late-start")    << true << 20 << 30 << 25 << 0.0333333f << 100 << 160 << 3200 << 125 * 160 << 100;
    QTest::newRow("zero-time")     << true << 0 << 30 << 0 << 0.0f << 10 << 160 << 0 << 4800 << 10;
    QTest::newRow("negative-time") << true << 0 << 30 << 0 << -0.03f << 10 << 160 << 0 << 4800 << 10;
    QTest::newRow("nan-time")      << true << 0 << 30 << 0 << nan << 10 << 160 << 0 << 4800 << 10;
    QTest::newRow("infinite-time") << true << 0 << 30 << 0 << inf << 10 << 160 << 0 << 4800 << 10;
    QTest::newRow("below-a-tick")  << true << 0 << 30 << 0 << 0.0001f << 10 << 160 << 0 << 4800 << 10;
    QTest::newRow("option-off")    << false << 0 << 30 << 10 << 0.008333f << 100 << 160 << 0 << 4800 << 30;
}

// The scene takes the file's frame time and length, or caps the file at the
// range when the option is off.
void tst_Timing::sceneTiming()
{
    QFETCH(bool, option);
    QFETCH(int, startFrame);
    QFETCH(int, endFrame);
    QFETCH(int, currentFrame);
    QFETCH(float, frameTime);
    QFETCH(int, fileFrames);
    QFETCH(int, step);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, frames);

    frameOption = option;
    kvScene->setAnimRange(KvTimeRange(startFrame * 160, endFrame * 160));
    kvScene->setTime(currentFrame * 160);
    CBvhIn in;
    in.numFrames = fileFrames;
    in.frameTime = frameTime;
    in.prepareMotion();
    QCOMPARE(in.savedSceneTime, currentFrame * 160);
    QCOMPARE(kvScene->getTimeStep(), step);
    QCOMPARE(kvScene->getAnimRange(), KvTimeRange(start, end));
    QCOMPARE(kvScene->getPlayRange(), start == startFrame * 160 && end == endFrame * 160 ? KvTimeRange(0, 4800)
                                                                                          : KvTimeRange(start, end));
    QCOMPARE(in.numFrames, frames);
}

void tst_Timing::linesApplied_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<int>("currentFrame");
    QTest::addColumn<int>("applied");

    // 100 lines into a range of frames 0 to 30, both ends included.
    QTest::newRow("option-on")          << true << 0 << 100;
    QTest::newRow("option-off")         << false << 0 << 30;
    QTest::newRow("option-off-late")    << false << 20 << 11;
    QTest::newRow("option-off-outside") << false << 40 << 0;
}

// Each applied line keys one frame later; lines past the range or the count
// change nothing.
void tst_Timing::linesApplied()
{
    QFETCH(bool, option);
    QFETCH(int, currentFrame);
    QFETCH(int, applied);

    frameOption = option;
    KvSkeleton *skeleton = addFigure({"hip@0 0 0"});
    CBvhIn in;
    readAndMap(in, hierarchy({"hip@0 0 0"}), skeleton);
    kvScene->setTime(currentFrame * 160);
    // Keys from the current time to the range's end go; earlier ones stay.
    KvFloatProperty *x = skeleton->findBone(QStringLiteral("hip"))->getXPosControl();
    x->setKey(-160, 5);
    x->setKey(currentFrame * 160 + 80, 5);
    const int kept = currentFrame * 160 > 4800 ? 2 : 1;
    in.numFrames = 100;
    in.frameTime = 1 / 30.0f;
    in.clearExistingAnimation();
    in.prepareMotion();
    in.alignRestPose();
    for (int line = 0; line < 100; ++line)
        in.applyFrameLine(QByteArray::number(line) + " 0 0 0 0 0");
    QCOMPARE(in.framesApplied, applied);
    QCOMPARE(kvScene->getTime(), (currentFrame + applied) * 160);
    QCOMPARE(x->getNumKeys(), applied + kept);
    QCOMPARE(x->getKeyTime(0), -160);
    for (int k = 0; k < applied; ++k) {
        QCOMPARE(x->getKeyTime(k + 1), (currentFrame + k) * 160);
        QCOMPARE(x->getKeyValue(k + 1), double(k));
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
    for (int c = 3; c < 6; ++c)
        QCOMPARE(chest->getControl(c)->isClamped(), option);
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
    // 34 / 17 between the joints' rest positions (not between their offsets).
    QTest::newRow("half-size-file") << leg << file << QStringList{} << 2.0f;
    QTest::newRow("bent-file-leg") << leg << QStringList{"hip@0 0 0", "lThigh<hip@1 -1 0", "lShin<lThigh@0 -12 5",
                                                         "lFoot<lShin@0 -4 0"} << QStringList{} << 2.0f;
    // The joint that keys the thigh measures it, not a hip joint before it.
    QTest::newRow("keying-joint") << leg << QStringList{"hip@0 0 0", "hipjoint<hip@1 0 0", "lThigh<hipjoint@3 -3 0",
                                                        "lShin<lThigh@0 -9 0", "lFoot<lShin@0 -8 0"}
                                  << QStringList{"hipjoint=lThigh"} << 2.0f;
    QTest::newRow("zero-file-leg") << leg << QStringList{"hip@0 0 0", "lThigh<hip@1 -1 0", "lShin<lThigh@0 0 0",
                                                         "lFoot<lShin@0 0 0"} << QStringList{} << 0.5f;
    QTest::newRow("no-thigh-bone") << QStringList{"hip@0 40 0", "leftThigh<hip@2 38 0", "lShin<leftThigh@2 20 0",
                                                  "lFoot<lShin@2 4 0"} << file << QStringList{"lThigh=leftThigh"} << 0.5f;
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

void tst_Timing::storedOptions_data()
{
    QTest::addColumn<QStringList>("stored");   // "key=value" under BVHIO
    QTest::addColumn<QString>("expected");     // frame, in place, limits

    QTest::newRow("none-stored") << QStringList{} << "1 0 0";
    QTest::newRow("all-stored") << QStringList{"Frame Opt=false", "InPlace Opt=true", "Limits Opt=true"} << "0 1 1";
    QTest::newRow("some-stored") << QStringList{"Limits Opt=true", "Other=false"} << "1 0 1";
}

void tst_Timing::storedOptions()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, expected);

    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    for (const QString &entry : stored)
        settings->setBoolValue(entry.section(QLatin1Char('='), 0, 0), entry.endsWith(QLatin1String("true")));
    settings->popPath();
    CBvhIn::loadImportOptions();
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(frameOption).arg(inPlaceOption).arg(limitsOption), expected);
}

QTEST_GUILESS_MAIN(tst_Timing)
#include "tst_timing.moc"
