#include "kvbvhfigure.h"

#include "kvnode.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

//   Hips               origin (1, 2, 3)
//   +- Left Up Leg     origin (7, -3, 3), End Site at (7, -4, 7)
//   +- mixamorig:Spine origin (1, 9, 3), neither child nor End Site
const QByteArray fixture =
    "HIERARCHY\nROOT Hips\n{\n\tOFFSET 1 2 3\n"                                                   // lines 1-4
    "\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"                 // 5
    "\tJOINT Left Up Leg\n\t{\n\t\tOFFSET 6 -5 0\n\t\tCHANNELS 3 Zrotation Xrotation Yrotation\n"   // 6-9
    "\t\tEnd Site\n\t\t{\n\t\t\tOFFSET 0 -1 4\n\t\t}\n\t}\n"                                       // 10-14
    "\tJOINT mixamorig:Spine\n\t{\n\t\tOFFSET 0 7 0\n\t\tCHANNELS 3 Zrotation Xrotation Yrotation\n" // 15-18
    "\t}\n}\nMOTION\nFrames: 1\nFrame Time: 0.033\n0 0 0 0 0 0 0 0 0 0 0 0\n";                       // 19-24

// The documented rule, written out independently: the axis of the largest
// component first (ties to the earlier axis), the other two in X, Y, Z order;
// Y when there is none.
KvRotationOrder expectedOrder(const kvtest::Vec3 &d)
{
    const double a[3] = {std::abs(d[0]), std::abs(d[1]), std::abs(d[2])};
    int twist = 1;
    if (a[0] > 0 || a[1] > 0 || a[2] > 0)
        twist = a[0] >= a[1] && a[0] >= a[2] ? 0 : (a[1] >= a[2] ? 1 : 2);
    QByteArray name(1, char('X' + twist));
    for (int axis = 0; axis < 3; ++axis) {
        if (axis != twist)
            name += char('X' + axis);
    }
    return KvRotationOrder::fromName(name.constData());
}

} // namespace

class tst_KvBvhFigure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sampleFiles_data();
    void sampleFiles();
    void layouts_data();
    void layouts();
    void rejects_data();
    void rejects();
};

void tst_KvBvhFigure::sampleFiles_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(kvtest::dataFile(QStringLiteral("bvh")));
    const QStringList files = dir.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

// The host's reader against the textbook one: names, parents, rest geometry,
// and the order that twists about the direction written in the file.
void tst_KvBvhFigure::sampleFiles()
{
    QFETCH(QString, path);
    kvtest::TextbookBvh bvh;
    QString error;
    const std::optional<KvFigureDesc> desc = KvBvhFigure::load(path, &error);
    QVERIFY2(desc, qPrintable(error));
    QVERIFY2(kvtest::readTextbookBvhFile(path, bvh, &error), qPrintable(error));
    const KvFigureDesc expected = kvtest::figureFromBvh(bvh, QFileInfo(path).completeBaseName());
    QCOMPARE(desc->name, expected.name);
    QCOMPARE(desc->bones.size(), bvh.joints.size());
    for (size_t i = 0; i < bvh.joints.size(); ++i) {
        const KvBoneDesc &bone = desc->bones[i];
        const KvBoneDesc &want = expected.bones[i];
        QCOMPARE(bone.name, want.name);
        QCOMPARE(bone.parent, want.parent);
        QVERIFY(bone.label.isEmpty());
        QVERIFY2(kvtest::near(bone.origin, want.origin, 1e-4) && kvtest::near(bone.endPoint, want.endPoint, 1e-4),
                 qPrintable(bone.name + kvtest::toString(bone.origin) + kvtest::toString(bone.endPoint)));
        const kvtest::TextbookJoint &joint = bvh.joints[i];
        kvtest::Vec3 direction = joint.hasEndSite ? joint.endSiteOffset : kvtest::Vec3{};
        const auto child = std::find_if(bvh.joints.begin() + i, bvh.joints.end(),
                                        [i](const kvtest::TextbookJoint &j) { return j.parent == int(i); });
        if (child != bvh.joints.end())
            direction = child->offset;
        QVERIFY2(bone.order == expectedOrder(direction), qPrintable(bone.name + bone.order.name()));
    }
    QVERIFY2(KvFigureBuilder::build(*desc, &error), qPrintable(error));
}

void tst_KvBvhFigure::layouts_data()
{
    QTest::addColumn<QByteArray>("text");
    QByteArray text = fixture;
    QTest::newRow("lf") << text;
    QTest::newRow("crlf") << text.replace("\n", "\r\n");
    text = fixture;
    QTest::newRow("lone-cr") << text.replace("\n", "\r");
    text = fixture;
    QTest::newRow("blank-lines-and-blanks") << text.replace("\t", " \t ").replace("\n", " \t\n\n \n");
    text = fixture;
    QTest::newRow("exponents") << text.replace("OFFSET 1 2 3", "OFFSET 1.0 2e0 30E-1")
                                      .replace("OFFSET 6 -5 0", "OFFSET +6 -0.5e+1 -0.0e-7");
    text = fixture;
    QTest::newRow("keyword-case") << text.replace("End Site", "end site").replace("JOINT mix", "Joint mix");
    QTest::newRow("byte-order-mark") << "\xEF\xBB\xBF" + fixture;
    text = fixture;
    QTest::newRow("no-motion") << text.left(text.indexOf("}\nMOTION") + 1);
    text = fixture;
    QTest::newRow("motion-not-read") << text.replace("0 0 0 0", "} JOINT { 0");
}

void tst_KvBvhFigure::layouts()
{
    QFETCH(QByteArray, text);
    QString error;
    const std::optional<KvFigureDesc> desc = KvBvhFigure::fromText(text, QStringLiteral("fixture"), &error);
    QVERIFY2(desc, qPrintable(error));
    QCOMPARE(desc->name, QStringLiteral("fixture"));
    QCOMPARE(desc->bones.size(), size_t(3));
    const struct
    {
        const char *name;
        const char *parent;
        KvVec3 origin;
        KvVec3 end;
        KvRotationOrder::Order order;
    } want[3] = {
        {"Hips", "", {1, 2, 3}, {7, -3, 3}, KvRotationOrder::XYZ},
        {"Left Up Leg", "Hips", {7, -3, 3}, {7, -4, 7}, KvRotationOrder::ZXY},
        {"mixamorig:Spine", "Hips", {1, 9, 3}, {1, 9, 3}, KvRotationOrder::YXZ},
    };
    for (int i = 0; i < 3; ++i) {
        const KvBoneDesc &bone = desc->bones[size_t(i)];
        QCOMPARE(bone.name, QString::fromLatin1(want[i].name));
        QCOMPARE(bone.parent, QString::fromLatin1(want[i].parent));
        QCOMPARE(bone.origin, want[i].origin);
        QCOMPARE(bone.endPoint, want[i].end);
        QCOMPARE(bone.order, KvRotationOrder(want[i].order));
        QVERIFY(!bone.limits);
    }
}

void tst_KvBvhFigure::rejects_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("messagePart");

    const auto row = [](const char *tag, const QByteArray &from, const QByteArray &to, int line, const char *part,
                        const QByteArray &lineEnd = "\n") {
        QTest::newRow(tag) << from << to << lineEnd << line << QString::fromLatin1(part);
    };
    row("no-root", fixture, "HIERARCHY\nMOTION\nFrames: 0\n", 2, "no ROOT");
    row("truncated", fixture.mid(fixture.indexOf("\n}\nMOTION")), "\n", 19, "unbalanced braces");
    row("extra-close", "}\nMOTION", "}\n}\nMOTION", 21, "'}' without");
    row("missing-brace", "ROOT Hips\n{", "ROOT Hips", 3, "expected '{'");
    row("bad-number", "OFFSET 6 -5 0", "OFFSET 6 -5 0x", 8, "\"0x\"");
    row("bad-number-crlf", "OFFSET 6 -5 0", "OFFSET 6 -5 0x", 8, "\"0x\"", "\r\n");
    row("short-offset", "OFFSET 6 -5 0", "OFFSET 6 -5", 8, "OFFSET needs 3 numbers");
    row("joint-without-offset", "\t\tOFFSET 0 7 0\n", "", 18, "\"mixamorig:Spine\" has no OFFSET");
    row("end-site-without-offset", "\t\t\tOFFSET 0 -1 4\n", "", 12, "End Site of \"Left Up Leg\"");
    row("joint-outside-root", "MOTION", "JOINT Stray\nMOTION", 21, "JOINT outside a ROOT");
    row("joint-in-end-site", "OFFSET 0 -1 4\n", "OFFSET 0 -1 4\nJOINT Inner\n", 13, "JOINT inside an End Site");
    row("nameless-joint", "JOINT mixamorig:Spine", "JOINT \t ", 15, "without a name");
    row("repeated-name", "JOINT mixamorig:Spine", "JOINT Left Up Leg", 15, "already used on line 6");
    row("channel-count", "Xrotation Yrotation\n\t\tEnd", "Xrotation\n\t\tEnd", 9, "CHANNELS says 3 but lists 2");
    row("unknown-keyword", "OFFSET 1 2 3", "OFSET 1 2 3", 4, "\"OFSET\"");
}

void tst_KvBvhFigure::rejects()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QByteArray, lineEnd);
    QFETCH(int, line);
    QFETCH(QString, messagePart);
    QByteArray text = fixture;
    text.replace(from, to);
    QVERIFY2(text != fixture, "the row changes nothing");
    text.replace("\n", lineEnd);

    QString error;
    QVERIFY(!KvBvhFigure::fromText(text, QStringLiteral("broken"), &error));
    QVERIFY2(error.startsWith(QStringLiteral("line %1: ").arg(line)), qPrintable(error));
    QVERIFY2(error.contains(messagePart), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_KvBvhFigure)
#include "tst_kvbvhfigure.moc"
