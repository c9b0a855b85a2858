#include "kvappsettingsmgr.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace {

// Every line a section, a key with its value, a comment or blank. Qt's own
// reader lets lines without "=" pass and drops them on the next write.
bool readsAsIni(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool continued = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!continued && !line.isEmpty() && !line.startsWith(';') && !line.startsWith('#') && !line.contains('=')
            && !(line.startsWith('[') && line.endsWith(']')))
            return false;
        continued = line.endsWith('\\');
    }
    return true;
}

} // namespace

KvAppSettingsMgr::KvAppSettingsMgr(const QString &iniFile, QObject *parent)
    : QObject(parent), file(QFileInfo(iniFile).absoluteFilePath()),
      settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
    // Qt takes a file it cannot read for an empty one and drops what it
    // cannot parse: a write would then replace the file with less than it held.
    const QFileInfo info(iniFile);
    if (info.exists() && (!info.isFile() || !info.isReadable() || settings->status() == QSettings::AccessError))
        problem = QStringLiteral("settings file %1 cannot be read").arg(iniFile);
    else if (info.exists() && (settings->status() == QSettings::FormatError || !readsAsIni(iniFile)))
        problem = QStringLiteral("settings file %1 cannot be parsed").arg(iniFile);
    if (problem.isEmpty())
        return;
    problem += QLatin1String(": the default settings are in force, changes last for this session only and "
                             "the file is left as it is");
    scratch = std::make_unique<QTemporaryDir>();
    settings = std::make_unique<QSettings>(scratch->filePath(QStringLiteral("session.ini")), QSettings::IniFormat);
    // Qt's critical messages reach stderr also where its chatter is silenced.
    qCritical("%s", qPrintable(problem));
}

KvAppSettingsMgr::~KvAppSettingsMgr()
{
    settings->sync();
}

QString KvAppSettingsMgr::fileName() const
{
    return file;
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
