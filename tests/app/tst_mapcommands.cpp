#include "kvbvhrun.h"
#include "testsupport.h"

#include "kvdefaultfigure.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <numeric>

using namespace kvapptest;

// kvbvh map, maps, figure and info as users run them, on the sample files and
// a real settings file in a temporary folder.
class tst_MapCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void savedMapIsTheDialogsFormat();
    void storedMaps();
    void shippedMapStaysDeletedUntilRestored();
    void figureExport();
    void info_data();
    void info();
    void infoNamesUnusualLines();
    void failures_data();
    void failures();
    void badUsage_data();
    void badUsage();

private:
    Run run(const QStringList &arguments) const
    {
        return runKvbvh(settings(), arguments, dir->path(), serverEnvironment(dir->path()));
    }
    QString settings() const { return dir->filePath(QStringLiteral("kvbvh.ini")); }
    QString path(const QString &name) const { return dir->filePath(name); }
    // joint -> bone, from map's listing (without the joints sharing the bone).
    static QList<QPair<QString, QString>> mapping(const QString &listing);

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_MapCommands::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void tst_MapCommands::cleanup()
{
    dir->setAutoRemove(!QTest::currentTestFailed());
}

QList<QPair<QString, QString>> tst_MapCommands::mapping(const QString &listing)
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

// A map saved by map --save lands where and as the dialogs keep maps. In the
// sample, LeftFingerBase shares lHand with LeftHand (the dialog shows the
// bone on LeftHand only, and its Save Map stores it for both).
void tst_MapCommands::savedMapIsTheDialogsFormat()
{
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    const Run result = run({QStringLiteral("map"), walk, QStringLiteral("--save"), QStringLiteral("Classic")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.endsWith(QLatin1String("Stored import map \"Classic\"\n")));
    for (const char *line : {"\\[x\\] +LeftHand +-> lHand \\(also LeftFingerBase\\)\n",
                             "\\[x\\] +LeftFingerBase +-> lHand \\(also LeftHand\\)\n"}) {
        QVERIFY2(QRegularExpression(QString::fromLatin1(line)).match(result.out).hasMatch(), qPrintable(result.out));
    }
    QSettings store(settings(), QSettings::IniFormat);
    store.beginGroup(QStringLiteral("BVHIO"));
    QCOMPARE(store.value(QStringLiteral("Maps")).toString(), QStringLiteral("SecondLife;Classic;"));
    QString expected;
    QHash<QString, int> drivers;
    for (const auto &pair : mapping(result.out)) {
        const bool mapped = !pair.second.startsWith(QLatin1Char('('));
        expected += pair.first + QLatin1Char('=') + (mapped ? pair.second : QString()) + QLatin1Char(';');
        drivers[pair.second] += mapped ? 1 : 0;
    }
    QVERIFY(expected.contains(QLatin1String(";LeftHand=lHand;LeftFingerBase=lHand;")));
    QCOMPARE(store.value(QStringLiteral("Classic_DATA")).toString(), expected);
    // The head line counts what the rows show: joints checked, driving a bone, bones driven and shared.
    drivers.remove(QStringLiteral("(no bone)"));
    const QString counts = QStringLiteral(": %1 of %2 joints checked, %3 drive %4 bones (%5 shared)\n")
                               .arg(result.out.count(QLatin1String("\n[x] ")))
                               .arg(mapping(result.out).size())
                               .arg(std::accumulate(drivers.cbegin(), drivers.cend(), 0))
                               .arg(drivers.size())
                               .arg(std::count_if(drivers.cbegin(), drivers.cend(), [](int n) { return n > 1; }));
    QVERIFY2(result.out.contains(counts), qPrintable(result.out.section(QLatin1Char('\n'), 0, 0)));

    // Loaded again, the map gives the same mapping.
    const Run again = run({QStringLiteral("map"), walk, QStringLiteral("--map"), QStringLiteral("Classic")});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(mapping(again.out), mapping(result.out));
}

void tst_MapCommands::storedMaps()
{
    const QByteArray mapText = "Hips=hip;\nLeftUpArm=lShldr;\r\nLeftLowArm=lForeArm;Neck=;\n";
    {
        QFile file(path(QStringLiteral("arms.map")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(mapText);
    }
    Run result = run({QStringLiteral("maps"), QStringLiteral("import"), path(QStringLiteral("arms.map")), QStringLiteral("Arms")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QStringLiteral("Stored map \"Arms\" (4 pairs)\n"));

    // Replaced with --force; global options may follow the command.
    result = runKvbvh(QString(), {"maps", "import", "--force", path("arms.map"), "Arms", "--quiet", "--settings", settings()},
                      dir->path(), serverEnvironment(dir->path()));
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.isEmpty());
    result = runKvbvh(QString(), {"maps", "list", "--settings=" + settings()}, dir->path(), serverEnvironment(dir->path()));
    QCOMPARE(result.out, QStringLiteral("SecondLife\nArms\n"));
    result = run({QStringLiteral("maps"), QStringLiteral("show"), QStringLiteral("Arms")});
    QCOMPARE(result.out, QStringLiteral("Hips=hip;\nLeftUpArm=lShldr;\nLeftLowArm=lForeArm;\nNeck=;\n"));

    result = run({QStringLiteral("maps"), QStringLiteral("export"), QStringLiteral("Arms"), path(QStringLiteral("copy.map"))});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(readAll(path(QStringLiteral("copy.map"))), QByteArray("Hips=hip;\nLeftUpArm=lShldr;\nLeftLowArm=lForeArm;\nNeck=;\n"));

    result = run({QStringLiteral("maps"), QStringLiteral("delete"), QStringLiteral("Arms")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(run({QStringLiteral("maps"), QStringLiteral("list")}).out, QStringLiteral("SecondLife\n"));
    QSettings store(settings(), QSettings::IniFormat);
    QVERIFY(!store.contains(QStringLiteral("BVHIO/Arms_DATA")));

    // A store that does not parse stays as it is; the defaults hold, said once.
    const QByteArray broken = "[BVHIO\nMaps=Arms;\n";
    QFile file(settings());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(broken) == broken.size());
    file.close();
    result = run({QStringLiteral("maps"), QStringLiteral("list")});
    QCOMPARE(std::pair(result.exitCode, result.out), std::pair(0, QStringLiteral("SecondLife\n")));
    QCOMPARE(result.err.count(QLatin1String("kvbvh: warning: settings file ") + settings() + QLatin1String(" cannot be parsed")), 1);
    QCOMPARE(readAll(settings()), broken);
}

void tst_MapCommands::shippedMapStaysDeletedUntilRestored()
{
    const Run shown = run({QStringLiteral("maps"), QStringLiteral("show"), QStringLiteral("SecondLife")});
    QCOMPARE(shown.exitCode, 0);
    const QStringList pairs = shown.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(pairs.size(), 53);  // every bone of the default figure
    QVERIFY(pairs.contains(QStringLiteral("mHandRing2Left=lRing2;")));
    QVERIFY(pairs.contains(QStringLiteral("lShldr=lShldr;")));

    QCOMPARE(run({QStringLiteral("maps"), QStringLiteral("delete"), QStringLiteral("SecondLife")}).exitCode, 0);
    QCOMPARE(run({QStringLiteral("maps"), QStringLiteral("list")}).out, QString());
    // Without its map, Second Life output keeps the figure's own names.
    const Run converted = run({QStringLiteral("convert"), sample(QStringLiteral("sl_tpose_qavimator.bvh")), QStringLiteral("-o"),
                               path(QStringLiteral("out.bvh")), QStringLiteral("--second-life"), QStringLiteral("--all-bones")});
    QCOMPARE(converted.exitCode, 0);
    QVERIFY2(converted.err.contains(QLatin1String("joint names outside its skeleton: lEye, rEye")), qPrintable(converted.err));

    // Restored after it was deleted, then after it was overwritten.
    const QStringList show{"maps", "show", "SecondLife"};
    QCOMPARE(run({QStringLiteral("maps"), QStringLiteral("restore")}).out,
             QStringLiteral("Restored map \"SecondLife\" as shipped\n"));
    QCOMPARE(run(show).out, shown.out);
    QCOMPARE(run({"map", sample("bvhio_blank_lines.bvh"), "--save", "SecondLife", "--force"}).exitCode, 0);
    QVERIFY(run(show).out.startsWith(QLatin1String("Hips=hip;\n")));
    QCOMPARE(run({QStringLiteral("maps"), QStringLiteral("restore"), QStringLiteral("SecondLife")}).exitCode, 0);
    QCOMPARE(run(show).out, shown.out);
}

// The figure files written start a figure --figure takes: the default
// figure's bones, or a BVH file's joints.
void tst_MapCommands::figureExport()
{
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    QCOMPARE(run({"figure", "export", "-o", path("mine.json")}).out,
             QStringLiteral("Wrote figure \"Default human\" (53 bones) to %1\n").arg(path("mine.json")));
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

void tst_MapCommands::info_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lines");  // lines the report holds
    QTest::newRow("cmu-mb") << "cmu_12_01_walk_mb.bvh"
                            << QStringList{"Joints: 31, End Sites: 7, channels: 96", "Rotation orders (channel order): ZYX x31",
                                           "Frames: 524 (line 186), 524 frame lines", "Duration: 4.367 s",
                                           "Up axis: +Y (Hips to Head)", "Arm axis: +X (LeftArm to LeftHand), arms along X",
                                           "Unusual: nothing"};
    QTest::newRow("cmu-arms-down") << "cmu_131_01_walk_orig.bvh"
                                   << QStringList{"Rotation orders (channel order): ZXY x12, ZYX x19",
                                                  "Arm axis: -Y (LeftShoulder to LeftWrist), arms along Y"};
    QTest::newRow("z-up") << "fair_dab_zup.bvh"
                          << QStringList{"Up axis: +Z (Hips to Head)", "  line 26: the rest pose is Z-up: the head lies along +Z from the root"};
    QTest::newRow("sl-orders") << "sl_tpose_qavimator.bvh"
                               << QStringList{"Joints: 19, End Sites: 5, channels: 60",
                                              "Rotation orders (channel order): XYZ x2, XZY x9, YZX x4, ZYX x4",
                                              "Frame time: 0.033333 s, 30.00 fps (line 119)"};
}

void tst_MapCommands::info()
{
    QFETCH(QString, name);
    QFETCH(QStringList, lines);
    const Run result = run({QStringLiteral("info"), sample(name)});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.err.isEmpty());
    const QStringList report = result.out.split(QLatin1Char('\n'));
    for (const QString &line : lines)
        QVERIFY2(report.contains(line), qPrintable(line + QLatin1String("\n---\n") + result.out));
}

void tst_MapCommands::infoNamesUnusualLines()
{
    // The blank-line sample with a frame dropped, a word among the values and
    // a short line.
    QByteArray text = readAll(sample(QStringLiteral("bvhio_blank_lines.bvh")));
    QList<QByteArray> lines = text.split('\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    const int frameLine = int(lines.size());  // 1-based number of the last line
    QByteArray &last = lines.last();
    const qsizetype valueEnd = last.trimmed().indexOf('\t') >= 0 ? last.indexOf('\t', last.indexOf(last.trimmed()))
                                                                  : last.indexOf(' ', last.indexOf(last.trimmed()));
    QVERIFY(valueEnd > 0);
    last = "oops" + last.mid(valueEnd);
    lines.append("1 2 3");
    QFile file(path(QStringLiteral("odd.bvh")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(lines.join('\n') + '\n');
    file.close();

    const Run result = run({QStringLiteral("info"), path(QStringLiteral("odd.bvh"))});
    QCOMPARE(result.exitCode, 0);
    const QString unusual = result.out.section(QLatin1String("Unusual:\n"), 1);
    const QStringList expected{
        QStringLiteral("  line %1: Frames: says 2, but 3 frame lines follow").arg(frameLine - 3),
        QStringLiteral("  line %1: value 1 (\"oops\") is not a number").arg(frameLine),
        QStringLiteral("  line %1: 3 values where the channels ask for 57").arg(frameLine + 1),
    };
    QCOMPARE(unusual.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
}

void tst_MapCommands::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    QTest::newRow("map-missing-input") << QStringList{"map", "gone.bvh"} << "gone.bvh: no such file$";
    QTest::newRow("map-unknown-map") << QStringList{"map", walk, "--map", "Nope"} << "no stored map named \"Nope\".*$";
    QTest::newRow("map-missing-figure") << QStringList{"map", walk, "--figure", "gone.json"} << "figure file gone.json does not exist$";
    QTest::newRow("show-unknown") << QStringList{"maps", "show", "Nope"} << "no stored map named \"Nope\".*$";
    QTest::newRow("delete-unknown") << QStringList{"maps", "delete", "Nope"} << "no stored map named \"Nope\".*$";
    QTest::newRow("export-unknown") << QStringList{"maps", "export", "Nope", "out.map"} << "no stored map named \"Nope\".*$";
    QTest::newRow("export-missing-folder") << QStringList{"maps", "export", "SecondLife", "no/out.map"}
                                           << "no/out.map: the folder no does not exist$";
    if (const QString full = kvtest::fullDevice(); !full.isEmpty())
        QTest::newRow("export-disk-full") << QStringList{"maps", "export", "SecondLife", full} << "/dev/full: cannot write: .+$";
    QTest::newRow("import-missing-file") << QStringList{"maps", "import", "gone.map", "X"} << "gone.map: no such file$";
    QTest::newRow("import-not-a-map") << QStringList{"maps", "import", walk, "X"} << ".+cmu_12_01_walk_mb.bvh:1: expected .+$";
    QTest::newRow("map-save-shipped") << QStringList{"map", walk, "--save", "SecondLife"}
                                      << "a map named \"SecondLife\" is already stored; --force overwrites it$";
    QTest::newRow("import-over-shipped") << QStringList{"maps", "import", walk, "SecondLife"}
                                         << "a map named \"SecondLife\" is already stored; --force overwrites it$";
    QTest::newRow("restore-unknown") << QStringList{"maps", "restore", "Nope"} << "no shipped map named \"Nope\" \\(shipped: SecondLife\\)$";
    QTest::newRow("figure-missing") << QStringList{"figure", "export", "gone.json", "-o", "fig.json"}
                                    << "figure file gone.json does not exist$";
    QTest::newRow("figure-exists") << QStringList{"figure", "export", "-o", "kvbvh.ini"}
                                   << "kvbvh.ini: the file exists; --force overwrites it$";
    QTest::newRow("info-missing") << QStringList{"info", "gone.bvh"} << "gone.bvh: no such file$";
    QTest::newRow("info-not-bvh") << QStringList{"info", "kvbvh.ini"} << "kvbvh.ini:1: expected HIERARCHY$";
}

void tst_MapCommands::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QCOMPARE(run({QStringLiteral("maps"), QStringLiteral("list")}).exitCode, 0);
    const QByteArray storeBefore = readAll(settings());

    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(isOneErrorLine(result.err, error), qPrintable(result.err));
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"kvbvh.ini"});
    QCOMPARE(readAll(settings()), storeBefore);
}

void tst_MapCommands::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    QTest::newRow("map-no-input") << QStringList{"map"};
    QTest::newRow("map-bad-name") << QStringList{"map", walk, "--save", "a;b"};
    QTest::newRow("maps-no-action") << QStringList{"maps"};
    QTest::newRow("maps-unknown-action") << QStringList{"maps", "rename", "a", "b"};
    QTest::newRow("maps-show-no-name") << QStringList{"maps", "show"};
    QTest::newRow("maps-list-extra") << QStringList{"maps", "list", "x"};
    QTest::newRow("maps-import-bad-name") << QStringList{"maps", "import", walk, "a;b"};
    QTest::newRow("map-force-without-save") << QStringList{"map", walk, "--force"};
    QTest::newRow("maps-restore-two") << QStringList{"maps", "restore", "a", "b"};
    QTest::newRow("figure-no-output") << QStringList{"figure", "export"};
    QTest::newRow("figure-two-sources") << QStringList{"figure", "export", "default", walk, "-o", "fig.json"};
    QTest::newRow("info-two-files") << QStringList{"info", walk, walk};
    QTest::newRow("info-unknown-option") << QStringList{"info", "--deep", walk};
}

void tst_MapCommands::badUsage()
{
    QFETCH(QStringList, arguments);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    // The command's own usage, not the program's.
    const QString usage = QLatin1String("\nUsage: kvbvh ") + arguments.first() + QLatin1Char(' ');
    QVERIFY2(result.err.startsWith(QLatin1String("kvbvh: ")) && result.err.count(usage) == 1
                 && result.err.contains(QLatin1String("\nOptions:\n")) && !result.err.contains(QLatin1String("Commands")),
             qPrintable(result.err));
}

QTEST_GUILESS_MAIN(tst_MapCommands)
#include "tst_mapcommands.moc"
