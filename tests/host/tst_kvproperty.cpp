#include "kvproperty.h"

#include "testsupport.h"

#include <QtTest>

using KeyList = QList<QPair<int, float>>;

class tst_KvProperty : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void values_data();
    void values();
};

// Keys in listed order, limits -10..20 (clamped or not): linear between keys, constant outside them.
void tst_KvProperty::values_data()
{
    QTest::addColumn<bool>("clamped");
    QTest::addColumn<KeyList>("keys");
    QTest::addColumn<QList<int>>("sortedTimes");  // stored key times afterwards
    QTest::addColumn<KeyList>("samples");         // time -> expected value

    QTest::newRow("no-keys-default") << false << KeyList{} << QList<int>{} << KeyList{{-100, 1.0f}, {9999, 1.0f}};
    QTest::newRow("unsorted-insert") << false << KeyList{{800, -10.0f}, {0, 0.0f}, {400, 10.0f}}
                                     << QList<int>{0, 400, 800}
                                     << KeyList{{-160, 0.0f}, {100, 2.5f}, {400, 10.0f}, {700, -5.0f}, {9999, -10.0f}};
    QTest::newRow("replace-same-time") << false << KeyList{{0, 1.0f}, {160, 2.0f}, {160, 5.0f}, {0, -1.0f}}
                                       << QList<int>{0, 160} << KeyList{{0, -1.0f}, {80, 2.0f}, {160, 5.0f}};
    QTest::newRow("clamped") << true << KeyList{{0, 30.0f}, {160, -50.0f}, {320, 5.0f}} << QList<int>{0, 160, 320}
                             << KeyList{{0, 20.0f}, {160, -10.0f}, {320, 5.0f}};
}

void tst_KvProperty::values()
{
    QFETCH(bool, clamped);
    QFETCH(KeyList, keys);
    QFETCH(QList<int>, sortedTimes);
    QFETCH(KeyList, samples);

    KvFloatProperty property(QStringLiteral("p"), 1.0f, nullptr);
    property.setLimits(-10.0, 20.0);
    property.setIsClamped(clamped);
    for (const auto &key : keys)
        property.setKey(key.first, key.second);
    QCOMPARE(kvtest::keyTimes(property), sortedTimes);
    for (const auto &[time, value] : samples) {
        QVERIFY2(kvtest::near(property.getValue(time), value, 1e-6), qPrintable(QString::number(time)));
        int index = -7;
        QCOMPARE(property.findKeyAt(time, index), sortedTimes.contains(time));
        QCOMPARE(index, sortedTimes.contains(time) ? int(sortedTimes.indexOf(time)) : -7);
    }
}

QTEST_GUILESS_MAIN(tst_KvProperty)
#include "tst_kvproperty.moc"
