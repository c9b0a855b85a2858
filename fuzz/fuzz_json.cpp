// Arbitrary bytes as a scene file and as a figure file: what loads builds,
// and writes back as text that loads as the same description.

#include "fuzzhost.h"

#include "kvfigurebuilder.h"
#include "kvfigurefile.h"
#include "kvnode.h"
#include "kvscenefile.h"

#include "kvapp.h"
#include "kvscene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    if (const std::optional<KvFigureDesc> figure = KvFigureFile::fromJson(text, QStringLiteral("fuzz.json"), &error)) {
        kvfuzz::check(bool(KvFigureBuilder::build(*figure)), "a loaded figure builds");
        const QByteArray json = KvFigureFile::toJson(*figure);
        kvfuzz::check(!json.isEmpty(), "a loaded figure writes");
        const std::optional<KvFigureDesc> again = KvFigureFile::fromJson(json, QStringLiteral("again.json"));
        kvfuzz::check(again && KvFigureFile::toJson(*again) == json, "a written figure loads as written");
    } else {
        kvfuzz::check(error.startsWith(QLatin1String("fuzz.json")), "a refused figure file is named");
    }

    const std::optional<KvSceneDesc> scene = KvSceneFile::fromJson(text, QStringLiteral("scene.json"), &error);
    if (!scene) {
        kvfuzz::check(error.startsWith(QLatin1String("scene.json")), "a refused scene file is named");
        return 0;
    }
    KvScene *host = kvfuzz::host()->getScene();
    while (host->getNumNodes() > 0)
        host->deleteNode(host->getNode(0));
    KvSkeleton *skeleton = KvSceneFile::build(*scene, host, &error);
    kvfuzz::check(skeleton, "a loaded scene builds");
    const QByteArray json = KvSceneFile::toJson(*scene);
    kvfuzz::check(!json.isEmpty(), "a loaded scene writes");
    const std::optional<KvSceneDesc> again = KvSceneFile::fromJson(json, QStringLiteral("again.json"));
    kvfuzz::check(again && KvSceneFile::toJson(*again) == json, "a written scene loads as written");
    // Bones come back in tree order, which a file need not follow.
    kvfuzz::check(!KvSceneFile::toJson(KvSceneFile::describe(*host, *skeleton)).isEmpty(), "a built scene writes");
    return 0;
}
