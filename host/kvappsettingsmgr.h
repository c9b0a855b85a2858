#pragma once

#include "kvcore_global.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QSettings;
class QTemporaryDir;

// The host's settings store: an INI file that the host chooses. Every access
// is bracketed by pushPath / popPath; values are written through at once (Qt
// writes a new file and renames it over the old), so a second manager on the
// same file sees them.
//
// A file that exists but cannot be read or parsed is left untouched: the
// defaults are in force, changes last for the session only, and the
// constructor says so once on stderr (unusableReason()).
class KVCORE_EXPORT KvAppSettingsMgr : public QObject
{
    Q_OBJECT
public:
    explicit KvAppSettingsMgr(const QString &iniFile, QObject *parent = nullptr);
    ~KvAppSettingsMgr() override;

    // The file the host chose, also when it is unusable.
    QString fileName() const;
    // Why the file is not used; empty when it is.
    QString unusableReason() const { return problem; }

    void pushPath(const QString &group);
    // Pops the group pushed last; without one, does nothing.
    void popPath();
    QString currentPath() const;

    // ok (optional) tells whether the key was present; default otherwise.
    bool getBoolValue(const QString &key, bool defaultValue, bool *ok = nullptr) const;
    void setBoolValue(const QString &key, bool value);
    QString getStringValue(const QString &key, const QString &defaultValue, bool *ok = nullptr) const;
    void setStringValue(const QString &key, const QString &value);
    void removeValue(const QString &key);
    bool contains(const QString &key) const;
    QStringList childKeys() const;

private:
    QString file;
    QString problem;
    std::unique_ptr<QTemporaryDir> scratch;  // holds the session's store when the file is unusable
    std::unique_ptr<QSettings> settings;
    int depth = 0;
};
