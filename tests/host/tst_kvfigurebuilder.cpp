#include "kvfigurebuilder.h"

#include "kvnode.h"
#include "kvproperty.h"

#include <QtTest>

Q_DECLARE_METATYPE(KvFigureDesc)

namespace {

KvBoneDesc bone(const char *name, const char *parent, KvVec3 origin = {}, int order = KvRotationOrder::XYZ)
{
    KvBoneDesc desc;
    desc.name = QString::fromLatin1(name);
    desc.parent = QString::fromLatin1(parent);
    desc.origin = origin;
    desc.endPoint = origin + KvVec3(0, 1, 0);
    desc.order = KvRotationOrder(order);
    return desc;
}

//   figure
//   +- hip        (label "Pelvis", order YXZ)
//      +- thigh   (limits X -10..90, Y -20..20, Z 0..0)
//      +- spine
//         +- neck
KvFigureDesc goodFigure()
{
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    desc.bones = {bone("hip", "", {0, 40, 0}, KvRotationOrder::YXZ), bone("thigh", "hip", {5, 38, 0}),
                  bone("spine", "hip", {0, 45, 0}), bone("neck", "spine", {0, 60, 0})};
    desc.bones[0].label = QStringLiteral("Pelvis");
    desc.bones[1].limits = KvRotationLimits{{-10, -20, 0}, {90, 20, 0}};
    return desc;
}

} // namespace

class tst_KvFigureBuilder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildsTree();
    void limitsClamp_data();
    void limitsClamp();
    void rejects_data();
    void rejects();
};

void tst_KvFigureBuilder::buildsTree()
{
    QString error;
    const std::unique_ptr<KvSkeleton> figure = KvFigureBuilder::build(goodFigure(), &error);
    QVERIFY2(figure, qPrintable(error));
    QCOMPARE(figure->getName(), QStringLiteral("figure"));
    QCOMPARE(figure->getLabel(), QStringLiteral("figure"));
    QCOMPARE(figure->getNumNodeChildren(), 1);

    KvBone *hip = figure->findBone(QStringLiteral("hip"));
    KvBone *thigh = figure->findBone(QStringLiteral("thigh"));
    KvBone *spine = figure->findBone(QStringLiteral("spine"));
    KvBone *neck = figure->findBone(QStringLiteral("neck"));
    QVERIFY(hip && thigh && spine && neck);
    QCOMPARE(figure->getNodeChild(0), hip);
    QCOMPARE(hip->getNodeParent(), figure.get());
    QCOMPARE(thigh->getNodeParent(), hip);
    QCOMPARE(spine->getNodeParent(), hip);
    QCOMPARE(neck->getNodeParent(), spine);
    QCOMPARE(hip->getNodeChild(0), thigh);
    QCOMPARE(hip->getLabel(), QStringLiteral("Pelvis"));
    QCOMPARE(neck->getLabel(), QStringLiteral("neck"));
    QCOMPARE(hip->getRotationOrder(), KvRotationOrder(KvRotationOrder::YXZ));
    QCOMPARE(thigh->getOrigin(), KvVec3(5, 38, 0));
    QCOMPARE(thigh->getEndPoint(), KvVec3(5, 39, 0));
    QCOMPARE(neck->getSkeleton(), figure.get());
    QVERIFY(!hip->getXRotControl()->isClamped());

    KvFigureDesc labelled = goodFigure();
    labelled.label = QStringLiteral("Hero");
    QCOMPARE(KvFigureBuilder::build(labelled)->getLabel(), QStringLiteral("Hero"));
}

void tst_KvFigureBuilder::limitsClamp_data()
{
    QTest::addColumn<int>("axis");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("stored");
    QTest::newRow("x-inside") << 0 << 45.0f << 45.0f;
    QTest::newRow("x-above") << 0 << 120.0f << 90.0f;
    QTest::newRow("x-below") << 0 << -30.0f << -10.0f;
    QTest::newRow("y-below") << 1 << -25.0f << -20.0f;
    QTest::newRow("z-locked") << 2 << 7.0f << 0.0f;
}

void tst_KvFigureBuilder::limitsClamp()
{
    QFETCH(int, axis);
    QFETCH(float, value);
    QFETCH(float, stored);
    const std::unique_ptr<KvSkeleton> figure = KvFigureBuilder::build(goodFigure());
    QVERIFY(figure);
    KvFloatProperty *control = figure->findBone(QStringLiteral("thigh"))->getControl(3 + axis);
    QVERIFY(control->isClamped());
    control->setCurrentValue(value);
    QCOMPARE(control->getCurrentValue(), stored);
    // Unlimited bones take the value as it is.
    KvFloatProperty *free = figure->findBone(QStringLiteral("spine"))->getControl(3 + axis);
    free->setCurrentValue(value);
    QCOMPARE(free->getCurrentValue(), value);
}

void tst_KvFigureBuilder::rejects_data()
{
    QTest::addColumn<KvFigureDesc>("desc");
    QTest::addColumn<QString>("messagePart");

    KvFigureDesc desc = goodFigure();
    desc.bones[2].name.clear();
    QTest::newRow("empty-name") << desc << "empty name";

    desc = goodFigure();
    desc.bones[3].name = QStringLiteral("thigh");
    QTest::newRow("duplicate-name") << desc << "\"thigh\"";

    desc = goodFigure();
    desc.bones[1].parent = QStringLiteral("knee");
    QTest::newRow("unknown-parent") << desc << "\"knee\"";

    desc = goodFigure();
    desc.bones[2].parent = QStringLiteral("neck");  // described after spine
    QTest::newRow("later-parent") << desc << "\"neck\"";

    desc = goodFigure();
    desc.bones[0].parent = QStringLiteral("hip");
    QTest::newRow("own-parent") << desc << "\"hip\"";

    desc = goodFigure();
    desc.bones[3].order = KvRotationOrder(6);
    QTest::newRow("invalid-order") << desc << "rotation order";

    desc = goodFigure();
    desc.bones[1].limits->minDeg.y = 21.0f;
    QTest::newRow("min-above-max") << desc << "minimum";
}

void tst_KvFigureBuilder::rejects()
{
    QFETCH(KvFigureDesc, desc);
    QFETCH(QString, messagePart);
    QString error;
    QVERIFY(!KvFigureBuilder::build(desc, &error));
    QVERIFY2(error.contains(messagePart), qPrintable(error));
    QVERIFY(!KvFigureBuilder::build(desc));  // no message wanted
}

QTEST_GUILESS_MAIN(tst_KvFigureBuilder)
#include "tst_kvfigurebuilder.moc"
