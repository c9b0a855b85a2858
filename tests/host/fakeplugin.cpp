// Libraries that look like plug-ins, each breaking one rule of loading (or, in
// the "reversed" build, registering its exporter before its importer). Built
// once per KV_FAKE_* definition.

#include "kvfileio.h"
#include "kvplugin.h"

namespace {

class FakeImporter : public KvImporter
{
    Q_OBJECT
public:
    bool recognize(const QString &) override { return false; }
    int getNumExtensions() const override { return 1; }
    QString getExtension(int) const override { return QString::fromLatin1("fake"); }
    QString getDescription() const override { return QString::fromLatin1("Fake Files"); }
    int read(const QString &, const KvFileIOSettings &) override { return 0; }
};

class FakeExporter : public KvExporter
{
    Q_OBJECT
public:
    FakeExporter() : KvExporter(QString::fromLatin1("fake")) {}
    QString getDescription() const override { return QString::fromLatin1("Fake Files"); }
    bool canExport() const override { return true; }
    int write(const QString &, const KvFileIOSettings &) override { return 0; }
};

template <typename T>
class FakeFactory : public KvClassFactory
{
public:
    FakeFactory(quint32 id) : KvClassFactory(&T::staticMetaObject, KvGUID::fromLegacyClassID(id)) {}
    KvBase *createInstance() override { return new T; }
    KvBase *createFromArgument(void *) override { return nullptr; }
};

KvPlugin definition(QString::fromLatin1("Fake"), QString(), QString(), 0);
FakeFactory<FakeExporter> exporterFactory(0x7e000002);
FakeFactory<FakeImporter> importerFactory(0x7e000001);
[[maybe_unused]] const bool registered = [] {
    definition.addClassFactory(&exporterFactory);
    definition.addClassFactory(&importerFactory);
    return true;
}();

} // namespace

extern "C" {

Q_DECL_EXPORT quint32 getSDKVersion()
{
#if defined(KV_FAKE_OLDSDK)
    return 0x01000000;
#else
    return kvSDKVersion;
#endif
}

#if !defined(KV_FAKE_NODEFINITION)
Q_DECL_EXPORT KvPlugin *getPluginDefinition()
{
#if defined(KV_FAKE_NULLDEFINITION)
    return nullptr;
#else
    return &definition;
#endif
}
#endif

} // extern "C"

#include "fakeplugin.moc"
