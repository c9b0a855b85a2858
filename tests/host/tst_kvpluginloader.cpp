#include "kvpluginloader.h"

#include "kvfileio.h"
#include "kvplugin.h"

#include <QtTest>

#include <memory>

namespace {

class StubFactory : public KvClassFactory
{
public:
    StubFactory(const QMetaObject *meta, quint32 id) : KvClassFactory(meta, KvGUID::fromLegacyClassID(id)) {}
    KvBase *createInstance() override { return nullptr; }
    KvBase *createFromArgument(void *) override { return nullptr; }
};

} // namespace

class tst_KvPluginLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void definition();
    void refuses_data();
    void refuses();
    void createsByClassNotPosition();
};

void tst_KvPluginLoader::definition()
{
    KvPlugin plugin(QStringLiteral("p"), QString(), QString(), 0xff10ff01);
    QCOMPARE(plugin.getVersionString(), QStringLiteral("255.16.255.1"));
    StubFactory second(&KvExporter::staticMetaObject, 2);
    StubFactory first(&KvImporter::staticMetaObject, 1);
    plugin.addClassFactory(&second);
    plugin.addClassFactory(&first);
    plugin.addClassFactory(&second);  // once is enough
    plugin.addClassFactory(nullptr);
    QCOMPARE(plugin.getNumClassFactories(), 2);
    QCOMPARE(plugin.getClassFactory(0), &second);  // in the order they came
    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(1)), &first);
    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(3)), nullptr);
    QCOMPARE(first.getClassName(), QStringLiteral("KvImporter"));

    // Legacy identifiers survive the text form; GUIDs from elsewhere are not
    // legacy ones, even with the same first bits.
    const KvGUID legacy = KvGUID::fromLegacyClassID(0xffffffff);
    QCOMPARE(KvGUID(QUuid::fromString(legacy.toString())).legacyClassID(), quint32(0xffffffff));
    QUuid other = legacy.uuid();
    other.data4[7] ^= 0xff;
    QVERIFY(!KvGUID(other).isLegacy());
    QCOMPARE(KvGUID(other).legacyClassID(), quint32(0));
}

void tst_KvPluginLoader::refuses_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("mentions");
    QTest::newRow("missing-file") << "/nonexistent/libkvbvh.so" << QStringList{"/nonexistent/libkvbvh.so"};
    QTest::newRow("not-a-library") << KV_DATA_DIR "/bvh/bvhio_blank_lines.bvh" << QStringList{"bvhio_blank_lines.bvh"};
    QTest::newRow("old-sdk") << KV_FAKE_OLDSDK_PATH << QStringList{"0x01000000", "0x02000000"};
    QTest::newRow("no-definition-entry") << KV_FAKE_NODEFINITION_PATH << QStringList{"getPluginDefinition"};
    QTest::newRow("null-definition") << KV_FAKE_NULLDEFINITION_PATH << QStringList{"no plug-in definition"};
}

// A refusal forgets the library loaded before and leaves the loader ready for the next.
void tst_KvPluginLoader::refuses()
{
    QFETCH(QString, path);
    QFETCH(QStringList, mentions);
    KvPluginLoader loader;
    QString error;
    QVERIFY2(loader.load(QStringLiteral(KV_FAKE_REVERSED_PATH), &error), qPrintable(error));
    QVERIFY(!loader.load(path, &error));
    for (const QString &word : mentions)
        QVERIFY2(error.contains(word), qPrintable(error));
    QVERIFY(!error.contains(QLatin1Char('\n')));
    QVERIFY(!loader.isLoaded());
    QCOMPARE(loader.createImporter(), nullptr);
    QVERIFY2(loader.load(QStringLiteral(KV_PLUGIN_PATH), &error), qPrintable(error));
    QCOMPARE(loader.sdkVersion(), quint32(0x02000000));
}

// The look-alike registers its exporter first: the loader must pick each
// object by what it is.
void tst_KvPluginLoader::createsByClassNotPosition()
{
    KvPluginLoader loader;
    QString error;
    QVERIFY2(loader.load(QStringLiteral(KV_FAKE_REVERSED_PATH), &error), qPrintable(error));
    const std::unique_ptr<KvImporter> importer(loader.createImporter());
    const std::unique_ptr<KvExporter> exporter(loader.createExporter());
    QVERIFY(importer && exporter);
    QCOMPARE(importer->metaObject()->className(), "FakeImporter");
    QCOMPARE(exporter->metaObject()->className(), "FakeExporter");
}

QTEST_GUILESS_MAIN(tst_KvPluginLoader)
#include "tst_kvpluginloader.moc"
