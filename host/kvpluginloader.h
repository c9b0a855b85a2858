#pragma once

#include "kvcore_global.h"

#include <QLibrary>
#include <QString>

class KvImporter;
class KvExporter;
class KvPlugin;

// Loads a plug-in library at run time the way the host does: resolves the
// two entry points, checks the SDK version and takes the definition.
class KVCORE_EXPORT KvPluginLoader
{
public:
    KvPluginLoader() = default;
    ~KvPluginLoader();
    KvPluginLoader(const KvPluginLoader &) = delete;
    KvPluginLoader &operator=(const KvPluginLoader &) = delete;

    // Loads the library at path (unloading any earlier one). False with
    // errorMessage set when the library cannot be loaded, lacks an
    // entry point, reports another SDK version or has no definition.
    bool load(const QString &path, QString *errorMessage);
    // Forgets the definition. The library's code stays mapped until the
    // process ends, so objects created from it remain usable: hosts do not
    // unload plug-ins, and other handles on the same file stay valid.
    void unload();
    bool isLoaded() const { return plugin != nullptr; }

    KvPlugin *definition() const { return plugin; }
    QString fileName() const { return library.fileName(); }
    quint32 sdkVersion() const { return version; }

    // New objects from the first factory whose class is an importer or an
    // exporter; null when there is none. The caller owns them.
    KvImporter *createImporter() const;
    KvExporter *createExporter() const;

private:
    QLibrary library;
    KvPlugin *plugin = nullptr;
    quint32 version = 0;
};
