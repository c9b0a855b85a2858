#include "bvhin.h"
#include "bvhstate.h"
#include "linereader.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QBuffer>
#include <QLocale>
#include <QtTest>

namespace {

void parse(CBvhIn &in, const QByteArray &text)
{
    in.resetParseState();
    for (const QByteArray &line : text.split('\n'))
        in.parseLine(QString::fromLatin1(line));
}

QList<CBvhHeader *> jointRecords()
{
    return QList<CBvhHeader *>(bvhState().jointList.begin(), bvhState().jointList.end());
}

// "type name @level ^parent", parent as an index into the joint list.
QStringList summary()
{
    const QList<CBvhHeader *> all = jointRecords();
    QStringList lines;
    for (const CBvhHeader *r : all) {
        const qsizetype parent = all.indexOf(r->parent);
        lines += QStringLiteral("%1 %2 @%3 ^%4").arg(r->type).arg(r->name).arg(r->level)
                     .arg(parent < 0 ? QStringLiteral("-") : QString::number(parent));
    }
    return lines;
}

} // namespace

class tst_BvhReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Numbers are read with a point whatever the user's locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void cleanup() { bvhState().clearLists(); }
    void records_data();
    void records();
    void rootOffset();
    void offsetNotANumber();
    void motionHeader_data();
    void motionHeader();
    void realFiles_data();
    void realFiles();
};

void tst_BvhReader::records_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("expected");

    const QByteArray root = "ROOT r\n{\nOFFSET 0 0 0\n";
    // The brace joins the name and the level does not change.
    QTest::newRow("brace-on-name-line") << QByteArray("ROOT Hips {\nOFFSET 1 2 3\n") << QStringList{"1 Hips { @0 ^-"};
    QTest::newRow("multi-word-name") << root + "  JOINT   left \t upper   arm  \n{\nOFFSET 0 0 0\n"
                                     << QStringList{"1 r @1 ^-", "1 left upper arm @2 ^0"};
    QTest::newRow("channel-order")
        << root + "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
        << QStringList{"1 r @1 ^-", "3 r @1 ^-", "4 r @1 ^-", "5 r @1 ^-", "8 r @1 ^-", "6 r @1 ^-", "7 r @1 ^-"};
    // Names count by containment, scale names only with a small "s";
    // unknown ones use up their place.
    QTest::newRow("scale-capital-s") << root + "CHANNELS 5 XScale Yscale ZScale myZscale Twist\n"
                                     << QStringList{"1 r @1 ^-", "10 r @1 ^-", "11 r @1 ^-"};
    QTest::newRow("count-not-positive") << root + "CHANNELS 0 Xrotation\nCHANNELS -3 Yrotation\nCHANNELS x Zrotation\n"
                                        << QStringList{"1 r @1 ^-"};
    QTest::newRow("count-beyond-names") << root + "CHANNELS 5 Xrotation\nCHANNELS 2147483647 Zrotation\n"
                                        << QStringList{"1 r @1 ^-", "6 r @1 ^-", "8 r @1 ^-"};
    // The count decides what is a name, even a brace.
    QTest::newRow("brace-counted-as-name") << root + "CHANNELS 2 Xrotation }\nJOINT j\n{\nOFFSET 0 0 0\n"
                                           << QStringList{"1 r @1 ^-", "6 r @1 ^-", "1 j @2 ^0"};
    QTest::newRow("keyword-containment") << root + "JOINTED arm\n{{\nxOFFSETx 0 0 0\n"
                                         << QStringList{"1 r @1 ^-", "1 arm @2 ^0"};
    // An End Site makes two equal records, at its OFFSET and at its brace.
    QTest::newRow("end-site") << root + "End Site\n{\nOFFSET 0 1 0\n}\n}\nMOTION\n"
                              << QStringList{"1 r @1 ^-", "2  @2 ^0", "2  @2 ^0", "0  @0 ^-"};
    QTest::newRow("two-roots") << QByteArray("ROOT a\n{\nOFFSET 0 0 0\nJOINT b\n{\nOFFSET 0 0 0\n}\n}\n"
                                             "ROOT c\n{\nOFFSET 0 0 0\nJOINT d\n{\nOFFSET 0 0 0\n")
                               << QStringList{"1 a @1 ^-", "1 b @2 ^0", "1 c @1 ^-", "1 d @2 ^2"};
}

void tst_BvhReader::records()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);

    CBvhIn in;
    parse(in, text);
    QCOMPARE(summary(), expected);
}

// "nan" and "inf" convert as numbers; one of them in an OFFSET would spread
// into every rest position below the joint.
void tst_BvhReader::offsetNotANumber()
{
    CBvhIn in;
    parse(in, "ROOT r\n{\nOFFSET 0 0 0\nJOINT a\n{\nOFFSET nan inf 2\nJOINT b\n{\nOFFSET 1 -inf x\n");
    const CBvhHeader *b = bvhState().jointList.last();
    QCOMPARE(b->name, QStringLiteral("b"));
    QVERIFY2(kvtest::near(b->restPosition, KvVec3(1, 0, 2), 0.0), qPrintable(kvtest::toString(b->restPosition)));
}

// Rest positions are relative to the root: its OFFSET is never added.
void tst_BvhReader::rootOffset()
{
    CBvhIn in;
    parse(in, "ROOT r\n{\nOFFSET 5 5 5\nJOINT j\n{\nOFFSET 1 2 3\n");
    const QList<CBvhHeader *> r = jointRecords();
    QVERIFY(r.size() == 2 && r[0]->restPosition == KvVec3() && r[0]->endPosition == KvVec3(1, 2, 3));
    QCOMPARE(r[1]->restPosition, KvVec3(1, 2, 3));
}

void tst_BvhReader::motionHeader_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("frames");
    QTest::addColumn<float>("frameTime");
    QTest::addColumn<bool>("inHierarchy");

    QTest::newRow("frames")          << QByteArray("MOTION\nFrames:\t120\n") << 120 << 0.0f << true;
    QTest::newRow("both")            << QByteArray("Frames: 30\nFrame Time: .0333333\n") << 30 << 0.0333333f << false;
    // Without its colon, "Frames" is just a Frame token.
    QTest::newRow("frames-no-colon") << QByteArray("Frames 120\n") << 0 << 0.0f << false;
    QTest::newRow("after-the-end")   << QByteArray("Frame Time: 0.5\nFrames: 9\n") << 0 << 0.5f << false;
}

// What a file leaves out starts at 0, never at the previous file's value.
void tst_BvhReader::motionHeader()
{
    QFETCH(QByteArray, text);
    QFETCH(int, frames);
    QFETCH(float, frameTime);
    QFETCH(bool, inHierarchy);

    CBvhIn in;
    in.numFrames = 99;
    in.frameTime = 0.125f;
    in.resetParseState();
    for (const QByteArray &line : text.split('\n')) {
        if (in.inHierarchy)
            in.parseLine(QString::fromLatin1(line));
    }
    QCOMPARE(in.numFrames, frames);
    QCOMPARE(in.frameTime, frameTime);
    QCOMPARE(in.inHierarchy, inHierarchy);
}

void tst_BvhReader::realFiles_data()
{
    QTest::addColumn<QByteArray>("text");

    const QDir dir(kvtest::dataFile(QStringLiteral("bvh")));
    const QStringList files = dir.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files) {
        QFile f(dir.filePath(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QTest::newRow(qPrintable(file)) << text;
        if (text.contains("\r\n"))
            QTest::newRow(qPrintable(file + QLatin1String("-cr-only"))) << QByteArray(text).replace("\r\n", "\r");
    }
}

// Every sample file through the importer's own line reader, against the
// textbook reader: records per joint, channel and End Site, parents, rest
// positions relative to the root and end positions (at the End Site, else
// at the last child).
void tst_BvhReader::realFiles()
{
    QFETCH(QByteArray, text);

    kvtest::TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvh(text, bvh, &error), qPrintable(error));
    std::vector<KvVec3d> rest;
    for (const kvtest::Vec3 &p : kvtest::restPositions(bvh))
        rest.emplace_back(p[0] - bvh.joints[0].offset[0], p[1] - bvh.joints[0].offset[1], p[2] - bvh.joints[0].offset[2]);
    std::vector<KvVec3d> end(rest.size());
    for (size_t j = 0; j < rest.size(); ++j) {
        const kvtest::TextbookJoint &joint = bvh.joints[j];
        if (joint.parent >= 0)
            end[size_t(joint.parent)] = rest[j];
        if (joint.hasEndSite)
            end[j] = rest[j] + KvVec3d(joint.endSiteOffset[0], joint.endSiteOffset[1], joint.endSiteOffset[2]);
    }

    CBvhIn in;
    in.resetParseState();
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CLineReader reader(&buffer);
    QByteArrayView line;
    while (in.inHierarchy && reader.readLine(line))
        in.parseLine(QString::fromLatin1(line));
    QVERIFY(!in.inHierarchy);
    QCOMPARE(in.numFrames, bvh.frameCount);
    QCOMPARE(in.frameTime, float(bvh.frameTime));

    size_t joint = 0;
    int channel = 0;
    int endSites = 0;
    const CBvhHeader *jointRecord = nullptr;
    const QList<CBvhHeader *> all = jointRecords();
    for (const CBvhHeader *r : all) {
        const QByteArray where = "record " + QByteArray::number(all.indexOf(r)) + " " + r->name.toLatin1();
        if (r->type == Joint) {
            joint = jointRecord ? joint + 1 : 0;
            jointRecord = r;
            channel = 0;
            QVERIFY2(joint < bvh.joints.size(), where);
            const kvtest::TextbookJoint &j = bvh.joints[joint];
            QVERIFY2(r->name == j.name && (r->parent ? r->parent->name : QString())
                                              == (j.parent < 0 ? QString() : bvh.joints[size_t(j.parent)].name), where);
            QVERIFY2(kvtest::near(KvVec3d(r->restPosition), rest[joint], 1e-3), where);
            QVERIFY2(kvtest::near(KvVec3d(r->endPosition), end[joint], 1e-3), where);
        } else if (r->type == EndSite) {
            ++endSites;
            QVERIFY2(r->parent == jointRecord && kvtest::near(KvVec3d(r->restPosition), end[joint], 1e-3), where);
        } else if (r->type != EndMarker) {
            const QString name = bvh.joints[joint].channels.value(channel++);
            const int type = (name.endsWith(QLatin1String("rotation")) ? Xrotation : Xposition) + name.at(0).toLatin1() - 'X';
            QVERIFY2(r->type == type && r->name == jointRecord->name, where);
        }
    }
    QCOMPARE(joint + 1, bvh.joints.size());
    const int withEndSite = int(std::count_if(bvh.joints.cbegin(), bvh.joints.cend(),
                                              [](const kvtest::TextbookJoint &j) { return j.hasEndSite; }));
    QCOMPARE(endSites, 2 * withEndSite);
    QCOMPARE(int(all.size()), int(bvh.joints.size()) + bvh.channelCount + 2 * withEndSite + 1);
}

QTEST_GUILESS_MAIN(tst_BvhReader)
#include "tst_bvhreader.moc"
