#pragma once

#include "kvfigurebuilder.h"
#include "kvnode.h"

#include <QStringList>

#include <memory>

// Figures for the export tests.
namespace exporttest {

// A skeleton called name with one bone per "bone:parent" entry, in order;
// an empty parent makes the bone a child of the skeleton.
inline std::unique_ptr<KvSkeleton> figure(const QString &name, const QStringList &bones)
{
    KvFigureDesc desc;
    desc.name = name;
    for (const QString &entry : bones) {
        desc.bones.emplace_back();
        desc.bones.back().name = entry.section(QLatin1Char(':'), 0, 0);
        desc.bones.back().parent = entry.section(QLatin1Char(':'), 1);
    }
    return KvFigureBuilder::build(desc);
}

//   statue ── base (node) ── arm: its first child is not a bone.
inline std::unique_ptr<KvSkeleton> statue()
{
    auto skeleton = std::make_unique<KvSkeleton>(QStringLiteral("statue"));
    auto *base = new KvNode(QStringLiteral("base"));
    base->addChild(new KvBone(QStringLiteral("arm")));
    skeleton->addChild(base);
    return skeleton;
}

} // namespace exporttest
