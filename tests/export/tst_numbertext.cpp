#include "numbertext.h"

#include <QtTest>

#include <cstring>
#include <limits>

// The writer's number text must be the text QString::arg writes: Qt itself
// is the reference.
class tst_NumberText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesQt_data();
    void matchesQt();
};

void tst_NumberText::matchesQt_data()
{
    QTest::addColumn<QList<float>>("values");
    QTest::newRow("zeros") << QList<float>{0.0f, -0.0f, -1e-9f, 0.0000004999f};
    // Exact ties in the seventh decimal round away from zero.
    QTest::newRow("ties") << QList<float>{19.2265625f, -834.2890625f, 0.0078125f, -0.0234375f};
    QTest::newRow("beyond-integers") << QList<float>{1e20f, -3e38f, std::numeric_limits<float>::infinity(),
                                                     std::numeric_limits<float>::quiet_NaN()};
    // Every 99991st bit pattern of the floats up to 1e13, with both signs:
    // small, large and subnormal values alike.
    QList<float> sample;
    for (quint32 bits = 0; bits < 0x55000000u; bits += 99991) {
        float value;
        std::memcpy(&value, &bits, sizeof value);
        sample << value << -value;
    }
    QTest::newRow("sweep") << sample;
}

void tst_NumberText::matchesQt()
{
    QFETCH(QList<float>, values);
    for (const float value : values) {
        QByteArray out = "x";
        appendFixed6(out, value);
        QCOMPARE(out, "x" + QString::fromLatin1("%1").arg(double(value), 0, 'f', 6).toLatin1());
    }
}

QTEST_GUILESS_MAIN(tst_NumberText)
#include "tst_numbertext.moc"
