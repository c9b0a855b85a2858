#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class KvFileIOSettings;

// Option flags and named name maps, kept in the host's settings store under
// one path. The three dialogs (import mapping, export mapping, map picker)
// share these steps; the stored text formats are fixed, so that the settings
// of other installations load:
//
//   "Maps"          every map name followed by ";", in the order first saved:
//                   "walk;run;". Names are stored as typed, unescaped.
//   <name>"_DATA"   one "left=right;" pair after another, unescaped: on the
//                   left a joint name as a BVH file spells it, on the right
//                   a bone: the import dialog writes the bone's label, the
//                   export dialog the bone's own name.
//
// Reading either list stops at its first empty field, so a ";" inside a
// name or an "=" inside a pair side splits it when read back.
//
// Without a settings manager (kvApp or its manager missing) nothing is read
// or written: reads give their defaults, writes report false.
namespace bvhio {

inline const QString settingsPath = QStringLiteral("BVHIO");

// Stored option keys (bool) and their defaults.
inline const QString frameOptionKey = QStringLiteral("Frame Opt");          // true
inline const QString inPlaceOptionKey = QStringLiteral("InPlace Opt");      // false
inline const QString limitsOptionKey = QStringLiteral("Limits Opt");        // false
inline const QString secondLifeOptionKey = QStringLiteral("Second Life Opt");  // false
inline const QString mapListKey = QStringLiteral("Maps");
inline const QString mapDataSuffix = QStringLiteral("_DATA");

// Settings of one batch run: the host may hand these to CBvhIn::read and
// CBvhOut::write in their KvFileIOSettings argument. They apply to that run
// only and are never stored.
//   "Map"               string: the stored map to load, as Load Map would
//   "Frame Opt", "InPlace Opt", "Limits Opt"   bool: import options
//   "Second Life Opt"   bool: export option
//   "Up Axis"           string: "auto", "y" or "z", which way the file stands
// A bool given as text reads "false", "0" and "" as false.
inline const QString runMapKey = QStringLiteral("Map");

// The fields of a stored list, split at ";" up to the first empty one.
QStringList listFields(const QString &text);

struct CMapPair
{
    QString fileName;  // left of "=": a joint name in a BVH file
    QString boneName;  // right of "=": names a bone of the figure
};
// The pairs of stored map data; text after a second "=" is ignored.
QList<CMapPair> mapPairs(const QString &data);

// Whether a map of this name can be stored and listed again as it is: not
// empty and without ";".
bool isValidMapName(const QString &name);

bool storedOption(const QString &key, bool defaultValue);
// False when there is no settings manager.
bool storeOption(const QString &key, bool value);

// The stored map names, in stored order.
QStringList storedMapNames();
// The stored data of map name; nullopt without a settings manager.
std::optional<QString> storedMapData(const QString &name);

// Stores data as map name. A name already listed is overwritten only when the
// user answers Yes to "Overwrite map '<name>'?" (asked through kvApp, title
// "BVH File Importer", both texts translated in the caller's context). Returns
// whether the map was written; false as well without a settings manager.
bool saveStoredMap(const QString &name, const QString &data, const char *context);
// Drops every entry of name from the list (the list key goes with its last
// name) and removes the map's data. Asks nothing.
void deleteStoredMap(const QString &name);

// Runs the map picker through kvApp->execDialog. Accepted: the current map
// name (bvhState()) holds the chosen name, true. Rejected: the current map
// name is put back as it was, false.
bool pickMapName(bool saveMode);

// Map data of the import side: one pair per joint record of the joint list,
// joint name = mapped bone label (empty when unmapped).
QString importMapData();
// Applies map data to the joint list with one forward-only cursor: a pair
// whose bone is not in the skeleton list is skipped; otherwise the cursor
// runs forward to the first record named like the pair's joint (the walk ends
// when there is none) and maps that record and the records right after it
// with the same name (its channels) to the bone, switching its file item on.
// Unnamed joints keep their mapping; a bone may end up with two joints.
void applyImportMap(const QString &data);

// Map data of the export side: one pair per skeleton record, label = name.
QString exportMapData();
// Every skeleton record whose name is a pair's bone takes the pair's file
// name as its label; a later pair wins.
void applyExportMap(const QString &data);

// Run settings (see above): a bool option given for this run, or nullopt.
std::optional<bool> runOption(const KvFileIOSettings &settings, const QString &key);
// The map named for this run; empty when none.
QString runMapName(const KvFileIOSettings &settings);

} // namespace bvhio
