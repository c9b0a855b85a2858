#include "kvplugin.h"

#include <QMetaObject>

namespace {

// Legacy identifiers fill the first 32 bits of GUIDs that otherwise share
// these bytes (a version-4, RFC 4122 variant pattern of our own).
constexpr ushort legacyData2 = 0x6b76;
constexpr ushort legacyData3 = 0x4c43;
constexpr uchar legacyData4[8] = {0x89, 0x1d, 0x6c, 0x65, 0x67, 0x61, 0x63, 0x79};

} // namespace

KvGUID KvGUID::fromLegacyClassID(quint32 legacyID)
{
    const uchar *d = legacyData4;
    return KvGUID(QUuid(legacyID, legacyData2, legacyData3, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]));
}

bool KvGUID::isLegacy() const
{
    if (id.data2 != legacyData2 || id.data3 != legacyData3)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (id.data4[i] != legacyData4[i])
            return false;
    }
    return true;
}

quint32 KvGUID::legacyClassID() const
{
    return isLegacy() ? id.data1 : 0;
}

KvClassFactory::KvClassFactory(const QMetaObject *metaObject, const KvGUID &classID)
    : meta(metaObject), classID(classID)
{
}

KvClassFactory::~KvClassFactory() = default;

QString KvClassFactory::getClassName() const
{
    return meta ? QString::fromLatin1(meta->className()) : QString();
}

KvPlugin::KvPlugin(const QString &name, const QString &author, const QString &description, quint32 version)
    : name(name), author(author), description(description), version(version)
{
}

KvPlugin::~KvPlugin() = default;

QString KvPlugin::getVersionString() const
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((version >> 24) & 0xff)
        .arg((version >> 16) & 0xff)
        .arg((version >> 8) & 0xff)
        .arg(version & 0xff);
}

void KvPlugin::addClassFactory(KvClassFactory *factory)
{
    if (factory && !factories.contains(factory))
        factories.append(factory);
}

KvClassFactory *KvPlugin::findClassFactory(const KvGUID &classID) const
{
    for (KvClassFactory *factory : factories) {
        if (factory->getClassID() == classID)
            return factory;
    }
    return nullptr;
}
