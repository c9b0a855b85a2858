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
    void matchesQt();
};

void tst_NumberText::matchesQt()
{
    // Signed zeros and negatives that round to zero; exact ties in the seventh
    // decimal, which round away from zero; values beyond the integers.
    QList<float> values = {0.0f, -0.0f, -1e-9f, 0.0000004999f, 19.2265625f, -834.2890625f, 0.0078125f, -0.0234375f,
                           1e20f, -3e38f, std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN()};
    // Every 99991st bit pattern of the floats up to 1e13, with both signs:
    // small, large and subnormal values alike.
    for (quint32 bits = 0; bits < 0x55000000u; bits += 99991) {
        float value;
        std::memcpy(&value, &bits, sizeof value);
        values << value << -value;
    }
    for (const float value : values) {
        QByteArray out = "x";
        appendFixed6(out, value);
        QCOMPARE(out, "x" + QString::fromLatin1("%1").arg(double(value), 0, 'f', 6).toLatin1());
    }
}

QTEST_GUILESS_MAIN(tst_NumberText)
#include "tst_numbertext.moc"
