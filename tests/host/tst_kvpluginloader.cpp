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
    void loads();
};

void tst_KvPluginLoader::definition()
{
    KvPlugin plugin(QStringLiteral("p"), QString(), QString(), 0xff10ff01);
    QCOMPARE(plugin.getVersionString(), QStringLiteral("255.16.255.1"));  // a byte each, high first
    StubFactory second(&KvExporter::staticMetaObject, 2);
    StubFactory first(&KvImporter::staticMetaObject, 1);
    plugin.addClassFactory(&second);
    plugin.addClassFactory(&first);
    plugin.addClassFactory(&second);  // once is enough
    plugin.addClassFactory(nullptr);
    QCOMPARE(plugin.getNumClassFactories(), 2);
    QCOMPARE(plugin.getClassFactory(0), &second);  // in the order they came
    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(1)), &first);

    // Legacy identifiers survive the text form; other GUIDs with the same first bits are not legacy.
    const KvGUID legacy = KvGUID::fromLegacyClassID(0xffffffff);
    QCOMPARE(KvGUID(QUuid::fromString(legacy.toString())).legacyClassID(), quint32(0xffffffff));
    QUuid other = legacy.uuid();
    other.data4[7] ^= 0xff;
    QCOMPARE(KvGUID(other).legacyClassID(), quint32(0));
}

// The look-alike registers its exporter first: objects are picked by class. A refusal names the file
// and the cause on one line, forgets the library loaded before and leaves the loader ready for the next.
void tst_KvPluginLoader::loads()
{
    const QStringList refusals[] = {
        {"/nonexistent/libkvbvh.so"},
        {KV_DATA_DIR "/bvh/bvhio_blank_lines.bvh"},
        {KV_FAKE_OLDSDK_PATH, "0x01000000", "0x02000000"},
        {KV_FAKE_NODEFINITION_PATH, "getPluginDefinition"},
        {KV_FAKE_NULLDEFINITION_PATH, "no plug-in definition"},
    };
    KvPluginLoader loader;
    QString error;
    for (const QStringList &mentions : refusals) {
        QVERIFY2(loader.load(QStringLiteral(KV_FAKE_REVERSED_PATH), &error), qPrintable(error));
        const std::unique_ptr<KvImporter> importer(loader.createImporter());
        const std::unique_ptr<KvExporter> exporter(loader.createExporter());
        QVERIFY(importer && exporter);
        QCOMPARE(importer->metaObject()->className(), "FakeImporter");
        QCOMPARE(exporter->metaObject()->className(), "FakeExporter");

        QVERIFY(!loader.load(mentions[0], &error));
        for (const QString &word : mentions)
            QVERIFY2(error.contains(word), qPrintable(error));
        QVERIFY(!error.contains(QLatin1Char('\n')) && !loader.isLoaded() && !loader.createImporter());
        QVERIFY2(loader.load(QStringLiteral(KV_PLUGIN_PATH), &error), qPrintable(error));
    }
}

QTEST_GUILESS_MAIN(tst_KvPluginLoader)
#include "tst_kvpluginloader.moc"
