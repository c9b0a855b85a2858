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
    void versionString_data();
    void versionString();
    void factoryRegistration();
};

void tst_KvPlugin::legacyRoundTrip_data()
{
    QTest::addColumn<quint32>("id");
    QTest::newRow("zero")     << quint32(0);
    QTest::newRow("importer") << quint32(0x10000006);
    QTest::newRow("exporter") << quint32(0x10000007);
    QTest::newRow("all-ones") << quint32(0xffffffff);
}

void tst_KvPlugin::legacyRoundTrip()
{
    QFETCH(quint32, id);
    const KvGUID guid = KvGUID::fromLegacyClassID(id);
    QVERIFY(guid.isLegacy());
    QCOMPARE(guid.legacyClassID(), id);
    QVERIFY(guid != KvGUID::fromLegacyClassID(id + 1));
    // Survives the text form.
    QCOMPARE(KvGUID(QUuid::fromString(guid.toString())).legacyClassID(), id);

    // GUIDs from elsewhere are not legacy ones, even with the same first bits.
    QUuid other = guid.uuid();
    other.data4[7] ^= 0xff;
    QVERIFY(!KvGUID(other).isLegacy());
    QCOMPARE(KvGUID(other).legacyClassID(), quint32(0));
}

void tst_KvPlugin::versionString_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plug-in")   << quint32(0x01030100) << QStringLiteral("1.3.1.0");
    QTest::newRow("zero")      << quint32(0) << QStringLiteral("0.0.0.0");
    QTest::newRow("max-bytes") << quint32(0xff10ff01) << QStringLiteral("255.16.255.1");
}

void tst_KvPlugin::versionString()
{
    QFETCH(quint32, version);
    QFETCH(QString, expected);
    KvPlugin plugin(QStringLiteral("p"), QString(), QString(), 0);
    plugin.setVersion(version);
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

    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(1)), &first);
    QCOMPARE(plugin.findClassFactory(KvGUID::fromLegacyClassID(3)), nullptr);
    QCOMPARE(first.getClassName(), QStringLiteral("KvImporter"));
}

QTEST_GUILESS_MAIN(tst_KvPlugin)
#include "tst_kvplugin.moc"
