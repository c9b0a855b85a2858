#pragma once

#include "kvcore_global.h"

#include <QList>
#include <QString>
#include <QUuid>

struct QMetaObject;
class KvBase;

// The SDK version a plug-in must report from getSDKVersion().
constexpr quint32 kvSDKVersion = 0x02000000;

// A class identifier. Legacy 32-bit identifiers map into a fixed UUID space.
class KVCORE_EXPORT KvGUID
{
public:
    KvGUID() = default;
    explicit KvGUID(const QUuid &uuid) : id(uuid) {}
    static KvGUID fromLegacyClassID(quint32 legacyID);

    QUuid uuid() const { return id; }
    bool isLegacy() const;
    // The 32-bit identifier of a legacy GUID, 0 for any other.
    quint32 legacyClassID() const;
    QString toString() const { return id.toString(QUuid::WithBraces); }
    bool operator==(const KvGUID &o) const { return id == o.id; }
    bool operator!=(const KvGUID &o) const { return id != o.id; }

private:
    QUuid id;
};

// Creates objects of one plug-in class for the host.
class KVCORE_EXPORT KvClassFactory
{
public:
    KvClassFactory(const QMetaObject *metaObject, const KvGUID &classID);
    virtual ~KvClassFactory();

    // A new object owned by the caller, or null.
    virtual KvBase *createInstance() = 0;
    virtual KvBase *createFromArgument(void *argument) = 0;

    const QMetaObject *getMetaObject() const { return meta; }
    KvGUID getClassID() const { return classID; }
    QString getClassName() const;

private:
    const QMetaObject *meta;
    KvGUID classID;
};

// A plug-in's definition: what it is and the factories of its classes.
// It keeps pointers to the factories; it does not own them.
class KVCORE_EXPORT KvPlugin
{
public:
    KvPlugin(const QString &name, const QString &author, const QString &description, quint32 version);
    virtual ~KvPlugin();

    QString getName() const { return name; }
    QString getAuthor() const { return author; }
    void setAuthor(const QString &text) { author = text; }
    QString getDescription() const { return description; }
    void setDescription(const QString &text) { description = text; }
    quint32 getVersion() const { return version; }
    void setVersion(quint32 v) { version = v; }
    // "1.3.1.0" for 0x01030100: one byte per part, most significant first.
    QString getVersionString() const;

    void addClassFactory(KvClassFactory *factory);
    int getNumClassFactories() const { return int(factories.size()); }
    KvClassFactory *getClassFactory(int index) const { return factories.value(index); }
    KvClassFactory *findClassFactory(const KvGUID &classID) const;

private:
    QString name;
    QString author;
    QString description;
    quint32 version;
    QList<KvClassFactory *> factories;
};

// The two entry points every plug-in library exports with C linkage.
extern "C" {
typedef quint32 (*KvGetSDKVersionFn)();
typedef KvPlugin *(*KvGetPluginDefinitionFn)();
}
