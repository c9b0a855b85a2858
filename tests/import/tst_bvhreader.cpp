#include "bvhin.h"
#include "bvhstate.h"
#include "linereader.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <map>

namespace {

QStringList splitLines(const QByteArray &text)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = QString::fromLatin1(text).split(lineEnd);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Feeds lines to the reader as the import does: until the hierarchy ends.
void parse(CBvhIn &in, const QByteArray &text)
{
    in.resetParseState();
    for (const QString &line : splitLines(text)) {
        if (!in.inHierarchy)
            break;
        in.parseLine(line);
    }
}

QList<CBvhHeader *> jointRecords()
{
    const CRecordList<CBvhHeader> &list = bvhState().jointList;
    return QList<CBvhHeader *>(list.begin(), list.end());
}

// "type name @level ^parent", parent as an index into the joint list.
QStringList summary()
{
    const QList<CBvhHeader *> all = jointRecords();
    QStringList lines;
    for (const CBvhHeader *r : all) {
        const qsizetype parent = all.indexOf(r->parent);
        lines += QStringLiteral("%1 %2 @%3 ^%4")
                     .arg(r->type)
                     .arg(r->name)
                     .arg(r->level)
                     .arg(parent < 0 ? QStringLiteral("-") : QString::number(parent));
    }
    return lines;
}

// What a BVH hierarchy should turn into, worked out independently of the
// reader: a stack of open blocks instead of level look-ups, positions in
// double precision.
struct ExpectedRecord
{
    int type = 0;
    QString name;
    int level = 0;
    int parent = -1;
    double rest[3] = {0, 0, 0};
    double end[3] = {0, 0, 0};
};

struct Expected
{
    std::vector<ExpectedRecord> records;
    int joints = 0;
    int endSites = 0;
    int channels = 0;
    int frames = 0;
    double frameTime = 0;
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
    QString pendingName;
    bool pendingEndSite = false;
    int depth = 0;
    for (const QString &line : splitLines(text)) {
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString &key = words.first();
        if (key == QLatin1String("ROOT") || key == QLatin1String("JOINT")) {
            pendingName = words.mid(1).join(QLatin1Char(' '));
            pendingEndSite = false;
            ++e.joints;
        } else if (key == QLatin1String("End") && words.value(1) == QLatin1String("Site")) {
            pendingEndSite = true;
            ++e.endSites;
        } else if (key == QLatin1String("{")) {
            ++depth;
            open.push_back({pendingEndSite, -1});
        } else if (key == QLatin1String("OFFSET")) {
            ExpectedRecord r;
            r.type = pendingEndSite ? 2 : 1;
            r.name = pendingEndSite ? QString() : pendingName;
            r.level = depth;
            // The enclosing joint is the block opened before this one.
            r.parent = open.size() >= 2 ? open[open.size() - 2].record : -1;
            if (r.parent >= 0) {
                ExpectedRecord &p = e.records[size_t(r.parent)];
                for (int k = 0; k < 3; ++k) {
                    r.rest[k] = p.rest[k] + words.value(k + 1).toDouble();
                    p.end[k] = r.rest[k];
                }
            }
            open.back().record = int(e.records.size());
            e.records.push_back(r);
        } else if (key == QLatin1String("CHANNELS")) {
            const ExpectedRecord joint = e.records.back();
            for (const QString &name : words.mid(2)) {
                ++e.channels;
                ExpectedRecord r = joint;
                r.type = channelTypes.at(name);
                r.end[0] = r.end[1] = r.end[2] = 0;
                e.records.push_back(r);
            }
        } else if (key == QLatin1String("}")) {
            if (open.back().endSite) {
                ExpectedRecord r = e.records[size_t(open.back().record)];
                e.records.push_back(r);
            }
            open.pop_back();
            --depth;
        } else if (key == QLatin1String("MOTION")) {
            e.records.push_back(ExpectedRecord());
        } else if (key == QLatin1String("Frames:")) {
            e.frames = words.value(1).toInt();
        } else if (key == QLatin1String("Frame")) {
            e.frameTime = words.value(2).toDouble();
            break;
        }
    }
    return e;
}

QByteArray readData(const QString &name)
{
    QFile file(kvtest::dataFile(QStringLiteral("bvh/") + name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool nearVec(const KvVec3 &v, const double (&e)[3], double tolerance)
{
    return kvtest::near(v, KvVec3(float(e[0]), float(e[1]), float(e[2])), tolerance);
}

} // namespace

class tst_BvhReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void records_data();
    void records();
    void positions();
    void numbers_data();
    void numbers();
    void motionHeader_data();
    void motionHeader();
    void newParseForgetsOldFile();
    void readJointName_data();
    void readJointName();
    void findParentRecord();
    void specialNames_data();
    void specialNames();
    void realFiles_data();
    void realFiles();
};

void tst_BvhReader::init()
{
    bvhState().clearLists();
}

void tst_BvhReader::cleanup()
{
    bvhState().clearLists();
}

void tst_BvhReader::records_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("brace-own-line")
        << QByteArray("HIERARCHY\nROOT Hips\n{\n OFFSET 1 2 3\n}\n")
        << QStringList{"1 Hips @1 ^-"};
    // The brace joins the name and the level does not change.
    QTest::newRow("brace-on-name-line")
        << QByteArray("ROOT Hips {\nOFFSET 1 2 3\n}\n")
        << QStringList{"1 Hips { @0 ^-"};
    QTest::newRow("multi-word-name")
        << QByteArray("ROOT a\n{\nOFFSET 0 0 0\n  JOINT   left \t upper   arm  \n  {\n  OFFSET 0 0 0\n  }\n}\n")
        << QStringList{"1 a @1 ^-", "1 left upper arm @2 ^0"};
    QTest::newRow("channel-order")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\n"
                      "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n}\n")
        << QStringList{"1 r @1 ^-", "3 r @1 ^-", "4 r @1 ^-", "5 r @1 ^-",
                       "8 r @1 ^-", "6 r @1 ^-", "7 r @1 ^-"};
    QTest::newRow("scale-lower-case")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 3 Xscale Yscale Zscale\n}\n")
        << QStringList{"1 r @1 ^-", "9 r @1 ^-", "10 r @1 ^-", "11 r @1 ^-"};
    QTest::newRow("scale-capital-s")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 4 XScale YScale ZScale Zrotation\n}\n")
        << QStringList{"1 r @1 ^-", "8 r @1 ^-"};
    // Channel names count by containment; unknown names use up their place.
    QTest::newRow("channel-containment")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 3 myXrotation Twist Zrotation Yrotation\n}\n")
        << QStringList{"1 r @1 ^-", "6 r @1 ^-", "8 r @1 ^-"};
    QTest::newRow("count-zero")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 0 Xrotation\n}\n")
        << QStringList{"1 r @1 ^-"};
    QTest::newRow("count-negative")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS -3 Xrotation Yrotation\n}\n")
        << QStringList{"1 r @1 ^-"};
    QTest::newRow("count-not-a-number")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS three Xrotation\n}\n")
        << QStringList{"1 r @1 ^-"};
    QTest::newRow("count-beyond-names")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 5 Xrotation Yrotation\n}\n")
        << QStringList{"1 r @1 ^-", "6 r @1 ^-", "7 r @1 ^-"};
    QTest::newRow("count-int-max")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 2147483647 Zrotation\n}\n")
        << QStringList{"1 r @1 ^-", "8 r @1 ^-"};
    // The count decides what is a name, even a brace.
    QTest::newRow("brace-counted-as-name")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 2 Xrotation }\nJOINT j\n{\nOFFSET 0 0 0\n")
        << QStringList{"1 r @1 ^-", "6 r @1 ^-", "1 j @2 ^0"};
    // Tokens after the names keep their meaning: here a brace.
    QTest::newRow("after-channels")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 1 Zrotation {\nJOINT j\nOFFSET 0 0 0\n")
        << QStringList{"1 r @1 ^-", "8 r @1 ^-", "1 j @2 ^0"};
    QTest::newRow("keyword-containment")
        << QByteArray("ROOT r\n{\nxOFFSETx 0 0 0\nJOINTED arm\n{{\nOFFSET 0 0 0\n")
        << QStringList{"1 r @1 ^-", "1 arm @2 ^0"};
    // An End Site makes two equal records, at its OFFSET and at its brace.
    QTest::newRow("end-site")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nEnd Site\n{\nOFFSET 0 1 0\n}\n}\nMOTION\n")
        << QStringList{"1 r @1 ^-", "2  @2 ^0", "2  @2 ^0", "0  @0 ^-"};
    QTest::newRow("end-without-site")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nEnd Zone OFFSET 1 1 1\n")
        << QStringList{"1 r @1 ^-", "1 r @1 ^-"};
    // MOTION copies whatever the current record holds.
    QTest::newRow("motion-after-channels")
        << QByteArray("ROOT r\n{\nOFFSET 0 0 0\nCHANNELS 1 Yrotation\n}\nMOTION\n")
        << QStringList{"1 r @1 ^-", "7 r @1 ^-", "7 r @0 ^-"};
    QTest::newRow("two-roots")
        << QByteArray("ROOT a\n{\nOFFSET 0 0 0\nJOINT b\n{\nOFFSET 0 0 0\n}\n"
                      "ROOT c\n{\nOFFSET 0 0 0\nJOINT d\n{\nOFFSET 0 0 0\n}\n}\n")
        << QStringList{"1 a @1 ^-", "1 b @2 ^0", "1 c @1 ^-", "1 d @2 ^2"};
    QTest::newRow("siblings")
        << QByteArray("ROOT a\n{\nOFFSET 0 0 0\nJOINT b\n{\nOFFSET 0 0 0\n}\nJOINT c\n{\nOFFSET 0 0 0\n}\n}\n")
        << QStringList{"1 a @1 ^-", "1 b @2 ^0", "1 c @2 ^0"};
    QTest::newRow("extra-closing-brace")
        << QByteArray("ROOT a\n{\nOFFSET 0 0 0\n}\n}\nJOINT b\n{\nOFFSET 0 0 0\n")
        << QStringList{"1 a @1 ^-", "1 b @0 ^-"};
    QTest::newRow("blank-and-tabs")
        << QByteArray("\n\t\nROOT\tr\n\n{\n\tOFFSET\t0\t0\t0\t\n\n\tCHANNELS\t1\tXposition\n")
        << QStringList{"1 r @1 ^-", "3 r @1 ^-"};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void tst_BvhReader::records()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);

    CBvhIn in;
    parse(in, text);
    QCOMPARE(summary(), expected);
}

//    root (5,5,5)
//    └── child (0,10,0)
//        ├── End Site (1,2,3)
//        └── (channels in between)
void tst_BvhReader::positions()
{
    CBvhIn in;
    parse(in, "ROOT root\n{\nOFFSET 5 5 5\nCHANNELS 1 Xrotation\n"
              "JOINT child\n{\nOFFSET 0 10 0\nCHANNELS 2 Xrotation Yrotation\n"
              "End Site\n{\nOFFSET 1 2 3\n}\n}\n}\nMOTION\n");

    const QList<CBvhHeader *> all = jointRecords();
    QCOMPARE(all.size(), 8);
    const CBvhHeader *root = all[0];
    const CBvhHeader *child = all[2];
    QCOMPARE(child->name, QStringLiteral("child"));

    // The root's own OFFSET is kept but never added to a rest position.
    QVERIFY(kvtest::near(root->offset, KvVec3(5, 5, 5), 0));
    QVERIFY(kvtest::near(root->restPosition, KvVec3(0, 0, 0), 0));
    QVERIFY(kvtest::near(root->endPosition, KvVec3(0, 10, 0), 0));
    for (int i : {2, 3, 4})
        QVERIFY2(kvtest::near(all[i]->restPosition, KvVec3(0, 10, 0), 0), qPrintable(QString::number(i)));
    QVERIFY(kvtest::near(child->endPosition, KvVec3(1, 12, 3), 0));
    for (int i : {5, 6}) {
        QCOMPARE(all[i]->type, int(EndSite));
        QVERIFY(kvtest::near(all[i]->offset, KvVec3(1, 2, 3), 0));
        QVERIFY(kvtest::near(all[i]->restPosition, KvVec3(1, 12, 3), 0));
        QCOMPARE(all[i]->parent, child);
    }
    // Channel records are copies taken at their commit: later children do
    // not move their end positions.
    QVERIFY(kvtest::near(all[1]->endPosition, KvVec3(0, 0, 0), 0));
    QVERIFY(kvtest::near(all[3]->endPosition, KvVec3(0, 0, 0), 0));
}

void tst_BvhReader::numbers_data()
{
    QTest::addColumn<QByteArray>("offset");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("z");

    QTest::newRow("plain")         << QByteArray("OFFSET 1.5 -2 0.25") << 1.5f << -2.0f << 0.25f;
    QTest::newRow("no-leading-0")  << QByteArray("OFFSET .5 -.25 +3") << 0.5f << -0.25f << 3.0f;
    QTest::newRow("exponent")      << QByteArray("OFFSET -2.49469e-09 1E2 5e-1") << -2.49469e-09f << 100.0f << 0.5f;
    QTest::newRow("comma-is-text") << QByteArray("OFFSET 1,5 2 3") << 0.0f << 2.0f << 3.0f;
    QTest::newRow("garbage")       << QByteArray("OFFSET abc 2x 7") << 0.0f << 0.0f << 7.0f;
    QTest::newRow("missing")       << QByteArray("OFFSET 4") << 4.0f << 0.0f << 0.0f;
    QTest::newRow("none")          << QByteArray("OFFSET") << 0.0f << 0.0f << 0.0f;
    QTest::newRow("extra-values")  << QByteArray("OFFSET 1 2 3 4") << 1.0f << 2.0f << 3.0f;
}

// Numbers always read with a point, whatever the user's locale.
void tst_BvhReader::numbers()
{
    QFETCH(QByteArray, offset);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, z);

    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CBvhIn in;
    parse(in, "ROOT r\n{\nOFFSET 0 0 0\nJOINT j\n{\n" + offset + "\n");
    QLocale::setDefault(previous);

    const QList<CBvhHeader *> all = jointRecords();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[1]->offset.x, x);
    QCOMPARE(all[1]->offset.y, y);
    QCOMPARE(all[1]->offset.z, z);
    QVERIFY(kvtest::near(all[1]->restPosition, KvVec3(x, y, z), 0));
}

void tst_BvhReader::motionHeader_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("hasFrameCount");
    QTest::addColumn<float>("frameTime");
    QTest::addColumn<bool>("inHierarchy");

    QTest::newRow("frames-only")     << QByteArray("MOTION\nFrames: 120\n") << 120 << true << 0.0f << true;
    QTest::newRow("frames-tab")      << QByteArray("Frames:\t455\n") << 455 << true << 0.0f << true;
    QTest::newRow("frames-garbage")  << QByteArray("Frames: many\n") << 0 << true << 0.0f << true;
    QTest::newRow("frames-negative") << QByteArray("Frames: -4\n") << -4 << true << 0.0f << true;
    QTest::newRow("both")            << QByteArray("Frames: 30\nFrame Time: 0.0333333\n")
                                     << 30 << true << 0.0333333f << false;
    QTest::newRow("time-no-zero")    << QByteArray("Frame Time: .0083333\n") << 0 << false << 0.0083333f << false;
    QTest::newRow("time-tab")        << QByteArray("Frame Time:\t0.041667\n") << 0 << false << 0.041667f << false;
    QTest::newRow("frame-other")     << QByteArray("Frame 12 0.5\n") << 0 << false << 0.0f << false;
    // Without its colon, "Frames" is just a Frame token.
    QTest::newRow("frames-no-colon") << QByteArray("Frames 120\n") << 0 << false << 0.0f << false;
    QTest::newRow("after-end")       << QByteArray("Frame Time: 0.5\nFrames: 9\n") << 0 << false << 0.5f << false;
    QTest::newRow("same-line")       << QByteArray("Frames: 7 Frame Time: 0.25\n") << 7 << true << 0.25f << false;
    QTest::newRow("hierarchy-again") << QByteArray("Frame Time: 0.5 HIERARCHY\n") << 0 << false << 0.5f << true;
}

void tst_BvhReader::motionHeader()
{
    QFETCH(QByteArray, text);
    QFETCH(int, frames);
    QFETCH(bool, hasFrameCount);
    QFETCH(float, frameTime);
    QFETCH(bool, inHierarchy);

    CBvhIn in;
    parse(in, text);
    QCOMPARE(in.numFrames, frames);
    QCOMPARE(in.hasFrameCount, hasFrameCount);
    QCOMPARE(in.frameTime, frameTime);
    QCOMPARE(in.inHierarchy, inHierarchy);
}

void tst_BvhReader::newParseForgetsOldFile()
{
    CBvhIn in;
    parse(in, "ROOT r\n{\nOFFSET 0 0 0\nEnd Site\n{\nOFFSET 0 1 0\nMOTION\nFrames: 50\nFrame Time: 0.5\n");
    QCOMPARE(in.numFrames, 50);
    QVERIFY(in.inEndSite);
    QVERIFY(!in.inHierarchy);

    in.resetParseState();
    QVERIFY(in.inHierarchy);
    QVERIFY(!in.inEndSite);
    QCOMPARE(in.numFrames, 0);
    QVERIFY(!in.hasFrameCount);
    QCOMPARE(in.frameTime, 0.0f);
    QVERIFY(bvhState().jointList.isEmpty());
}

void tst_BvhReader::readJointName_data()
{
    QTest::addColumn<QStringList>("tokens");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("last");

    QTest::newRow("one-word")   << QStringList{"JOINT", "Neck"} << 0 << "Neck" << 1;
    QTest::newRow("three-words") << QStringList{"JOINT", "left", "upper", "arm"} << 0 << "left upper arm" << 3;
    QTest::newRow("brace")      << QStringList{"ROOT", "Hips", "{"} << 0 << "Hips {" << 2;
    QTest::newRow("no-name")    << QStringList{"ROOT"} << 0 << "" << 0;
    QTest::newRow("stops-at-empty") << QStringList{"ROOT", "a", "", "b"} << 0 << "a" << 1;
    QTest::newRow("mid-line")   << QStringList{"x", "JOINT", "a", "b"} << 1 << "a b" << 3;
}

void tst_BvhReader::readJointName()
{
    QFETCH(QStringList, tokens);
    QFETCH(int, start);
    QFETCH(QString, name);
    QFETCH(int, last);

    CBvhIn in;
    int index = start;
    QCOMPARE(in.readJointName(tokens, index), name);
    QCOMPARE(index, last);
}

void tst_BvhReader::findParentRecord()
{
    CBvhIn in;
    // A level-0 joint (brace on its name line) and two level-1 joints, each
    // followed by a channel record of its own level.
    parse(in, "ROOT z {\nOFFSET 0 0 0\n{\nJOINT a\nOFFSET 0 0 0\nCHANNELS 1 Xrotation\n"
              "}\n{\nJOINT b\nOFFSET 0 0 0\nCHANNELS 1 Xrotation\n");
    const QList<CBvhHeader *> all = jointRecords();
    QCOMPARE(summary(), (QStringList{"1 z { @0 ^-", "1 a @1 ^-", "6 a @1 ^-", "1 b @1 ^-", "6 b @1 ^-"}));

    QCOMPARE(in.findParentRecord(0), nullptr);
    QCOMPARE(in.findParentRecord(1), all[3]);
    QCOMPARE(in.findParentRecord(2), nullptr);
    QCOMPARE(in.findParentRecord(-1), nullptr);
}

void tst_BvhReader::specialNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("special");

    QTest::newRow("world-root")       << "WORLD_ROOT" << true;
    QTest::newRow("world-root-inside") << "my_WORLD_ROOT_2" << true;
    QTest::newRow("world-root-lower") << "world_root" << false;
    QTest::newRow("Body")             << "Body" << true;
    QTest::newRow("upper-body")       << "upper body" << true;
    QTest::newRow("body-dot")         << "Body.1" << true;
    QTest::newRow("body-dashes")      << "my-BODY-part" << true;
    QTest::newRow("body-colon-digit") << "body:2" << true;
    QTest::newRow("body-colon-upper") << "BODY:7" << true;
    QTest::newRow("nobody-colon-digit") << "nobody:1" << true;
    QTest::newRow("body-colon-letter") << "body:x" << true;
    QTest::newRow("nobody-colon-letter") << "nobody:x" << false;
    QTest::newRow("bodyguard")        << "bodyguard" << false;
    QTest::newRow("nobody")           << "nobody" << false;
    QTest::newRow("body-underscore")  << "body_1" << false;
    QTest::newRow("body2")            << "body2" << false;
    QTest::newRow("hip")              << "hip" << false;
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
    QTest::addColumn<QString>("file");

    const QStringList files = QDir(kvtest::dataFile(QStringLiteral("bvh")))
                                  .entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << file;
}

// Every sample file read through the importer's own line reader, against an
// independent account of the file and against the textbook reader.
void tst_BvhReader::realFiles()
{
    QFETCH(QString, file);

    const QByteArray text = readData(file);
    QVERIFY(!text.isEmpty());
    const Expected expected = expectHierarchy(text);
    QVERIFY(expected.joints > 0);
    QCOMPARE(int(expected.records.size()),
             expected.joints + expected.channels + 2 * expected.endSites + 1);

    kvtest::TextbookBvh textbook;
    QString error;
    QVERIFY2(kvtest::readTextbookBvh(text, textbook, &error), qPrintable(error));
    QCOMPARE(int(textbook.joints.size()), expected.joints);
    QCOMPARE(textbook.channelCount, expected.channels);
    QCOMPARE(textbook.frameCount, expected.frames);

    CBvhIn in;
    in.resetParseState();
    QFile device(kvtest::dataFile(QStringLiteral("bvh/") + file));
    QVERIFY(device.open(QIODevice::ReadOnly));
    CLineReader reader(&device);
    QByteArrayView line;
    while (in.inHierarchy && reader.readLine(line))
        in.parseLine(QString::fromLatin1(line));
    QVERIFY(!in.inHierarchy);
    QCOMPARE(in.numFrames, expected.frames);
    QVERIFY(in.hasFrameCount);
    QCOMPARE(in.frameTime, float(expected.frameTime));

    const QList<CBvhHeader *> all = jointRecords();
    QCOMPARE(all.size(), qsizetype(expected.records.size()));
    int joints = 0;
    int endSites = 0;
    int channels = 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const CBvhHeader *r = all[i];
        const ExpectedRecord &e = expected.records[size_t(i)];
        const QByteArray where = file.toLatin1() + " record " + QByteArray::number(i) + " " + e.name.toLatin1();
        QVERIFY2(r->type == e.type, where);
        QVERIFY2(r->name == e.name, where);
        QVERIFY2(r->level == e.level, where);
        QVERIFY2(all.indexOf(r->parent) == e.parent, where);
        QVERIFY2(nearVec(r->restPosition, e.rest, 1e-3), where + " rest " + kvtest::toString(r->restPosition).toLatin1());
        QVERIFY2(nearVec(r->endPosition, e.end, 1e-3), where + " end " + kvtest::toString(r->endPosition).toLatin1());
        joints += r->type == Joint;
        endSites += r->type == EndSite;
        channels += r->type >= Xposition;
    }
    QCOMPARE(joints, expected.joints);
    QCOMPARE(endSites, 2 * expected.endSites);
    QCOMPARE(channels, expected.channels);

    // Names and parents agree with the textbook reader's joints, in order.
    QStringList names;
    QStringList parents;
    for (const CBvhHeader *r : all) {
        if (r->type != Joint)
            continue;
        names += r->name;
        parents += r->parent ? r->parent->name : QString();
    }
    QStringList textbookNames;
    QStringList textbookParents;
    for (const kvtest::TextbookJoint &j : textbook.joints) {
        textbookNames += j.name;
        textbookParents += j.parent < 0 ? QString() : textbook.joints[size_t(j.parent)].name;
    }
    QCOMPARE(names, textbookNames);
    QCOMPARE(parents, textbookParents);
}

QTEST_GUILESS_MAIN(tst_BvhReader)
#include "tst_bvhreader.moc"
