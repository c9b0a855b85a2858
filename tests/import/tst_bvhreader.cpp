#include "bvhin.h"
#include "bvhstate.h"
#include "linereader.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

#include <map>

namespace {

void parse(CBvhIn &in, const QByteArray &text)
{
    in.resetParseState();
    for (const QString &line : QString::fromLatin1(text).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        if (!in.inHierarchy)
            break;
        in.parseLine(line);
    }
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

// The records a well-formed file should give, worked out without the
// reader's level look-ups: a stack of open blocks, positions in doubles.
struct ExpectedRecord
{
    int type = 0;
    QString name;
    int level = 0;
    int parent = -1;
    KvVec3d rest;
    KvVec3d end;
};

struct Expected
{
    std::vector<ExpectedRecord> records;
    int joints = 0;
    int channels = 0;
    int endSites = 0;
    int frames = 0;
    float frameTime = 0;
};

Expected expectHierarchy(const QByteArray &text)
{
    static const std::map<QString, int> channelTypes = {
        {QStringLiteral("Xposition"), 3}, {QStringLiteral("Yposition"), 4}, {QStringLiteral("Zposition"), 5},
        {QStringLiteral("Xrotation"), 6}, {QStringLiteral("Yrotation"), 7}, {QStringLiteral("Zrotation"), 8},
        {QStringLiteral("Xscale"), 9}, {QStringLiteral("Yscale"), 10}, {QStringLiteral("Zscale"), 11}};
    struct Block { bool endSite; int record; };

    Expected e;
    std::vector<Block> open;
    QString name;
    bool endSite = false;
    for (const QString &line : QString::fromLatin1(text).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QStringList w = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        const QString key = w.value(0);
        if (key == QLatin1String("ROOT") || key == QLatin1String("JOINT")) {
            name = w.mid(1).join(QLatin1Char(' '));
            endSite = false;
            ++e.joints;
        } else if (key == QLatin1String("End")) {
            endSite = true;
            ++e.endSites;
        } else if (key == QLatin1String("{")) {
            open.push_back({endSite, -1});
        } else if (key == QLatin1String("OFFSET")) {
            ExpectedRecord r{endSite ? 2 : 1, endSite ? QString() : name, int(open.size()),
                             open.size() >= 2 ? open[open.size() - 2].record : -1, {}, {}};
            if (r.parent >= 0) {
                ExpectedRecord &p = e.records[size_t(r.parent)];
                r.rest = p.rest + KvVec3d(w.value(1).toDouble(), w.value(2).toDouble(), w.value(3).toDouble());
                p.end = r.rest;
            }
            open.back().record = int(e.records.size());
            e.records.push_back(r);
        } else if (key == QLatin1String("CHANNELS")) {
            ExpectedRecord r = e.records.back();
            r.end = KvVec3d();
            for (const QString &channel : w.mid(2)) {
                r.type = channelTypes.at(channel);
                e.records.push_back(r);
                ++e.channels;
            }
        } else if (key == QLatin1String("}")) {
            if (open.back().endSite)
                e.records.push_back(e.records[size_t(open.back().record)]);
            open.pop_back();
        } else if (key == QLatin1String("MOTION")) {
            e.records.push_back(ExpectedRecord());
        } else if (key == QLatin1String("Frames:")) {
            e.frames = w.value(1).toInt();
        } else if (key == QLatin1String("Frame")) {
            e.frameTime = w.value(2).toFloat();
            break;
        }
    }
    return e;
}

} // namespace

class tst_BvhReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { bvhState().clearLists(); }
    void records_data();
    void records();
    void positions();
    void numbers_data();
    void numbers();
    void motionHeader_data();
    void motionHeader();
    void specialNames_data();
    void specialNames();
    void realFiles_data();
    void realFiles();
};

void tst_BvhReader::records_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("expected");

    const QByteArray root = "ROOT r\n{\nOFFSET 0 0 0\n";
    QTest::newRow("brace-own-line") << QByteArray("HIERARCHY\nROOT Hips\n{\n OFFSET 1 2 3\n}\n")
                                    << QStringList{"1 Hips @1 ^-"};
    // The brace joins the name and the level does not change.
    QTest::newRow("brace-on-name-line") << QByteArray("ROOT Hips {\nOFFSET 1 2 3\n")
                                        << QStringList{"1 Hips { @0 ^-"};
    QTest::newRow("multi-word-name") << root + "  JOINT   left \t upper   arm  \n{\nOFFSET 0 0 0\n"
                                     << QStringList{"1 r @1 ^-", "1 left upper arm @2 ^0"};
    QTest::newRow("channel-order")
        << root + "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
        << QStringList{"1 r @1 ^-", "3 r @1 ^-", "4 r @1 ^-", "5 r @1 ^-", "8 r @1 ^-", "6 r @1 ^-", "7 r @1 ^-"};
    QTest::newRow("scale-capital-s") << root + "CHANNELS 4 XScale Yscale ZScale Zscale\n"
                                     << QStringList{"1 r @1 ^-", "10 r @1 ^-", "11 r @1 ^-"};
    // Names count by containment; unknown ones use up their place.
    QTest::newRow("channel-containment") << root + "CHANNELS 3 myXrotation Twist Zrotation Yrotation\n"
                                         << QStringList{"1 r @1 ^-", "6 r @1 ^-", "8 r @1 ^-"};
    QTest::newRow("count-zero") << root + "CHANNELS 0 Xrotation\n" << QStringList{"1 r @1 ^-"};
    QTest::newRow("count-negative") << root + "CHANNELS -3 Xrotation\n" << QStringList{"1 r @1 ^-"};
    QTest::newRow("count-not-a-number") << root + "CHANNELS three Xrotation\n" << QStringList{"1 r @1 ^-"};
    QTest::newRow("count-beyond-names") << root + "CHANNELS 5 Xrotation Yrotation\n"
                                        << QStringList{"1 r @1 ^-", "6 r @1 ^-", "7 r @1 ^-"};
    QTest::newRow("count-int-max") << root + "CHANNELS 2147483647 Zrotation\n"
                                   << QStringList{"1 r @1 ^-", "8 r @1 ^-"};
    // The count decides what is a name, even a brace; after the names,
    // tokens keep their meaning.
    QTest::newRow("brace-counted-as-name") << root + "CHANNELS 2 Xrotation }\nJOINT j\n{\nOFFSET 0 0 0\n"
                                           << QStringList{"1 r @1 ^-", "6 r @1 ^-", "1 j @2 ^0"};
    QTest::newRow("brace-after-names") << root + "CHANNELS 1 Zrotation {\nJOINT j\nOFFSET 0 0 0\n"
                                       << QStringList{"1 r @1 ^-", "8 r @1 ^-", "1 j @2 ^0"};
    QTest::newRow("keyword-containment") << root + "JOINTED arm\n{{\nxOFFSETx 0 0 0\n"
                                         << QStringList{"1 r @1 ^-", "1 arm @2 ^0"};
    // An End Site makes two equal records: at its OFFSET and at its brace.
    QTest::newRow("end-site") << root + "End Site\n{\nOFFSET 0 1 0\n}\n}\nMOTION\n"
                              << QStringList{"1 r @1 ^-", "2  @2 ^0", "2  @2 ^0", "0  @0 ^-"};
    QTest::newRow("end-without-site") << root + "End Zone OFFSET 1 1 1\n"
                                      << QStringList{"1 r @1 ^-", "1 r @1 ^-"};
    // MOTION copies whatever the current record holds.
    QTest::newRow("motion-after-channels") << root + "CHANNELS 1 Yrotation\n}\nMOTION\n"
                                           << QStringList{"1 r @1 ^-", "7 r @1 ^-", "7 r @0 ^-"};
    QTest::newRow("two-roots") << QByteArray("ROOT a\n{\nOFFSET 0 0 0\nJOINT b\n{\nOFFSET 0 0 0\n}\n"
                                             "ROOT c\n{\nOFFSET 0 0 0\nJOINT d\n{\nOFFSET 0 0 0\n")
                               << QStringList{"1 a @1 ^-", "1 b @2 ^0", "1 c @1 ^-", "1 d @2 ^2"};
    QTest::newRow("siblings") << root + "JOINT b\n{\nOFFSET 0 0 0\n}\nJOINT c\n{\nOFFSET 0 0 0\n"
                              << QStringList{"1 r @1 ^-", "1 b @2 ^0", "1 c @2 ^0"};
    // The parent is the last joint record one level up, never a channel.
    QTest::newRow("parent-skips-channels") << root + "}\n{\nJOINT s\nOFFSET 0 0 0\nCHANNELS 1 Xrotation\n{\nJOINT t\nOFFSET 0 0 0\n"
                                           << QStringList{"1 r @1 ^-", "1 s @1 ^-", "6 s @1 ^-", "1 t @2 ^1"};
    QTest::newRow("extra-closing-brace") << root + "}\n}\nJOINT b\n{\nOFFSET 0 0 0\n"
                                         << QStringList{"1 r @1 ^-", "1 b @0 ^-"};
    QTest::newRow("blank-and-tabs") << QByteArray("\n\t\nROOT\tr\n\n{\n\tOFFSET\t0\t0\t0\t\n\n\tCHANNELS\t1\tXposition\n")
                                    << QStringList{"1 r @1 ^-", "3 r @1 ^-"};
}

void tst_BvhReader::records()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);

    CBvhIn in;
    parse(in, text);
    QCOMPARE(summary(), expected);
}

//   root (5,5,5) ── child (0,10,0) ── End Site (1,2,3)
void tst_BvhReader::positions()
{
    CBvhIn in;
    parse(in, "ROOT root\n{\nOFFSET 5 5 5\nCHANNELS 1 Xrotation\nJOINT child\n{\nOFFSET 0 10 0\n"
              "CHANNELS 1 Xrotation\nEnd Site\n{\nOFFSET 1 2 3\n}\n}\n}\nMOTION\n");
    const QList<CBvhHeader *> r = jointRecords();
    QCOMPARE(r.size(), 7);
    // The root's OFFSET is never added: rest positions are relative to it.
    QCOMPARE(r[0]->offset, KvVec3(5, 5, 5));
    QCOMPARE(r[0]->restPosition, KvVec3(0, 0, 0));
    QCOMPARE(r[0]->endPosition, KvVec3(0, 10, 0));
    QCOMPARE(r[2]->restPosition, KvVec3(0, 10, 0));
    QCOMPARE(r[3]->restPosition, KvVec3(0, 10, 0));
    QCOMPARE(r[2]->endPosition, KvVec3(1, 12, 3));
    QCOMPARE(r[4]->restPosition, KvVec3(1, 12, 3));
    QCOMPARE(r[5]->restPosition, KvVec3(1, 12, 3));
    QCOMPARE(r[5]->parent, r[2]);
    // Channel records are copies taken at their commit.
    QCOMPARE(r[3]->endPosition, KvVec3(0, 0, 0));
}

void tst_BvhReader::numbers_data()
{
    QTest::addColumn<QByteArray>("offset");
    QTest::addColumn<KvVec3>("expected");

    QTest::newRow("plain")        << QByteArray("OFFSET 1.5 -2 0.25") << KvVec3(1.5f, -2, 0.25f);
    QTest::newRow("short-forms")  << QByteArray("OFFSET .5 -.25 +3") << KvVec3(0.5f, -0.25f, 3);
    QTest::newRow("exponent")     << QByteArray("OFFSET -2.49469e-09 1E2 5e-1") << KvVec3(-2.49469e-09f, 100, 0.5f);
    QTest::newRow("comma")        << QByteArray("OFFSET 1,5 2 3") << KvVec3(0, 2, 3);
    QTest::newRow("garbage")      << QByteArray("OFFSET abc 2x 7") << KvVec3(0, 0, 7);
    QTest::newRow("missing")      << QByteArray("OFFSET 4") << KvVec3(4, 0, 0);
}

// Numbers read with a point whatever the user's locale; text reads as 0.
void tst_BvhReader::numbers()
{
    QFETCH(QByteArray, offset);
    QFETCH(KvVec3, expected);

    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CBvhIn in;
    parse(in, "ROOT r\n{\nOFFSET 0 0 0\nJOINT j\n{\n" + offset + "\n");
    QLocale::setDefault(previous);
    QCOMPARE(jointRecords().size(), 2);
    QCOMPARE(jointRecords()[1]->offset, expected);
}

void tst_BvhReader::motionHeader_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("frames");
    QTest::addColumn<float>("frameTime");
    QTest::addColumn<bool>("inHierarchy");

    QTest::newRow("frames")          << QByteArray("MOTION\nFrames:\t120\n") << 120 << 0.0f << true;
    QTest::newRow("frames-garbage")  << QByteArray("Frames: many\n") << 0 << 0.0f << true;
    QTest::newRow("both")            << QByteArray("Frames: 30\nFrame Time: 0.0333333\n") << 30 << 0.0333333f << false;
    QTest::newRow("time-short-form") << QByteArray("Frame Time:\t.0083333\n") << 0 << 0.0083333f << false;
    QTest::newRow("frame-other")     << QByteArray("Frame 12 0.5\n") << 0 << 0.0f << false;
    // Without its colon, "Frames" is just a Frame token.
    QTest::newRow("frames-no-colon") << QByteArray("Frames 120\n") << 0 << 0.0f << false;
    QTest::newRow("after-the-end")   << QByteArray("Frame Time: 0.5\nFrames: 9\n") << 0 << 0.5f << false;
    QTest::newRow("one-line")        << QByteArray("Frames: 7 Frame Time: 0.25 HIERARCHY\n") << 7 << 0.25f << true;
}

void tst_BvhReader::motionHeader()
{
    QFETCH(QByteArray, text);
    QFETCH(int, frames);
    QFETCH(float, frameTime);
    QFETCH(bool, inHierarchy);

    CBvhIn in;
    in.numFrames = 99;
    in.frameTime = 0.125f;
    parse(in, text);
    QCOMPARE(in.numFrames, frames);
    QCOMPARE(in.frameTime, frameTime);
    QCOMPARE(in.inHierarchy, inHierarchy);
}

void tst_BvhReader::specialNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("special");

    QTest::newRow("world-root")       << "my_WORLD_ROOT_2" << true;
    QTest::newRow("world-root-lower") << "world_root" << false;
    QTest::newRow("Body")             << "Body" << true;
    QTest::newRow("upper-body")       << "upper body" << true;
    QTest::newRow("body-dashes")      << "my-BODY.part" << true;
    QTest::newRow("body-colon-digit") << "BODY:7" << true;
    QTest::newRow("nobody-colon-digit") << "nobody:1" << true;
    QTest::newRow("nobody-colon-letter") << "nobody:x" << false;
    QTest::newRow("bodyguard")        << "bodyguard" << false;
    QTest::newRow("nobody")           << "nobody" << false;
    QTest::newRow("body-underscore")  << "body_1" << false;
    QTest::newRow("empty")            << "" << false;
}

void tst_BvhReader::specialNames()
{
    QFETCH(QString, name);
    QFETCH(bool, special);

    QCOMPARE(CBvhIn::isSpecialJointName(name), special);
}

void tst_BvhReader::realFiles_data()
{
    QTest::addColumn<QString>("path");

    const QDir dir(kvtest::dataFile(QStringLiteral("bvh")));
    const QStringList files = dir.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

// Every sample file, read through the importer's own line reader, against
// the independent account above and the textbook reader's joints.
void tst_BvhReader::realFiles()
{
    QFETCH(QString, path);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const Expected e = expectHierarchy(text);
    QCOMPARE(int(e.records.size()), e.joints + e.channels + 2 * e.endSites + 1);

    CBvhIn in;
    in.resetParseState();
    file.seek(0);
    CLineReader reader(&file);
    QByteArrayView line;
    while (in.inHierarchy && reader.readLine(line))
        in.parseLine(QString::fromLatin1(line));
    QVERIFY(!in.inHierarchy);
    QCOMPARE(in.numFrames, e.frames);
    QCOMPARE(in.frameTime, e.frameTime);

    const QList<CBvhHeader *> all = jointRecords();
    QCOMPARE(all.size(), qsizetype(e.records.size()));
    QStringList jointsAndParents;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const CBvhHeader *r = all[i];
        const ExpectedRecord &x = e.records[size_t(i)];
        const QByteArray where = "record " + QByteArray::number(i) + " " + r->name.toLatin1();
        QVERIFY2(r->type == x.type && r->name == x.name && r->level == x.level, where);
        QVERIFY2(all.indexOf(r->parent) == x.parent, where);
        QVERIFY2(kvtest::near(KvVec3d(r->restPosition), x.rest, 1e-3), where);
        QVERIFY2(kvtest::near(KvVec3d(r->endPosition), x.end, 1e-3), where);
        if (r->type == Joint)
            jointsAndParents += r->name + QLatin1Char('<') + (r->parent ? r->parent->name : QString());
    }

    kvtest::TextbookBvh textbook;
    QString error;
    QVERIFY2(kvtest::readTextbookBvh(text, textbook, &error), qPrintable(error));
    QStringList textbookJoints;
    for (const kvtest::TextbookJoint &j : textbook.joints)
        textbookJoints += j.name + QLatin1Char('<') + (j.parent < 0 ? QString() : textbook.joints[size_t(j.parent)].name);
    QCOMPARE(jointsAndParents, textbookJoints);
    QCOMPARE(textbook.channelCount, e.channels);
}

QTEST_GUILESS_MAIN(tst_BvhReader)
#include "tst_bvhreader.moc"
