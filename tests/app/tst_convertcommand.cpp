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
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void everySample_data();
    void everySample();
    void zUpStandsUp();
    void secondLife();
    void rateAndRange();
    void honestReports();
    void importThenExportWritesWhatConvertWrites();
    void batchInProcesses();
    void refusals_data();
    void refusals();
    void ignoresAStaleDisplay();
    void readerGoesAway();

private:
    Run run(const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment()) const
    {
        return runKvbvh(settings(), arguments, dir->path(), env);
    }
    QString settings() const { return dir->filePath(QStringLiteral("kvbvh.ini")); }
    QString path(const QString &name) const { return QDir(dir->path()).filePath(name); }
    QString write(const QString &name, const QByteArray &text) const
    {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName() : QString();
    }
    // A BVH file as the textbook reader reads it; empty when it cannot.
    kvtest::TextbookBvh bvh(const QString &file) const
    {
        kvtest::TextbookBvh read;
        return kvtest::readTextbookBvhFile(path(file), read, nullptr) ? read : kvtest::TextbookBvh();
    }

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_ConvertCommand::everySample_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : QDir(sample(QString())).entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(name)) << name;
}

// Onto the default figure: every bone written, the file's frames and rate kept;
// the written file, the imported keys (a scene file) and a Second Life export
// at another rate are byte for byte the ones recorded in golden-outputs.txt
// (KVBVH_RECORD_GOLDEN=1 records them anew), so that work on speed changes no output.
void tst_ConvertCommand::everySample()
{
    QFETCH(QString, name);
    const Run result = run({"convert", sample(name), "-o", "out.bvh"});
    QCOMPARE(std::pair(result.exitCode, result.err), std::pair(0, QString()));
    QVERIFY(result.out.startsWith(sample(name) + QLatin1String(" -> ")));
    const kvtest::TextbookBvh input = bvh(sample(name));
    const kvtest::TextbookBvh output = bvh(QStringLiteral("out.bvh"));
    QCOMPARE(int(output.joints.size()), 53);
    QCOMPARE(output.joints.front().name, QStringLiteral("hip"));
    QCOMPARE(output.frameCount, input.frameCount);
    QCOMPARE(int(output.frames.size()), input.frameCount);
    // The scene clock counts whole ticks, 4800 a second.
    QVERIFY(std::fabs(output.frameTime * 4800 - std::round(input.frameTime * 4800)) < 1e-3);

    QCOMPARE(run({"import", sample(name), "-o", "scene.json"}).exitCode, 0);
    QCOMPARE(run({"convert", sample(name), "--second-life", "--fps", "30", "-o", "sl.bvh"}).exitCode, 0);
    QString line = name;
    for (const char *file : {"out.bvh", "scene.json", "sl.bvh"})
        line += QLatin1Char(' ') + QCryptographicHash::hash(readAll(path(QLatin1String(file))), QCryptographicHash::Sha256).toHex();
    const QString goldenPath = QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("golden-outputs.txt"));
    QStringList golden = QString::fromLatin1(readAll(goldenPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto recorded = [&name](const QString &l) { return l.startsWith(name + QLatin1Char(' ')); };
    if (qEnvironmentVariableIsSet("KVBVH_RECORD_GOLDEN")) {
        golden.removeIf(recorded);
        golden.append(line);
        golden.sort();
        QVERIFY(!write(goldenPath, golden.join(QLatin1Char('\n')).toLatin1() + '\n').isEmpty());
        return;
    }
    const qsizetype at = std::find_if(golden.cbegin(), golden.cend(), recorded) - golden.cbegin();
    QCOMPARE(line, golden.value(at));  // none recorded: compared with an empty line
}

// A Z-up capture comes out standing, and says so; --up y keeps it lying, and
// the run's choice reaches the plug-in in separate processes too.
void tst_ConvertCommand::zUpStandsUp()
{
    const QString input = sample(QStringLiteral("fair_dab_zup.bvh"));
    // The head's rise over the root in the first frame, against its distance from it.
    const auto headRise = [this](const char *file) {
        const kvtest::TextbookBvh written = bvh(QLatin1String(file));
        const auto head = std::find_if(written.joints.cbegin(), written.joints.cend(),
                                       [](const kvtest::TextbookJoint &joint) { return joint.name == QLatin1String("head"); });
        if (head == written.joints.cend())
            return 0.0;
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(written, 0);
        const auto &at = pose.position[size_t(head - written.joints.cbegin())];
        const auto &root = pose.position[0];
        return (at[1] - root[1]) / std::hypot(at[0] - root[0], at[1] - root[1], at[2] - root[2]);
    };
    const Run stood = run({"convert", input, "-o", "auto.bvh"});
    QVERIFY2(stood.exitCode == 0 && stood.out.contains(input + QLatin1String(": The file stands along Z")), qPrintable(stood.out));
    QVERIFY(headRise("auto.bvh") > 0.9);

    const Run kept = run({"convert", input, "-o", "y.bvh", "--up", "y"});
    QVERIFY2(kept.exitCode == 0 && !kept.out.contains(QLatin1String("stands along Z")), qPrintable(kept.out));
    QVERIFY(std::abs(headRise("y.bvh")) < 0.5);

    const Run batch = run({"convert", input, sample("cmu_12_01_walk_mb.bvh"), "--out-dir", "batch", "-j", "2", "--up", "Y"});
    QVERIFY2(batch.exitCode == 0 && !batch.out.contains(QLatin1String("stands along Z")), qPrintable(batch.out));
}

// The demo's job: a file Second Life takes as it is, that starts where the
// avatar stands, animates only the bones the file moves and holds one
// reference frame; --all-bones and --keep-origin write the figure as it is.
void tst_ConvertCommand::secondLife()
{
    const auto convert = [this](const QString &name, const QStringList &options, kvtest::TextbookBvh &written) {
        const Run result = run(QStringList{"convert", sample(name), "-o", "sl.bvh", "--second-life"} + options);
        written = bvh(QStringLiteral("sl.bvh"));
        if (result.exitCode != 0 || !result.err.isEmpty() || written.joints.empty())
            return result.err + QLatin1String("no file read");
        const std::optional<KvBvhScan> scan = KvBvhScan::scan(path(QStringLiteral("sl.bvh")));
        return scan ? KvSecondLife::problems(*scan).join(QLatin1Char('\n')) : QStringLiteral("unreadable");
    };
    const auto names = [](const kvtest::TextbookBvh &bvh) {
        QStringList list;
        for (const kvtest::TextbookJoint &joint : bvh.joints)
            list += joint.name;
        return list;
    };
    kvtest::TextbookBvh shaped;
    QCOMPARE(convert(QStringLiteral("cmu_01_01_jumps_mb.bvh"), {}, shaped), QString());
    QCOMPARE(shaped.frameCount, bvh(sample("cmu_01_01_jumps_mb.bvh")).frameCount + 1);  // the reference frame first
    QCOMPARE(shaped.frames[1][0], 0.0);
    QCOMPARE(shaped.frames[1][2], 0.0);
    QVERIFY(names(shaped).contains(QStringLiteral("mHandThumb1Left")));
    for (const char *still : {"mEyeLeft", "mHandMiddle3Right", "lEye", "lToe"})
        QVERIFY2(!names(shaped).contains(QString::fromLatin1(still)), still);

    kvtest::TextbookBvh whole;
    QCOMPARE(convert(QStringLiteral("cmu_01_01_jumps_mb.bvh"), {"--all-bones", "--keep-origin"}, whole), QString());
    QCOMPARE(int(whole.joints.size()), 53);
    QVERIFY(names(whole).contains(QStringLiteral("mEyeLeft")));
    // The travel is the same; only the start differs.
    const double shiftX = whole.frames[1][0] - shaped.frames[1][0];
    QVERIFY(std::abs(shiftX) + std::abs(whole.frames[1][2]) > 10.0);
    QVERIFY(std::abs(whole.frames.back()[0] - shaped.frames.back()[0] - shiftX) < 1e-4);

    // A file made for Second Life brings its reference frame: it is not doubled.
    kvtest::TextbookBvh hug;
    const kvtest::TextbookBvh source = bvh(sample(QStringLiteral("sl_hug_opencollar.bvh")));
    QCOMPARE(convert(QStringLiteral("sl_hug_opencollar.bvh"), {}, hug), QString());
    QCOMPARE(hug.joints.size(), source.joints.size());
    QCOMPARE(hug.frameCount, source.frameCount);

    // The file's own skeleton as the figure keeps its names: Second Life
    // would refuse them, which is said without failing.
    const QString zUp = sample(QStringLiteral("fair_dab_zup.bvh"));
    const Run own = run({"convert", zUp, "-o", "own.bvh", "--second-life", "--figure", zUp});
    const QRegularExpression warnings(QStringLiteral("^[^\n]*\"Hips\", not \"hip\"[^\n]*\n[^\n]*27 joint names outside its skeleton[^\n]*\n$"));
    QVERIFY2(own.exitCode == 0 && warnings.match(own.err).hasMatch(), qPrintable(own.err));
    QVERIFY(QFileInfo::exists(path(QStringLiteral("own.bvh"))));
}

// --fps samples the imported motion at its own rate and --start / --end cut
// it: every frame written is the full conversion's frame at the same time.
// An end past the motion ends with the motion, not with frozen frames.
void tst_ConvertCommand::rateAndRange()
{
    const QString input = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));  // 120 fps
    QCOMPARE(run({"convert", input, "-o", "full.bvh"}).exitCode, 0);
    QCOMPARE(run({"convert", input, "-o", "cut.bvh", "--fps", "30", "--start", "12", "--end", "2s"}).exitCode, 0);
    QCOMPARE(run({"convert", input, "-o", "long.bvh", "--end", "60s"}).exitCode, 0);
    const kvtest::TextbookBvh full = bvh(QStringLiteral("full.bvh"));
    const kvtest::TextbookBvh cut = bvh(QStringLiteral("cut.bvh"));
    QVERIFY(std::abs(cut.frameTime - 1.0 / 30) < 1e-6);
    QCOMPARE(cut.frameCount, (240 - 12) / 4);
    for (int k = 0; k < cut.frameCount; ++k) {
        const std::vector<double> &expected = full.frames[size_t(12 + 4 * k)];
        for (size_t c = 0; c < expected.size(); ++c)
            QVERIFY2(std::abs(cut.frames[size_t(k)][c] - expected[c]) < 1e-3, qPrintable(QStringLiteral("frame %1").arg(k)));
    }
    QCOMPARE(bvh(QStringLiteral("long.bvh")).frameCount, full.frameCount);

    // The scene's own timing: its 30 frames at 30 fps.
    QCOMPARE(run({"convert", input, "-o", "scene.bvh", "--keep-scene-timing"}).exitCode, 0);
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(path(QStringLiteral("scene.bvh")));
    QVERIFY(scan && scan->framesDeclared == 30 && scan->frameTimeText == QLatin1String("0.0333333"));
}

// A file cut off before its Frames count converts the frames it holds, and
// convert says so, as it says where values are no numbers and when few
// joints found a bone. A Frames count no reader can use: the frame lines
// present count.
void tst_ConvertCommand::honestReports()
{
    QList<QByteArray> lines = readAll(sample(QStringLiteral("cmu_12_01_walk_mb.bvh"))).split('\n');
    int frameTime = 0;  // its line's index
    while (!lines.at(frameTime).startsWith("Frame Time"))
        ++frameTime;
    lines = lines.mid(0, frameTime + 1 + 130);
    lines[frameTime + 5].replace(0, lines[frameTime + 5].indexOf(' '), "x7");
    const Run result = run({"convert", write(QStringLiteral("cut.bvh"), lines.join('\n') + '\n'), "-o", "out.bvh"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.contains(QLatin1String("holds 130 of 524 frames")), qPrintable(result.err));
    QVERIFY2(result.err.contains(QStringLiteral("1 value that is no number read as 0, the first on line %1").arg(frameTime + 6)),
             qPrintable(result.err));
    const std::optional<KvBvhScan> written = KvBvhScan::scan(path(QStringLiteral("out.bvh")));
    QVERIFY(written && written->framesDeclared == 130);

    const QByteArray odd = "HIERARCHY\nROOT Root\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nJOINT Stick\n{\n"
                           "OFFSET 0 5 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\nOFFSET 0 5 0\n}\n}\n}\n"
                           "MOTION\nFrames: 1\nFrame Time: 0.1\n0 0 0 0 0 0\n";
    const Run few = run({"convert", sample("cmu_12_01_walk_mb.bvh"), "-o", "few.bvh", "--figure", write("odd.bvh", odd)});
    QCOMPARE(few.exitCode, 0);
    QVERIFY2(few.err.contains(QLatin1String(" of 31 joints mapped: is the figure right?")), qPrintable(few.err));

    const QString uncounted = write("uncounted.bvh", QByteArray(odd).replace("Frames: 1", "Frames: 99999999999") + "1 2 3 4 5 6\n");
    QCOMPARE(run({"convert", uncounted, "-o", "counted.bvh"}).exitCode, 0);
    const std::optional<KvBvhScan> counted = KvBvhScan::scan(path(QStringLiteral("counted.bvh")));
    QVERIFY(counted && counted->framesDeclared == 2);
}

void tst_ConvertCommand::importThenExportWritesWhatConvertWrites()
{
    const QString input = sample(QStringLiteral("mocapbank_crlf.bvh"));
    QCOMPARE(run({"convert", input, "-o", "direct.bvh", "--second-life", "--in-place"}).exitCode, 0);
    QCOMPARE(run({"import", input, "-o", "scene.json", "--in-place"}).exitCode, 0);
    const Run exported = run({"export", "scene.json", "-o", "halves.bvh", "--second-life"});
    QVERIFY2(exported.exitCode == 0 && exported.out.contains(QLatin1String("export map SecondLife")), qPrintable(exported.err));
    const QByteArray direct = readAll(path(QStringLiteral("direct.bvh")));
    QVERIFY(!direct.isEmpty());
    QCOMPARE(readAll(path(QStringLiteral("halves.bvh"))).split('\n'), direct.split('\n'));
}

// Separate processes write what one process writes, with every option, each
// file under its own base name inside the folder (made when missing): the
// folders of an input never reach the output's name.
void tst_ConvertCommand::batchInProcesses()
{
    const QStringList inputs{sample("sl_tpose_qavimator.bvh"), sample("bvhio_blank_lines.bvh"), sample("../bvh/mocapbank_crlf.bvh")};
    const QStringList options{"--second-life", "--fps", "30", "--limits", "--keep-origin"};
    QCOMPARE(run(QStringList{"convert", "--out-dir", "one"} + inputs + options).exitCode, 0);
    const Run parallel = run(QStringList{"convert", "-j", "2", "--out-dir", path("many/more")} + options + inputs);
    QCOMPARE(std::pair(parallel.exitCode, parallel.err), std::pair(0, QString()));
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

// Refused with one line and exit 1, or as bad usage with exit 2 and the
// usage; either way no output is left and the input is unchanged. One failure
// among several inputs, in separate processes too, fails the run.
void tst_ConvertCommand::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");  // the line after "kvbvh: ", a pattern; empty: bad usage

    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
    QTest::newRow("missing-input") << QStringList{"convert", "nowhere.bvh", "-o", "out.bvh"} << "nowhere.bvh: no such file$";
    QTest::newRow("not-bvh") << QStringList{"convert", "kvbvh.ini", "-o", "out.bvh"} << "kvbvh.ini: .+$";
    QTest::newRow("broken-figure") << QStringList{"convert", walk, "-o", "out.bvh", "--figure", "kvbvh.ini"} << "figure kvbvh.ini: .+$";
    QTest::newRow("missing-output-folder") << QStringList{"convert", walk, "-o", "no/such/out.bvh"}
                                           << "no/such/out.bvh: the folder no/such does not exist$";
    QTest::newRow("export-not-a-scene") << QStringList{"export", walk, "-o", "out.bvh"} << ".+cmu_12_01_walk_mb.bvh:1: .+$";
    QTest::newRow("nothing-between") << QStringList{"convert", walk, "-o", "out.bvh", "--start", "10", "--end", "10"}
                                     << ".+: no frame is left to write between --start and --end$";
    QTest::newRow("onto-its-input") << QStringList{"convert", "take.bvh", "-o", "./take.bvh"} << "\\./take\\.bvh: will not write over the input$";
    QTest::newRow("fails-among-processes") << QStringList{"convert", "--quiet", "-j", "2", walk, "nowhere.bvh", "--out-dir", "outs"}
                                           << "nowhere.bvh: no such file$";
    QTest::newRow("same-base-name") << QStringList{"convert", walk, walk, "--out-dir", "."} << QString();
    QTest::newRow("two-inputs-one-file") << QStringList{"convert", walk, "take.bvh", "-o", "out.bvh"} << QString();
    QTest::newRow("jobs-zero") << QStringList{"convert", walk, "take.bvh", "--out-dir", "outs", "-j", "0"} << QString();
    QTest::newRow("unknown-option") << QStringList{"convert", walk, "-o", "out.bvh", "--fast"} << QString();
    QTest::newRow("export-end") << QStringList{"export", "scene.json", "-o", "out.bvh", "--end", "-3"} << QString();
}

void tst_ConvertCommand::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    // A real settings file, so that "kvbvh.ini" exists as a file that is no BVH,
    // and a copy of a take that no run may change.
    QCOMPARE(run({"maps", "list"}).exitCode, 0);
    const QByteArray take = readAll(sample(QStringLiteral("cmu_12_01_walk_mb.bvh")));
    QVERIFY(!write(QStringLiteral("take.bvh"), take).isEmpty());

    const Run result = run(arguments);
    QCOMPARE(result.exitCode, error.isEmpty() ? 2 : 1);
    QVERIFY2(error.isEmpty() ? result.err.startsWith(QLatin1String("kvbvh: ")) && result.err.contains(QLatin1String("\nUsage: kvbvh"))
                             : isOneErrorLine(result.err, error),
             qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    QVERIFY2(!QFileInfo::exists(path(QStringLiteral("out.bvh"))), "an output file was left behind");
    QVERIFY(readAll(path(QStringLiteral("take.bvh"))) == take);
}

// A DISPLAY that leads nowhere must not stop a batch run: the program picks
// its own platform unless the user chose one.
void tst_ConvertCommand::ignoresAStaleDisplay()
{
    QProcessEnvironment env = serverEnvironment(dir->path());
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    const Run result = run({"convert", sample("sl_tpose_qavimator.bvh"), "-o", "out.bvh"}, env);
    QCOMPARE(std::pair(result.exitCode, result.err), std::pair(0, QString()));
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
