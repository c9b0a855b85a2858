#pragma once

#include "kvbase.h"

#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// Options a host hands to one import or export (batch runs carry a map name
// and option values here). Empty when the host has none.
class KVCORE_EXPORT KvFileIOSettings
{
public:
    bool isEmpty() const { return values.isEmpty(); }
    bool contains(const QString &key) const { return values.contains(key); }
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const
    { return values.value(key, defaultValue); }
    void setValue(const QString &key, const QVariant &v) { values.insert(key, v); }

private:
    QVariantMap values;
};

// Base of importers and exporters. startIO / finishIO bracket one file
// operation; the host watches them (ioStarted / ioFinished, isIOActive).
class KVCORE_EXPORT KvFileIO : public KvBase
{
    Q_OBJECT
public:
    explicit KvFileIO(QObject *parent = nullptr);

    virtual bool getOptions(KvFileIOSettings &settings, bool interactive) const;
protected:
    virtual void startIO();
    virtual void finishIO();
public:
    virtual QString getPreIOErrorString() const;
    // What the last operation did that its caller may want to tell the user
    // (a file turned to stand up, say); empty when nothing.
    virtual QStringList getPostIONotes() const;

    bool isIOActive() const { return ioActive; }

Q_SIGNALS:
    void ioStarted();
    void ioFinished();

private:
    bool ioActive = false;
};

class KVCORE_EXPORT KvImporter : public KvFileIO
{
    Q_OBJECT
public:
    KvImporter();

    // Whether the host should offer this importer for the file at path.
    virtual bool recognize(const QString &path) = 0;
    virtual int getNumExtensions() const = 0;
    virtual QString getExtension(int index) const = 0;
    virtual QString getDescription() const = 0;
    // 1 when the import ran to its end, 0 when it stopped early.
    virtual int read(const QString &path, const KvFileIOSettings &settings) = 0;
};

class KVCORE_EXPORT KvExporter : public KvFileIO
{
    Q_OBJECT
public:
    explicit KvExporter(const QString &extension);

    QString getExtension() const { return extension; }
    virtual QString getDescription() const = 0;
    virtual bool canExport() const = 0;
    // 1 when the file was written, 0 on failure or cancel.
    virtual int write(const QString &path, const KvFileIOSettings &settings) = 0;

private:
    QString extension;
};
