#include "kvmapstore.h"

#include "kvsecondlife.h"

#include "kvappsettingsmgr.h"

#include <QStringTokenizer>

namespace {

const QString settingsPath = QStringLiteral("BVHIO");
const QString mapListKey = QStringLiteral("Maps");
const QString mapDataSuffix = QStringLiteral("_DATA");
// The host's own bookkeeping stays out of the plug-in's group.
const QString hostPath = QStringLiteral("kvbvh");
const QString seededKey = QStringLiteral("Seeded Maps");

struct ShippedMap
{
    QString name;
    QString data;
};

QList<ShippedMap> shippedMaps()
{
    return {{KvSecondLife::exportMapName(), KvSecondLife::exportMapData()}};
}

// Brackets one access to a group of the store.
class GroupScope
{
public:
    GroupScope(KvAppSettingsMgr *settings, const QString &group) : settings(settings) { settings->pushPath(group); }
    ~GroupScope() { settings->popPath(); }
    GroupScope(const GroupScope &) = delete;
    GroupScope &operator=(const GroupScope &) = delete;

private:
    KvAppSettingsMgr *settings;
};

QString joinedList(const QStringList &names)
{
    QString text;
    for (const QString &name : names)
        text += name + QLatin1Char(';');
    return text;
}

} // namespace

KvMapStore::KvMapStore(KvAppSettingsMgr *settings) : settings(settings)
{
    Q_ASSERT(settings);
}

QStringList KvMapStore::names() const
{
    const GroupScope scope(settings, settingsPath);
    return listFields(settings->getStringValue(mapListKey, QString()));
}

bool KvMapStore::contains(const QString &name) const
{
    return names().contains(name);
}

std::optional<QString> KvMapStore::data(const QString &name) const
{
    if (!contains(name))
        return std::nullopt;
    const GroupScope scope(settings, settingsPath);
    return settings->getStringValue(name + mapDataSuffix, QString());
}

bool KvMapStore::save(const QString &name, const QString &data)
{
    Q_ASSERT(isValidName(name));
    QStringList list = names();
    const bool replaced = list.contains(name);
    if (!replaced)
        list.append(name);
    const GroupScope scope(settings, settingsPath);
    settings->setStringValue(mapListKey, joinedList(list));
    settings->setStringValue(name + mapDataSuffix, data);
    return replaced;
}

bool KvMapStore::remove(const QString &name)
{
    QStringList list = names();
    if (!list.contains(name))
        return false;
    list.removeAll(name);
    const GroupScope scope(settings, settingsPath);
    settings->removeValue(name + mapDataSuffix);
    if (list.isEmpty())
        settings->removeValue(mapListKey);
    else
        settings->setStringValue(mapListKey, joinedList(list));
    return true;
}

QStringList KvMapStore::seedShippedMaps()
{
    QStringList seeded;
    {
        const GroupScope scope(settings, hostPath);
        seeded = listFields(settings->getStringValue(seededKey, QString()));
    }
    QStringList stored;
    bool changed = false;
    for (const ShippedMap &map : shippedMaps()) {
        if (seeded.contains(map.name))
            continue;
        if (!contains(map.name)) {
            save(map.name, map.data);
            stored.append(map.name);
        }
        seeded.append(map.name);
        changed = true;
    }
    if (changed) {
        const GroupScope scope(settings, hostPath);
        settings->setStringValue(seededKey, joinedList(seeded));
    }
    return stored;
}

bool KvMapStore::restoreShippedMap(const QString &name)
{
    for (const ShippedMap &map : shippedMaps()) {
        if (map.name == name) {
            save(map.name, map.data);
            return true;
        }
    }
    return false;
}

QStringList KvMapStore::shippedMapNames()
{
    QStringList names;
    for (const ShippedMap &map : shippedMaps())
        names.append(map.name);
    return names;
}

bool KvMapStore::isValidName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char(';'));
}

QStringList KvMapStore::listFields(const QString &text)
{
    QStringList fields;
    for (const QStringView field : QStringTokenizer(text, QLatin1Char(';'))) {
        if (field.isEmpty())
            break;
        fields.append(field.toString());
    }
    return fields;
}

QList<KvMapPair> KvMapStore::pairs(const QString &data)
{
    QList<KvMapPair> result;
    for (const QString &field : listFields(data))
        result.append({field.section(QLatin1Char('='), 0, 0), field.section(QLatin1Char('='), 1, 1)});
    return result;
}

QString KvMapStore::toData(const QList<KvMapPair> &pairs)
{
    QString text;
    for (const KvMapPair &pair : pairs)
        text += pair.joint + QLatin1Char('=') + pair.bone + QLatin1Char(';');
    return text;
}

QByteArray KvMapStore::toFileText(const QString &data)
{
    QByteArray text;
    for (const QString &field : listFields(data))
        text += field.toUtf8() + ";\n";
    return text;
}

std::optional<QString> KvMapStore::fromFileText(const QByteArray &text, const QString &sourceName,
                                                QString *errorMessage)
{
    QString data;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const auto fail = [&](const QString &what) -> std::optional<QString> {
            if (errorMessage)
                *errorMessage = QStringLiteral("%1:%2: %3").arg(sourceName).arg(i + 1).arg(what);
            return std::nullopt;
        };
        if (!line.endsWith(QLatin1Char(';')))
            return fail(QStringLiteral("expected joint=bone; (a pair ends with \";\")"));
        const QStringList fields = line.chopped(1).split(QLatin1Char(';'));
        for (const QString &field : fields) {
            if (!field.contains(QLatin1Char('=')))
                return fail(QStringLiteral("expected joint=bone; in \"%1\"").arg(field));
            if (field.section(QLatin1Char('='), 0, 0).isEmpty())
                return fail(QStringLiteral("a pair needs a joint name before \"=\""));
        }
        data += line;
    }
    return data;
}
