#include "linereader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Hands out at most a few bytes per read, so that every line end sooner or
// later straddles two blocks.
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

// Reference split: a line ends at "\r\n", "\r" or "\n"; text after the last
// line end is one more line.
QByteArrayList referenceLines(const QByteArray &text)
{
    QByteArrayList lines;
    QByteArray current;
    bool open = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\r' || c == '\n') {
            lines.append(current);
            current.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
        } else {
            current.append(c);
            open = true;
        }
    }
    if (open)
        lines.append(current);
    return lines;
}

QByteArrayList readAll(QIODevice *device)
{
    QByteArrayList lines;
    CLineReader reader(device);
    QByteArrayView line;
    while (reader.readLine(line))
        lines.append(line.toByteArray());
    // Stays at the end once there.
    if (reader.readLine(line))
        lines.append("<read past the end>");
    return lines;
}

// Lines of every length up to a few thousand bytes with all three line ends,
// more than one of the reader's blocks in all.
QByteArray mixedText()
{
    static const char *const ends[] = {"\n", "\r\n", "\r"};
    QByteArray text;
    for (int i = 0; text.size() < (3 << 20); ++i)
        text += QByteArray((i * 7919) % 4099, char('a' + i % 26)) + ends[i % 3];
    return text;
}

} // namespace

class tst_LineReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data();
    void lines();
    void largeText();
    void file();
};

void tst_LineReader::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArrayList ab{"a", "b"};
    QTest::newRow("empty")          << QByteArray() << QByteArrayList{};
    QTest::newRow("lf")             << QByteArray("a\nb\n") << ab;
    QTest::newRow("crlf")           << QByteArray("a\r\nb\r\n") << ab;
    QTest::newRow("cr")             << QByteArray("a\rb\r") << ab;
    QTest::newRow("no-last-end")    << QByteArray("a\nb") << ab;
    QTest::newRow("mixed")          << QByteArray("a\r\nb\nc\rd") << QByteArrayList{"a", "b", "c", "d"};
    QTest::newRow("only-end")       << QByteArray("\n") << QByteArrayList{""};
    QTest::newRow("blank-lines-lf") << QByteArray("\n\na\n") << QByteArrayList{"", "", "a"};
    QTest::newRow("cr-cr-lf")       << QByteArray("a\r\r\nb") << QByteArrayList{"a", "", "b"};
    QTest::newRow("lf-cr")          << QByteArray("a\n\rb") << QByteArrayList{"a", "", "b"};
    QTest::newRow("last-cr")        << QByteArray("a\r") << QByteArrayList{"a"};
    QTest::newRow("keeps-blanks")   << QByteArray(" a\t \r\n") << QByteArrayList{" a\t "};
    QTest::newRow("eight-bit")      << QByteArray("\xe9t\xe9\n") << QByteArrayList{"\xe9t\xe9"};
    QTest::newRow("nul-byte")       << QByteArray("a\0b\n", 4) << QByteArrayList{QByteArray("a\0b", 3)};
}

void tst_LineReader::lines()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, expected);

    QCOMPARE(referenceLines(text), expected);

    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(readAll(&buffer), expected);

    // One byte at a time: every CR meets its LF in the next block.
    TrickleDevice trickle(text, 1);
    QCOMPARE(readAll(&trickle), expected);
}

void tst_LineReader::largeText()
{
    const QByteArray text = mixedText();
    const QByteArrayList expected = referenceLines(text);

    QByteArray copy = text;
    QBuffer buffer(&copy);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(readAll(&buffer), expected);

    for (const qint64 step : {2, 3, 4093}) {
        TrickleDevice trickle(text, step);
        QCOMPARE(readAll(&trickle), expected);
    }
}

void tst_LineReader::file()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray text = mixedText();
    QFile out(dir.filePath(QStringLiteral("lines.txt")));
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(text), qint64(text.size()));
    out.close();

    QFile in(out.fileName());
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(readAll(&in), referenceLines(text));
}

QTEST_GUILESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
