// Arbitrary bytes as the BVH file a figure is made from (kvbvh --figure
// walk.bvh): the host's hierarchy reader, the figure builder and the figure
// file written from the result.

#include "fuzzhost.h"

#include "kvbvhfigure.h"
#include "kvfigurebuilder.h"
#include "kvfigurefile.h"
#include "kvnode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<KvFigureDesc> desc = KvBvhFigure::fromText(text, QStringLiteral("fuzz"), &error);
    if (!desc) {
        kvfuzz::check(!error.isEmpty(), "a refused file says why");
        return 0;
    }
    const std::unique_ptr<KvSkeleton> skeleton = KvFigureBuilder::build(*desc, &error);
    kvfuzz::check(bool(skeleton), "a figure read from a BVH file builds");
    // A figure file written from it loads as the same figure.
    const QByteArray json = KvFigureFile::toJson(KvFigureFile::describe(*skeleton));
    if (!json.isEmpty()) {
        const std::optional<KvFigureDesc> loaded = KvFigureFile::fromJson(json, QStringLiteral("fuzz.json"));
        kvfuzz::check(loaded && KvFigureFile::toJson(*loaded) == json, "a written figure file loads as written");
    }
    return 0;
}
