#pragma once

#include "kvcore_global.h"
#include "kvfigurebuilder.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A figure shaped like the skeleton of a BVH file, read from the file's
// HIERARCHY part (the host's own reader; MOTION and what follows are not read).
//
// One bone per ROOT and JOINT, in file order, named after the joint (the rest
// of its line, trimmed); the label is left empty, so it is the name. Rest
// geometry in the file's units and axes: a root's origin is its OFFSET, a
// child's origin is its parent's origin + OFFSET; the end point is the origin
// of the first child joint, else the End Site, else the origin itself. The
// rotation order is twistOrder(end point - origin). No limits.
//
// Lines end at LF, CRLF or a lone CR; keywords are case-insensitive; tokens are
// separated by spaces or tabs; blank lines are skipped; numbers may use
// exponent notation. Malformed input (no ROOT, unbalanced braces, an OFFSET
// without three numbers, a repeated joint name, an unknown keyword ...) gives
// nullopt and an error message "line N: ...".
class KVCORE_EXPORT KvBvhFigure
{
public:
    // The figure is named after the file's base name ("walk" for walk.bvh).
    // Error messages start with the path.
    static std::optional<KvFigureDesc> load(const QString &path, QString *errorMessage = nullptr);
    static std::optional<KvFigureDesc> fromText(const QByteArray &text, const QString &figureName,
                                                QString *errorMessage = nullptr);

    // The order that twists about the bone: its first axis is the axis of the
    // largest component of direction by magnitude (ties go to the earlier of X,
    // Y, Z), the other two follow in X, Y, Z order: X -> XYZ, Y -> YXZ,
    // Z -> ZXY. A zero direction twists about Y.
    static KvRotationOrder twistOrder(const KvVec3 &direction);
};
