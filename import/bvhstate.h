#pragma once

#include "bvhheader.h"
#include "recordlist.h"
#include "skelheader.h"

#include <QMultiHash>
#include <QString>

class KvSkeleton;

// What the importer, the exporter and every dialog share about the operation
// in progress. Filled during one import or export and emptied when it returns.
struct CBvhState
{
    CRecordList<CSkelHeader> skeletonList;
    CRecordList<CBvhHeader> jointList;
    // The skeleton list's records by their names' keys (bodyparts::matchKey,
    // lower case), first in list order: filled with the list.
    QMultiHash<QString, CSkelHeader *> bonesByKey;
    KvSkeleton *targetSkeleton = nullptr;
    QString currentMapName;
    QString currentFileName;

    void clearLists()
    {
        jointList.clear();
        skeletonList.clear();
        bonesByKey.clear();
    }
};

// The one state object; it lives as long as the library.
CBvhState &bvhState();
