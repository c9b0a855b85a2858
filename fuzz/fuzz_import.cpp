// Arbitrary bytes as a BVH file, imported onto a small figure the way the
// command line imports (the host's scan as well, options taken from the
// bytes), then the figure's motion exported again.

#include "fuzzhost.h"

#include "kvbvhscan.h"
#include "kvpluginrunner.h"

#include <numeric>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = kvfuzz::writeScratch(QStringLiteral("take.bvh"), data, size);
    kvfuzz::check(!input.isEmpty(), "the scratch file is written");
    const unsigned bits = std::accumulate(data, data + size, 0u);

    KvSkeleton *figure = kvfuzz::freshFigure();
    KvPluginRunner runner(kvfuzz::host(), kvfuzz::loader());
    KvImportOptions import;
    import.followFileTiming = bits & 1;
    import.inPlace = bits & 2;
    import.limits = bits & 4;
    import.upAxis = QStringList{"auto", "y", "z"}.value(int(bits >> 3) % 3);
    QList<KvJointRow> rows;
    QString error;
    if (!runner.importFile(input, figure, import, &rows, &error)) {
        kvfuzz::check(!error.isEmpty(), "a failed import says why");
        return 0;
    }
    KvBvhScan::scan(input);

    KvExportOptions exportOptions;
    exportOptions.secondLife = bits & 32;
    exportOptions.keyedBonesOnly = bits & 64;
    const QString output = kvfuzz::scratchFile(QStringLiteral("out.bvh"));
    if (!runner.exportFile(output, figure, exportOptions, &error))
        kvfuzz::check(!error.isEmpty(), "a failed export says why");
    return 0;
}
