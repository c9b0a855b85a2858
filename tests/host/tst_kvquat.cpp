#include "kvquat.h"
#include "kvrotationorder.h"
#include "kvvec3.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <algorithm>
#include <cmath>

Q_DECLARE_METATYPE(KvVec3d)

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double doubleTolerance = 1e-9;
constexpr double floatTolerance = 1e-5;

KvVec3d vec(const QJsonValue &value)
{
    const QJsonArray a = value.toArray();
    return {a.at(0).toDouble(), a.at(1).toDouble(), a.at(2).toDouble()};
}

QJsonObject conventions()
{
    QFile file(kvtest::dataFile(QStringLiteral("rotation-conventions.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

const KvVec3d basis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

} // namespace

class tst_KvQuat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void eulerConventions_data();
    void eulerConventions();
    void axisAngleConventions_data();
    void axisAngleConventions();
    void composeConventions_data();
    void composeConventions();
    void channelLineOrder_data();
    void channelLineOrder();

    void inverseAndIdentity_data();
    void inverseAndIdentity();
    void axisAngleRoundTrip_data();
    void axisAngleRoundTrip();
    void eulerRoundTrip_data();
    void eulerRoundTrip();
    void rotationTo_data();
    void rotationTo();
    void orderNames();
};

void tst_KvQuat::initTestCase()
{
    const QJsonObject data = conventions();
    QVERIFY2(data.value(QLatin1String("euler")).toArray().size() >= 6, "rotation-conventions.json not readable");
}

void tst_KvQuat::eulerConventions_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("name");
    QTest::addColumn<KvVec3d>("angles");
    QTest::addColumn<KvVec3d>("imageX");
    QTest::addColumn<KvVec3d>("imageY");
    QTest::addColumn<KvVec3d>("imageZ");
    const QJsonArray entries = conventions().value(QLatin1String("euler")).toArray();
    for (int i = 0; i < entries.size(); ++i) {
        const QJsonObject e = entries.at(i).toObject();
        const QJsonObject images = e.value(QLatin1String("multVec")).toObject();
        QTest::addRow("%d-%s", i, qPrintable(e.value(QLatin1String("name")).toString()))
            << e.value(QLatin1String("order")).toInt() << e.value(QLatin1String("name")).toString()
            << vec(e.value(QLatin1String("angles"))) << vec(images.value(QLatin1String("x")))
            << vec(images.value(QLatin1String("y"))) << vec(images.value(QLatin1String("z")));
    }
}

void tst_KvQuat::eulerConventions()
{
    QFETCH(int, order);
    QFETCH(QString, name);
    QFETCH(KvVec3d, angles);
    QFETCH(KvVec3d, imageX);
    QFETCH(KvVec3d, imageY);
    QFETCH(KvVec3d, imageZ);
    const KvRotationOrder rotationOrder(order);
    QCOMPARE(QString::fromLatin1(rotationOrder.name()), name);

    const KvQuat exact = KvQuat::fromEuler(rotationOrder, angles);
    KvQuat single;
    single.setValue(rotationOrder, angles.toFloat());
    const KvVec3d expected[3] = {imageX, imageY, imageZ};
    for (int i = 0; i < 3; ++i) {
        const KvVec3d got = exact.multVec(basis[i]);
        QVERIFY2(kvtest::near(got, expected[i], doubleTolerance), qPrintable(kvtest::toString(got)));
        const KvVec3 gotFloat = single.multVec(basis[i].toFloat());
        QVERIFY2(kvtest::near(gotFloat, expected[i].toFloat(), floatTolerance), qPrintable(kvtest::toString(gotFloat)));
    }
}

void tst_KvQuat::axisAngleConventions_data()
{
    QTest::addColumn<KvVec3d>("axis");
    QTest::addColumn<double>("angle");
    QTest::addColumn<KvVec3d>("v");
    QTest::addColumn<KvVec3d>("expected");
    const QJsonArray entries = conventions().value(QLatin1String("axisAngle")).toArray();
    for (int i = 0; i < entries.size(); ++i) {
        const QJsonObject e = entries.at(i).toObject();
        QTest::addRow("%d", i) << vec(e.value(QLatin1String("axis"))) << e.value(QLatin1String("angle")).toDouble()
                               << vec(e.value(QLatin1String("v"))) << vec(e.value(QLatin1String("multVec")));
    }
}

void tst_KvQuat::axisAngleConventions()
{
    QFETCH(KvVec3d, axis);
    QFETCH(double, angle);
    QFETCH(KvVec3d, v);
    QFETCH(KvVec3d, expected);
    const KvVec3d got = KvQuat::fromAxisAngle(axis, angle).multVec(v);
    QVERIFY2(kvtest::near(got, expected, doubleTolerance), qPrintable(kvtest::toString(got)));

    const KvQuat constructed(axis.toFloat(), float(angle));
    KvQuat set;
    set.setValue(axis.toFloat(), float(angle));
    QVERIFY(kvtest::near(constructed.multVec(v.toFloat()), expected.toFloat(), floatTolerance));
    QVERIFY(kvtest::near(set.multVec(v.toFloat()), expected.toFloat(), floatTolerance));
}

void tst_KvQuat::composeConventions_data()
{
    QTest::addColumn<KvVec3d>("axisA");
    QTest::addColumn<double>("angleA");
    QTest::addColumn<KvVec3d>("axisB");
    QTest::addColumn<double>("angleB");
    QTest::addColumn<KvVec3d>("v");
    QTest::addColumn<KvVec3d>("expected");
    const QJsonArray entries = conventions().value(QLatin1String("compose")).toArray();
    for (int i = 0; i < entries.size(); ++i) {
        const QJsonObject e = entries.at(i).toObject();
        const QJsonObject a = e.value(QLatin1String("a")).toObject();
        const QJsonObject b = e.value(QLatin1String("b")).toObject();
        QTest::addRow("%d", i) << vec(a.value(QLatin1String("axis"))) << a.value(QLatin1String("angle")).toDouble()
                               << vec(b.value(QLatin1String("axis"))) << b.value(QLatin1String("angle")).toDouble()
                               << vec(e.value(QLatin1String("v"))) << vec(e.value(QLatin1String("multVec")));
    }
}

void tst_KvQuat::composeConventions()
{
    QFETCH(KvVec3d, axisA);
    QFETCH(double, angleA);
    QFETCH(KvVec3d, axisB);
    QFETCH(double, angleB);
    QFETCH(KvVec3d, v);
    QFETCH(KvVec3d, expected);
    const KvQuat a = KvQuat::fromAxisAngle(axisA, angleA);
    const KvQuat b = KvQuat::fromAxisAngle(axisB, angleB);
    KvQuat composed = a;
    composed *= b;
    QVERIFY(kvtest::near(composed.multVec(v), expected, doubleTolerance));
    QVERIFY(kvtest::near((a * b).multVec(v), expected, doubleTolerance));
    // "a, then b" is the same as rotating by a and the result by b.
    QVERIFY(kvtest::near(b.multVec(a.multVec(v)), expected, doubleTolerance));

    KvQuat single(axisA.toFloat(), float(angleA));
    single *= KvQuat(axisB.toFloat(), float(angleB));
    QVERIFY(kvtest::near(single.multVec(v.toFloat()), expected.toFloat(), floatTolerance));
}

void tst_KvQuat::channelLineOrder_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("code");  // -1: not an order
    QTest::newRow("ZYX-line") << "Zrotation Yrotation Xrotation" << int(KvRotationOrder::XYZ);
    QTest::newRow("YZX-line") << "Yrotation Zrotation Xrotation" << int(KvRotationOrder::XZY);
    QTest::newRow("ZXY-line") << "Zrotation Xrotation Yrotation" << int(KvRotationOrder::YXZ);
    QTest::newRow("XZY-line") << "Xrotation Zrotation Yrotation" << int(KvRotationOrder::YZX);
    QTest::newRow("YXZ-line") << "Yrotation Xrotation Zrotation" << int(KvRotationOrder::ZXY);
    QTest::newRow("XYZ-line") << "Xrotation Yrotation Zrotation" << int(KvRotationOrder::ZYX);
    QTest::newRow("repeated-axis") << "Xrotation Xrotation Zrotation" << -1;
}

void tst_KvQuat::channelLineOrder()
{
    QFETCH(QString, line);
    QFETCH(int, code);
    const QStringList channels = line.split(QLatin1Char(' '));
    int axes[3];
    for (int i = 0; i < 3; ++i)
        axes[i] = channels.at(i).at(0).toLatin1() - 'X';
    const KvRotationOrder order = KvRotationOrder::fromChannelAxes(axes[0], axes[1], axes[2]);
    if (code < 0) {
        QVERIFY(!order.isValid());
        return;
    }
    QCOMPARE(order.code(), code);

    // The order must turn vectors as the line's textbook product R_A * R_B * R_C does.
    const double angles[3] = {0.4, -1.1, 2.3};
    kvtest::Mat3 line3 = kvtest::axisRotation(0, 0.0);
    for (int i = 0; i < 3; ++i)
        line3 = kvtest::multiply(line3, kvtest::axisRotation(axes[i], angles[axes[i]]));
    const KvQuat q = KvQuat::fromEuler(order, {angles[0], angles[1], angles[2]});
    for (const KvVec3d &e : basis) {
        const kvtest::Vec3 want = kvtest::multiply(line3, kvtest::Vec3{e.x, e.y, e.z});
        QVERIFY(kvtest::near(q.multVec(e), KvVec3d(want[0], want[1], want[2]), doubleTolerance));
    }
}

void tst_KvQuat::inverseAndIdentity_data()
{
    QTest::addColumn<KvVec3d>("axis");
    QTest::addColumn<double>("angle");
    QTest::newRow("quarter-y") << KvVec3d(0, 1, 0) << pi / 2;
    QTest::newRow("oblique") << KvVec3d(1, -2, 0.5) << 2.7;
    QTest::newRow("half-turn") << KvVec3d(0, 0, 1) << pi;
}

void tst_KvQuat::inverseAndIdentity()
{
    QFETCH(KvVec3d, axis);
    QFETCH(double, angle);
    const KvVec3d v(0.3, -1.2, 2.0);
    const KvQuat q = KvQuat::fromAxisAngle(axis, angle);

    KvQuat inverse = q;
    inverse.invert();
    QVERIFY(kvtest::near(inverse.multVec(q.multVec(v)), v, doubleTolerance));
    QVERIFY(kvtest::sameRotation(q * inverse, KvQuat(), doubleTolerance));
    QVERIFY(kvtest::sameRotation(q.inverted(), inverse, doubleTolerance));
    // The inverse of a turn about an axis is the opposite turn about it.
    QVERIFY(kvtest::sameRotation(inverse, KvQuat::fromAxisAngle(axis, -angle), doubleTolerance));

    KvQuat reset = q;
    reset.makeIdentity();
    QCOMPARE(reset, KvQuat());
    QVERIFY(kvtest::near(reset.multVec(v), v, 0.0));
    QVERIFY(kvtest::near((KvQuat() * q).multVec(v), q.multVec(v), doubleTolerance));
}

void tst_KvQuat::axisAngleRoundTrip_data()
{
    QTest::addColumn<KvVec3d>("axis");
    QTest::addColumn<double>("angle");
    QTest::addColumn<KvVec3d>("expectedAxis");
    QTest::addColumn<double>("expectedAngle");
    const double r3 = 1.0 / std::sqrt(3.0);
    QTest::newRow("long-axis") << KvVec3d(0, 2, 0) << 1.0 << KvVec3d(0, 1, 0) << 1.0;
    QTest::newRow("negative-angle") << KvVec3d(1, 0, 0) << -0.5 << KvVec3d(-1, 0, 0) << 0.5;
    QTest::newRow("beyond-half-turn") << KvVec3d(0, 0, 1) << 4.0 << KvVec3d(0, 0, -1) << 2 * pi - 4.0;
    QTest::newRow("diagonal") << KvVec3d(1, 1, 1) << 3.0 << KvVec3d(r3, r3, r3) << 3.0;
    QTest::newRow("zero-angle") << KvVec3d(1, 0, 0) << 0.0 << KvVec3d(0, 0, 1) << 0.0;
    QTest::newRow("zero-axis") << KvVec3d(0, 0, 0) << 1.0 << KvVec3d(0, 0, 1) << 0.0;
}

void tst_KvQuat::axisAngleRoundTrip()
{
    QFETCH(KvVec3d, axis);
    QFETCH(double, angle);
    QFETCH(KvVec3d, expectedAxis);
    QFETCH(double, expectedAngle);
    KvVec3d gotAxis(9, 9, 9);
    double gotAngle = 99.0;
    KvQuat::fromAxisAngle(axis, angle).getValue(gotAxis, gotAngle);
    QVERIFY2(kvtest::near(gotAxis, expectedAxis, doubleTolerance), qPrintable(kvtest::toString(gotAxis)));
    QVERIFY(kvtest::near(gotAngle, expectedAngle, doubleTolerance));

    KvQuat single;
    single.setValue(axis.toFloat(), float(angle));
    KvVec3 floatAxis(9, 9, 9);
    float floatAngle = 99.0f;
    single.getValue(floatAxis, floatAngle);
    QVERIFY(kvtest::near(floatAxis, expectedAxis.toFloat(), floatTolerance));
    QVERIFY(kvtest::near(floatAngle, expectedAngle, floatTolerance));
}

void tst_KvQuat::eulerRoundTrip_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<KvVec3d>("firstMiddleLast");  // angles by application order
    QTest::addColumn<bool>("canonical");           // angles must come back unchanged
    const double nearLock = pi / 2 - 1e-6;
    const struct
    {
        const char *name;
        KvVec3d angles;
        bool canonical;
    } cases[] = {
        {"general", {0.3, -0.7, 1.1}, true},
        {"large-outer", {-2.9, 0.4, 3.0}, true},
        {"middle-beyond-quarter", {0.5, 2.0, -0.4}, false},
        {"near-lock", {0.8, nearLock, -0.3}, true},
        {"near-lock-negative", {-1.3, -nearLock, 0.6}, true},
        {"lock", {0.8, pi / 2, -0.3}, false},
        {"lock-negative", {0.8, -pi / 2, 1.9}, false},
        {"zero", {0, 0, 0}, true},
    };
    for (int code = 0; code < 6; ++code) {
        for (const auto &c : cases)
            QTest::addRow("%s-%s", KvRotationOrder(code).name(), c.name) << code << c.angles << c.canonical;
    }
}

void tst_KvQuat::eulerRoundTrip()
{
    QFETCH(int, order);
    QFETCH(KvVec3d, firstMiddleLast);
    QFETCH(bool, canonical);
    const KvRotationOrder rotationOrder(order);
    const double byApplication[3] = {firstMiddleLast.x, firstMiddleLast.y, firstMiddleLast.z};
    double byAxis[3];
    for (int i = 0; i < 3; ++i)
        byAxis[rotationOrder.axis(i)] = byApplication[i];
    const KvVec3d angles(byAxis[0], byAxis[1], byAxis[2]);
    const KvQuat q = KvQuat::fromEuler(rotationOrder, angles);

    const KvVec3d back = q.toEuler(rotationOrder);
    const double backByAxis[3] = {back.x, back.y, back.z};
    const double middle = backByAxis[rotationOrder.axis(1)];
    QVERIFY(std::abs(middle) <= pi / 2 + 1e-12);
    QVERIFY2(kvtest::sameRotation(KvQuat::fromEuler(rotationOrder, back), q, doubleTolerance),
             qPrintable(kvtest::toString(back)));
    if (canonical)
        QVERIFY2(kvtest::near(back, angles, 1e-6), qPrintable(kvtest::toString(back)));
    if (std::abs(std::abs(byApplication[1]) - pi / 2) < 1e-12)
        QVERIFY(kvtest::near(backByAxis[rotationOrder.axis(0)], 0.0, 0.0));

    KvQuat single;
    single.setValue(rotationOrder, angles.toFloat());
    KvVec3 floatAngles(9, 9, 9);
    single.getValue(rotationOrder, floatAngles);
    KvQuat again;
    again.setValue(rotationOrder, floatAngles);
    QVERIFY(kvtest::sameRotation(again, single, floatTolerance));
}

void tst_KvQuat::rotationTo_data()
{
    QTest::addColumn<KvVec3d>("from");
    QTest::addColumn<KvVec3d>("to");
    QTest::newRow("x-to-y") << KvVec3d(1, 0, 0) << KvVec3d(0, 1, 0);
    QTest::newRow("oblique-lengths") << KvVec3d(2, -1, 0.5) << KvVec3d(-0.3, 0.2, 4);
    QTest::newRow("equal") << KvVec3d(0, 3, 0) << KvVec3d(0, 1, 0);
    QTest::newRow("opposite-x") << KvVec3d(1, 0, 0) << KvVec3d(-2, 0, 0);
    QTest::newRow("opposite-y") << KvVec3d(0, 1, 0) << KvVec3d(0, -1, 0);
    QTest::newRow("opposite-oblique") << KvVec3d(1, 2, 3) << KvVec3d(-1, -2, -3);
    QTest::newRow("zero-from") << KvVec3d(0, 0, 0) << KvVec3d(0, 1, 0);
    QTest::newRow("zero-to") << KvVec3d(0, 1, 0) << KvVec3d(0, 0, 0);
}

void tst_KvQuat::rotationTo()
{
    QFETCH(KvVec3d, from);
    QFETCH(KvVec3d, to);
    KvQuat q = from.toFloat().getRotationTo(to.toFloat());
    if (from.length() == 0.0 || to.length() == 0.0) {
        QCOMPARE(q, KvQuat());
        return;
    }
    q.invert();
    const KvVec3d turned = q.multVec(from);
    const KvVec3d direction = to * (1.0 / to.length());
    QVERIFY2(kvtest::near(turned * (1.0 / turned.length()), direction, floatTolerance),
             qPrintable(kvtest::toString(turned)));
    QVERIFY(kvtest::near(turned.length(), from.length(), floatTolerance));
    // Shortest arc: the turn is exactly the angle between the two directions.
    const double between = std::acos(std::clamp(from.dot(to) / (from.length() * to.length()), -1.0, 1.0));
    QVERIFY(kvtest::near(q.angleTo(KvQuat()), between, floatTolerance));
}

void tst_KvQuat::orderNames()
{
    const char *names[6] = {"XYZ", "XZY", "YXZ", "YZX", "ZXY", "ZYX"};
    for (int code = 0; code < 6; ++code) {
        const KvRotationOrder order(code);
        QCOMPARE(order.name(), names[code]);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(order.axis(i), names[code][i] - 'X');
        QCOMPARE(KvRotationOrder::fromName(names[code]), order);
        QCOMPARE(KvRotationOrder::fromName(QByteArray(names[code]).toLower().constData()), order);
    }
    QVERIFY(!KvRotationOrder::fromName("XYX").isValid());
    QVERIFY(!KvRotationOrder::fromName("XYZW").isValid());
    QVERIFY(!KvRotationOrder(6).isValid());
    QCOMPARE(KvRotationOrder(-1).name(), "");
}

QTEST_GUILESS_MAIN(tst_KvQuat)
#include "tst_kvquat.moc"
