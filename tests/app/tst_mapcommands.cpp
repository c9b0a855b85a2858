#include "kvbvhrun.h"


#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace kvapptest;

// kvbvh map, maps and info as users run them, on the sample files and a real
// settings file in a temporary folder.
class tst_MapCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void savedMapIsTheDialogsFormat();
    void storedMaps();
    void shippedMapStaysDeleted();
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
    // joint -> bone, from map's listing.
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
    const QRegularExpression row(QStringLiteral("^\\[[x ]\\] +(.+?) +-> (.+)$"));
    for (const QString &line : listing.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = row.match(line);
        if (match.hasMatch())
            pairs.append({match.captured(1), match.captured(2)});
    }
    return pairs;
}

// A map saved by map --save lands where and as the dialogs keep maps.
void tst_MapCommands::savedMapIsTheDialogsFormat()
{
    const Run result = run({QStringLiteral("map"), sample(QStringLiteral("bvhio_blank_lines.bvh")), QStringLiteral("--save"),
                            QStringLiteral("Classic")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.endsWith(QLatin1String("Stored import map \"Classic\"\n")));

    QSettings store(settings(), QSettings::IniFormat);
    store.beginGroup(QStringLiteral("BVHIO"));
    QCOMPARE(store.value(QStringLiteral("Maps")).toString(), QStringLiteral("SecondLife;Classic;"));
    QString expected;
    for (const auto &pair : mapping(result.out))
        expected += pair.first + QLatin1Char('=') + (pair.second.startsWith(QLatin1Char('(')) ? QString() : pair.second)
                    + QLatin1Char(';');
    QVERIFY(expected.startsWith(QLatin1String("Hips=hip;Chest=chest;")));
    QCOMPARE(store.value(QStringLiteral("Classic_DATA")).toString(), expected);

    // Loaded again, the map gives the same mapping.
    const Run again = run({QStringLiteral("map"), sample(QStringLiteral("bvhio_blank_lines.bvh")), QStringLiteral("--map"),
                           QStringLiteral("Classic")});
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

    result = run({QStringLiteral("maps"), QStringLiteral("list")});
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
}

void tst_MapCommands::shippedMapStaysDeleted()
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
    QTest::newRow("import-missing-file") << QStringList{"maps", "import", "gone.map", "X"} << "gone.map: no such file$";
    QTest::newRow("import-not-a-map") << QStringList{"maps", "import", walk, "X"} << ".+cmu_12_01_walk_mb.bvh:1: expected .+$";
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
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("out.map"))));
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
    QTest::newRow("info-two-files") << QStringList{"info", walk, walk};
    QTest::newRow("info-unknown-option") << QStringList{"info", "--deep", walk};
}

void tst_MapCommands::badUsage()
{
    QFETCH(QStringList, arguments);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.startsWith(QLatin1String("kvbvh: ")) && result.err.contains(QLatin1String("\nUsage: kvbvh")),
             qPrintable(result.err));
}

QTEST_GUILESS_MAIN(tst_MapCommands)
#include "tst_mapcommands.moc"
