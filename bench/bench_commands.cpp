// Times the kvbvh commands as whole processes, the way a user meets them:
// convert, import and export of long takes (real captures repeated to 10,000
// and 100,000 frames, in CMU and Second Life naming), a file of 5,000 joints
// onto a figure made from it and a 20,000-deep chain. Beside them run the
// floor (bench_floor: read and parse every number) and, when it is installed,
// the asset-import library's bare parse (`assimp info`). Each command runs
// several times; the table shows the median wall and CPU time and the largest
// resident set the OS reports. The table is printed and written as Markdown.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>
#include <QThread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

struct Options
{
    QString bin;     // folder of kvbvh, the plug-in and bench_floor
    QString samples; // data/bvh
    QString work;    // generated files and outputs
    QString results; // the Markdown file to write
    QString label;   // what was measured (a commit)
    int runs = 3;
};

struct Timing
{
    double wall = 0;   // seconds, median
    double cpu = 0;    // seconds (user + system), median
    double peakMb = 0; // largest resident set over the runs
    bool ok = false;
};

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// One run of a program; its output goes to log so that a failure can be read.
std::optional<Timing> runOnce(const QStringList &command, const QString &log)
{
    std::vector<QByteArray> args;
    for (const QString &arg : command)
        args.push_back(QFile::encodeName(arg));
    std::vector<char *> argv;
    for (QByteArray &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const QByteArray logName = QFile::encodeName(log);

    const double start = now();
    const pid_t pid = fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        const int out = open(logName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return std::nullopt;
    Timing t;
    t.wall = now() - start;
    t.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
    t.peakMb = usage.ru_maxrss / 1024.0;
    t.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return t;
}

Timing measure(const QStringList &command, const Options &options, int runs)
{
    const QString log = QDir(options.work).filePath(QStringLiteral("last-run.log"));
    std::vector<double> walls, cpus;
    Timing result;
    for (int i = 0; i < runs; ++i) {
        const std::optional<Timing> t = runOnce(command, log);
        if (!t || !t->ok) {
            QFile file(log);
            file.open(QIODevice::ReadOnly);
            std::fprintf(stderr, "failed: %s\n%s\n", qPrintable(command.join(QLatin1Char(' '))),
                         file.read(4000).constData());
            return Timing{};
        }
        walls.push_back(t->wall);
        cpus.push_back(t->cpu);
        result.peakMb = std::max(result.peakMb, t->peakMb);
    }
    result.wall = median(walls);
    result.cpu = median(cpus);
    result.ok = true;
    return result;
}

// A real take's hierarchy with its frame lines repeated to frames lines.
bool writeRepeated(const QString &source, const QString &target, int frames)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = in.readAll();
    const int motion = text.indexOf("MOTION");
    const int frameTime = text.indexOf("Frame Time:", motion);
    if (motion < 0 || frameTime < 0)
        return false;
    const int firstLine = text.indexOf('\n', frameTime) + 1;
    QList<QByteArray> lines;
    for (const QByteArray &line : text.mid(firstLine).split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    QByteArray head = text.left(motion);
    head.replace("\r\n", "\n");
    head += "MOTION\nFrames: " + QByteArray::number(frames) + "\n"
          + text.mid(frameTime, firstLine - frameTime).trimmed() + "\n";
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(head) != head.size())
        return false;
    for (int f = 0; f < frames; ++f) {
        const QByteArray &line = lines[f % lines.size()];
        if (out.write(line) != line.size() || !out.putChar('\n'))
            return false;
    }
    return out.flush();
}

// A made-up skeleton: a six-channel root with branches chains of depth
// joints below it (names j1, j2, ...), every joint three channels, frames
// lines of smoothly changing angles.
bool writeTree(const QString &target, int branches, int depth, int frames)
{
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "HIERARCHY\nROOT root\n{\n OFFSET 0 0 0\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
    int joint = 0;
    for (int b = 0; b < branches; ++b) {
        for (int d = 0; d < depth; ++d)
            text += "JOINT j" + QByteArray::number(++joint) + "\n{\n OFFSET 0 1 " + QByteArray::number(b % 7) + "\n CHANNELS 3 Zrotation Xrotation Yrotation\n";
        text += "End Site\n{\n OFFSET 0 1 0\n}\n";
        for (int d = 0; d < depth; ++d)
            text += "}\n";
    }
    text += "}\nMOTION\nFrames: " + QByteArray::number(frames) + "\nFrame Time: 0.0333333\n";
    if (out.write(text) != text.size())
        return false;
    const int values = 6 + 3 * joint;
    QByteArray line;
    for (int f = 0; f < frames; ++f) {
        line = "0 40 0";
        for (int v = 3; v < values; ++v)
            line += ' ' + QByteArray::number(10.0 * std::sin(f * 0.05 + v), 'f', 3);
        line += '\n';
        if (out.write(line) != line.size())
            return false;
    }
    return out.flush();
}

QString seconds(double s)
{
    return s < 1 ? QStringLiteral("%1 ms").arg(s * 1000, 0, 'f', 0) : QStringLiteral("%1 s").arg(s, 0, 'f', 2);
}

QString machine()
{
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    return QStringLiteral("%1; %2 × %3").arg(QSysInfo::prettyProductName()).arg(QThread::idealThreadCount()).arg(cpu);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    Options options;
    const QStringList args = application.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &name = args[i];
        const QString &value = args[i + 1];
        if (name == QLatin1String("--bin"))
            options.bin = value;
        else if (name == QLatin1String("--samples"))
            options.samples = value;
        else if (name == QLatin1String("--work"))
            options.work = value;
        else if (name == QLatin1String("--results"))
            options.results = value;
        else if (name == QLatin1String("--label"))
            options.label = value;
        else if (name == QLatin1String("--runs"))
            options.runs = std::max(1, value.toInt());
    }
    if (options.bin.isEmpty() || options.samples.isEmpty() || options.work.isEmpty()) {
        std::fprintf(stderr, "usage: bench_commands --bin DIR --samples DIR --work DIR [--results FILE] [--label TEXT] [--runs N]\n");
        return 2;
    }
    QDir work(options.work);
    if (!work.mkpath(QStringLiteral(".")))
        return 1;
    const auto in = [&](const QString &name) { return work.filePath(name); };
    const QString kvbvh = QDir(options.bin).filePath(QStringLiteral("kvbvh"));
    const QString floor = QDir(options.bin).filePath(QStringLiteral("bench_floor"));
    const QString assimp = QStandardPaths::findExecutable(QStringLiteral("assimp"));
    const QString settings = in(QStringLiteral("settings.ini"));

    std::printf("Generating the files in %s\n", qPrintable(work.absolutePath()));
    struct Take { QString name; QString source; int frames; };
    const Take takes[] = {
        {QStringLiteral("cmu-10k.bvh"), QStringLiteral("cmu_01_01_jumps_mb.bvh"), 10000},
        {QStringLiteral("cmu-100k.bvh"), QStringLiteral("cmu_01_01_jumps_mb.bvh"), 100000},
        {QStringLiteral("sl-10k.bvh"), QStringLiteral("pirouette_slnames.bvh"), 10000},
        {QStringLiteral("sl-100k.bvh"), QStringLiteral("pirouette_slnames.bvh"), 100000},
    };
    for (const Take &take : takes) {
        if (!writeRepeated(QDir(options.samples).filePath(take.source), in(take.name), take.frames)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(in(take.name)));
            return 1;
        }
    }
    if (!writeTree(in(QStringLiteral("joints-5000.bvh")), 100, 50, 100)
        || !writeTree(in(QStringLiteral("chain-20000.bvh")), 1, 20000, 30))
        return 1;

    struct Row { QString what; QString file; Timing t; };
    std::vector<Row> rows;
    const auto time = [&](const QString &what, const QString &file, QStringList command, int runs) {
        std::printf("  %-34s %-16s", qPrintable(what), qPrintable(file));
        std::fflush(stdout);
        const Timing t = measure(command, options, runs);
        if (t.ok)
            std::printf(" %10s %10s %8.0f MB\n", qPrintable(seconds(t.wall)), qPrintable(seconds(t.cpu)), t.peakMb);
        else
            std::printf(" failed\n");
        rows.push_back({what, file, t});
        return t;
    };
    const auto kv = [&](QStringList command) { return QStringList{kvbvh, QStringLiteral("--settings"), settings, QStringLiteral("--quiet")} + command; };

    std::printf("Each command %d times; median wall and CPU time, largest resident set:\n", options.runs);
    struct TakeTimes { Timing floor, assimp, convert, import, exportScene; };
    std::vector<TakeTimes> times;
    for (const Take &take : takes) {
        TakeTimes t;
        const QString file = in(take.name);
        const QString scene = in(take.name + QStringLiteral(".json"));
        t.floor = time(QStringLiteral("floor (read and parse)"), take.name, {floor, file}, options.runs);
        if (!assimp.isEmpty())
            t.assimp = time(QStringLiteral("assimp info"), take.name, {assimp, QStringLiteral("info"), file}, options.runs);
        t.convert = time(QStringLiteral("kvbvh convert"), take.name, kv({QStringLiteral("convert"), file, QStringLiteral("-o"), in(QStringLiteral("out.bvh"))}), options.runs);
        t.import = time(QStringLiteral("kvbvh import"), take.name, kv({QStringLiteral("import"), file, QStringLiteral("-o"), scene}), options.runs);
        t.exportScene = time(QStringLiteral("kvbvh export"), take.name, kv({QStringLiteral("export"), scene, QStringLiteral("-o"), in(QStringLiteral("out.bvh"))}), options.runs);
        time(QStringLiteral("kvbvh convert --second-life"), take.name, kv({QStringLiteral("convert"), file, QStringLiteral("--second-life"), QStringLiteral("-o"), in(QStringLiteral("out.bvh"))}), options.runs);
        times.push_back(t);
    }
    const QString wide = in(QStringLiteral("joints-5000.bvh"));
    const QString deep = in(QStringLiteral("chain-20000.bvh"));
    const Timing wideOnItself = time(QStringLiteral("kvbvh convert --figure (itself)"), QStringLiteral("joints-5000.bvh"),
                                     kv({QStringLiteral("convert"), wide, QStringLiteral("--figure"), wide, QStringLiteral("-o"), in(QStringLiteral("out.bvh"))}), options.runs);
    const Timing deepConvert = time(QStringLiteral("kvbvh convert"), QStringLiteral("chain-20000.bvh"),
                                    kv({QStringLiteral("convert"), deep, QStringLiteral("-o"), in(QStringLiteral("out.bvh"))}), options.runs);
    const Timing deepOnItself = time(QStringLiteral("kvbvh convert --figure (itself)"), QStringLiteral("chain-20000.bvh"),
                                     kv({QStringLiteral("convert"), deep, QStringLiteral("--figure"), deep, QStringLiteral("-o"), in(QStringLiteral("out.bvh"))}), options.runs);

    // The targets, each as measured against its bound.
    struct Target { QString what; QString measured; bool met; };
    std::vector<Target> targets;
    const auto ratio = [](const Timing &a, const Timing &b) { return a.ok && b.ok && b.wall > 0 ? a.wall / b.wall : NAN; };
    const TakeTimes &cmu10k = times[0];
    const TakeTimes &cmu100k = times[1];
    if (!assimp.isEmpty()) {
        const double c = ratio(cmu100k.convert, cmu100k.assimp);
        targets.push_back({QStringLiteral("convert of cmu-100k ≤ 0.75 × assimp info"), QStringLiteral("%1 ×").arg(c, 0, 'f', 2), c <= 0.75});
        const double i = ratio(cmu100k.import, cmu100k.assimp);
        targets.push_back({QStringLiteral("import of cmu-100k ≤ 0.375 × assimp info"), QStringLiteral("%1 ×").arg(i, 0, 'f', 2), i <= 0.375});
        const double e = ratio(cmu100k.exportScene, cmu100k.assimp);
        targets.push_back({QStringLiteral("export of cmu-100k ≤ 0.375 × assimp info"), QStringLiteral("%1 ×").arg(e, 0, 'f', 2), e <= 0.375});
    } else {
        targets.push_back({QStringLiteral("convert, import, export against assimp info"), QStringLiteral("assimp not installed"), false});
    }
    targets.push_back({QStringLiteral("convert of cmu-100k ≤ 300 MB peak"), QStringLiteral("%1 MB").arg(cmu100k.convert.peakMb, 0, 'f', 0), cmu100k.convert.ok && cmu100k.convert.peakMb <= 300});
    const double growth = ratio(cmu100k.convert, cmu10k.convert);
    targets.push_back({QStringLiteral("convert: 10× the frames ≤ 10.5× the time"), QStringLiteral("%1 ×").arg(growth, 0, 'f', 2), growth <= 10.5});
    targets.push_back({QStringLiteral("5,000 joints onto a figure made from them < 1 s"), seconds(wideOnItself.wall), wideOnItself.ok && wideOnItself.wall < 1});
    targets.push_back({QStringLiteral("20,000-deep chain converts < 2 s"), seconds(deepConvert.wall), deepConvert.ok && deepConvert.wall < 2});
    targets.push_back({QStringLiteral("20,000-deep chain as the figure < 2 s"), seconds(deepOnItself.wall), deepOnItself.ok && deepOnItself.wall < 2});

    std::printf("\nTargets:\n");
    for (const Target &t : targets)
        std::printf("  %-52s %12s  %s\n", qPrintable(t.what), qPrintable(t.measured), t.met ? "met" : "MISSED");

    if (!options.results.isEmpty()) {
        QString md = QStringLiteral("# Benchmark results\n\n%1, %2%3. Release build; each command %4 times as a whole process, "
                                    "the median wall and CPU time and the largest resident set. Written by `make bench`.\n\n")
                         .arg(QDateTime::currentDateTime().toString(Qt::ISODate), machine(),
                              options.label.isEmpty() ? QString() : QStringLiteral("; ") + options.label)
                         .arg(options.runs);
        md += QStringLiteral("| command | file | wall | CPU | peak |\n|---|---|---|---|---|\n");
        for (const Row &row : rows) {
            md += QStringLiteral("| %1 | %2 | %3 | %4 | %5 |\n")
                      .arg(row.what, row.file, row.t.ok ? seconds(row.t.wall) : QStringLiteral("failed"),
                           row.t.ok ? seconds(row.t.cpu) : QString(),
                           row.t.ok ? QStringLiteral("%1 MB").arg(row.t.peakMb, 0, 'f', 0) : QString());
        }
        md += QStringLiteral("\n| target | measured | |\n|---|---|---|\n");
        for (const Target &t : targets)
            md += QStringLiteral("| %1 | %2 | %3 |\n").arg(t.what, t.measured, t.met ? QStringLiteral("met") : QStringLiteral("missed"));
        QFile out(options.results);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(md.toUtf8()) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(options.results));
            return 1;
        }
        std::printf("\nWrote %s\n", qPrintable(options.results));
    }
    for (const Row &row : rows) {
        if (!row.t.ok)
            return 1;
    }
    return 0;
}
