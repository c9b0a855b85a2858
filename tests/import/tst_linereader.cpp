#include "linereader.h"

#include <QBuffer>
#include <QtTest>

namespace {

// Hands out a few bytes per read, so that line ends straddle blocks.
class TrickleDevice : public QIODevice
{
public:
    TrickleDevice(const QByteArray &data, qint64 step) : data(data), step(step)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 maxSize) override
    {
        const qint64 n = std::min({maxSize, step, qint64(data.size()) - pos});
        memcpy(out, data.constData() + pos, size_t(n));
        pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray data;
    qint64 step;
    qint64 pos = 0;
};

QByteArrayList readAll(QIODevice *device)
{
    QByteArrayList lines;
    CLineReader reader(device);
    QByteArrayView line;
    while (reader.readLine(line))
        lines.append(line.toByteArray());
    if (reader.readLine(line))
        lines.append("<read past the end>");
    return lines;
}

} // namespace

class tst_LineReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data();
    void lines();
    void manyBlocks();
};

void tst_LineReader::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArrayList ab{"a", "b"};
    QTest::newRow("empty")       << QByteArray() << QByteArrayList{};
    QTest::newRow("lf")          << QByteArray("a\nb\n") << ab;
    QTest::newRow("crlf")        << QByteArray("a\r\nb\r\n") << ab;
    QTest::newRow("cr")          << QByteArray("a\rb\r") << ab;
    QTest::newRow("no-last-end") << QByteArray("a\nb") << ab;
    QTest::newRow("mixed")       << QByteArray("a\r\nb\nc\rd") << QByteArrayList{"a", "b", "c", "d"};
    QTest::newRow("blank-lines") << QByteArray("\n\na\n") << QByteArrayList{"", "", "a"};
    QTest::newRow("cr-cr-lf")    << QByteArray("a\r\r\nb") << QByteArrayList{"a", "", "b"};
    QTest::newRow("lf-cr")       << QByteArray("a\n\rb") << QByteArrayList{"a", "", "b"};
    QTest::newRow("keeps-blanks") << QByteArray(" a\t \r\n") << QByteArrayList{" a\t "};
    QTest::newRow("eight-bit")   << QByteArray("\xe9t\xe9\n\0b", 6) << QByteArrayList{"\xe9t\xe9", QByteArray("\0b", 2)};
}

void tst_LineReader::lines()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, expected);

    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(readAll(&buffer), expected);
    // One byte at a time: every CR meets its LF in the next block.
    TrickleDevice trickle(text, 1);
    QCOMPARE(readAll(&trickle), expected);
}

// Several megabytes of lines of every length up to a few thousand bytes,
// with all three line ends, read in blocks of various sizes.
void tst_LineReader::manyBlocks()
{
    static const char *const ends[] = {"\n", "\r\n", "\r"};
    QByteArray text;
    QByteArrayList expected;
    for (int i = 0; text.size() < (3 << 20); ++i) {
        expected += QByteArray((i * 7919) % 4099, char('a' + i % 26));
        text += expected.last() + ends[i % 3];
    }
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(readAll(&buffer), expected);
    for (const qint64 step : {3, 4093}) {
        TrickleDevice trickle(text, step);
        QCOMPARE(readAll(&trickle), expected);
    }
}

QTEST_GUILESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
