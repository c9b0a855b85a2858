#include "kvquat.h"

#include "kvrotationorder.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <algorithm>
#include <cmath>

Q_DECLARE_METATYPE(KvQuat)
Q_DECLARE_METATYPE(KvVec3d)

namespace {

constexpr double pi = 3.14159265358979323846;
const KvVec3d basis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

KvVec3d vec(const QJsonValue &value)
{
    return {value[0].toDouble(), value[1].toDouble(), value[2].toDouble()};
}

// An axis-angle entry of the conventions file through the double API (first)
// and the float API (second).
std::pair<KvQuat, KvQuat> axisAngle(const QJsonValue &entry)
{
    const KvVec3d axis = vec(entry[u"axis"]);
    const double angle = entry[u"angle"].toDouble();
    return {KvQuat::fromAxisAngle(axis, angle), KvQuat(axis.toFloat(), float(angle))};
}

} // namespace

class tst_KvQuat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conventions_data();
    void conventions();
    void orders();
    void eulerRoundTrip_data();
    void eulerRoundTrip();
    void rotationTo();
};

// Every vector of data/rotation-conventions.json: Euler angles, axis-angle and
// composition ("a, then b"), each through both APIs.
void tst_KvQuat::conventions_data()
{
    QTest::addColumn<KvQuat>("exact");
    QTest::addColumn<KvQuat>("single");
    QTest::addColumn<KvVec3d>("v");
    QTest::addColumn<KvVec3d>("expected");

    QFile file(kvtest::dataFile(QStringLiteral("rotation-conventions.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject data = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonArray euler = data.value(QLatin1String("euler")).toArray();
    const QJsonArray axisAngles = data.value(QLatin1String("axisAngle")).toArray();
    const QJsonArray composed = data.value(QLatin1String("compose")).toArray();
    QVERIFY(euler.size() >= 6 && axisAngles.size() >= 3 && composed.size() >= 3);
    for (int n = 0; n < euler.size(); ++n) {
        const QJsonValue e = euler.at(n);
        const KvRotationOrder order(e[u"order"].toInt());
        const KvVec3d angles = vec(e[u"angles"]);
        KvQuat single;
        single.setValue(order, angles.toFloat());
        for (int i = 0; i < 3; ++i) {
            QTest::addRow("euler-%d-%s-%c", n, order.name(), 'x' + i) << KvQuat::fromEuler(order, angles) << single
                << basis[i] << vec(e[u"multVec"][QString(QChar(u'x' + i))]);
        }
    }
    for (int n = 0; n < axisAngles.size(); ++n) {
        const auto [exact, single] = ::axisAngle(axisAngles.at(n));
        QTest::addRow("axis-angle-%d", n) << exact << single << vec(axisAngles.at(n)[u"v"])
                                          << vec(axisAngles.at(n)[u"multVec"]);
    }
    for (int n = 0; n < composed.size(); ++n) {
        const QJsonValue e = composed.at(n);
        const auto [a, aSingle] = ::axisAngle(e[u"a"]);
        const auto [b, bSingle] = ::axisAngle(e[u"b"]);
        KvQuat single = aSingle;
        single *= bSingle;
        QTest::addRow("compose-%d", n) << a * b << single << vec(e[u"v"]) << vec(e[u"multVec"]);
    }
}

void tst_KvQuat::conventions()
{
    QFETCH(KvQuat, exact);
    QFETCH(KvQuat, single);
    QFETCH(KvVec3d, v);
    QFETCH(KvVec3d, expected);
    const KvVec3d got = exact.multVec(v);
    QVERIFY2(kvtest::near(got, expected, 1e-9), qPrintable(kvtest::toString(got)));
    const KvVec3 gotFloat = single.multVec(v.toFloat());
    QVERIFY2(kvtest::near(gotFloat, expected.toFloat(), 1e-5), qPrintable(kvtest::toString(gotFloat)));

    // The inverse turns the image back.
    KvQuat inverse = exact;
    inverse.invert();
    QCOMPARE(inverse, exact.inverted());
    QVERIFY(kvtest::near(inverse.multVec(expected), v, 1e-9));
    // Read back as a unit axis and an angle in [0, pi] that give the same rotation.
    KvVec3d axis;
    double angle = -1.0;
    exact.getValue(axis, angle);
    QVERIFY(angle >= 0.0 && angle <= pi && kvtest::near(axis.length(), 1.0, 1e-12));
    QVERIFY(kvtest::sameRotation(KvQuat::fromAxisAngle(axis, angle), exact, 1e-9));
}

// Names, and the order a BVH channel line "A B C" applies: the textbook
// product R_A * R_B * R_C.
void tst_KvQuat::orders()
{
    const char *lines[6] = {"XYZ", "XZY", "YXZ", "YZX", "ZXY", "ZYX"};
    const double angles[3] = {0.4, -1.1, 2.3};
    for (const char *line : lines) {
        const int axes[3] = {line[0] - 'X', line[1] - 'X', line[2] - 'X'};
        const KvRotationOrder order = KvRotationOrder::fromChannelAxes(axes[0], axes[1], axes[2]);
        const char reversed[4] = {line[2], line[1], line[0], '\0'};
        QCOMPARE(order.name(), reversed);
        QCOMPARE(KvRotationOrder::fromName(QByteArray(order.name()).toLower().constData()), order);
        kvtest::Mat3 product = kvtest::axisRotation(0, 0.0);
        for (int axis : axes)
            product = kvtest::multiply(product, kvtest::axisRotation(axis, angles[axis]));
        const KvQuat q = KvQuat::fromEuler(order, {angles[0], angles[1], angles[2]});
        for (const KvVec3d &e : basis) {
            const kvtest::Vec3 want = kvtest::multiply(product, kvtest::Vec3{e.x, e.y, e.z});
            QVERIFY2(kvtest::near(q.multVec(e), KvVec3d(want[0], want[1], want[2]), 1e-9), line);
        }
    }
    QVERIFY(!KvRotationOrder::fromChannelAxes(0, 0, 2).isValid());
    QVERIFY(!KvRotationOrder::fromName("XYX").isValid());
    QVERIFY(!KvRotationOrder::fromName("XYZW").isValid());
    QCOMPARE(KvRotationOrder(6).name(), "");
}

// Every order, with the middle angle inside, beyond and at +-90 degrees.
void tst_KvQuat::eulerRoundTrip_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<KvVec3d>("firstMiddleLast");  // angles by application order
    const double lock = pi / 2;
    const char *names[5] = {"general", "middle-beyond-quarter", "near-lock", "lock", "lock-negative"};
    const KvVec3d cases[5] = {{-2.9, 0.4, 3.0}, {0.5, 2.0, -0.4}, {-1.3, 1e-6 - lock, 0.6}, {0.8, lock, -0.3},
                              {0.8, -lock, 1.9}};
    for (int code = 0; code < 6; ++code) {
        for (int i = 0; i < 5; ++i)
            QTest::addRow("%s-%s", KvRotationOrder(code).name(), names[i]) << code << cases[i];
    }
}

void tst_KvQuat::eulerRoundTrip()
{
    QFETCH(int, order);
    QFETCH(KvVec3d, firstMiddleLast);
    const KvRotationOrder rotationOrder(order);
    const double byApplication[3] = {firstMiddleLast.x, firstMiddleLast.y, firstMiddleLast.z};
    double byAxis[3];
    for (int i = 0; i < 3; ++i)
        byAxis[rotationOrder.axis(i)] = byApplication[i];
    const KvVec3d angles(byAxis[0], byAxis[1], byAxis[2]);
    const KvQuat q = KvQuat::fromEuler(rotationOrder, angles);

    const KvVec3d back = q.toEuler(rotationOrder);
    const double backByAxis[3] = {back.x, back.y, back.z};
    QVERIFY(std::abs(backByAxis[rotationOrder.axis(1)]) <= pi / 2 + 1e-12);
    QVERIFY2(kvtest::sameRotation(KvQuat::fromEuler(rotationOrder, back), q, 1e-9), qPrintable(kvtest::toString(back)));
    // Angles that are already canonical come back; at gimbal lock the last axis takes the whole turn.
    if (std::abs(byApplication[1]) < pi / 2)
        QVERIFY2(kvtest::near(back, angles, 1e-6), qPrintable(kvtest::toString(back)));
    if (std::abs(byApplication[1]) == pi / 2)
        QCOMPARE(backByAxis[rotationOrder.axis(0)], 0.0);
}

// Inverted, the shortest arc turns one direction onto the other, by exactly
// the angle between them; a zero vector on either side gives the identity.
void tst_KvQuat::rotationTo()
{
    const KvVec3d pairs[][2] = {{{2, -1, 0.5}, {-0.3, 0.2, 4}}, {{1, 0, 0}, {-2, 0, 0}}, {{1, 2, 3}, {-1, -2, -3}}};
    for (const auto &[from, to] : pairs) {
        KvQuat q = from.toFloat().getRotationTo(to.toFloat());
        q.invert();
        const KvVec3d turned = q.multVec(from);
        QVERIFY2(kvtest::near(turned * (1.0 / turned.length()), to * (1.0 / to.length()), 1e-5),
                 qPrintable(kvtest::toString(turned)));
        const double between = std::acos(std::clamp(from.dot(to) / (from.length() * to.length()), -1.0, 1.0));
        QVERIFY(kvtest::near(q.angleTo(KvQuat()), between, 1e-5));
    }
    QCOMPARE(KvVec3().getRotationTo({0, 1, 0}), KvQuat());
    QCOMPARE(KvVec3(0, 1, 0).getRotationTo({}), KvQuat());
    KvVec3d axis;
    double angle = -1.0;
    KvQuat().getValue(axis, angle);  // the identity has no axis of its own: Z by convention
    QVERIFY(axis == KvVec3d(0, 0, 1) && angle == 0.0);
}

QTEST_GUILESS_MAIN(tst_KvQuat)
#include "tst_kvquat.moc"
