#pragma once

#include "kvcore_global.h"
#include "kvfigurebuilder.h"

#include <QByteArray>
#include <QString>

#include <optional>

class KvSkeleton;

// Figure files: a figure description as JSON (docs/figure-format.md).
// Numbers are written as the shortest text that reads back to the same float,
// always with '.', so load(save(desc)) gives desc back bit for bit (a zero
// loses its sign). An unbounded rotation limit is written as null.
//
// Failures return nullopt / false / an empty array and set errorMessage to one
// line that starts with the file (or source) name and names the offending bone
// and field, e.g. `walk.json: bone 3 "lHand": origin: expected 3 numbers`.
class KVCORE_EXPORT KvFigureFile
{
public:
    // Reads and checks a figure file: every bone has a non-empty unique name,
    // a parent described before it, valid coordinates, a rotation order and
    // limits with minimum <= maximum. A loaded description always builds.
    static std::optional<KvFigureDesc> load(const QString &path, QString *errorMessage = nullptr);
    // The same for file text; sourceName opens every error message.
    static std::optional<KvFigureDesc> fromJson(const QByteArray &json, const QString &sourceName,
                                                QString *errorMessage = nullptr);

    // Writes through a temporary file: a failed save leaves the old file.
    // Refuses a description that load would reject, so a saved file loads.
    static bool save(const KvFigureDesc &desc, const QString &path, QString *errorMessage = nullptr);
    static bool save(const KvSkeleton &skeleton, const QString &path, QString *errorMessage = nullptr);
    // UTF-8 file text; empty when a coordinate is NaN or infinite, or a limit
    // is NaN or infinite on the wrong side (a minimum of +inf). Other checks
    // are load's.
    static QByteArray toJson(const KvFigureDesc &desc, QString *errorMessage = nullptr);

    // The description that rebuilds skeleton: its bones in getAllBones order,
    // each bone's parent the nearest bone above it, labels left empty where
    // they equal the name, limits set when any rotation control is clamped
    // (an unclamped axis of such a bone is unbounded).
    static KvFigureDesc describe(const KvSkeleton &skeleton);
};
