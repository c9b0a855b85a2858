// Stored map lists and map data as the settings store may hold them (from
// other installations, or edited by hand) and map files as users write them.
// The first line is the stored "Maps" list, the rest the data stored under
// each listed name and the text of a map file. A small file is then imported
// with the first listed map and exported with it, so that the dialogs apply
// the data to real joint and bone lists.

#include "fuzzhost.h"

#include "kvmapstore.h"
#include "kvpluginrunner.h"
#include "storedmaps.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"

namespace {

const QByteArray take = "HIERARCHY\nROOT Hips\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation "
                        "Xrotation Yrotation\nJOINT Chest\n{\nOFFSET 0 10 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n"
                        "JOINT Neck\n{\nOFFSET 0 10 0\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd Site\n{\n"
                        "OFFSET 0 5 0\n}\n}\n}\nJOINT LeftUpLeg\n{\nOFFSET 3 0 0\nCHANNELS 3 Zrotation Xrotation "
                        "Yrotation\nEnd Site\n{\nOFFSET 0 -10 0\n}\n}\n}\nMOTION\nFrames: 2\nFrame Time: 0.1\n"
                        "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = bytes.indexOf('\n');
    const QString list = QString::fromUtf8(bytes.left(lineEnd < 0 ? bytes.size() : lineEnd));
    const QByteArray rest = lineEnd < 0 ? QByteArray() : bytes.mid(lineEnd + 1);
    const QString mapData = QString::fromUtf8(rest);

    KvAppSettingsMgr *settings = kvfuzz::host()->getAppSettingsMgr();
    settings->removeValue(bvhio::settingsPath);
    settings->pushPath(bvhio::settingsPath);
    settings->setStringValue(bvhio::mapListKey, list);
    const QStringList names = bvhio::listFields(list);
    for (const QString &name : names.mid(0, 4))
        settings->setStringValue(name + bvhio::mapDataSuffix, mapData);
    settings->popPath();

    // The host's store and the plug-in read the same list and pairs.
    KvMapStore store(settings);
    kvfuzz::check(store.names() == bvhio::storedMapNames(), "host and plug-in list the same names");
    const QList<KvMapPair> pairs = KvMapStore::pairs(mapData);
    const QList<bvhio::CMapPair> plugInPairs = bvhio::mapPairs(mapData);
    kvfuzz::check(pairs.size() == plugInPairs.size(), "host and plug-in read as many pairs");
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        kvfuzz::check(pairs[i].joint == plugInPairs[i].fileName && pairs[i].bone == plugInPairs[i].boneName,
                      "host and plug-in read the same pairs");
    }
    // A map file that reads writes back as the same data.
    if (const std::optional<QString> fromFile = KvMapStore::fromFileText(rest, QStringLiteral("fuzz.map")))
        kvfuzz::check(KvMapStore::fromFileText(KvMapStore::toFileText(*fromFile), QStringLiteral("again.map")) == fromFile,
                      "a map file reads back as written");

    KvSkeleton *figure = kvfuzz::freshFigure();
    KvPluginRunner runner(kvfuzz::host(), kvfuzz::loader());
    const QString input = kvfuzz::writeScratch(QStringLiteral("take.bvh"), reinterpret_cast<const uint8_t *>(take.data()),
                                               size_t(take.size()));
    KvImportOptions import;
    import.mapName = names.value(0);
    QString error;
    if (runner.importFile(input, figure, import, nullptr, &error) || import.mapName.isEmpty()) {
        KvExportOptions exportOptions;
        exportOptions.exportMap = import.mapName;
        runner.exportFile(kvfuzz::scratchFile(QStringLiteral("out.bvh")), figure, exportOptions, &error);
    }
    runner.readMapping(input, figure, import, &error);

    // Storing and deleting keep the list readable.
    if (bvhio::isValidMapName(names.value(0))) {
        kvfuzz::check(bvhio::saveStoredMap(names.value(0), mapData, "fuzz"), "a valid name stores");
        bvhio::deleteStoredMap(names.value(0));
        kvfuzz::check(!bvhio::storedMapNames().contains(names.value(0)), "a deleted map is gone");
    }
    return 0;
}
