// Times the export of a 60-bone figure keyed at every one of 10,000 frames
// through CBvhOut::write on a non-interactive host (the mapping dialog is
// accepted as built). Prints the best of a few runs as frames per second and
// the process's peak resident memory before and after the exports.

#include "bvhout.h"

#include "kvapp.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include <sys/resource.h>

namespace {

constexpr int frameCount = 10000;
constexpr int boneCount = 60;
constexpr int step = 160;
constexpr int runs = 3;

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A root and five chains of eleven or twelve bones hanging off it.
KvFigureDesc makeFigure()
{
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    KvBoneDesc root;
    root.name = QStringLiteral("hip");
    root.origin = {0, 100, 0};
    root.endPoint = {0, 105, 0};
    desc.bones.push_back(root);
    for (int i = 1; i < boneCount; ++i) {
        const int chain = (i - 1) % 5;
        KvBoneDesc bone;
        bone.name = QStringLiteral("bone%1").arg(i);
        bone.parent = i <= 5 ? QStringLiteral("hip") : QStringLiteral("bone%1").arg(i - 5);
        const float depth = float((i - 1) / 5);
        bone.origin = {float(chain) * 3.0f, 100.0f + depth * 4.0f, 0};
        bone.endPoint = {float(chain) * 3.0f, 104.0f + depth * 4.0f, 0};
        bone.order = KvRotationOrder(i % 6);
        desc.bones.push_back(bone);
    }
    return desc;
}

void keyEveryFrame(KvSkeleton *figure)
{
    QList<KvBone *> bones;
    figure->getAllBones(bones);
    for (int b = 0; b < bones.size(); ++b) {
        KvBone *bone = bones[b];
        for (int f = 0; f < frameCount; ++f) {
            const int t = f * step;
            bone->getXRotControl()->setKey(t, float((f * 7 + b * 13) % 170 - 85));
            bone->getYRotControl()->setKey(t, float((f * 11 + b * 5) % 340 - 170));
            bone->getZRotControl()->setKey(t, float((f * 3 + b * 17) % 340 - 170));
            if (b == 0) {
                bone->getXPosControl()->setKey(t, f * 0.01f);
                bone->getYPosControl()->setKey(t, 100.0f + (f % 50) * 0.1f);
                bone->getZPosControl()->setKey(t, f * -0.02f);
            }
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    // The mapping dialog is a widget, even when it is never shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    KvApp app(dir.filePath(QStringLiteral("settings.ini")), false);

    std::unique_ptr<KvSkeleton> built = KvFigureBuilder::build(makeFigure());
    if (!built)
        return 1;
    KvSkeleton *figure = built.release();
    kvScene->addNode(figure);
    kvScene->selectNode(figure);
    keyEveryFrame(figure);
    kvScene->setTimeStep(step);
    kvScene->setAnimRange({0, frameCount * step});
    const long keyedKb = peakKilobytes();

    const QString path = dir.filePath(QStringLiteral("bench.bvh"));
    qint64 bestNs = -1;
    for (int run = 0; run < runs; ++run) {
        CBvhOut out;
        QElapsedTimer timer;
        timer.start();
        const int result = out.write(path, KvFileIOSettings());
        const qint64 ns = timer.nsecsElapsed();
        if (result != 1 || out.frameCount != frameCount || app.progressValue() != frameCount + boneCount) {
            std::fprintf(stderr, "export failed (result %d, %d frames, %d steps)\n", result, out.frameCount,
                         app.progressValue());
            return 1;
        }
        if (bestNs < 0 || ns < bestNs)
            bestNs = ns;
    }
    const double megabytes = QFile(path).size() / 1e6;
    const long exportedKb = peakKilobytes();

    std::printf("%d frames x %d bones (%d values a frame), %.1f MB file, best of %d runs\n", frameCount, boneCount,
                6 + 3 * boneCount, megabytes, runs);
    std::printf("export %8.1f ms  %8.0f frames/s  %6.1f MB/s\n", bestNs / 1e6, frameCount / (bestNs / 1e9),
                megabytes / (bestNs / 1e9));
    std::printf("peak memory: %ld kB after keying, %ld kB after the exports (+%ld kB)\n", keyedKb, exportedKb,
                exportedKb - keyedKb);
    return 0;
}
