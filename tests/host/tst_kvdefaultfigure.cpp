#include "kvdefaultfigure.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

class tst_KvDefaultFigure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bones();
};

// The reference T-pose's 19 joints, raised by its first frame's hip height,
// with their parents, and then eyes, toes and three bones per finger.
void tst_KvDefaultFigure::bones()
{
    QHash<QString, const KvBoneDesc *> figure;
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones)
        figure.insert(bone.name, &bone);
    QCOMPARE(figure.size(), 19 + 2 * (2 + 5 * 3));
    kvtest::TextbookBvh bvh;
    QVERIFY(kvtest::readTextbookBvhFile(kvtest::dataFile(QStringLiteral("bvh/sl_tpose_qavimator.bvh")), bvh, nullptr)
            && bvh.joints.size() == 19 && !bvh.frames.empty());
    const KvVec3 up(0, float(bvh.frames[0][size_t(bvh.joints[0].channels.indexOf(QStringLiteral("Yposition")))]), 0);
    for (const KvBoneDesc &joint : kvtest::figureFromBvh(bvh, QString()).bones) {
        const KvBoneDesc *bone = figure.value(joint.name);
        QVERIFY2(bone && bone->parent == joint.parent && kvtest::near(bone->origin, joint.origin + up, 1e-4)
                     && kvtest::near(bone->endPoint, joint.endPoint + up, 1e-4), qPrintable(joint.name));
    }

    // Each bone has a length and twists about it; only the root turns freely. The right side
    // mirrors the left across x = 0, turns about Y and Z flipped (its collar and elbow 0.137 out).
    for (const KvBoneDesc *bone : std::as_const(figure)) {
        const KvVec3 d = bone->endPoint - bone->origin;
        const float a[3] = {std::abs(d.x), std::abs(d.y), std::abs(d.z)};
        QVERIFY2(a[bone->order.axis(0)] == std::max({a[0], a[1], a[2]}) && a[bone->order.axis(0)] > 0.3f,
                 qPrintable(bone->name));
        QCOMPARE(bool(bone->limits), bone->name != QLatin1String("hip"));
        if (!bone->name.startsWith(QLatin1Char('l')))
            continue;
        const KvBoneDesc *r = figure.value(QLatin1Char('r') + bone->name.mid(1));
        const QString parent = bone->parent.startsWith(QLatin1Char('l')) ? 'r' + bone->parent.mid(1) : bone->parent;
        const KvRotationLimits &l = *bone->limits;
        QVERIFY2(r && r->parent == parent && kvtest::near(r->origin, bone->origin * KvVec3(-1, 1, 1), 0.15)
                     && kvtest::near(r->endPoint, bone->endPoint * KvVec3(-1, 1, 1), 0.15) && r->limits
                     && r->limits->minDeg == KvVec3(l.minDeg.x, -l.maxDeg.y, -l.maxDeg.z)
                     && r->limits->maxDeg == KvVec3(l.maxDeg.x, -l.minDeg.y, -l.minDeg.z), qPrintable(bone->name));
    }
}

QTEST_GUILESS_MAIN(tst_KvDefaultFigure)
#include "tst_kvdefaultfigure.moc"
