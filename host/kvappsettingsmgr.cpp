#include "kvappsettingsmgr.h"

#include <QSettings>

KvAppSettingsMgr::KvAppSettingsMgr(const QString &iniFile, QObject *parent)
    : QObject(parent), settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

KvAppSettingsMgr::~KvAppSettingsMgr()
{
    settings->sync();
}

QString KvAppSettingsMgr::fileName() const
{
    return settings->fileName();
}

void KvAppSettingsMgr::pushPath(const QString &group)
{
    settings->beginGroup(group);
    ++depth;
}

void KvAppSettingsMgr::popPath()
{
    // QSettings warns on an unmatched endGroup; an extra pop is harmless here.
    if (depth == 0)
        return;
    settings->endGroup();
    --depth;
}

QString KvAppSettingsMgr::currentPath() const
{
    return settings->group();
}

bool KvAppSettingsMgr::getBoolValue(const QString &key, bool defaultValue, bool *ok) const
{
    const QVariant value = settings->value(key);
    if (ok)
        *ok = value.isValid();
    return value.isValid() ? value.toBool() : defaultValue;
}

void KvAppSettingsMgr::setBoolValue(const QString &key, bool value)
{
    settings->setValue(key, value);
    settings->sync();
}

QString KvAppSettingsMgr::getStringValue(const QString &key, const QString &defaultValue, bool *ok) const
{
    const QVariant value = settings->value(key);
    if (ok)
        *ok = value.isValid();
    return value.isValid() ? value.toString() : defaultValue;
}

void KvAppSettingsMgr::setStringValue(const QString &key, const QString &value)
{
    settings->setValue(key, value);
    settings->sync();
}

void KvAppSettingsMgr::removeValue(const QString &key)
{
    // QSettings::remove("") would empty the whole current group.
    if (key.isEmpty())
        return;
    settings->remove(key);
    settings->sync();
}

bool KvAppSettingsMgr::contains(const QString &key) const
{
    return settings->contains(key);
}

QStringList KvAppSettingsMgr::childKeys() const
{
    return settings->childKeys();
}
