#include "kvpluginloader.h"

#include "kvfileio.h"
#include "kvplugin.h"

#include <QtTest>

#include <memory>

class tst_KvPluginLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refuses_data();
    void refuses();
    void createsByClassNotPosition();
};

void tst_KvPluginLoader::refuses_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("mentions");

    QTest::newRow("missing-file") << QStringLiteral("/nonexistent/libkvbvh.so")
                                  << QStringList{QStringLiteral("/nonexistent/libkvbvh.so")};
    QTest::newRow("not-a-library") << QStringLiteral(KV_DATA_DIR "/bvh/bvhio_blank_lines.bvh")
                                   << QStringList{QStringLiteral("bvhio_blank_lines.bvh")};
    QTest::newRow("old-sdk") << QStringLiteral(KV_FAKE_OLDSDK_PATH)
                             << QStringList{QStringLiteral("0x01000000"), QStringLiteral("0x02000000")};
    QTest::newRow("no-definition-entry") << QStringLiteral(KV_FAKE_NODEFINITION_PATH)
                                         << QStringList{QStringLiteral("getPluginDefinition")};
    QTest::newRow("null-definition") << QStringLiteral(KV_FAKE_NULLDEFINITION_PATH)
                                     << QStringList{QStringLiteral("definition")};
}

void tst_KvPluginLoader::refuses()
{
    QFETCH(QString, path);
    QFETCH(QStringList, mentions);

    KvPluginLoader loader;
    QString error;
    QVERIFY(!loader.load(path, &error));
    for (const QString &word : mentions)
        QVERIFY2(error.contains(word), qPrintable(error));
    QVERIFY(!error.contains(QLatin1Char('\n')));
    QVERIFY(!loader.isLoaded());
    QCOMPARE(loader.definition(), nullptr);
    QCOMPARE(loader.createImporter(), nullptr);

    // A refusal leaves the loader ready for the next library.
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
    QCOMPARE(loader.definition()->getNumClassFactories(), 2);

    const std::unique_ptr<KvImporter> importer(loader.createImporter());
    const std::unique_ptr<KvExporter> exporter(loader.createExporter());
    QVERIFY(importer);
    QVERIFY(exporter);
    QCOMPARE(importer->metaObject()->className(), "FakeImporter");
    QCOMPARE(exporter->metaObject()->className(), "FakeExporter");
}

QTEST_GUILESS_MAIN(tst_KvPluginLoader)
#include "tst_kvpluginloader.moc"
