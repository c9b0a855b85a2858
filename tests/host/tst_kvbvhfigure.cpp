#include "kvbvhfigure.h"

#include "kvnode.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QDir>
#include <QtTest>

const QByteArray fixture =
    "HIERARCHY\nROOT Hips\n{\n\tOFFSET 1 2 3\n"                                                   // lines 1-4
    "\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"                 // 5
    "\tJOINT Left Up Leg\n\t{\n\t\tOFFSET 6 -5 0\n\t\tCHANNELS 3 Zrotation Xrotation Yrotation\n"   // 6-9
    "\t\tEnd Site\n\t\t{\n\t\t\tOFFSET 0 -1 4\n\t\t}\n\t}\n"                                       // 10-14
    "\tJOINT mixamorig:Spine\n\t{\n\t\tOFFSET 0 7 0\n\t\tCHANNELS 3 Zrotation Xrotation Yrotation\n" // 15-18
    "\t}\n}\nMOTION\nFrames: 1\nFrame Time: 0.033\n0 0 0 0 0 0 0 0 0 0 0 0\n";                       // 19-24

class tst_KvBvhFigure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sampleFiles();
    void fixtureText();
};

// The host's reader against the textbook one on every sample file.
void tst_KvBvhFigure::sampleFiles()
{
    const QDir dir(kvtest::dataFile(QStringLiteral("bvh")));
    const QStringList files = dir.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files) {
        QString error;
        const std::optional<KvFigureDesc> desc = KvBvhFigure::load(dir.filePath(file), &error);
        QVERIFY2(desc && KvFigureBuilder::build(*desc, &error), qPrintable(file + error));
        QCOMPARE(desc->name, QFileInfo(file).completeBaseName());
        kvtest::TextbookBvh bvh;
        QVERIFY2(kvtest::readTextbookBvhFile(dir.filePath(file), bvh, &error), qPrintable(error));
        const KvFigureDesc want = kvtest::figureFromBvh(bvh, {});
        QCOMPARE(desc->bones.size(), want.bones.size());
        for (size_t i = 0; i < want.bones.size(); ++i) {
            const KvBoneDesc &b = desc->bones[i];
            const KvBoneDesc &w = want.bones[i];
            QVERIFY2(b.name == w.name && b.parent == w.parent && b.label.isEmpty()
                         && kvtest::near(b.origin, w.origin, 1e-4) && kvtest::near(b.endPoint, w.endPoint, 1e-4),
                     qPrintable(file + ": " + b.name));
        }
    }
}

// The fixture as writers lay it out, with or without its MOTION section,
// reads the same: each bone twists about the direction to its first child,
// else to its End Site, else about Y. Broken once, with LF or CRLF line
// ends, it is refused with the line.
void tst_KvBvhFigure::fixtureText()
{
    const QByteArray texts[] = {
        fixture,
        QByteArray(fixture).replace("\n", "\r").replace("End Site", "end site").replace("JOINT mix", "Joint mix"),
        "\xEF\xBB\xBF" + QByteArray(fixture).replace("\t", " \t ").replace("\n", " \t\r\n\r\n \r\n"),
        fixture.left(fixture.indexOf("}\nMOTION") + 1).replace("OFFSET 6 -5 0", "OFFSET +6.0 -0.5E+1 -0.0e-7"),
    };
    const KvBoneDesc want[3] = {
        {"Hips", {}, {}, {1, 2, 3}, {7, -3, 3}, KvRotationOrder(KvRotationOrder::XYZ), {}},
        {"Left Up Leg", {}, "Hips", {7, -3, 3}, {7, -4, 7}, KvRotationOrder(KvRotationOrder::ZXY), {}},
        {"mixamorig:Spine", {}, "Hips", {1, 9, 3}, {1, 9, 3}, KvRotationOrder(KvRotationOrder::YXZ), {}},
    };
    QString error;
    for (const QByteArray &text : texts) {
        const std::optional<KvFigureDesc> desc = KvBvhFigure::fromText(text, QStringLiteral("fixture"), &error);
        QVERIFY2(desc && desc->name == QLatin1String("fixture") && desc->bones.size() == 3, qPrintable(error));
        for (int i = 0; i < 3; ++i) {
            const KvBoneDesc &b = desc->bones[size_t(i)];
            QVERIFY2(b.name == want[i].name && b.parent == want[i].parent && b.origin == want[i].origin
                         && b.endPoint == want[i].endPoint && b.order == want[i].order, qPrintable(b.name));
        }
    }

    const char *broken[][3] = {
        {fixture.constData(), "HIERARCHY\nMOTION\nFrames: 0\n", "line 2: no ROOT"},
        {fixture.constData() + fixture.indexOf("\n}\nMOTION"), "\n", "line 19: unbalanced braces"},
        {"ROOT Hips\n{", "ROOT Hips", "line 3: expected '{'"},
        {"OFFSET 6 -5 0", "OFFSET 6 -5 0x", "line 8: OFFSET: \"0x\" is not a number"},
        {"\t\tOFFSET 0 7 0\n", "", "line 18: joint \"mixamorig:Spine\" has no OFFSET"},
        {"JOINT mixamorig:Spine", "JOINT Left Up Leg", "line 15: joint name \"Left Up Leg\" is already used on line 6"},
        {"OFFSET 1 2 3", "OFSET 1 2 3", "line 4: unexpected \"OFSET\""},
    };
    for (const auto &[from, to, message] : broken) {
        for (const char *lineEnd : {"\n", "\r\n"}) {
            QVERIFY2(!KvBvhFigure::fromText(QByteArray(fixture).replace(from, to).replace("\n", lineEnd), {}, &error),
                     message);
            QVERIFY2(error.startsWith(QLatin1String(message)), qPrintable(error));
        }
    }
}

QTEST_GUILESS_MAIN(tst_KvBvhFigure)
#include "tst_kvbvhfigure.moc"
