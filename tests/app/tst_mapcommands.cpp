#include "kvbvhrun.h"
#include "testsupport.h"

#include "kvdefaultfigure.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace kvapptest;

// kvbvh map, maps, figure and info as users run them, with a settings file of their own.
class tst_MapCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void savedMapIsTheDialogsFormat();
    void storedMaps();
    void figureExport();
    void info();
    void refusals_data();
    void refusals();

private:
    Run run(const QStringList &arguments) const { return runKvbvh(settings(), arguments, dir->path()); }
    QString settings() const { return dir->filePath(QStringLiteral("kvbvh.ini")); }
    QString path(const QString &name) const { return dir->filePath(name); }
    // joint -> bone, from map's listing (without the joints sharing the bone).
    static QList<QPair<QString, QString>> mapping(const QString &listing)
    {
        QList<QPair<QString, QString>> pairs;
        const QRegularExpression row(QStringLiteral("^\\[[x ]\\] +(.+?) +-> (.+?)(?: \\(also .+\\))?$"));
        for (const QString &line : listing.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = row.match(line);
            if (match.hasMatch())
                pairs.append({match.captured(1), match.captured(2)});
        }
        return pairs;
    }

    std::unique_ptr<QTemporaryDir> dir;
};

// map --save stores a map as the dialogs do (a bone two joints share, as lHand
// in the sample, for both) and it loads again to the same mapping.
void tst_MapCommands::savedMapIsTheDialogsFormat()
{
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    const Run result = run({"map", walk, "--save", "Classic"});
    QVERIFY(result.exitCode == 0 && result.out.endsWith(QLatin1String("Stored import map \"Classic\"\n")));
    QVERIFY2(result.out.contains(QRegularExpression(QStringLiteral("\\[x\\] +LeftFingerBase +-> lHand \\(also LeftHand\\)\n"))),
             qPrintable(result.out));
    QSettings store(settings(), QSettings::IniFormat);
    QCOMPARE(store.value(QStringLiteral("BVHIO/Maps")).toString(), QStringLiteral("SecondLife;Classic;"));
    QString expected;
    for (const auto &pair : mapping(result.out))
        expected += pair.first + QLatin1Char('=') + (pair.second.startsWith(QLatin1Char('(')) ? QString() : pair.second) + ';';
    QCOMPARE(store.value(QStringLiteral("BVHIO/Classic_DATA")).toString(), expected);
    QCOMPARE(mapping(run({"map", walk, "--map", "Classic"}).out), mapping(result.out));
}

// Map files in and out of the store, one pair a line whatever the line ends;
// the shipped map stays deleted until restored, also after it was overwritten.
void tst_MapCommands::storedMaps()
{
    QFile file(path(QStringLiteral("arms.map")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Hips=hip;\nLeftUpArm=lShldr;\r\nLeftLowArm=lForeArm;Neck=;\n") > 0);
    file.close();
    QCOMPARE(run({"maps", "import", path("arms.map"), "Arms"}).out, QStringLiteral("Stored map \"Arms\" (4 pairs)\n"));
    // Replaced with --force; global options may follow the command.
    const Run forced = runKvbvh(QString(), {"maps", "import", "--force", file.fileName(), "Arms", "--quiet", "--settings", settings()},
                                dir->path());
    QCOMPARE(std::pair(forced.exitCode, forced.out), std::pair(0, QString()));
    QCOMPARE(run({"maps", "export", "Arms", path("copy.map")}).exitCode, 0);
    QCOMPARE(readAll(path("copy.map")), QByteArray("Hips=hip;\nLeftUpArm=lShldr;\nLeftLowArm=lForeArm;\nNeck=;\n"));

    const QStringList show{"maps", "show", "SecondLife"};
    const QString shipped = run(show).out;  // a pair for every bone of the default figure
    QVERIFY(shipped.count(QLatin1Char('\n')) == 53 && run({"maps", "delete", "SecondLife"}).exitCode == 0);
    QCOMPARE(run({"maps", "list"}).out, QStringLiteral("Arms\n"));
    // Without its map, Second Life output keeps the figure's own names.
    const Run converted = run({"convert", sample("sl_tpose_qavimator.bvh"), "-o", "out.bvh", "--second-life", "--all-bones"});
    QCOMPARE(converted.exitCode, 0);
    QVERIFY2(converted.err.contains(QLatin1String("joint names outside its skeleton: lEye, rEye")), qPrintable(converted.err));

    QCOMPARE(run({"maps", "restore"}).out, QStringLiteral("Restored map \"SecondLife\" as shipped\n"));
    QCOMPARE(run(show).out, shipped);
    QCOMPARE(run({"map", sample("bvhio_blank_lines.bvh"), "--save", "SecondLife", "--force"}).exitCode, 0);
    QVERIFY(run(show).out.startsWith(QLatin1String("Hips=hip;\n")));
    QCOMPARE(run({"maps", "restore", "SecondLife"}).exitCode, 0);
    QCOMPARE(run(show).out, shipped);
}

// The figure files written start a figure --figure takes: the default
// figure's bones, or a BVH file's joints.
void tst_MapCommands::figureExport()
{
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    QCOMPARE(run({"figure", "export", "-o", path("mine.json")}).exitCode, 0);
    const QJsonArray bones = QJsonDocument::fromJson(readAll(path("mine.json"))).object().value("bones").toArray();
    const std::vector<KvBoneDesc> &standard = KvDefaultFigure::desc().bones;
    QCOMPARE(bones.size(), qsizetype(standard.size()));
    for (size_t i = 0; i < standard.size(); ++i) {
        const QJsonObject bone = bones.at(qsizetype(i)).toObject();
        const QJsonArray at = bone.value("origin").toArray();
        QCOMPARE(bone.value("name").toString(), standard[i].name);
        QCOMPARE(bone.value("parent").toString(), standard[i].parent);
        QCOMPARE(KvVec3(float(at[0].toDouble()), float(at[1].toDouble()), float(at[2].toDouble())), standard[i].origin);
    }
    QCOMPARE(mapping(run({"map", walk, "--figure", path("mine.json")}).out), mapping(run({"map", walk}).out));

    // A BVH file's joints become bones of their names, which the file maps onto.
    const QString rig = sample(QStringLiteral("mixamorig_colon_names.bvh"));
    QCOMPARE(run({"figure", "export", rig, "--output=mine.json", "--force", "--quiet"}).out, QString());
    const auto pairs = mapping(run({"map", rig, "--figure", "mine.json"}).out);
    QVERIFY(pairs.size() > 50);
    for (const auto &pair : pairs)
        QCOMPARE(pair.second, pair.first);
}

// What info finds in a sample, and the lines it names as unusual in a file
// with a frame too many, a word among the values and a short line.
void tst_MapCommands::info()
{
    Run result = run({"info", sample("cmu_12_01_walk_mb.bvh")});
    QCOMPARE(std::pair(result.exitCode, result.err), std::pair(0, QString()));
    for (const char *line : {"Joints: 31, End Sites: 7, channels: 96", "Frames: 524 (line 186), 524 frame lines",
                             "Duration: 4.367 s", "Up axis: +Y (Hips to Head)", "Unusual: nothing"})
        QVERIFY2(result.out.split(QLatin1Char('\n')).contains(QLatin1String(line)), line);

    QFile file(path(QStringLiteral("odd.bvh")));
    QVERIFY(file.open(QIODevice::WriteOnly)
            && file.write("HIERARCHY\nROOT hip\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET 0 1 0\n}\n}\n"
                          "MOTION\nFrames: 2\nFrame Time: 0.1\n1 2 3\n4 oops 6\n7 8\n") > 0);
    file.close();
    result = run({"info", file.fileName()});
    QCOMPARE(result.out.section(QLatin1String("Unusual:\n"), 1).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"  line 12: Frames: says 2, but 3 frame lines follow", "  line 15: value 2 (\"oops\") is not a number",
                          "  line 16: 2 values where the channels ask for 3"}));
}

// Refused, the store and the folder left as they were: with one line and
// exit 1, or as bad usage with exit 2 and the command's own usage.
void tst_MapCommands::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");  // the line after "kvbvh: ", a pattern; empty: bad usage
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    if (const QString full = kvtest::fullDevice(); !full.isEmpty())
        QTest::newRow("export-disk-full") << QStringList{"maps", "export", "SecondLife", full} << "/dev/full: cannot write: .+$";
    QTest::newRow("import-not-a-map") << QStringList{"maps", "import", walk, "X"} << ".+cmu_12_01_walk_mb.bvh:1: expected .+$";
    QTest::newRow("map-save-shipped") << QStringList{"map", walk, "--save", "SecondLife"}
                                      << "a map named \"SecondLife\" is already stored; --force overwrites it$";
    QTest::newRow("import-over-shipped") << QStringList{"maps", "import", walk, "SecondLife"} << "a map named \"SecondLife\" .+$";
    QTest::newRow("figure-exists") << QStringList{"figure", "export", "-o", "kvbvh.ini"} << "kvbvh.ini: the file exists; --force .+$";
    QTest::newRow("map-bad-name") << QStringList{"map", walk, "--save", "a;b"} << QString();
    QTest::newRow("maps-import-bad-name") << QStringList{"maps", "import", walk, "a;b"} << QString();
}

void tst_MapCommands::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QCOMPARE(run({"maps", "list"}).exitCode, 0);
    const QByteArray storeBefore = readAll(settings());

    const Run result = run(arguments);
    const QString usage = QLatin1String("\nUsage: kvbvh ") + arguments.first() + QLatin1Char(' ');
    QCOMPARE(result.exitCode, error.isEmpty() ? 2 : 1);
    QVERIFY2(error.isEmpty() ? result.err.startsWith(QLatin1String("kvbvh: ")) && result.err.count(usage) == 1
                                   && !result.err.contains(QLatin1String("Commands"))
                             : isOneErrorLine(result.err, error),
             qPrintable(result.err));
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"kvbvh.ini"});
    QCOMPARE(readAll(settings()), storeBefore);
}

QTEST_GUILESS_MAIN(tst_MapCommands)
#include "tst_mapcommands.moc"
