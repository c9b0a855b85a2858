// Times whole imports onto the default figure: the hierarchy, the automatic
// mapping, rest alignment and one key set per bone for every frame line.
// Doubling the frames or the joints should double the time of the line loop.

#include "bvhin.h"

#include "kvapp.h"
#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int runs = 3;

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// The default figure's bones as joints (offsets from their origins), with
// extra leaf joints that drive no bone hung below the hands and the head, so
// that the file has joints joints. The root has six channels, the others
// three. Returns the number of values a line holds.
int writeFile(const QString &path, int joints, int frames)
{
    const KvFigureDesc &figure = KvDefaultFigure::desc();
    QHash<QString, KvVec3> origin;
    QHash<QString, QStringList> children;
    for (const KvBoneDesc &bone : figure.bones) {
        origin.insert(bone.name, bone.origin);
        children[bone.parent] += bone.name;
    }
    const QStringList holders{"head", "lHand", "rHand", "lFoot", "rFoot"};
    for (int extra = 0; int(figure.bones.size()) + extra < joints; ++extra) {
        const QString holder = holders[extra % holders.size()];
        const QString name = QStringLiteral("nub%1").arg(extra);
        origin.insert(name, origin.value(holder) + KvVec3(0.5f, 0.5f * (extra % 3), 0.25f));
        children[holder] += name;
    }

    QByteArray text = "HIERARCHY\n";
    int values = 0;
    std::function<void(const QString &, const QString &, const QByteArray &)> write =
        [&](const QString &name, const QString &parent, const QByteArray &indent) {
            const KvVec3 offset = origin.value(name) - (parent.isEmpty() ? KvVec3() : origin.value(parent));
            text += indent + (parent.isEmpty() ? "ROOT " : "JOINT ") + name.toLatin1() + "\n" + indent + "{\n" + indent
                  + "\tOFFSET " + QByteArray::number(offset.x) + " " + QByteArray::number(offset.y) + " "
                  + QByteArray::number(offset.z) + "\n" + indent
                  + (parent.isEmpty() ? "\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                                      : "\tCHANNELS 3 Zrotation Xrotation Yrotation\n");
            values += parent.isEmpty() ? 6 : 3;
            for (const QString &child : children.value(name))
                write(child, name, indent + "\t");
            if (!children.contains(name))
                text += indent + "\tEnd Site\n" + indent + "\t{\n" + indent + "\t\tOFFSET 0 1 0\n" + indent + "\t}\n";
            text += indent + "}\n";
        };
    write(figure.bones.front().name, QString(), QByteArray());
    text += "MOTION\nFrames: " + QByteArray::number(frames) + "\nFrame Time: 0.0083333\n";

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return 0;
    QByteArray line;
    char number[32];
    for (int f = 0; f < frames; ++f) {
        line.clear();
        for (int c = 0; c < values; ++c) {
            const double v = c == 1 ? 43.5 + std::sin(f * 0.01) : 30.0 * std::sin(f * 0.013 + c * 0.7);
            line.append(number, std::snprintf(number, sizeof number, c ? " %.4f" : "%.4f", v));
        }
        line += '\n';
        if (file.write(line) != line.size())
            return 0;
    }
    return values;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    KvApp app(dir.filePath(QStringLiteral("settings.ini")), false);
    KvSkeleton *figure = KvDefaultFigure::build().release();
    kvScene->addNode(figure);
    kvScene->selectNode(figure);

    QElapsedTimer timer;
    qint64 linesStartNs = 0;
    CBvhIn::setMappingDialog([&](CBvhIn &) {
        linesStartNs = timer.nsecsElapsed();
        return 1;
    });

    std::printf("best of %d runs; peak memory %.1f MB before the first import\n", runs, peakMegabytes());
    const struct { int frames; int joints; } sizes[] = {{10000, 60}, {20000, 60}, {10000, 120}};
    for (const auto &size : sizes) {
        const QString path = dir.filePath(QStringLiteral("bench.bvh"));
        const int values = writeFile(path, size.joints, size.frames);
        if (values == 0)
            return 1;
        qint64 bestTotal = -1;
        qint64 bestLines = -1;
        for (int run = 0; run < runs; ++run) {
            kvScene->setTime(0);
            CBvhIn in;
            timer.start();
            const int result = in.read(path, KvFileIOSettings());
            const qint64 total = timer.nsecsElapsed();
            const int keys = figure->findBone(QStringLiteral("lHand"))->getXRotControl()->getNumKeys();
            if (result != 1 || keys != size.frames) {
                std::fprintf(stderr, "import failed (result %d, %d keys on lHand)\n", result, keys);
                return 1;
            }
            if (bestTotal < 0 || total < bestTotal) {
                bestTotal = total;
                bestLines = total - linesStartNs;
            }
        }
        std::printf("%6d frames x %3d joints (%3d values): import %7.1f ms, line loop %7.1f ms, %7.0f frames/s, "
                    "%5.2f us per joint and frame; peak memory %.1f MB\n",
                    size.frames, size.joints, values, bestTotal / 1e6, bestLines / 1e6, size.frames / (bestLines / 1e9),
                    bestLines / 1e3 / (double(size.frames) * size.joints), peakMegabytes());
        QFile::remove(path);
    }
    return 0;
}
