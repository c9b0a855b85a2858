#pragma once

#include "kvcore_global.h"
#include "kvrotationorder.h"
#include "kvvec3.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class KvSkeleton;

// Rotation limits of a bone in degrees, per axis.
struct KvRotationLimits
{
    KvVec3 minDeg;
    KvVec3 maxDeg;
};

struct KvBoneDesc
{
    QString name;
    QString label;            // empty: the name
    QString parent;           // empty: a child of the skeleton node
    KvVec3 origin;            // rest geometry in figure space
    KvVec3 endPoint;
    KvRotationOrder order;
    std::optional<KvRotationLimits> limits;  // set: the rotation controls are clamped
};

struct KvFigureDesc
{
    QString name;
    QString label;            // empty: the name
    std::vector<KvBoneDesc> bones;  // a parent before its children
};

class KVCORE_EXPORT KvFigureBuilder
{
public:
    // A new skeleton with the described bones, or null with errorMessage set
    // (duplicate or empty bone names, a parent not described before its child,
    // an invalid rotation order, limits with min above max).
    static std::unique_ptr<KvSkeleton> build(const KvFigureDesc &desc, QString *errorMessage = nullptr);
};
