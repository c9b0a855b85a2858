#include "kvdefaultfigure.h"

#include "kvnode.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(KvVec3d)

namespace {

// Every bone as "name < parent", as the figure must have them.
QStringList expectedBones()
{
    QStringList bones = {"hip < ", "abdomen < hip", "chest < abdomen", "neck < chest", "head < neck",
                         "lEye < head", "rEye < head"};
    for (const QString &s : {QStringLiteral("l"), QStringLiteral("r")}) {
        bones += {s + "Collar < chest", s + "Shldr < " + s + "Collar", s + "ForeArm < " + s + "Shldr",
                  s + "Hand < " + s + "ForeArm", s + "Thigh < hip", s + "Shin < " + s + "Thigh",
                  s + "Foot < " + s + "Shin", s + "Toe < " + s + "Foot"};
        for (const char *finger : {"Thumb", "Index", "Mid", "Ring", "Pinky"}) {
            bones += {s + finger + "1 < " + s + "Hand", s + finger + "2 < " + s + finger + "1",
                      s + finger + "3 < " + s + finger + "2"};
        }
    }
    return bones;
}

const KvBoneDesc *findBone(const QString &name)
{
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones) {
        if (bone.name == name)
            return &bone;
    }
    return nullptr;
}

QString mirrored(const QString &name)
{
    if (name.startsWith(QLatin1Char('l')) && name.size() > 1 && name.at(1).isUpper())
        return QLatin1Char('r') + name.mid(1);
    return name;
}

KvVec3 mirrored(const KvVec3 &v)
{
    return {-v.x, v.y, v.z};
}

} // namespace

class tst_KvDefaultFigure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bonesAndParents();
    void mainJoints_data();
    void mainJoints();
    void mirrorImage_data();
    void mirrorImage();
    void perBone_data();
    void perBone();
    void standsOnGround();
};

void tst_KvDefaultFigure::bonesAndParents()
{
    QStringList expected = expectedBones();
    QStringList actual;
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones)
        actual += bone.name + " < " + bone.parent;
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);

    const std::unique_ptr<KvSkeleton> figure = KvDefaultFigure::build();
    QVERIFY(figure && figure->getNumNodeChildren() >= 1);
    QCOMPARE(figure->getNodeChild(0)->getName(), QStringLiteral("hip"));
    QList<KvBone *> bones;
    figure->getAllBones(bones);
    QCOMPARE(bones.size(), expected.size());
    for (const KvBone *bone : std::as_const(bones))
        QCOMPARE(bone->getLabel(), bone->getName());
}

void tst_KvDefaultFigure::mainJoints_data()
{
    // The reference T-pose: its OFFSETs give the joints, its frames the hip height.
    QTest::addColumn<QString>("name");
    QTest::addColumn<KvVec3d>("origin");
    QTest::addColumn<KvVec3d>("end");

    kvtest::TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvhFile(kvtest::dataFile(QStringLiteral("bvh/sl_tpose_qavimator.bvh")), bvh, &error),
             qPrintable(error));
    QCOMPARE(bvh.joints.size(), size_t(19));
    const int yColumn = int(bvh.joints[0].channels.indexOf(QStringLiteral("Yposition")));
    QVERIFY(yColumn >= 0 && !bvh.frames.empty());
    const double hipHeight = bvh.frames[0][size_t(yColumn)];
    QVERIFY(std::abs(hipHeight - 43.528519) < 1e-6);

    const KvVec3d up(0, hipHeight, 0);
    for (const KvBoneDesc &joint : kvtest::figureFromBvh(bvh, QString()).bones) {
        QTest::newRow(qPrintable(joint.name))
            << joint.name << KvVec3d(joint.origin) + up << KvVec3d(joint.endPoint) + up;
    }
}

void tst_KvDefaultFigure::mainJoints()
{
    QFETCH(QString, name);
    QFETCH(KvVec3d, origin);
    QFETCH(KvVec3d, end);
    const KvBoneDesc *bone = findBone(name);
    QVERIFY(bone);
    QVERIFY2(kvtest::near(KvVec3d(bone->origin), origin, 1e-4), qPrintable(kvtest::toString(bone->origin)));
    // A leaf of the reference ends where the figure's next bone starts: the
    // hand at the middle finger, the foot at the toe, the head at its top.
    QVERIFY2(kvtest::near(KvVec3d(bone->endPoint), end, 1e-4), qPrintable(kvtest::toString(bone->endPoint)));
}

void tst_KvDefaultFigure::mirrorImage_data()
{
    QTest::addColumn<QString>("left");
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones) {
        if (mirrored(bone.name) != bone.name)
            QTest::newRow(qPrintable(bone.name)) << bone.name;
    }
}

void tst_KvDefaultFigure::mirrorImage()
{
    QFETCH(QString, left);
    const KvBoneDesc *l = findBone(left);
    const KvBoneDesc *r = findBone(mirrored(left));
    QVERIFY(l && r);
    QVERIFY2(l->origin.x > 0 || l->endPoint.x > 0, "left is +X");
    QCOMPARE(r->parent, mirrored(l->parent));
    QCOMPARE(r->order, l->order);
    // The reference T-pose itself puts the right collar and elbow 0.137 further out.
    QVERIFY2(kvtest::near(r->origin, mirrored(l->origin), 0.15), qPrintable(kvtest::toString(r->origin)));
    QVERIFY2(kvtest::near(r->endPoint, mirrored(l->endPoint), 0.15), qPrintable(kvtest::toString(r->endPoint)));
    // Mirrored across x = 0, a turn about X keeps its sign, turns about Y and Z flip.
    QCOMPARE(bool(r->limits), bool(l->limits));
    if (l->limits) {
        QCOMPARE(r->limits->minDeg, KvVec3(l->limits->minDeg.x, -l->limits->maxDeg.y, -l->limits->maxDeg.z));
        QCOMPARE(r->limits->maxDeg, KvVec3(l->limits->maxDeg.x, -l->limits->minDeg.y, -l->limits->minDeg.z));
    }
}

void tst_KvDefaultFigure::perBone_data()
{
    QTest::addColumn<QString>("name");
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones)
        QTest::newRow(qPrintable(bone.name)) << bone.name;
}

void tst_KvDefaultFigure::perBone()
{
    QFETCH(QString, name);
    const KvBoneDesc *bone = findBone(name);
    QVERIFY(bone);
    const KvVec3 d = bone->endPoint - bone->origin;
    const float a[3] = {std::abs(d.x), std::abs(d.y), std::abs(d.z)};
    const int longest = a[0] >= a[1] && a[0] >= a[2] ? 0 : (a[1] >= a[2] ? 1 : 2);
    QVERIFY2(a[longest] > 0.3f, "a bone has length");
    QCOMPARE(bone->order.axis(0), longest);

    // The root turns freely; every joint can hold the rest pose.
    QCOMPARE(bool(bone->limits), name != QLatin1String("hip"));
    if (bone->limits) {
        const KvVec3 &lo = bone->limits->minDeg;
        const KvVec3 &hi = bone->limits->maxDeg;
        QVERIFY(lo.x <= 0 && lo.y <= 0 && lo.z <= 0);
        QVERIFY(hi.x >= 0 && hi.y >= 0 && hi.z >= 0);
        QVERIFY(lo.x >= -180 && lo.y >= -180 && lo.z >= -180 && hi.x <= 180 && hi.y <= 180 && hi.z <= 180);
    }
}

void tst_KvDefaultFigure::standsOnGround()
{
    float lowest = 1e9f;
    QString lowestBone;
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones) {
        for (const KvVec3 &p : {bone.origin, bone.endPoint}) {
            if (p.y < lowest) {
                lowest = p.y;
                lowestBone = bone.name;
            }
        }
    }
    QVERIFY2(std::abs(lowest) < 0.01f, qPrintable(QString::number(lowest)));
    QVERIFY2(lowestBone.endsWith(QLatin1String("Foot")) || lowestBone.endsWith(QLatin1String("Toe")),
             qPrintable(lowestBone));
    // Facing +Z: toes and eyes point forward.
    for (const char *name : {"lToe", "rToe", "lEye", "rEye"}) {
        const KvBoneDesc *bone = findBone(QString::fromLatin1(name));
        QVERIFY(bone);
        QVERIFY2(bone->endPoint.z > bone->origin.z, name);
    }
}

QTEST_GUILESS_MAIN(tst_KvDefaultFigure)
#include "tst_kvdefaultfigure.moc"
