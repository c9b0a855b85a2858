#include "motionfixture.h"

#include "testsupport.h"

#include <QtTest>

#include <memory>

using namespace motiontest;

class tst_RestPose : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { host = std::make_unique<Host>(); }
    void cleanup() { host.reset(); }
    void detectArmAxis_data();
    void detectArmAxis();
    void alignRestPose_data();
    void alignRestPose();

private:
    std::unique_ptr<Host> host;
};

void tst_RestPose::detectArmAxis_data()
{
    QTest::addColumn<QString>("mappedTo");   // label of the bone the shoulder joint drives
    QTest::addColumn<QString>("file");       // the joint's rest position
    QTest::addColumn<QString>("figure");     // the bone's origin, the first bone at 0 2 0
    QTest::addColumn<bool>("alongX");
    QTest::addColumn<float>("turn");

    const float quarterTurn = float(M_PI / 2);
    QTest::newRow("along-x")          << "rShldr" << "-7 0 1" << "-7 2 0" << true << 0.0f;
    QTest::newRow("along-minus-z")    << "rShldr" << "1 0 -7" << "-7 2 0" << false << quarterTurn;
    QTest::newRow("along-plus-z")     << "rShldr" << "1 0 7" << "-7 2 0" << false << -quarterTurn;
    // Only the difference to the figure's own facing turns it.
    QTest::newRow("figure-along-z")   << "RightShoulder" << "-7 0 1" << "0.5 9 -3" << true << -quarterTurn;
    QTest::newRow("no-shoulder-kept") << "rCollar" << "1 0 -7" << "-7 2 0" << true << 0.25f;
}

void tst_RestPose::detectArmAxis()
{
    QFETCH(QString, mappedTo);
    QFETCH(QString, file);
    QFETCH(QString, figure);
    QFETCH(bool, alongX);
    QFETCH(float, turn);

    KvSkeleton *skeleton = addFigure({"hip@0 2 0", mappedTo + "<hip@" + figure});
    CBvhIn in;
    in.armsAlongX = true;
    in.hipTurnAngle = 0.25f;
    // An earlier joint mapped alike: the last one decides.
    readAndMap(in, hierarchy({"hip", "decoy<hip@9 0 0", "shoulder<hip@" + file}), skeleton,
               {"decoy=" + mappedTo, "shoulder=" + mappedTo});
    in.detectArmAxis();
    QCOMPARE(in.armsAlongX, alongX);
    QCOMPARE(in.hipTurnAngle, turn);
}

void tst_RestPose::alignRestPose_data()
{
    QTest::addColumn<QStringList>("hand");  // joints below the file's lHand; none: an End Site
    QTest::addColumn<QString>("handTo");    // the hand's aligned direction; "-": left as it was

    // The best fit of the fingers both have, exact for a hand turned a quarter.
    QTest::newRow("fingers") << QStringList{"lMid1<lHand@0 -2 0", "lThumb1<lHand@0 -1 1"} << "0 -1 0";
    QTest::newRow("end-site") << QStringList{} << "0 1 0";
    QTest::newRow("zero-length") << QStringList{"stub<lHand@0 0 0"} << "-";
}

// A T-pose figure and a file whose arm hangs down with a bent leg: limbs turn
// onto the file's directions (each by its own joint), and every mapped joint
// keeps the final rest rotations of its bone.
void tst_RestPose::alignRestPose()
{
    QFETCH(QStringList, hand);
    QFETCH(QString, handTo);

    KvSkeleton *skeleton = addFigure({"hip@0 0 0", "lCollar<hip@0 10 0", "lShldr<lCollar@2 10 0", "lForeArm<lShldr@6 10 0",
                                      "lHand<lForeArm@9 10 0", "lThumb1<lHand@10 10 1", "lIndex1<lHand@11 10 0.5",
                                      "lMid1<lHand@11 10 0", "lRing1<lHand@11 10 -0.5", "lPinky1<lHand@10.5 10 -1",
                                      "lThigh<hip@1 -1 0", "lShin<lThigh@1 -10 0", "lFoot<lShin@1 -19 0"});
    CBvhIn in;
    readAndMap(in, hierarchy(QStringList{"hip@0 0 0", "lCollar<hip@0 10 0", "lShldr<lCollar@2 0 0", "lForeArm<lShldr@0 -4 0",
                                         "lHand<lForeArm@0 -3 0", "lThigh<hip@1 -1 0", "lShin<lThigh@0 -9 0",
                                         "lFoot<lShin@0 -6 6"} + hand), skeleton);
    in.alignRestPose();

    const auto direction = [skeleton](const char *bone, const char *child) {
        return toVec(skeleton->findBone(QString::fromLatin1(child))->getWSPos()
                     - skeleton->findBone(QString::fromLatin1(bone))->getWSPos());
    };
    QVERIFY(angleDeg(direction("lShldr", "lForeArm"), {0, -1, 0}) < 1e-3);
    QVERIFY(angleDeg(direction("lForeArm", "lHand"), {0, -1, 0}) < 1e-3);
    QVERIFY(angleDeg(direction("lShin", "lFoot"), {0, -6, 6}) < 1e-3);
    if (handTo == QLatin1String("-"))
        QVERIFY(kvtest::sameRotation(skeleton->findBone(QStringLiteral("lHand"))->getLocalRot(), KvQuat(), 1e-9));
    else
        QVERIFY(angleDeg(direction("lHand", "lMid1"), toVec(vec(handTo))) < 1e-3);
    if (!hand.isEmpty() && hand.last().startsWith(QLatin1String("lThumb1")))
        QVERIFY(angleDeg(direction("lHand", "lThumb1"), {0, -1, 1}) < 1e-3);

    // Rest rotations as the bones finally stand, on every record of the joint.
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->mappedNode)
            QVERIFY2(kvtest::sameRotation(r->restWorldRotation, r->mappedNode->getWSRot(), 1e-9)
                         && kvtest::sameRotation(r->restLocalRotation, r->mappedNode->getLocalRot(), 1e-9),
                     qPrintable(r->name));
    }
    QVERIFY(!kvtest::sameRotation(skeleton->findBone(QStringLiteral("lFoot"))->getWSRot(), KvQuat(), 0.1));
}

QTEST_GUILESS_MAIN(tst_RestPose)
#include "tst_restpose.moc"
