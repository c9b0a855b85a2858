#pragma once

#include "kvfigurebuilder.h"

#include <QString>

#include <optional>

// Where a host takes a figure from, as a user names it: "default" (or
// nothing) for the figure built into the host, a figure file (*.json) or the
// skeleton of a BVH file (*.bvh).
class KvFigureSource
{
public:
    static bool isDefault(const QString &source);
    // Null with one line in errorMessage when the file is missing, of another
    // kind, or does not read as a figure.
    static std::optional<KvFigureDesc> load(const QString &source, QString *errorMessage = nullptr);
};
