#include "kvproperty.h"

#include "kvnode.h"
#include "kvscene.h"

#include "testsupport.h"

#include <QtTest>

Q_DECLARE_METATYPE(KvTimeRange)

using KeyList = QList<QPair<int, float>>;
using SampleList = QList<QPair<int, float>>;

class tst_KvProperty : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void values_data();
    void values();
    void findKeyAt_data();
    void findKeyAt();
    void removeKeys_data();
    void removeKeys();
    void clamping_data();
    void clamping();
    void currentValueFollowsSceneTime();
    void nodeControlDefaults();
};

void tst_KvProperty::values_data()
{
    QTest::addColumn<float>("defaultValue");
    QTest::addColumn<KeyList>("keys");           // set in this order
    QTest::addColumn<QList<int>>("sortedTimes");  // stored key times afterwards
    QTest::addColumn<SampleList>("samples");      // time -> expected value

    QTest::newRow("no-keys-default") << 1.0f << KeyList{} << QList<int>{}
                                     << SampleList{{-100, 1.0f}, {0, 1.0f}, {9999, 1.0f}};
    QTest::newRow("one-key-everywhere") << 0.0f << KeyList{{160, 7.5f}} << QList<int>{160}
                                        << SampleList{{0, 7.5f}, {160, 7.5f}, {5000, 7.5f}};
    QTest::newRow("unsorted-insert") << 0.0f << KeyList{{320, 3.0f}, {0, 1.0f}, {160, 2.0f}}
                                     << QList<int>{0, 160, 320}
                                     << SampleList{{0, 1.0f}, {160, 2.0f}, {320, 3.0f}};
    QTest::newRow("linear-between") << 0.0f << KeyList{{0, 0.0f}, {400, 10.0f}, {800, -10.0f}}
                                    << QList<int>{0, 400, 800}
                                    << SampleList{{100, 2.5f}, {200, 5.0f}, {600, 0.0f}, {700, -5.0f}};
    QTest::newRow("constant-outside") << 0.0f << KeyList{{160, 4.0f}, {480, 8.0f}} << QList<int>{160, 480}
                                      << SampleList{{-160, 4.0f}, {0, 4.0f}, {481, 8.0f}, {100000, 8.0f}};
    QTest::newRow("replace-same-time") << 0.0f << KeyList{{0, 1.0f}, {160, 2.0f}, {160, 5.0f}, {0, -1.0f}}
                                       << QList<int>{0, 160} << SampleList{{0, -1.0f}, {80, 2.0f}, {160, 5.0f}};
}

void tst_KvProperty::values()
{
    QFETCH(float, defaultValue);
    QFETCH(KeyList, keys);
    QFETCH(QList<int>, sortedTimes);
    QFETCH(SampleList, samples);

    KvFloatProperty property(QStringLiteral("p"), defaultValue, nullptr);
    for (const auto &key : keys)
        property.setKey(key.first, key.second);
    QList<int> times;
    for (int i = 0; i < property.getNumKeys(); ++i)
        times.append(property.getKeyTime(i));
    QCOMPARE(times, sortedTimes);
    for (const auto &sample : samples)
        QVERIFY2(kvtest::near(property.getValue(sample.first), sample.second, 1e-6), qPrintable(QString::number(sample.first)));
}

void tst_KvProperty::findKeyAt_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<int>("expectedIndex");  // -1: no key there
    QTest::newRow("first") << 0 << 0;
    QTest::newRow("middle") << 1600 << 10;
    QTest::newRow("last") << 3040 << 19;
    QTest::newRow("between") << 1601 << -1;
    QTest::newRow("before") << -160 << -1;
    QTest::newRow("after") << 3200 << -1;
}

void tst_KvProperty::findKeyAt()
{
    QFETCH(int, time);
    QFETCH(int, expectedIndex);
    KvFloatProperty property(QStringLiteral("p"), 0.0f, nullptr);
    for (int i = 19; i >= 0; --i)
        property.setKey(i * 160, float(i));
    int index = -7;
    const bool found = property.findKeyAt(time, index);
    QCOMPARE(found, expectedIndex >= 0);
    if (found) {
        QCOMPARE(index, expectedIndex);
        QCOMPARE(property.getKeyValue(index), double(expectedIndex));
    } else {
        QCOMPARE(index, -7);
    }
}

void tst_KvProperty::removeKeys_data()
{
    QTest::addColumn<KvTimeRange>("range");
    QTest::addColumn<QList<int>>("remaining");
    QTest::newRow("ends-included") << KvTimeRange(160, 480) << QList<int>{0, 640};
    QTest::newRow("ends-just-inside") << KvTimeRange(161, 479) << QList<int>{0, 160, 480, 640};
    QTest::newRow("one-tick-range") << KvTimeRange(320, 320) << QList<int>{0, 160, 480, 640};
    QTest::newRow("everything") << KvTimeRange(-1000, 1000) << QList<int>{};
    QTest::newRow("outside") << KvTimeRange(700, 900) << QList<int>{0, 160, 320, 480, 640};
    QTest::newRow("reversed") << KvTimeRange(480, 160) << QList<int>{0, 160, 320, 480, 640};
}

void tst_KvProperty::removeKeys()
{
    QFETCH(KvTimeRange, range);
    QFETCH(QList<int>, remaining);
    KvFloatProperty property(QStringLiteral("p"), 0.0f, nullptr);
    for (int t : {0, 160, 320, 480, 640})
        property.setKey(t, float(t));
    QCOMPARE(property.removeKeys(range), 5 - int(remaining.size()));
    QList<int> times;
    for (int i = 0; i < property.getNumKeys(); ++i)
        times.append(property.getKeyTime(i));
    QCOMPARE(times, remaining);
}

void tst_KvProperty::clamping_data()
{
    QTest::addColumn<bool>("clamped");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("stored");
    QTest::newRow("clamped-above") << true << 30.0f << 20.0f;
    QTest::newRow("clamped-below") << true << -50.0f << -10.0f;
    QTest::newRow("clamped-inside") << true << 5.0f << 5.0f;
    QTest::newRow("clamped-at-max") << true << 20.0f << 20.0f;
    QTest::newRow("free-above") << false << 30.0f << 30.0f;
    QTest::newRow("free-below") << false << -50.0f << -50.0f;
}

void tst_KvProperty::clamping()
{
    QFETCH(bool, clamped);
    QFETCH(float, value);
    QFETCH(float, stored);
    KvFloatProperty property(QStringLiteral("p"), 0.0f, nullptr);
    property.setLimits(-10.0, 20.0);
    property.setIsClamped(clamped);
    QVERIFY(property.hasLimits());
    property.setKey(0, value);
    property.setCurrentValue(value);  // no owner: time 0, replacing the key
    QCOMPARE(property.getNumKeys(), 1);
    QCOMPARE(property.getKeyValue(0), double(stored));
    QCOMPARE(property.getCurrentValue(), stored);
}

void tst_KvProperty::currentValueFollowsSceneTime()
{
    KvScene scene;
    auto *node = new KvNode(QStringLiteral("n"));
    scene.addNode(node);
    KvFloatProperty *control = node->getYRotControl();

    scene.setTime(480);
    control->setCurrentValue(12.0f);
    scene.setTime(960);
    control->setCurrentValue(24.0f);
    int index = -1;
    QVERIFY(control->findKeyAt(480, index));
    QCOMPARE(control->getKeyValue(index), 12.0);
    QVERIFY(control->findKeyAt(960, index));
    QCOMPARE(control->getKeyValue(index), 24.0);
    QCOMPARE(control->getNumKeys(), 2);

    scene.setTime(720);
    QVERIFY(kvtest::near(control->getCurrentValue(), 18.0, 1e-6));
    QCOMPARE(node->getXRotControl()->getNumKeys(), 0);
}

void tst_KvProperty::nodeControlDefaults()
{
    const KvNode node(QStringLiteral("n"));
    for (int i = 0; i < 9; ++i) {
        const float expected = i < 6 ? 0.0f : 1.0f;
        QCOMPARE(node.getControl(i)->getValue(0), expected);
        QCOMPARE(node.getControl(i)->getCurrentValue(), expected);
        QCOMPARE(node.getControl(i)->owner(), &node);
    }
    QVERIFY(kvtest::near(node.getLocalScale(), KvVec3(1, 1, 1), 0.0));
    QVERIFY(kvtest::sameRotation(node.getLocalRot(), KvQuat(), 0.0));
}

QTEST_GUILESS_MAIN(tst_KvProperty)
#include "tst_kvproperty.moc"
