#include "kvpluginloader.h"

#include "kvfileio.h"
#include "kvplugin.h"

#include <QFileInfo>
#include <QMetaObject>

namespace {

bool metaInherits(const QMetaObject *meta, const char *className)
{
    for (; meta; meta = meta->superClass()) {
        if (qstrcmp(meta->className(), className) == 0)
            return true;
    }
    return false;
}

// A new object of the first factory whose class inherits className; other
// objects are deleted again.
template <typename T>
T *createFirst(const KvPlugin *plugin, const char *className)
{
    if (!plugin)
        return nullptr;
    for (int i = 0; i < plugin->getNumClassFactories(); ++i) {
        KvClassFactory *factory = plugin->getClassFactory(i);
        if (!factory || !metaInherits(factory->getMetaObject(), className))
            continue;
        KvBase *object = factory->createInstance();
        if (object && object->inherits(className))
            return static_cast<T *>(object);
        delete object;
    }
    return nullptr;
}

QString hex32(quint32 value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

} // namespace

KvPluginLoader::~KvPluginLoader()
{
    unload();
}

bool KvPluginLoader::load(const QString &path, QString *errorMessage)
{
    unload();
    const auto fail = [&](const QString &message) {
        if (errorMessage)
            *errorMessage = message;
        if (library.isLoaded())
            library.unload();
        return false;
    };

    // QLibrary would go on to try other names (prefixes, suffixes, CPU
    // subfolders) and report the last one; the host asks for this file.
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("no plug-in at %1").arg(path));
    library.setFileName(path);
    // Qt 6.4 does not count a second load() of a library that is already
    // loaded, so one unload() would pull the code from under every other
    // handle; pinned, the code stays.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load())
        return fail(QStringLiteral("cannot load plug-in %1: %2").arg(path, library.errorString()));

    const auto getVersion = reinterpret_cast<KvGetSDKVersionFn>(library.resolve("getSDKVersion"));
    if (!getVersion)
        return fail(QStringLiteral("%1 is not a plug-in: it does not export getSDKVersion").arg(path));
    const auto getDefinition = reinterpret_cast<KvGetPluginDefinitionFn>(library.resolve("getPluginDefinition"));
    if (!getDefinition)
        return fail(QStringLiteral("%1 is not a plug-in: it does not export getPluginDefinition").arg(path));

    const quint32 reported = getVersion();
    if (reported != kvSDKVersion) {
        return fail(QStringLiteral("plug-in %1 was built for SDK version %2; this host needs %3")
                        .arg(path, hex32(reported), hex32(kvSDKVersion)));
    }
    KvPlugin *definition = getDefinition();
    if (!definition)
        return fail(QStringLiteral("plug-in %1 has no plug-in definition").arg(path));

    version = reported;
    plugin = definition;
    return true;
}

void KvPluginLoader::unload()
{
    plugin = nullptr;
    version = 0;
    if (library.isLoaded())
        library.unload();
}

KvImporter *KvPluginLoader::createImporter() const
{
    return createFirst<KvImporter>(plugin, "KvImporter");
}

KvExporter *KvPluginLoader::createExporter() const
{
    return createFirst<KvExporter>(plugin, "KvExporter");
}
