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

// The plug-in as the host sees it: loaded at run time, reached only through
// its two C entry points and the factories of its definition.
class tst_Plugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void definition();
    void factories_data();
    void factories();
    void metacast_data();
    void metacast();
    void recognize_data();
    void recognize();

private:
    QLibrary library;
    KvGetSDKVersionFn getSDKVersion = nullptr;
    KvGetPluginDefinitionFn getPluginDefinition = nullptr;
    KvPluginLoader loader;
    std::unique_ptr<KvImporter> importer;
    std::unique_ptr<KvExporter> exporter;
    QTemporaryDir dir;
};

void tst_Plugin::initTestCase()
{
    library.setFileName(QStringLiteral(KV_PLUGIN_PATH));
    // As a host does (and as KvPluginLoader does): the code stays mapped.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    // Plain C names: a decorated (C++) name would not resolve.
    getSDKVersion = reinterpret_cast<KvGetSDKVersionFn>(library.resolve("getSDKVersion"));
    getPluginDefinition = reinterpret_cast<KvGetPluginDefinitionFn>(library.resolve("getPluginDefinition"));
    QVERIFY(getSDKVersion && getPluginDefinition);

    QString error;
    QVERIFY2(loader.load(QStringLiteral(KV_PLUGIN_PATH), &error), qPrintable(error));
    QCOMPARE(loader.definition(), getPluginDefinition());
    importer.reset(loader.createImporter());
    exporter.reset(loader.createExporter());
    QVERIFY(importer && exporter);
    QCOMPARE(importer->metaObject()->className(), "CBvhIn");
    QCOMPARE(exporter->metaObject()->className(), "CBvhOut");
    QVERIFY(dir.isValid());
}

void tst_Plugin::cleanupTestCase()
{
    // The objects' code lives in the library.
    importer.reset();
    exporter.reset();
}

void tst_Plugin::definition()
{
    QCOMPARE(getSDKVersion(), quint32(0x02000000));
    const KvPlugin *plugin = getPluginDefinition();
    QVERIFY(plugin);
    QCOMPARE(plugin->getName(), QStringLiteral("BioVision (BVH) Importer/Exporter"));
    QCOMPARE(plugin->getAuthor(), QStringLiteral("Korvel Productions"));
    QCOMPARE(plugin->getDescription(),
             QStringLiteral("This plugin provides the ability to import/export BioVision Motion Capture (BVH) "
                            "formatted files."));
    QCOMPARE(plugin->getVersionString(), QStringLiteral("1.3.1.0"));
    QCOMPARE(plugin->getNumClassFactories(), 2);
    // One extension, whatever index is asked for.
    QCOMPARE(importer->getNumExtensions(), 1);
    QCOMPARE(importer->getExtension(5), QStringLiteral("bvh"));
    QCOMPARE(importer->getDescription(), QStringLiteral("BioVision Files"));
    QCOMPARE(exporter->getExtension(), QStringLiteral("bvh"));
    QCOMPARE(exporter->getDescription(), QStringLiteral("BioVision Files"));
    QVERIFY(exporter->canExport());
}

void tst_Plugin::factories_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<quint32>("classID");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QByteArray>("baseName");
    // The importer registers first.
    QTest::newRow("importer") << 0 << quint32(0x10000006) << QByteArray("CBvhIn") << QByteArray("KvImporter");
    QTest::newRow("exporter") << 1 << quint32(0x10000007) << QByteArray("CBvhOut") << QByteArray("KvExporter");
}

void tst_Plugin::factories()
{
    QFETCH(int, index);
    QFETCH(quint32, classID);
    QFETCH(QByteArray, className);
    QFETCH(QByteArray, baseName);
    KvClassFactory *factory = getPluginDefinition()->getClassFactory(index);
    QVERIFY(factory);
    QCOMPARE(factory->getClassID(), KvGUID::fromLegacyClassID(classID));
    QCOMPARE(factory->getClassName(), QString::fromLatin1(className));
    QCOMPARE(QByteArray(factory->getMetaObject()->superClass()->className()), baseName);

    const std::unique_ptr<KvBase> object(factory->createInstance());
    QVERIFY(object);
    QCOMPARE(object->metaObject(), factory->getMetaObject());
    // A new object each time.
    QVERIFY(object.get() != (index == 0 ? static_cast<KvBase *>(importer.get()) : exporter.get()));
    int someArgument = 42;
    QCOMPARE(factory->createFromArgument(nullptr), nullptr);
    QCOMPARE(factory->createFromArgument(&someArgument), nullptr);
}

// qt_metacast answers only the exact name of the class or of a base class.
void tst_Plugin::metacast_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("name");  // a null QByteArray stands for a null name
    QTest::addColumn<bool>("isSelf");      // otherwise null

    QTest::newRow("in-exact") << 0 << QByteArray("CBvhIn") << true;
    QTest::newRow("in-prefix") << 0 << QByteArray("CBvh") << false;
    QTest::newRow("in-longer") << 0 << QByteArray("CBvhInX") << false;
    QTest::newRow("in-null") << 0 << QByteArray() << false;
    QTest::newRow("in-importer") << 0 << QByteArray("KvImporter") << true;
    QTest::newRow("in-fileio") << 0 << QByteArray("KvFileIO") << true;
    QTest::newRow("in-not-out") << 0 << QByteArray("CBvhOut") << false;
    QTest::newRow("out-exact") << 1 << QByteArray("CBvhOut") << true;
    QTest::newRow("out-longer") << 1 << QByteArray("CBvhOutX") << false;
    QTest::newRow("out-exporter") << 1 << QByteArray("KvExporter") << true;
}

void tst_Plugin::metacast()
{
    QFETCH(int, index);
    QFETCH(QByteArray, name);
    QFETCH(bool, isSelf);
    KvBase *object = index == 0 ? static_cast<KvBase *>(importer.get()) : exporter.get();
    void *cast = object->qt_metacast(name.isNull() ? nullptr : name.constData());
    QCOMPARE(cast, isSelf ? static_cast<void *>(object) : nullptr);
}

void tst_Plugin::recognize_data()
{
    QTest::addColumn<QString>("fileName");  // under a temporary folder
    QTest::addColumn<QByteArray>("content");  // null: the file is not created
    QTest::addColumn<bool>("expected");

    const QByteArray hierarchy("HIERARCHY\nROOT Hips\n{\n");
    QTest::newRow("plain") << "walk.bvh" << hierarchy << true;
    QTest::newRow("upper-suffix") << "WALK.BVH" << hierarchy << true;
    QTest::newRow("bvh-in-folder") << "take.BVH/motion.txt" << hierarchy << true;
    QTest::newRow("no-bvh") << "walk.txt" << hierarchy << false;
    QTest::newRow("lowercase-word") << "lower.bvh" << QByteArray("hierarchy\nROOT Hips\n") << false;
    QTest::newRow("empty-first-line") << "blank.bvh" << QByteArray("\nHIERARCHY\n") << false;
    QTest::newRow("lone-cr-ends-line") << "mac.bvh" << QByteArray("ROOT\rHIERARCHY\r") << false;
    QTest::newRow("missing-file") << "missing.bvh" << QByteArray() << false;

    // Every sample file from real writers.
    const QStringList samples = QDir(kvtest::dataFile(QStringLiteral("bvh")))
                                    .entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    for (const QString &sample : samples)
        QTest::addRow("sample-%s", qPrintable(sample)) << kvtest::dataFile(QStringLiteral("bvh/") + sample)
                                                       << QByteArray() << true;
}

void tst_Plugin::recognize()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(bool, expected);
    const QString path = QDir::isAbsolutePath(fileName) ? fileName : dir.filePath(fileName);
    if (!content.isNull()) {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    QCOMPARE(importer->recognize(path), expected);
}

QTEST_GUILESS_MAIN(tst_Plugin)
#include "tst_plugin.moc"
