#include "kvplugin.h"

#include "kvfileio.h"

#include <QtTest>

namespace {

class StubFactory : public KvClassFactory
{
public:
    StubFactory(const QMetaObject *meta, quint32 id) : KvClassFactory(meta, KvGUID::fromLegacyClassID(id)) {}
    KvBase *createInstance() override { return nullptr; }
    KvBase *createFromArgument(void *) override { return nullptr; }
};

} // namespace

class tst_KvPlugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void legacyRoundTrip_data();
    void legacyRoundTrip();
    void legacyIdsAreDistinct();
    void otherGuidsAreNotLegacy_data();
    void otherGuidsAreNotLegacy();
    void versionString_data();
    void versionString();
    void factoryRegistration();
    void className();
};

void tst_KvPlugin::legacyRoundTrip_data()
{
    QTest::addColumn<quint32>("id");
    QTest::newRow("zero")     << quint32(0);
    QTest::newRow("one")      << quint32(1);
    QTest::newRow("importer") << quint32(0x10000006);
    QTest::newRow("exporter") << quint32(0x10000007);
    QTest::newRow("high-bit") << quint32(0x80000000);
    QTest::newRow("all-ones") << quint32(0xffffffff);
}

void tst_KvPlugin::legacyRoundTrip()
{
    QFETCH(quint32, id);
    const KvGUID guid = KvGUID::fromLegacyClassID(id);
    QVERIFY(guid.isLegacy());
    QCOMPARE(guid.legacyClassID(), id);
    QVERIFY(!guid.uuid().isNull() || id == 0);
    QCOMPARE(guid, KvGUID::fromLegacyClassID(id));
    // Survives the text form the host writes out.
    QCOMPARE(KvGUID(QUuid::fromString(guid.toString())).legacyClassID(), id);
}

void tst_KvPlugin::legacyIdsAreDistinct()
{
    const KvGUID importer = KvGUID::fromLegacyClassID(0x10000006);
    const KvGUID exporter = KvGUID::fromLegacyClassID(0x10000007);
    QVERIFY(importer != exporter);
    QVERIFY(importer.uuid() != exporter.uuid());
    QVERIFY(importer.toString() != exporter.toString());
}

void tst_KvPlugin::otherGuidsAreNotLegacy_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::newRow("null")   << QStringLiteral("{00000000-0000-0000-0000-000000000000}");
    QTest::newRow("random") << QStringLiteral("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}");
    QTest::newRow("ones")   << QStringLiteral("{10000006-ffff-ffff-ffff-ffffffffffff}");
}

void tst_KvPlugin::otherGuidsAreNotLegacy()
{
    QFETCH(QString, uuid);
    const KvGUID guid{QUuid::fromString(uuid)};
    QVERIFY(!guid.isLegacy());
    QCOMPARE(guid.legacyClassID(), quint32(0));
    QVERIFY(!KvGUID().isLegacy());
}

void tst_KvPlugin::versionString_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plug-in")   << quint32(0x01030100) << QStringLiteral("1.3.1.0");
    QTest::newRow("sdk")       << quint32(0x02000000) << QStringLiteral("2.0.0.0");
    QTest::newRow("zero")      << quint32(0) << QStringLiteral("0.0.0.0");
    QTest::newRow("max-bytes") << quint32(0xff10ff01) << QStringLiteral("255.16.255.1");
}

void tst_KvPlugin::versionString()
{
    QFETCH(quint32, version);
    QFETCH(QString, expected);
    KvPlugin plugin(QStringLiteral("p"), QString(), QString(), 0);
    plugin.setVersion(version);
    QCOMPARE(plugin.getVersion(), version);
    QCOMPARE(plugin.getVersionString(), expected);
}

void tst_KvPlugin::factoryRegistration()
{
    KvPlugin plugin(QStringLiteral("p"), QString(), QString(), 0);
    StubFactory second(&KvExporter::staticMetaObject, 2);
    StubFactory first(&KvImporter::staticMetaObject, 1);

    plugin.addClassFactory(&second);
    plugin.addClassFactory(&first);
    plugin.addClassFactory(&second);  // once is enough
    plugin.addClassFactory(nullptr);
    QCOMPARE(plugin.getNumClassFactories(), 2);
    QCOMPARE(plugin.getClassFactory(0), &second);  // in the order they came
    QCOMPARE(plugin.getClassFactory(1), &first);
    QCOMPARE(plugin.getClassFactory(2), nullptr);
    QCOMPARE(plugin.getClassFactory(-1), nullptr);

    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(1)), &first);
    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(2)), &second);
    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(3)), nullptr);
}

void tst_KvPlugin::className()
{
    QCOMPARE(StubFactory(&KvImporter::staticMetaObject, 1).getClassName(), QStringLiteral("KvImporter"));
    QCOMPARE(StubFactory(nullptr, 1).getClassName(), QString());
}

QTEST_GUILESS_MAIN(tst_KvPlugin)
#include "tst_kvplugin.moc"
