#include "bvhin.h"
#include "bvhstate.h"

#include "testsupport.h"
#include "textbookbvh.h"

#include <QLocale>
#include <QtTest>

namespace {

// Line by line up to the end of the hierarchy, as the import driver does.
void parse(CBvhIn &in, const QByteArray &text)
{
    in.resetParseState();
    for (const QByteArray &line : text.split('\n')) {
        if (in.inHierarchy)
            in.parseLine(QString::fromLatin1(line));
    }
}

} // namespace

class tst_BvhReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Numbers are read with a point whatever the user's locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void cleanup() { bvhState().clearLists(); }
    void hierarchy();
    void motionHeader();
    void realFiles();
};

// Rest positions are relative to the root, whose OFFSET is never added;
// "nan" and "inf" convert as numbers, but in an OFFSET they would spread into
// every rest position below, so they read 0. A name is every word after
// JOINT; channel names count by containment, scales only with a small "s".
void tst_BvhReader::hierarchy()
{
    CBvhIn in;
    parse(in, "ROOT r\n{\nOFFSET 5 5 5\n  JOINT   left \t upper   arm  \n{\nOFFSET nan inf 2\nJOINT b\n{\nOFFSET 1 -inf 3\n"
              "CHANNELS 4 myXscale YScale Twist Zrotation\n");
    const QList<CBvhHeader *> r(bvhState().jointList.begin(), bvhState().jointList.end());
    QCOMPARE(r.size(), 5);
    QCOMPARE(r[1]->name, QStringLiteral("left upper arm"));
    QVERIFY(r[2]->parent == r[1] && r[3]->type == Xscale && r[4]->type == Zrotation);
    QCOMPARE(r[0]->restPosition, KvVec3());
    QCOMPARE(r[0]->endPosition, KvVec3(0, 0, 2));
    QCOMPARE(r[1]->restPosition, KvVec3(0, 0, 2));
    QCOMPARE(r[2]->restPosition, KvVec3(1, 0, 5));
}

// What a file leaves out starts at 0, never at the previous file's value;
// "Frames" needs its colon, and nothing counts after the hierarchy ends.
void tst_BvhReader::motionHeader()
{
    const auto cases = {std::tuple("MOTION\nFrames:\t120\n", 120, 0.0f), std::tuple("Frames 120\n", 0, 0.0f),
                        std::tuple("Frame Time: .5\nFrames: 9\n", 0, 0.5f)};
    for (const auto &[text, frames, frameTime] : cases) {
        CBvhIn in;
        in.numFrames = 99;
        in.frameTime = 0.125f;
        parse(in, text);
        QCOMPARE(in.numFrames, frames);
        QCOMPARE(in.frameTime, frameTime);
    }
}

// Every sample against the textbook reader: joints in order with their
// parents and rest positions relative to the root, a record per channel, two
// per End Site and one for MOTION.
void tst_BvhReader::realFiles()
{
    const QDir dir(kvtest::dataFile(QStringLiteral("bvh")));
    const QStringList files = dir.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files) {
        kvtest::TextbookBvh bvh;
        QString error;
        QVERIFY2(kvtest::readTextbookBvhFile(dir.filePath(file), bvh, &error), qPrintable(error));
        QFile f(dir.filePath(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        CBvhIn in;
        parse(in, f.readAll());
        QVERIFY2(in.numFrames == bvh.frameCount && in.frameTime == float(bvh.frameTime), qPrintable(file));

        const std::vector<kvtest::Vec3> rest = kvtest::restPositions(bvh);
        size_t j = 0;
        int endSites = 0;
        for (const CBvhHeader *r : bvhState().jointList) {
            endSites += r->type == EndSite ? 1 : 0;
            if (r->type != Joint)
                continue;
            QVERIFY2(j < bvh.joints.size(), qPrintable(file));
            const kvtest::TextbookJoint &joint = bvh.joints[j];
            const KvVec3d fromRoot(rest[j][0] - rest[0][0], rest[j][1] - rest[0][1], rest[j][2] - rest[0][2]);
            const QString parent = joint.parent < 0 ? QString() : bvh.joints[size_t(joint.parent)].name;
            QVERIFY2(r->name == joint.name && (r->parent ? r->parent->name : QString()) == parent
                         && kvtest::near(KvVec3d(r->restPosition), fromRoot, 1e-3),
                     qPrintable(file + QLatin1Char(' ') + joint.name));
            ++j;
        }
        const int withEndSite = int(std::count_if(bvh.joints.cbegin(), bvh.joints.cend(),
                                                  [](const kvtest::TextbookJoint &joint) { return joint.hasEndSite; }));
        QVERIFY2(j == bvh.joints.size() && endSites == 2 * withEndSite, qPrintable(file));
        QCOMPARE(int(bvhState().jointList.count()), int(j) + bvh.channelCount + 2 * withEndSite + 1);
        bvhState().clearLists();
    }
}

QTEST_GUILESS_MAIN(tst_BvhReader)
#include "tst_bvhreader.moc"
