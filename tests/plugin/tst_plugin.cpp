#include "kvfileio.h"
#include "kvplugin.h"
#include "kvpluginloader.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <tuple>

// The plug-in as the host sees it: loaded at run time, reached only through
// its two C entry points and the factories of its definition.
class tst_Plugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void definition();
    void recognize();
};

// Plain C entry points (a C++ name would be decorated), and one factory per
// class, the importer's first, each making a new object per call.
void tst_Plugin::definition()
{
    QLibrary library(QStringLiteral(KV_PLUGIN_PATH));
    library.setLoadHints(QLibrary::PreventUnloadHint);  // the objects' code stays mapped, as the host keeps it
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    const auto getSDKVersion = reinterpret_cast<KvGetSDKVersionFn>(library.resolve("getSDKVersion"));
    const auto getDefinition = reinterpret_cast<KvGetPluginDefinitionFn>(library.resolve("getPluginDefinition"));
    QVERIFY(getSDKVersion && getDefinition);
    QCOMPARE(getSDKVersion(), quint32(0x02000000));
    const KvPlugin *plugin = getDefinition();
    QCOMPARE(plugin->getNumClassFactories(), 2);
    const char *classes[2][2] = {{"CBvhIn", "KvImporter"}, {"CBvhOut", "KvExporter"}};
    for (int index = 0; index < 2; ++index) {
        KvClassFactory *factory = plugin->getClassFactory(index);
        QVERIFY(factory);
        QCOMPARE(factory->getClassID(), KvGUID::fromLegacyClassID(0x10000006 + index));
        QCOMPARE(factory->getClassName(), QLatin1String(classes[index][0]));
        const std::unique_ptr<KvBase> first(factory->createInstance());
        const std::unique_ptr<KvBase> second(factory->createInstance());
        QVERIFY(first && second && first != second);
        QVERIFY(first->inherits(classes[index][1]));
        QCOMPARE(factory->createFromArgument(&index), nullptr);
    }
}

// A file named *.bvh anywhere in its path, in any case, whose first line
// holds HIERARCHY; and every sample file from real writers.
void tst_Plugin::recognize()
{
    KvPluginLoader loader;
    QString error;
    QVERIFY2(loader.load(QStringLiteral(KV_PLUGIN_PATH), &error), qPrintable(error));
    const std::unique_ptr<KvImporter> importer(loader.createImporter());
    QTemporaryDir dir;
    QVERIFY(importer && dir.isValid());
    const QByteArray hierarchy("HIERARCHY\nROOT Hips\n{\n");
    const std::tuple<const char *, QByteArray, bool> files[] = {
        {"walk.bvh", hierarchy, true},
        {"WALK.BVH", hierarchy, true},
        {"take.BVH/motion.txt", hierarchy, true},
        {"walk.txt", hierarchy, false},
        {"lower.bvh", "hierarchy\nROOT Hips\n", false},
        {"blank.bvh", "\nHIERARCHY\n", false},
        {"mac.bvh", "ROOT\rHIERARCHY\r", false},  // a lone CR ends the line
    };
    for (const auto &[name, content, expected] : files) {
        const QString path = dir.filePath(QLatin1String(name));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush());
        QVERIFY2(importer->recognize(path) == expected, name);
    }
    QVERIFY(!importer->recognize(dir.filePath(QStringLiteral("missing.bvh"))));
    const QDir samples(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &sample : samples.entryList({QStringLiteral("*.bvh")}, QDir::Files))
        QVERIFY2(importer->recognize(samples.filePath(sample)), qPrintable(sample));
}

QTEST_GUILESS_MAIN(tst_Plugin)
#include "tst_plugin.moc"
