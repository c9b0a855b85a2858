#include "linereader.h"

#include <QBuffer>
#include <QtTest>

namespace {

// Hands out at most step bytes per read, so that line ends straddle blocks.
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
};

void tst_LineReader::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("step");  // bytes per read of the trickling device
    QTest::addColumn<QByteArrayList>("expected");

    QTest::newRow("empty") << QByteArray() << qint64(1) << QByteArrayList{};
    QTest::newRow("all-ends-no-last") << QByteArray("a\r\nb\nc\rd") << qint64(1) << QByteArrayList{"a", "b", "c", "d"};
    QTest::newRow("blank-lines") << QByteArray("\n\na\r\r\nb\n\rc\r\n") << qint64(1)
                                 << QByteArrayList{"", "", "a", "", "b", "", "c"};
    QTest::newRow("keeps-bytes") << QByteArray(" \xe9\t\n\0b", 6) << qint64(1)
                                 << QByteArrayList{" \xe9\t", QByteArray("\0b", 2)};

    // Megabytes of lines up to a few thousand bytes long, all three line ends.
    static const char *const ends[] = {"\n", "\r\n", "\r"};
    QByteArray text;
    QByteArrayList expected;
    for (int i = 0; text.size() < (3 << 20); ++i) {
        expected += QByteArray((i * 7919) % 4099, char('a' + i % 26));
        text += expected.last() + ends[i % 3];
    }
    QTest::newRow("many-blocks") << text << qint64(4093) << expected;
}

void tst_LineReader::lines()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, step);
    QFETCH(QByteArrayList, expected);

    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(readAll(&buffer), expected);
    TrickleDevice trickle(text, step);
    QCOMPARE(readAll(&trickle), expected);
}

QTEST_GUILESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
