#include "kvbvhrun.h"

#include "kvbvhscan.h"
#include "kvsecondlife.h"

#include "textbookbvh.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace kvapptest;

// kvbvh convert, import and export on the sample files, run as a user runs
// them: real settings files in a temporary folder, no display.
class tst_ConvertCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void everySample_data();
    void everySample();
    void zUpStandsUp();
    void secondLife();
    void rateAndRange();
    void honestReports();
    void secondLifeWarnings();
    void sceneTimingKept();
    void importThenExportWritesWhatConvertWrites();
    void batchInProcesses();
    void failures_data();
    void failures();
    void badUsage_data();
    void badUsage();
    void ignoresAStaleDisplay();
    void readerGoesAway();

private:
    Run run(const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment()) const
    {
        return runKvbvh(settings(), arguments, dir->path(),
                        env.isEmpty() ? serverEnvironment(dir->path()) : env);
    }
    QString settings() const { return dir->filePath(QStringLiteral("kvbvh.ini")); }
    QString path(const QString &name) const { return dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_ConvertCommand::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void tst_ConvertCommand::cleanup()
{
    dir->setAutoRemove(!QTest::currentTestFailed());
}

void tst_ConvertCommand::everySample_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : sampleNames())
        QTest::newRow(qPrintable(name)) << name;
}

// Onto the default figure: every bone written, the file's frames and rate kept;
// the written file, the imported keys (a scene file) and a Second Life
// export at another rate are byte for byte the ones recorded in
// golden-outputs.txt (KVBVH_RECORD_GOLDEN=1 records
// them anew), so that work on speed changes no output.
void tst_ConvertCommand::everySample()
{
    QFETCH(QString, name);
    const Run result = run({QStringLiteral("convert"), sample(name), QStringLiteral("-o"), path(QStringLiteral("out.bvh"))});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    QVERIFY(result.out.startsWith(sample(name) + QLatin1String(" -> ")));

    kvtest::TextbookBvh input;
    kvtest::TextbookBvh output;
    QString error;
    QVERIFY2(kvtest::readTextbookBvhFile(sample(name), input, &error), qPrintable(error));
    QVERIFY2(kvtest::readTextbookBvhFile(path(QStringLiteral("out.bvh")), output, &error), qPrintable(error));
    QCOMPARE(int(output.joints.size()), 53);
    QCOMPARE(output.joints.front().name, QStringLiteral("hip"));
    QCOMPARE(output.frameCount, input.frameCount);
    QCOMPARE(int(output.frames.size()), input.frameCount);
    // The scene clock counts whole ticks, 4800 a second.
    QVERIFY2(std::fabs(output.frameTime * 4800 - std::round(input.frameTime * 4800)) < 1e-3,
             qPrintable(QString::number(output.frameTime)));

    QCOMPARE(run({QStringLiteral("import"), sample(name), QStringLiteral("-o"), path(QStringLiteral("scene.json"))}).exitCode, 0);
    QCOMPARE(run({QStringLiteral("convert"), sample(name), QStringLiteral("--second-life"), QStringLiteral("--fps"),
                  QStringLiteral("30"), QStringLiteral("-o"), path(QStringLiteral("sl.bvh"))}).exitCode, 0);
    const auto digest = [this](const QString &file) {
        return QString::fromLatin1(QCryptographicHash::hash(readAll(path(file)), QCryptographicHash::Sha256).toHex());
    };
    const QString line = name + QLatin1Char(' ') + digest(QStringLiteral("out.bvh")) + QLatin1Char(' ')
                       + digest(QStringLiteral("scene.json")) + QLatin1Char(' ') + digest(QStringLiteral("sl.bvh"));
    const QString goldenPath = QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("golden-outputs.txt"));
    QStringList golden = QString::fromLatin1(readAll(goldenPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto recorded = std::find_if(golden.begin(), golden.end(),
                                       [&](const QString &l) { return l.section(QLatin1Char(' '), 0, 0) == name; });
    if (qEnvironmentVariableIsSet("KVBVH_RECORD_GOLDEN")) {
        if (recorded == golden.end())
            golden.append(line);
        else
            *recorded = line;
        golden.sort();
        QFile out(goldenPath);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(golden.join(QLatin1Char('\n')).toLatin1() + '\n');
        return;
    }
    QVERIFY2(recorded != golden.end(), "no recorded output");
    QCOMPARE(line, *recorded);
}

// A Z-up capture comes out standing, and says so; --up y keeps it lying, and
// the run's choice reaches the plug-in in separate processes too.
void tst_ConvertCommand::zUpStandsUp()
{
    const QString input = sample(QStringLiteral("fair_dab_zup.bvh"));
    // Height of the head over the root in the written file's first frame,
    // against the head's distance from it.
    const auto headRise = [this](const QString &file) {
        kvtest::TextbookBvh bvh;
        if (!kvtest::readTextbookBvhFile(file, bvh, nullptr))
            return 0.0;
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, 0);
        for (size_t i = 0; i < bvh.joints.size(); ++i) {
            if (bvh.joints[i].name != QLatin1String("head"))
                continue;
            double length = 0;
            for (int k = 0; k < 3; ++k)
                length += std::pow(pose.position[i][size_t(k)] - pose.position[0][size_t(k)], 2);
            return (pose.position[i][1] - pose.position[0][1]) / std::sqrt(length);
        }
        return 0.0;
    };
    const Run stood = run({QStringLiteral("convert"), input, QStringLiteral("-o"), path(QStringLiteral("auto.bvh"))});
    QCOMPARE(stood.exitCode, 0);
    QVERIFY2(stood.out.contains(input + QLatin1String(": The file stands along Z")), qPrintable(stood.out));
    QVERIFY(headRise(path(QStringLiteral("auto.bvh"))) > 0.9);

    const Run kept = run({QStringLiteral("convert"), input, QStringLiteral("-o"), path(QStringLiteral("y.bvh")),
                          QStringLiteral("--up"), QStringLiteral("y")});
    QCOMPARE(kept.exitCode, 0);
    QVERIFY2(!kept.out.contains(QLatin1String("stands along Z")), qPrintable(kept.out));
    QVERIFY(std::abs(headRise(path(QStringLiteral("y.bvh")))) < 0.5);

    QVERIFY(QDir().mkdir(path(QStringLiteral("batch"))));
    const Run batch = run({QStringLiteral("convert"), input, sample(QStringLiteral("cmu_12_01_walk_mb.bvh")), QStringLiteral("--out-dir"),
                           path(QStringLiteral("batch")), QStringLiteral("-j"), QStringLiteral("2"), QStringLiteral("--up"), QStringLiteral("Y")});
    QCOMPARE(batch.exitCode, 0);
    QVERIFY2(!batch.out.contains(QLatin1String("stands along Z")), qPrintable(batch.out));
}

// The demo's job: a file Second Life takes as it is, that starts where the
// avatar stands, animates only the bones the file moves and holds one
// reference frame; --all-bones and --keep-origin write the figure as it is.
void tst_ConvertCommand::secondLife()
{
    const auto convert = [this](const QString &name, const QStringList &options, kvtest::TextbookBvh &written) {
        const QString output = path(QStringLiteral("sl.bvh"));
        const Run result = run(QStringList{QStringLiteral("convert"), sample(name), QStringLiteral("-o"), output,
                                           QStringLiteral("--second-life")} + options);
        QString error;
        if (result.exitCode != 0 || !result.err.isEmpty() || !kvtest::readTextbookBvhFile(output, written, &error))
            return result.err + error;
        const std::optional<KvBvhScan> scan = KvBvhScan::scan(output);
        return scan ? KvSecondLife::problems(*scan).join(QLatin1Char('\n')) : QStringLiteral("unreadable");
    };
    const auto names = [](const kvtest::TextbookBvh &bvh) {
        QStringList list;
        for (const kvtest::TextbookJoint &joint : bvh.joints)
            list += joint.name;
        return list;
    };
    kvtest::TextbookBvh source;
    QVERIFY(kvtest::readTextbookBvhFile(sample(QStringLiteral("cmu_01_01_jumps_mb.bvh")), source, nullptr));

    kvtest::TextbookBvh shaped;
    QCOMPARE(convert(QStringLiteral("cmu_01_01_jumps_mb.bvh"), {}, shaped), QString());
    QCOMPARE(shaped.frameCount, source.frameCount + 1);  // the reference frame first
    QCOMPARE(shaped.frames[1][0], 0.0);
    QCOMPARE(shaped.frames[1][2], 0.0);
    QVERIFY(names(shaped).contains(QStringLiteral("mHandThumb1Left")));
    for (const char *still : {"mEyeLeft", "mHandMiddle3Right", "lEye", "lToe"})
        QVERIFY2(!names(shaped).contains(QString::fromLatin1(still)), still);

    kvtest::TextbookBvh whole;
    QCOMPARE(convert(QStringLiteral("cmu_01_01_jumps_mb.bvh"), {QStringLiteral("--all-bones"), QStringLiteral("--keep-origin")},
                     whole), QString());
    QCOMPARE(int(whole.joints.size()), 53);
    QVERIFY(names(whole).contains(QStringLiteral("mEyeLeft")));
    // The travel is the same; only the start differs.
    const double shiftX = whole.frames[1][0] - shaped.frames[1][0];
    QVERIFY(std::abs(shiftX) + std::abs(whole.frames[1][2]) > 10.0);
    QVERIFY(std::abs(whole.frames.back()[0] - shaped.frames.back()[0] - shiftX) < 1e-4);

    // A file made for Second Life brings its reference frame: it is not doubled.
    kvtest::TextbookBvh hug;
    QVERIFY(kvtest::readTextbookBvhFile(sample(QStringLiteral("sl_hug_opencollar.bvh")), source, nullptr));
    QCOMPARE(convert(QStringLiteral("sl_hug_opencollar.bvh"), {}, hug), QString());
    QCOMPARE(hug.joints.size(), source.joints.size());
    QCOMPARE(hug.frameCount, source.frameCount);
}

// --fps samples the imported motion at its own rate and --start / --end cut
// it: every frame written is the full conversion's frame at the same time.
void tst_ConvertCommand::rateAndRange()
{
    const QString input = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));  // 120 fps
    QCOMPARE(run({QStringLiteral("convert"), input, QStringLiteral("-o"), path(QStringLiteral("full.bvh"))}).exitCode, 0);
    const Run cut = run({QStringLiteral("convert"), input, QStringLiteral("-o"), path(QStringLiteral("cut.bvh")),
                         QStringLiteral("--fps"), QStringLiteral("30"), QStringLiteral("--start"), QStringLiteral("12"),
                         QStringLiteral("--end"), QStringLiteral("2s")});
    QCOMPARE(cut.exitCode, 0);
    kvtest::TextbookBvh full;
    kvtest::TextbookBvh part;
    QVERIFY(kvtest::readTextbookBvhFile(path(QStringLiteral("full.bvh")), full, nullptr));
    QVERIFY(kvtest::readTextbookBvhFile(path(QStringLiteral("cut.bvh")), part, nullptr));
    QVERIFY(std::abs(part.frameTime - 1.0 / 30) < 1e-6);
    QCOMPARE(part.frameCount, (240 - 12) / 4);
    for (int k = 0; k < part.frameCount; ++k) {
        const std::vector<double> &expected = full.frames[size_t(12 + 4 * k)];
        for (size_t c = 0; c < expected.size(); ++c)
            QVERIFY2(std::abs(part.frames[size_t(k)][c] - expected[c]) < 1e-3, qPrintable(QStringLiteral("frame %1").arg(k)));
    }
    // An end past the motion ends with the motion, not with frozen frames.
    QCOMPARE(run({QStringLiteral("convert"), input, QStringLiteral("-o"), path(QStringLiteral("long.bvh")),
                  QStringLiteral("--end"), QStringLiteral("60s")}).exitCode, 0);
    QVERIFY(kvtest::readTextbookBvhFile(path(QStringLiteral("long.bvh")), part, nullptr));
    QCOMPARE(part.frameCount, full.frameCount);
}

// A file cut off before its Frames count converts the frames it holds, and
// convert says so, as it says where values are no numbers and when few
// joints found a bone.
void tst_ConvertCommand::honestReports()
{
    QList<QByteArray> lines = readAll(sample(QStringLiteral("cmu_12_01_walk_mb.bvh"))).split('\n');
    const int frameTime = int(std::find_if(lines.cbegin(), lines.cend(), [](const QByteArray &line) {
                                  return line.startsWith("Frame Time");
                              }) - lines.cbegin());
    lines = lines.mid(0, frameTime + 1 + 130);
    lines[frameTime + 5].replace(0, lines[frameTime + 5].indexOf(' '), "x7");
    QFile cutOff(path(QStringLiteral("cut.bvh")));
    QVERIFY(cutOff.open(QIODevice::WriteOnly));
    cutOff.write(lines.join('\n') + '\n');
    cutOff.close();
    const Run result = run({QStringLiteral("convert"), cutOff.fileName(), QStringLiteral("-o"), path(QStringLiteral("out.bvh"))});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.contains(QLatin1String("holds 130 of 524 frames")), qPrintable(result.err));
    QVERIFY2(result.err.contains(QStringLiteral("1 value that is no number read as 0, the first on line %1").arg(frameTime + 6)),
             qPrintable(result.err));
    const std::optional<KvBvhScan> written = KvBvhScan::scan(path(QStringLiteral("out.bvh")));
    QVERIFY(written);
    QCOMPARE(written->framesDeclared, 130);

    QFile odd(path(QStringLiteral("odd.bvh")));
    QVERIFY(odd.open(QIODevice::WriteOnly));
    odd.write("HIERARCHY\nROOT Root\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nJOINT Stick\n{\n"
              "OFFSET 0 5 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET 0 5 0\n}\n}\n}\n"
              "MOTION\nFrames: 1\nFrame Time: 0.1\n0 0 0 0 0 0\n");
    odd.close();
    const Run few = run({QStringLiteral("convert"), sample(QStringLiteral("cmu_12_01_walk_mb.bvh")), QStringLiteral("-o"),
                         path(QStringLiteral("few.bvh")), QStringLiteral("--figure"), odd.fileName()});
    QCOMPARE(few.exitCode, 0);
    QVERIFY2(few.err.contains(QLatin1String(" of 31 joints mapped: is the figure right?")), qPrintable(few.err));

    // A Frames count no reader can use: the frame lines present count.
    QVERIFY(odd.open(QIODevice::ReadOnly));
    QByteArray uncounted = odd.readAll().replace("Frames: 1", "Frames: 99999999999");
    odd.close();
    QVERIFY(odd.open(QIODevice::WriteOnly | QIODevice::Truncate));
    odd.write(uncounted + "1 2 3 4 5 6\n");
    odd.close();
    QCOMPARE(run({QStringLiteral("convert"), odd.fileName(), QStringLiteral("-o"), path(QStringLiteral("uncounted.bvh"))}).exitCode, 0);
    const std::optional<KvBvhScan> counted = KvBvhScan::scan(path(QStringLiteral("uncounted.bvh")));
    QVERIFY(counted);
    QCOMPARE(counted->framesDeclared, 2);
}

void tst_ConvertCommand::secondLifeWarnings()
{
    // The file's own skeleton as the figure keeps its names: Second Life
    // would refuse them, which is said without failing.
    const QString input = sample(QStringLiteral("fair_dab_zup.bvh"));
    const Run result = run({QStringLiteral("convert"), input, QStringLiteral("-o"), path(QStringLiteral("sl.bvh")),
                            QStringLiteral("--second-life"), QStringLiteral("--figure"), input});
    QCOMPARE(result.exitCode, 0);
    const QStringList lines = result.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).contains(QLatin1String("\"Hips\", not \"hip\"")), qPrintable(result.err));
    QVERIFY2(lines.at(1).contains(QLatin1String("27 joint names outside its skeleton")), qPrintable(result.err));
    QVERIFY(QFileInfo::exists(path(QStringLiteral("sl.bvh"))));
}

void tst_ConvertCommand::sceneTimingKept()
{
    const Run result = run({QStringLiteral("convert"), sample(QStringLiteral("cmu_12_01_walk_mb.bvh")), QStringLiteral("-o"),
                            path(QStringLiteral("out.bvh")), QStringLiteral("--keep-scene-timing")});
    QCOMPARE(result.exitCode, 0);
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(path(QStringLiteral("out.bvh")));
    QVERIFY(scan);
    QCOMPARE(scan->framesDeclared, 30);
    QCOMPARE(scan->frameTimeText, QStringLiteral("0.0333333"));
}

void tst_ConvertCommand::importThenExportWritesWhatConvertWrites()
{
    const QString input = sample(QStringLiteral("mocapbank_crlf.bvh"));
    QCOMPARE(run({QStringLiteral("convert"), input, QStringLiteral("-o"), path(QStringLiteral("direct.bvh")),
                  QStringLiteral("--second-life"), QStringLiteral("--in-place")}).exitCode, 0);
    QCOMPARE(run({QStringLiteral("import"), input, QStringLiteral("-o"), path(QStringLiteral("scene.json")),
                  QStringLiteral("--in-place")}).exitCode, 0);
    const Run exported = run({QStringLiteral("export"), path(QStringLiteral("scene.json")), QStringLiteral("-o"),
                              path(QStringLiteral("halves.bvh")), QStringLiteral("--second-life")});
    QCOMPARE(exported.exitCode, 0);
    QVERIFY(exported.out.contains(QLatin1String("export map SecondLife")));
    const QByteArray direct = readAll(path(QStringLiteral("direct.bvh")));
    QVERIFY(!direct.isEmpty());
    QCOMPARE(readAll(path(QStringLiteral("halves.bvh"))).split('\n'), direct.split('\n'));
}

// Separate processes write what one process writes, each file under its own
// base name inside the folder.
void tst_ConvertCommand::batchInProcesses()
{
    // Output folders that do not exist yet are made.
    // Path parts of an input never reach the output's name.
    const QStringList inputs{sample(QStringLiteral("sl_tpose_qavimator.bvh")), sample(QStringLiteral("bvhio_blank_lines.bvh")),
                             sample(QStringLiteral("../bvh/mocapbank_crlf.bvh"))};
    // Every option reaches the child processes: the outputs are the same.
    const QStringList options{QStringLiteral("--second-life"), QStringLiteral("--fps"), QStringLiteral("30"),
                              QStringLiteral("--limits"), QStringLiteral("--keep-origin")};
    const Run serial = run(QStringList{QStringLiteral("convert"), QStringLiteral("--out-dir"), path(QStringLiteral("one"))}
                           + inputs + options);
    QCOMPARE(serial.exitCode, 0);
    const Run parallel = run(QStringList{QStringLiteral("convert"), QStringLiteral("-j"), QStringLiteral("2"),
                                         QStringLiteral("--out-dir"), path(QStringLiteral("many/more"))}
                             + options + inputs);
    QCOMPARE(parallel.exitCode, 0);
    QVERIFY2(parallel.err.isEmpty(), qPrintable(parallel.err));
    QCOMPARE(parallel.out.count(QLatin1Char('\n')), 3);
    const QStringList written = QDir(path(QStringLiteral("many/more"))).entryList(QDir::Files, QDir::Name);
    QCOMPARE(written, (QStringList{"bvhio_blank_lines.bvh", "mocapbank_crlf.bvh", "sl_tpose_qavimator.bvh"}));
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), (QStringList{"kvbvh.ini", "many", "one"}));
    QCOMPARE(QDir(path(QStringLiteral("many"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"more"});
    for (const QString &name : written) {
        const QByteArray one = readAll(path(QStringLiteral("one/") + name));
        QVERIFY(!one.isEmpty());
        QCOMPARE(readAll(path(QStringLiteral("many/more/") + name)), one);
    }
}

void tst_ConvertCommand::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");  // the line after "kvbvh: ", a pattern

    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    QTest::newRow("missing-input") << QStringList{"convert", "nowhere.bvh", "-o", "out.bvh"} << "nowhere.bvh: no such file$";
    QTest::newRow("input-is-a-folder") << QStringList{"convert", ".", "-o", "out.bvh"} << "\\.: not a file$";
    QTest::newRow("not-bvh") << QStringList{"convert", "kvbvh.ini", "-o", "out.bvh"} << "kvbvh.ini: .+$";
    QTest::newRow("missing-figure") << QStringList{"convert", walk, "-o", "out.bvh", "--figure", "hero.json"}
                                    << "figure file hero.json does not exist$";
    QTest::newRow("broken-figure") << QStringList{"convert", walk, "-o", "out.bvh", "--figure", "kvbvh.ini"}
                                   << "figure kvbvh.ini: expected .+$";
    QTest::newRow("unknown-map") << QStringList{"convert", walk, "-o", "out.bvh", "--map", "NoSuchMap"}
                                 << "no stored map named \"NoSuchMap\".*$";
    QTest::newRow("unknown-export-map") << QStringList{"convert", walk, "-o", "out.bvh", "--export-map", "Nope"}
                                        << "no stored map named \"Nope\".*$";
    QTest::newRow("missing-output-folder") << QStringList{"convert", walk, "-o", "no/such/out.bvh"}
                                           << "no/such/out.bvh: the folder no/such does not exist$";
    QTest::newRow("out-dir-impossible") << QStringList{"convert", walk, "--out-dir", walk + "/sub"}
                                        << "the output folder .+/sub cannot be made$";
    QTest::newRow("import-missing-input") << QStringList{"import", "nowhere.bvh", "-o", "out.bvh"}
                                          << "nowhere.bvh: no such file$";
    QTest::newRow("export-missing-scene") << QStringList{"export", "scene.json", "-o", "out.bvh"}
                                          << "scene.json: no such file$";
    QTest::newRow("export-not-a-scene") << QStringList{"export", walk, "-o", "out.bvh"} << ".+cmu_12_01_walk_mb.bvh:1: .+$";
    QTest::newRow("nothing-between") << QStringList{"convert", walk, "-o", "out.bvh", "--start", "10", "--end", "10"}
                                     << ".+: no frame is left to write between --start and --end$";
    QTest::newRow("onto-its-input") << QStringList{"convert", "take.bvh", "-o", "./take.bvh"}
                                    << "\\./take\\.bvh: will not write over the input$";
    QTest::newRow("fails-among-processes") << QStringList{"convert", "--quiet", "-j", "2", walk, "nowhere.bvh", "--out-dir", "outs"}
                                           << "nowhere.bvh: no such file$";
}

void tst_ConvertCommand::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    // A real settings file, so that "kvbvh.ini" exists as a file that is no BVH,
    // and a copy of a take that no run may change.
    QCOMPARE(run({QStringLiteral("maps"), QStringLiteral("list")}).exitCode, 0);
    const QByteArray take = readAll(sample(QStringLiteral("cmu_12_01_walk_mb.bvh")));
    QFile copy(path(QStringLiteral("take.bvh")));
    QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(take) == take.size());
    copy.close();

    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(isOneErrorLine(result.err, error), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    QVERIFY2(!QFileInfo::exists(path(QStringLiteral("out.bvh"))), "an output file was left behind");
    QVERIFY(readAll(path(QStringLiteral("take.bvh"))) == take);
}

void tst_ConvertCommand::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    const QString jumps = sample(QStringLiteral("cmu_01_01_jumps_mb.bvh"));
    QTest::newRow("no-input") << QStringList{"convert", "-o", "out.bvh"};
    QTest::newRow("no-output") << QStringList{"convert", walk};
    QTest::newRow("two-outputs") << QStringList{"convert", walk, "-o", "out.bvh", "--out-dir", "."};
    QTest::newRow("two-inputs-one-file") << QStringList{"convert", walk, jumps, "-o", "out.bvh"};
    QTest::newRow("same-base-name") << QStringList{"convert", walk, walk, "--out-dir", "."};
    QTest::newRow("jobs-zero") << QStringList{"convert", walk, jumps, "--out-dir", ".", "-j", "0"};
    QTest::newRow("jobs-not-a-number") << QStringList{"convert", walk, "-o", "out.bvh", "-jmany"};
    QTest::newRow("unknown-option") << QStringList{"convert", walk, "-o", "out.bvh", "--fast"};
    QTest::newRow("flag-with-value") << QStringList{"convert", walk, "-o", "out.bvh", "--limits=yes"};
    QTest::newRow("value-missing") << QStringList{"convert", walk, "-o"};
    QTest::newRow("import-two-inputs") << QStringList{"import", walk, jumps, "-o", "out.bvh"};
    QTest::newRow("export-no-output") << QStringList{"export", "scene.json"};
    QTest::newRow("up-axis") << QStringList{"convert", walk, "-o", "out.bvh", "--up", "x"};
    QTest::newRow("fps") << QStringList{"convert", walk, "-o", "out.bvh", "--fps", "0"};
    QTest::newRow("start") << QStringList{"convert", walk, "-o", "out.bvh", "--start", "1m"};
    QTest::newRow("export-end") << QStringList{"export", "scene.json", "-o", "out.bvh", "--end", "-3"};
}

void tst_ConvertCommand::badUsage()
{
    QFETCH(QStringList, arguments);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.startsWith(QLatin1String("kvbvh: ")) && result.err.contains(QLatin1String("\nUsage: kvbvh")),
             qPrintable(result.err));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("out.bvh"))));
}

// A DISPLAY that leads nowhere must not stop a batch run: the program picks
// its own platform unless the user chose one.
void tst_ConvertCommand::ignoresAStaleDisplay()
{
    QProcessEnvironment env = serverEnvironment(dir->path());
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    const Run result = run({QStringLiteral("convert"), sample(QStringLiteral("sl_tpose_qavimator.bvh")), QStringLiteral("-o"),
                            path(QStringLiteral("out.bvh"))},
                           env);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    QVERIFY(QFileInfo::exists(path(QStringLiteral("out.bvh"))));
}

// Writing to a pipe whose reader has gone fails with a message and exit 1,
// not a silent death by signal.
void tst_ConvertCommand::readerGoesAway()
{
    QProcess shell;
    shell.setProcessEnvironment(serverEnvironment(dir->path()));
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"), QStringLiteral("\"$0\" --settings \"$1\" convert \"$2\" -o /dev/stdout | head -c 10 >/dev/null; "
                                                      "exit ${PIPESTATUS[0]}"),
                 QStringLiteral(KV_APP_PATH), settings(), sample(QStringLiteral("cmu_01_01_jumps_mb.bvh"))});
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.exitCode(), 1);
    QVERIFY(QString::fromUtf8(shell.readAllStandardError()).contains(QLatin1String("can not be written")));
}

QTEST_GUILESS_MAIN(tst_ConvertCommand)
#include "tst_convertcommand.moc"
