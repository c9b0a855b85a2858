#include "motionfixture.h"

#include "kvapp.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace motiontest;

namespace {

constexpr float quarterTurn = 1.5707961320877075f;

} // namespace

class tst_RestPose : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void detectArmAxis_data();
    void detectArmAxis();
    void middleChildBone_data();
    void middleChildBone();
    void alignRestPose_data();
    void alignRestPose();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
};

void tst_RestPose::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
}

void tst_RestPose::cleanup()
{
    bvhState().clearLists();
    app.reset();
    dir.reset();
}

void tst_RestPose::detectArmAxis_data()
{
    QTest::addColumn<QString>("mappedTo");   // label of the bone the shoulder joint drives
    QTest::addColumn<QString>("file");       // the joint's rest position
    QTest::addColumn<QString>("figure");     // the bone's origin, the first bone at 0 2 0
    QTest::addColumn<bool>("alongX");
    QTest::addColumn<float>("turn");

    QTest::newRow("along-x")        << "rShldr" << "-7 0 1" << "-7 2 0" << true << 0.0f;
    QTest::newRow("along-minus-z")  << "rShldr" << "1 0 -7" << "-7 2 0" << false << quarterTurn;
    QTest::newRow("along-plus-z")   << "rShldr" << "1 0 7" << "-7 2 0" << false << -quarterTurn;
    QTest::newRow("diagonal")       << "rShldr" << "-5 0 5" << "-7 2 0" << false << -quarterTurn;
    // Only the difference to the figure's own facing turns it.
    QTest::newRow("both-along-z")   << "RightShoulder" << "1 0 -7" << "0 2 -3" << false << 0.0f;
    QTest::newRow("figure-along-z") << "RightShoulder" << "-7 0 1" << "0.5 9 -3" << true << -quarterTurn;
    QTest::newRow("figure-opposite") << "rShldr" << "1 0 7" << "1 2 -7" << false << -2 * quarterTurn;
    // Without a right shoulder both stay as they were.
    QTest::newRow("no-shoulder")    << "rCollar" << "1 0 -7" << "-7 2 0" << true << 0.25f;
}

void tst_RestPose::detectArmAxis()
{
    QFETCH(QString, mappedTo);
    QFETCH(QString, file);
    QFETCH(QString, figure);
    QFETCH(bool, alongX);
    QFETCH(float, turn);

    KvSkeleton *skeleton = addFigure({"hip@0 2 0", "decoy<hip@0 0 -9", mappedTo + "<hip@" + figure});
    CBvhIn in;
    in.armsAlongX = true;
    in.hipTurnAngle = 0.25f;
    // An earlier joint mapped alike: the last one decides.
    for (const QString &bone : {QStringLiteral("decoy"), mappedTo}) {
        CBvhHeader *joint = bvhState().jointList.append(std::make_unique<CBvhHeader>());
        joint->type = Joint;
        joint->mappedNode = skeleton->findBone(bone);
        joint->mappedName = mappedTo;
        joint->restPosition = vec(bone == mappedTo ? file : QStringLiteral("9 0 0"));
    }
    in.detectArmAxis();
    QCOMPARE(in.armsAlongX, alongX);
    QCOMPARE(in.hipTurnAngle, turn);
}

void tst_RestPose::middleChildBone_data()
{
    QTest::addColumn<QString>("children");  // b: a bone, p: a plain node
    QTest::addColumn<int>("expected");      // child index, -1: none

    QTest::newRow("none")  << "" << -1;
    QTest::newRow("one")   << "b" << 0;
    QTest::newRow("two")   << "bb" << 1;
    QTest::newRow("three") << "bbb" << 1;
    QTest::newRow("five")  << "bbbbb" << 2;
    QTest::newRow("props-only")  << "pp" << -1;
    QTest::newRow("props-first") << "ppbb" << 1;
}

void tst_RestPose::middleChildBone()
{
    QFETCH(QString, children);
    QFETCH(int, expected);

    KvBone parent(QStringLiteral("hand"));
    for (const QChar c : children)
        parent.addChild(c == QLatin1Char('b') ? new KvBone : new KvNode);
    QCOMPARE(CBvhIn::middleChildBone(&parent), parent.getNodeChild(expected));
}

void tst_RestPose::alignRestPose_data()
{
    QTest::addColumn<QByteArray>("hand");   // what the file's lHand holds
    QTest::addColumn<QString>("handTo");    // the hand's aligned direction; "-": left as it was

    const QByteArray mid = "JOINT lMid1\n{\nOFFSET 0 -2 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n"
                           "End Site\n{\nOFFSET 0 -1 0\n}\n}\n";
    const QByteArray thumb = "JOINT lThumb1\n{\nOFFSET 1 -1 1\nCHANNELS 3 Zrotation Xrotation Yrotation\n"
                             "End Site\n{\nOFFSET 0 -1 0\n}\n}\n";
    // Toward the joint of the middle finger, not the last finger of the file.
    QTest::newRow("fingers") << mid + thumb << "0 -1 0";
    QTest::newRow("end-site") << QByteArray("End Site\n{\nOFFSET 0 -2 1\n}\n") << "0 -2 1";
    QTest::newRow("no-end") << QByteArray() << "-";
    QTest::newRow("zero-length") << QByteArray("End Site\n{\nOFFSET 0 0 0\n}\n") << "-";
}

// A T-pose figure and a file whose arm hangs down with a bent leg: limbs turn
// onto the file's directions (each by its own joint), and every mapped joint
// keeps the final rest rotations of its bone.
void tst_RestPose::alignRestPose()
{
    QFETCH(QByteArray, hand);
    QFETCH(QString, handTo);

    //   hip ─ lCollar ─ lShldr ─ lForeArm ─ lHand ─ lThumb1 lIndex1 lMid1 lRing1 lPinky1
    //     └─ lThigh ─ lShin ─ lFoot
    KvSkeleton *skeleton = addFigure({"hip@0 0 0", "lCollar<hip@0 10 0", "lShldr<lCollar@2 10 0", "lForeArm<lShldr@6 10 0",
                                   "lHand<lForeArm@9 10 0", "lThumb1<lHand@10 10 1", "lIndex1<lHand@11 10 0.5",
                                   "lMid1<lHand@11 10 0", "lRing1<lHand@11 10 -0.5", "lPinky1<lHand@10.5 10 -1",
                                   "lThigh<hip@1 -1 0", "lShin<lThigh@1 -10 0", "lFoot<lShin@1 -19 0"});
    const QByteArray channels = "CHANNELS 3 Zrotation Xrotation Yrotation\n";
    const QByteArray text =
        "HIERARCHY\nROOT hip\n{\nOFFSET 0 0 0\n" + channels
        + "JOINT lCollar\n{\nOFFSET 0 10 0\n" + channels + "JOINT lShldr\n{\nOFFSET 2 0 0\n" + channels
        + "JOINT lForeArm\n{\nOFFSET 0 -4 0\n" + channels + "JOINT lHand\n{\nOFFSET 0 -3 0\n" + channels + hand
        + "}\n}\n}\n}\nJOINT lThigh\n{\nOFFSET 1 -1 0\n" + channels + "JOINT lShin\n{\nOFFSET 0 -9 0\n" + channels
        + "JOINT lFoot\n{\nOFFSET 0 -6 6\n" + channels + "End Site\n{\nOFFSET 0 0 2\n}\n}\n}\n}\n}\nMOTION\n";
    CBvhIn in;
    readAndMap(in, text, skeleton);
    in.alignRestPose();

    const auto direction = [skeleton](const char *bone, const char *child) {
        return toVec(skeleton->findBone(QString::fromLatin1(child))->getWSPos()
                     - skeleton->findBone(QString::fromLatin1(bone))->getWSPos());
    };
    QVERIFY(angleDeg(direction("lShldr", "lForeArm"), {0, -1, 0}) < 1e-3);
    QVERIFY(angleDeg(direction("lForeArm", "lHand"), {0, -1, 0}) < 1e-3);
    QVERIFY(angleDeg(direction("lShin", "lFoot"), {0, -6, 6}) < 1e-3);
    KvNode *lHand = skeleton->findBone(QStringLiteral("lHand"));
    if (handTo == QLatin1String("-"))
        QVERIFY(kvtest::sameRotation(lHand->getLocalRot(), KvQuat(), 1e-9));
    else
        QVERIFY(angleDeg(direction("lHand", "lMid1"), toVec(vec(handTo))) < 1e-3);

    // Rest rotations as the bones finally stand, also below turned limbs, on
    // every record of the joint.
    for (const CBvhHeader *r : bvhState().jointList) {
        if (!r->mappedNode)
            continue;
        QVERIFY2(kvtest::sameRotation(r->restWorldRotation, r->mappedNode->getWSRot(), 1e-9), qPrintable(r->name));
        QVERIFY2(kvtest::sameRotation(r->restLocalRotation, r->mappedNode->getLocalRot(), 1e-9), qPrintable(r->name));
    }
    QVERIFY(!kvtest::sameRotation(skeleton->findBone(QStringLiteral("lFoot"))->getWSRot(), KvQuat(), 0.1));
}

QTEST_GUILESS_MAIN(tst_RestPose)
#include "tst_restpose.moc"
