#include "fuzzhost.h"

#include "kvapp.h"
#include "kvdefaultfigure.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvpluginloader.h"
#include "kvscene.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace kvfuzz {
namespace {

struct Shared
{
    QApplication *application = nullptr;
    QTemporaryDir *scratch = nullptr;
    KvApp *host = nullptr;
    KvPluginLoader *loader = nullptr;
};

// Never destroyed: the objects live until exit, and libFuzzer may end the
// process from any thread.
Shared &shared()
{
    static Shared *s = [] {
        auto *made = new Shared;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "kvfuzz";
        static char *argv[] = {name, nullptr};
        made->application = new QApplication(argc, argv);
        made->scratch = new QTemporaryDir;
        if (!made->scratch->isValid()) {
            std::fprintf(stderr, "kvfuzz: no scratch folder\n");
            std::abort();
        }
        made->host = new KvApp(made->scratch->filePath(QStringLiteral("settings.ini")), false);
        made->loader = new KvPluginLoader;
        QString error;
        if (!made->loader->load(QStringLiteral(KV_PLUGIN_PATH), &error)) {
            std::fprintf(stderr, "kvfuzz: %s\n", qPrintable(error));
            std::abort();
        }
        return made;
    }();
    return *s;
}

} // namespace

KvApp *host()
{
    return shared().host;
}

const KvPluginLoader *loader()
{
    return shared().loader;
}

QString scratchFile(const QString &name)
{
    return shared().scratch->filePath(name);
}

QString writeScratch(const QString &name, const uint8_t *data, size_t size)
{
    QFile file(scratchFile(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        return QString();
    return file.fileName();
}

KvSkeleton *freshFigure()
{
    static const KvFigureDesc desc = [] {
        KvFigureDesc small = KvDefaultFigure::desc();
        small.bones.resize(std::min<size_t>(small.bones.size(), 12));  // parents come first
        return small;
    }();
    KvScene *scene = host()->getScene();
    while (scene->getNumNodes() > 0)
        scene->deleteNode(scene->getNode(0));
    scene->setTimeStep(160);
    scene->setTime(0);
    scene->setAnimRange(KvTimeRange(0, 0));
    scene->setPlayRange(KvTimeRange(0, 0));
    KvSkeleton *figure = KvFigureBuilder::build(desc).release();
    check(figure, "the small figure builds");
    scene->addNode(figure);
    return figure;
}

void check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "kvfuzz: does not hold: %s\n", what);
    std::abort();
}

} // namespace kvfuzz
