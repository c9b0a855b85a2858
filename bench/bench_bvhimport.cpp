// Times one import of a generated 100,000-frame BVH file: the hierarchy is
// read and the whole line loop runs (counting pass, progress, frame lines
// handed on). Prints the best of a few runs for LF, CRLF and CR-only files.

#include "bvhin.h"
#include "bvhstate.h"

#include "kvapp.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

constexpr int frameCount = 100000;
constexpr int runs = 3;

struct Hierarchy
{
    QByteArray text;
    int channels = 0;
};

// A CMU-sized figure: a six-channel root and five chains of three-channel
// joints (31 joints, 96 values a frame).
Hierarchy makeHierarchy()
{
    Hierarchy h;
    h.text = "HIERARCHY\nROOT Hips\n{\n\tOFFSET 0.00 0.00 0.00\n"
             "\tCHANNELS 6 Xposition Yposition Zposition Zrotation Yrotation Xrotation\n";
    h.channels = 6;
    const int lengths[] = {6, 6, 7, 5, 6};
    for (int chain = 0; chain < 5; ++chain) {
        QByteArray indent = "\t";
        for (int j = 0; j < lengths[chain]; ++j) {
            h.text += indent + "JOINT Chain" + QByteArray::number(chain) + "_" + QByteArray::number(j) + "\n"
                    + indent + "{\n" + indent + "\tOFFSET 1.5 2.25 -0.75\n"
                    + indent + "\tCHANNELS 3 Zrotation Yrotation Xrotation\n";
            h.channels += 3;
            indent += '\t';
        }
        h.text += indent + "End Site\n" + indent + "{\n" + indent + "\tOFFSET 0.0 1.0 0.0\n" + indent + "}\n";
        for (int j = lengths[chain]; j > 0; --j) {
            indent.chop(1);
            h.text += indent + "}\n";
        }
    }
    h.text += "}\nMOTION\nFrames: " + QByteArray::number(frameCount) + "\nFrame Time: 0.0083333\n";
    return h;
}

bool writeFile(const QString &path, const Hierarchy &h, const char *lineEnd)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray header = h.text;
    header.replace("\n", lineEnd);
    file.write(header);
    QByteArray line;
    char number[32];
    for (int f = 0; f < frameCount; ++f) {
        line.clear();
        for (int c = 0; c < h.channels; ++c) {
            const double v = ((f * 31 + c * 17) % 36000) / 100.0 - 180.0;
            const int n = std::snprintf(number, sizeof number, c ? " %.4f" : "%.4f", v);
            line.append(number, n);
        }
        line += lineEnd;
        if (file.write(line) != line.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    KvApp app(dir.filePath(QStringLiteral("settings.ini")), false);

    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    KvBoneDesc hip;
    hip.name = QStringLiteral("hip");
    desc.bones.push_back(hip);
    std::unique_ptr<KvSkeleton> figure = KvFigureBuilder::build(desc);
    if (!figure)
        return 1;
    KvSkeleton *skeleton = figure.release();
    kvScene->addNode(skeleton);
    kvScene->selectNode(skeleton);

    QElapsedTimer timer;
    qint64 hierarchyNs = 0;
    CBvhIn::setMappingDialog([&](CBvhIn &) {
        hierarchyNs = timer.nsecsElapsed();
        return 1;
    });

    const Hierarchy hierarchy = makeHierarchy();
    const struct { const char *name; const char *end; } variants[] = {
        {"LF", "\n"}, {"CRLF", "\r\n"}, {"CR", "\r"}};
    std::printf("%d frames, %d values a frame, best of %d runs\n", frameCount, hierarchy.channels, runs);
    for (const auto &variant : variants) {
        const QString path = dir.filePath(QStringLiteral("bench.bvh"));
        if (!writeFile(path, hierarchy, variant.end))
            return 1;
        const double megabytes = QFile(path).size() / 1e6;

        qint64 bestTotal = -1;
        qint64 bestHierarchy = -1;
        for (int run = 0; run < runs; ++run) {
            CBvhIn in;
            timer.start();
            const int result = in.read(path, KvFileIOSettings());
            const qint64 total = timer.nsecsElapsed();
            if (result != 1 || in.numFrames != frameCount || app.progressTotal() != frameCount + int(hierarchy.text.count('\n'))) {
                std::fprintf(stderr, "%s: import failed (result %d, %d frames, %d steps)\n",
                             variant.name, result, in.numFrames, app.progressTotal());
                return 1;
            }
            if (bestTotal < 0 || total < bestTotal) {
                bestTotal = total;
                bestHierarchy = hierarchyNs;
            }
        }
        std::printf("%-5s %6.1f MB  hierarchy %6.2f ms  whole read %7.1f ms  (%.0f MB/s)\n", variant.name,
                    megabytes, bestHierarchy / 1e6, bestTotal / 1e6, megabytes / (bestTotal / 1e9));
        QFile::remove(path);
    }
    return 0;
}
