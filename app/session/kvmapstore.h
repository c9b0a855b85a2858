#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class KvAppSettingsMgr;

// One pair of a name map: a joint name as a BVH file spells it, and the figure
// bone it goes with (an import map names the bone's label, an export map the
// bone's own name; empty: not mapped).
struct KvMapPair
{
    QString joint;
    QString bone;

    bool operator==(const KvMapPair &o) const { return joint == o.joint && bone == o.bone; }
};

// The named name maps in the host's settings store, kept where and as the
// plug-in's dialogs keep them, so that a map saved here loads there and back:
// under "BVHIO", "Maps" lists every name followed by ";" in the order first
// saved, and <name>"_DATA" holds "joint=bone;" pairs back to back. Neither is
// escaped: both lists are read up to their first empty field.
//
// The maps the host ships are seeded on first use (seedShippedMaps); the
// store remembers which it seeded, so a map the user deletes stays deleted.
class KvMapStore
{
public:
    // settings must outlive the store.
    explicit KvMapStore(KvAppSettingsMgr *settings);

    QStringList names() const;
    bool contains(const QString &name) const;
    // The stored data of a listed map; nullopt when name is not listed.
    std::optional<QString> data(const QString &name) const;
    // Stores data under name (isValidName): a new name goes to the end of the
    // list, a listed one keeps its place. True when a map was replaced.
    bool save(const QString &name, const QString &data);
    // Drops every entry of name and its data; false when it was not listed.
    // The list key goes with its last name.
    bool remove(const QString &name);

    // Stores each shipped map that was never seeded before, unless a map of
    // that name is already stored. Returns the names it stored.
    QStringList seedShippedMaps();
    // Stores the shipped map name as it ships, replacing what is stored under
    // that name; false when no map of that name ships.
    bool restoreShippedMap(const QString &name);
    static QStringList shippedMapNames();

    // Not empty and without ";": stored under it, it lists again.
    static bool isValidName(const QString &name);
    // The fields of a stored list, split at ";" up to the first empty one.
    static QStringList listFields(const QString &text);
    // Text after a second "=" in a pair is ignored, as the dialogs do.
    static QList<KvMapPair> pairs(const QString &data);
    static QString toData(const QList<KvMapPair> &pairs);

    // Map files: the stored form with a line break after each pair.
    static QByteArray toFileText(const QString &data);
    // Line breaks are dropped; each line holds whole "joint=bone;" pairs.
    // nullopt with "file:line: ..." in errorMessage otherwise.
    static std::optional<QString> fromFileText(const QByteArray &text, const QString &sourceName,
                                               QString *errorMessage = nullptr);

private:
    KvAppSettingsMgr *settings;
};
