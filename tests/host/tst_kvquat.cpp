#include "kvquat.h"

#include "kvrotationorder.h"
#include "testsupport.h"

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

KvQuat axisAngle(const QJsonValue &entry)
{
    return KvQuat::fromAxisAngle(vec(entry[u"axis"]), entry[u"angle"].toDouble());
}

} // namespace

class tst_KvQuat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conventions_data();
    void conventions();
    void orders();
    void eulerRoundTrip();
    void rotationTo();
};

// Every vector of data/rotation-conventions.json: Euler angles, axis-angle and
// composition ("a, then b").
void tst_KvQuat::conventions_data()
{
    QTest::addColumn<KvQuat>("q");
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
        const KvQuat q = KvQuat::fromEuler(order, vec(e[u"angles"]));
        for (int i = 0; i < 3; ++i) {
            QTest::addRow("euler-%d-%s-%c", n, order.name(), 'x' + i)
                << q << basis[i] << vec(e[u"multVec"][QString(QChar(u'x' + i))]);
        }
    }
    for (int n = 0; n < axisAngles.size(); ++n) {
        const QJsonValue e = axisAngles.at(n);
        QTest::addRow("axis-angle-%d", n) << ::axisAngle(e) << vec(e[u"v"]) << vec(e[u"multVec"]);
    }
    for (int n = 0; n < composed.size(); ++n) {
        const QJsonValue e = composed.at(n);
        QTest::addRow("compose-%d", n) << ::axisAngle(e[u"a"]) * ::axisAngle(e[u"b"]) << vec(e[u"v"])
                                       << vec(e[u"multVec"]);
    }
}

void tst_KvQuat::conventions()
{
    QFETCH(KvQuat, q);
    QFETCH(KvVec3d, v);
    QFETCH(KvVec3d, expected);
    const KvVec3d got = q.multVec(v);
    QVERIFY2(kvtest::near(got, expected, 1e-9), qPrintable(kvtest::toString(got)));
    // Read back as a unit axis and an angle in [0, pi] that give the same rotation.
    KvVec3d axis;
    double angle = -1.0;
    q.getValue(axis, angle);
    QVERIFY(angle >= 0.0 && angle <= pi && kvtest::near(axis.length(), 1.0, 1e-12));
    QVERIFY(kvtest::sameRotation(KvQuat::fromAxisAngle(axis, angle), q, 1e-9));
}
// Names, and the order a BVH channel line "A B C" applies: C first, as in
// the textbook product R_A * R_B * R_C.
void tst_KvQuat::orders()
{
    for (const char *line : {"XYZ", "XZY", "YXZ", "YZX", "ZXY", "ZYX"}) {
        const KvRotationOrder order = KvRotationOrder::fromChannelAxes(line[0] - 'X', line[1] - 'X', line[2] - 'X');
        const char reversed[4] = {line[2], line[1], line[0], '\0'};
        QCOMPARE(order.name(), reversed);
        QCOMPARE(KvRotationOrder::fromName(QByteArray(order.name()).toLower().constData()), order);
    }
    QVERIFY(!KvRotationOrder::fromChannelAxes(0, 0, 2).isValid());
    QVERIFY(!KvRotationOrder::fromName("XYZW").isValid());
}

// Every order, with the middle angle inside, beyond and at +-90 degrees.
void tst_KvQuat::eulerRoundTrip()
{
    const double lock = pi / 2;
    const double cases[5][3] = {  // angles by application order
        {-2.9, 0.4, 3.0}, {0.5, 2.0, -0.4}, {-1.3, 1e-6 - lock, 0.6}, {0.8, lock, -0.3}, {0.8, -lock, 1.9}};
    for (int code = 0; code < 6; ++code) {
        const KvRotationOrder order(code);
        for (const auto &byApplication : cases) {
            double byAxis[3];
            for (int i = 0; i < 3; ++i)
                byAxis[order.axis(i)] = byApplication[i];
            const KvVec3d angles(byAxis[0], byAxis[1], byAxis[2]);
            const KvQuat q = KvQuat::fromEuler(order, angles);
            const KvVec3d back = q.toEuler(order);
            const double backByAxis[3] = {back.x, back.y, back.z};
            const QByteArray what = (order.name() + kvtest::toString(angles) + kvtest::toString(back)).toLatin1();
            QVERIFY2(std::abs(backByAxis[order.axis(1)]) <= lock + 1e-12, what);
            QVERIFY2(kvtest::sameRotation(KvQuat::fromEuler(order, back), q, 1e-9), what);
            // Angles that are already canonical come back; at gimbal lock the last axis takes the whole turn.
            if (std::abs(byApplication[1]) < lock)
                QVERIFY2(kvtest::near(back, angles, 1e-6), what);
            if (std::abs(byApplication[1]) == lock)
                QVERIFY2(backByAxis[order.axis(0)] == 0.0, what);
        }
    }
}

// Inverted, the shortest arc turns one direction onto the other, by exactly
// the angle between them; a zero vector gives the identity.
void tst_KvQuat::rotationTo()
{
    const KvVec3d pairs[][2] = {{{2, -1, 0.5}, {-0.3, 0.2, 4}}, {{1, 0, 0}, {-2, 0, 0}}, {{1, 2, 3}, {-1, -2, -3}}};
    for (const auto &[from, to] : pairs) {
        const KvQuat q = from.toFloat().getRotationTo(to.toFloat()).inverted();
        const KvVec3d turned = q.multVec(from);
        QVERIFY2(kvtest::near(turned * (1.0 / turned.length()), to * (1.0 / to.length()), 1e-5),
                 qPrintable(kvtest::toString(turned)));
        const double between = std::acos(std::clamp(from.dot(to) / (from.length() * to.length()), -1.0, 1.0));
        QVERIFY(kvtest::near(q.angleTo(KvQuat()), between, 1e-5));
    }
    QCOMPARE(KvVec3().getRotationTo({0, 1, 0}), KvQuat());
}

QTEST_GUILESS_MAIN(tst_KvQuat)
#include "tst_kvquat.moc"
