#include "kvdefaultfigure.h"

#include "kvnode.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(KvVec3d)

namespace {

const KvBoneDesc *findBone(const QString &name)
{
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones) {
        if (bone.name == name)
            return &bone;
    }
    return nullptr;
}

// "lHand" -> "rHand"; names without a side stay.
QString mirrored(const QString &name)
{
    if (name.size() > 1 && name.at(0) == QLatin1Char('l') && name.at(1).isUpper())
        return QLatin1Char('r') + name.mid(1);
    return name;
}

} // namespace

class tst_KvDefaultFigure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bonesAndParents();
    void mainJoints_data();
    void mainJoints();
    void perBone_data();
    void perBone();
};

void tst_KvDefaultFigure::bonesAndParents()
{
    QStringList expected = {"hip < ", "abdomen < hip", "chest < abdomen", "neck < chest", "head < neck",
                            "lEye < head", "rEye < head"};
    for (const QString &s : {QStringLiteral("l"), QStringLiteral("r")}) {
        expected += {s + "Collar < chest", s + "Shldr < " + s + "Collar", s + "ForeArm < " + s + "Shldr",
                     s + "Hand < " + s + "ForeArm", s + "Thigh < hip", s + "Shin < " + s + "Thigh",
                     s + "Foot < " + s + "Shin", s + "Toe < " + s + "Foot"};
        for (const char *finger : {"Thumb", "Index", "Mid", "Ring", "Pinky"}) {
            expected += {s + finger + "1 < " + s + "Hand", s + finger + "2 < " + s + finger + "1",
                         s + finger + "3 < " + s + finger + "2"};
        }
    }
    QStringList actual;
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones)
        actual += bone.name + " < " + bone.parent;
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);

    const std::unique_ptr<KvSkeleton> figure = KvDefaultFigure::build();
    QVERIFY(figure && figure->getNumNodeChildren() >= 1);
    QCOMPARE(figure->getNodeChild(0)->getName(), QStringLiteral("hip"));
}

// The reference T-pose: its OFFSETs give the joints, its first frame the hip height.
void tst_KvDefaultFigure::mainJoints_data()
{
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
    const KvVec3d up(0, bvh.frames[0][size_t(yColumn)], 0);
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
    // Each bone twists about its own length.
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
        QVERIFY(lo.x <= 0 && lo.y <= 0 && lo.z <= 0 && hi.x >= 0 && hi.y >= 0 && hi.z >= 0);
        QVERIFY(lo.x >= -180 && lo.y >= -180 && lo.z >= -180 && hi.x <= 180 && hi.y <= 180 && hi.z <= 180);
    }

    // The right side mirrors the left across x = 0, where a turn about X keeps
    // its sign and turns about Y and Z flip. The reference T-pose itself puts
    // the right collar and elbow 0.137 further out.
    if (mirrored(name) == name)
        return;
    const KvBoneDesc *r = findBone(mirrored(name));
    QVERIFY(r && r->limits);
    QVERIFY2(bone->origin.x > 0 || bone->endPoint.x > 0, "left is +X");
    QCOMPARE(r->parent, mirrored(bone->parent));
    QCOMPARE(r->order, bone->order);
    const KvVec3 flipX(-1, 1, 1);
    QVERIFY2(kvtest::near(r->origin, bone->origin * flipX, 0.15), qPrintable(kvtest::toString(r->origin)));
    QVERIFY2(kvtest::near(r->endPoint, bone->endPoint * flipX, 0.15), qPrintable(kvtest::toString(r->endPoint)));
    const KvRotationLimits &l = *bone->limits;
    QCOMPARE(r->limits->minDeg, KvVec3(l.minDeg.x, -l.maxDeg.y, -l.maxDeg.z));
    QCOMPARE(r->limits->maxDeg, KvVec3(l.maxDeg.x, -l.minDeg.y, -l.minDeg.z));
}

QTEST_GUILESS_MAIN(tst_KvDefaultFigure)
#include "tst_kvdefaultfigure.moc"
