#include "storedmaps.h"

#include "pickmapdialog.h"

#include "bvhstate.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvfileio.h"

#include <QCoreApplication>
#include <QHash>
#include <QMessageBox>
#include <QStringTokenizer>
#include <QTreeWidgetItem>

namespace bvhio {

namespace {

const QChar fieldSeparator = QLatin1Char(';');
const QChar pairSeparator = QLatin1Char('=');

KvAppSettingsMgr *settingsMgr()
{
    return kvApp ? kvApp->getAppSettingsMgr() : nullptr;
}

// Brackets one access to the settings store with pushPath / popPath.
class SettingsScope
{
public:
    explicit SettingsScope(KvAppSettingsMgr *settings) : settings(settings)
    {
        if (settings)
            settings->pushPath(settingsPath);
    }
    ~SettingsScope()
    {
        if (settings)
            settings->popPath();
    }
    SettingsScope(const SettingsScope &) = delete;
    SettingsScope &operator=(const SettingsScope &) = delete;

private:
    KvAppSettingsMgr *settings;
};

void mapRecord(CBvhHeader *record, const CSkelHeader *bone)
{
    record->figureItem = bone->listItem;
    record->mappedName = bone->name;
    record->mappedNode = bone->bone;
    if (record->fileItem)
        record->fileItem->setCheckState(0, Qt::Checked);
}

} // namespace

QStringList listFields(const QString &text)
{
    QStringList fields;
    // The stored format is read field by field: everything after the first
    // empty field is never seen.
    for (const QStringView field : QStringTokenizer(text, fieldSeparator)) {
        if (field.isEmpty())
            break;
        fields.append(field.toString());
    }
    return fields;
}

QList<CMapPair> mapPairs(const QString &data)
{
    QList<CMapPair> pairs;
    const QStringList fields = listFields(data);
    pairs.reserve(fields.size());
    for (const QString &field : fields)
        pairs.append({field.section(pairSeparator, 0, 0), field.section(pairSeparator, 1, 1)});
    return pairs;
}

bool isValidMapName(const QString &name)
{
    return !name.isEmpty() && !name.contains(fieldSeparator);
}

bool storedOption(const QString &key, bool defaultValue)
{
    KvAppSettingsMgr *settings = settingsMgr();
    if (!settings)
        return defaultValue;
    const SettingsScope scope(settings);
    return settings->getBoolValue(key, defaultValue, nullptr);
}

bool storeOption(const QString &key, bool value)
{
    KvAppSettingsMgr *settings = settingsMgr();
    if (!settings)
        return false;
    const SettingsScope scope(settings);
    settings->setBoolValue(key, value);
    return true;
}

QStringList storedMapNames()
{
    KvAppSettingsMgr *settings = settingsMgr();
    if (!settings)
        return {};
    const SettingsScope scope(settings);
    return listFields(settings->getStringValue(mapListKey, QString(), nullptr));
}

std::optional<QString> storedMapData(const QString &name)
{
    KvAppSettingsMgr *settings = settingsMgr();
    if (!settings)
        return std::nullopt;
    const SettingsScope scope(settings);
    return settings->getStringValue(name + mapDataSuffix, QString(), nullptr);
}

bool saveStoredMap(const QString &name, const QString &data, const char *context)
{
    KvAppSettingsMgr *settings = settingsMgr();
    if (!settings)
        return false;
    const SettingsScope scope(settings);

    QString names;
    bool listed = false;
    for (const QString &field : listFields(settings->getStringValue(mapListKey, QString(), nullptr))) {
        if (field == name) {
            const QString title = QCoreApplication::translate(context, "BVH File Importer");
            const QString text = QCoreApplication::translate(context, "Overwrite map '%1'?").arg(name);
            if (kvApp->question(title, text) != QMessageBox::Yes)
                return false;
            listed = true;
        }
        names += field + fieldSeparator;
    }
    if (!listed)
        names += name + fieldSeparator;
    settings->setStringValue(mapListKey, names);
    settings->setStringValue(name + mapDataSuffix, data);
    return true;
}

void deleteStoredMap(const QString &name)
{
    KvAppSettingsMgr *settings = settingsMgr();
    if (!settings)
        return;
    const SettingsScope scope(settings);

    const QString stored = settings->getStringValue(mapListKey, QString(), nullptr);
    if (stored.isEmpty())
        return;
    QString kept;
    for (const QString &field : listFields(stored)) {
        if (field != name)
            kept += field + fieldSeparator;
    }
    settings->removeValue(name + mapDataSuffix);
    if (kept.isEmpty())
        settings->removeValue(mapListKey);
    else
        settings->setStringValue(mapListKey, kept);
}

bool pickMapName(bool saveMode)
{
    QString &current = bvhState().currentMapName;
    // The picker writes every choice straight into the current map name.
    const QString kept = current;
    CPickMapDialog picker(saveMode);
    if (kvApp->execDialog(&picker) != QDialog::Accepted) {
        current = kept;
        return false;
    }
    return true;
}

QString importMapData()
{
    QString data;
    for (const CBvhHeader *record : bvhState().jointList) {
        if (record->type == Joint)
            data += record->name + pairSeparator + record->mappedName + fieldSeparator;
    }
    return data;
}

void applyImportMap(const QString &data)
{
    const CBvhState &state = bvhState();
    const CRecordList<CBvhHeader> &joints = state.jointList;
    const int count = joints.count();
    QHash<QString, const CSkelHeader *> bones;  // the first record of each name
    for (const CSkelHeader *record : state.skeletonList)
        bones.insert(record->name, bones.value(record->name, record));
    int cursor = 0;
    for (const CMapPair &pair : mapPairs(data)) {
        if (cursor >= count)
            break;
        const CSkelHeader *bone = bones.value(pair.boneName);
        if (!bone)
            continue;
        // Pairs apply in file order only: a joint the cursor has passed
        // runs it to the end of the list.
        while (cursor < count && joints.at(cursor)->name != pair.fileName)
            ++cursor;
        if (cursor >= count)
            break;
        // The joint record, then its channel records under the same name.
        while (cursor < count && joints.at(cursor)->name == pair.fileName)
            mapRecord(joints.at(cursor++), bone);
    }
}

QString exportMapData()
{
    QString data;
    for (const CSkelHeader *record : bvhState().skeletonList)
        data += record->label + pairSeparator + record->name + fieldSeparator;
    return data;
}

void applyExportMap(const QString &data)
{
    QHash<QString, QList<CSkelHeader *>> byName;
    for (CSkelHeader *record : bvhState().skeletonList)
        byName[record->name].append(record);
    for (const CMapPair &pair : mapPairs(data)) {
        for (CSkelHeader *record : byName.value(pair.boneName))
            record->label = pair.fileName;
    }
}

std::optional<bool> runOption(const KvFileIOSettings &settings, const QString &key)
{
    if (!settings.contains(key))
        return std::nullopt;
    return settings.value(key).toBool();
}

QString runMapName(const KvFileIOSettings &settings)
{
    return settings.value(runMapKey).toString();
}

} // namespace bvhio
