#include "numbertext.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

QByteArray qtText(float value)
{
    return QString::fromLatin1("%1").arg(double(value), 0, 'f', 6).toLatin1();
}

float fromBits(quint32 bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

// The writer's number text must be the text QString::arg writes; Qt itself
// is the reference.
class tst_NumberText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesQt_data();
    void matchesQt();
    void matchesQtAcrossFloats();
};

void tst_NumberText::matchesQt_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("zero") << 0.0f << QByteArray("0.000000");
    QTest::newRow("negative-zero") << -0.0f << QByteArray("0.000000");
    QTest::newRow("tiny-negative") << -1e-9f << QByteArray("-0.000000");
    QTest::newRow("half") << 12.5f << QByteArray("12.500000");
    QTest::newRow("minus-three") << -3.0f << QByteArray("-3.000000");
    // Exact ties in the seventh decimal round away from zero.
    QTest::newRow("tie-up") << 19.2265625f << QByteArray("19.226563");
    QTest::newRow("tie-negative") << -834.2890625f << QByteArray("-834.289063");
    QTest::newRow("degrees-factor") << 57.29578f << QByteArray("57.295780");
    QTest::newRow("just-below-tie") << 0.0000004999f << QByteArray("0.000000");
    QTest::newRow("huge") << 1e20f << qtText(1e20f);
    QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << qtText(std::numeric_limits<float>::infinity());
    QTest::newRow("nan") << std::numeric_limits<float>::quiet_NaN() << qtText(std::numeric_limits<float>::quiet_NaN());
}

void tst_NumberText::matchesQt()
{
    QFETCH(float, value);
    QFETCH(QByteArray, text);
    QByteArray out = "x";
    appendFixed6(out, value);
    QCOMPARE(out, "x" + text);
    QCOMPARE(out.mid(1), qtText(value));
}

// Every 1999th bit pattern of the positive and negative floats up to 1e13:
// small, large, subnormal and tie values alike.
void tst_NumberText::matchesQtAcrossFloats()
{
    int checked = 0;
    for (quint64 bits = 0; bits < 0x55000000u; bits += 1999) {
        for (const float value : {fromBits(quint32(bits)), -fromBits(quint32(bits))}) {
            QByteArray out;
            appendFixed6(out, value);
            if (out != qtText(value))
                QFAIL(qPrintable(QStringLiteral("%1: %2 instead of %3").arg(double(value), 0, 'g', 9)
                                     .arg(QString::fromLatin1(out), QString::fromLatin1(qtText(value)))));
            ++checked;
        }
    }
    QVERIFY(checked > 1400000);
}

QTEST_GUILESS_MAIN(tst_NumberText)
#include "tst_numbertext.moc"
