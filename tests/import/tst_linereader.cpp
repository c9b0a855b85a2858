#include "linereader.h"

#include <QBuffer>
#include <QtTest>

namespace {

// Hands out at most step bytes per read, so that line ends straddle blocks.
struct TrickleBuffer : QBuffer
{
    TrickleBuffer(QByteArray *data, qint64 step) : QBuffer(data), step(step) {}
    qint64 readData(char *out, qint64 maxSize) override { return QBuffer::readData(out, std::min(maxSize, step)); }
    const qint64 step;
};

} // namespace

class tst_LineReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data();
    void lines();
};

void tst_LineReader::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("expected");

    QTest::newRow("empty") << QByteArray() << QByteArrayList{};
    QTest::newRow("all-ends") << QByteArray("\n\na\r\r\nb\n\rc\r\n \xe9\t\n\0d", 18)
                              << QByteArrayList{"", "", "a", "", "b", "", "c", " \xe9\t", QByteArray("\0d", 2)};
    static const char *const ends[] = {"\n", "\r\n", "\r"};
    QByteArray text;
    QByteArrayList expected;
    for (int i = 0; text.size() < (3 << 20); ++i) {
        expected += QByteArray((i * 7919) % 4099, char('a' + i % 26));
        text += expected.last() + ends[i % 3];
    }
    QTest::newRow("megabytes-of-long-lines") << text << expected;
}

// Whole blocks or trickled (by the byte, or shorter than a line): the same
// lines, and none after the last.
void tst_LineReader::lines()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, expected);

    for (qint64 step : {qint64(1) << 30, text.size() < 4096 ? qint64(1) : qint64(4093)}) {
        TrickleBuffer device(&text, step);
        QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        CLineReader reader(&device);
        QByteArrayList lines;
        QByteArrayView line;
        while (reader.readLine(line))
            lines.append(line.toByteArray());
        QCOMPARE(lines, expected);
        QVERIFY(!reader.readLine(line));
    }
}

QTEST_GUILESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
