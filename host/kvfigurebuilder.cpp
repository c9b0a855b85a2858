#include "kvfigurebuilder.h"

#include "kvnode.h"
#include "kvproperty.h"

#include <QHash>

namespace {

QString describe(int index, const KvBoneDesc &bone)
{
    return QStringLiteral("bone %1 \"%2\"").arg(index).arg(bone.name);
}

// The whole description is checked before anything is built, so a rejected
// description never leaves a half-made figure behind.
QString validate(const KvFigureDesc &desc)
{
    QHash<QString, int> seen;
    for (int i = 0; i < int(desc.bones.size()); ++i) {
        const KvBoneDesc &bone = desc.bones[size_t(i)];
        if (bone.name.isEmpty())
            return QStringLiteral("bone %1 has an empty name").arg(i);
        if (seen.contains(bone.name))
            return QStringLiteral("%1: the name is already used by bone %2").arg(describe(i, bone)).arg(seen.value(bone.name));
        if (!bone.parent.isEmpty() && !seen.contains(bone.parent)) {
            return QStringLiteral("%1: parent \"%2\" is not described before it")
                .arg(describe(i, bone), bone.parent);
        }
        if (!bone.order.isValid())
            return QStringLiteral("%1: invalid rotation order %2").arg(describe(i, bone)).arg(bone.order.code());
        if (bone.limits) {
            const KvVec3 &lo = bone.limits->minDeg;
            const KvVec3 &hi = bone.limits->maxDeg;
            const float los[3] = {lo.x, lo.y, lo.z};
            const float his[3] = {hi.x, hi.y, hi.z};
            for (int axis = 0; axis < 3; ++axis) {
                if (!(los[axis] <= his[axis])) {
                    return QStringLiteral("%1: %2 rotation limits have minimum %3 above maximum %4")
                        .arg(describe(i, bone), QChar(char16_t(u'X' + axis)))
                        .arg(double(los[axis]))
                        .arg(double(his[axis]));
                }
            }
        }
        seen.insert(bone.name, i);
    }
    return QString();
}

} // namespace

std::unique_ptr<KvSkeleton> KvFigureBuilder::build(const KvFigureDesc &desc, QString *errorMessage)
{
    const QString error = validate(desc);
    if (!error.isEmpty()) {
        if (errorMessage)
            *errorMessage = error;
        return nullptr;
    }

    auto skeleton = std::make_unique<KvSkeleton>(desc.name);
    skeleton->setLabel(desc.label.isEmpty() ? desc.name : desc.label);

    QHash<QString, KvBone *> bones;
    for (const KvBoneDesc &boneDesc : desc.bones) {
        auto *bone = new KvBone(boneDesc.name);
        bone->setLabel(boneDesc.label.isEmpty() ? boneDesc.name : boneDesc.label);
        bone->setOrigin(boneDesc.origin);
        bone->setEndPoint(boneDesc.endPoint);
        bone->setRotationOrder(boneDesc.order);
        if (boneDesc.limits) {
            const KvVec3 &lo = boneDesc.limits->minDeg;
            const KvVec3 &hi = boneDesc.limits->maxDeg;
            const float los[3] = {lo.x, lo.y, lo.z};
            const float his[3] = {hi.x, hi.y, hi.z};
            for (int axis = 0; axis < 3; ++axis) {
                KvFloatProperty *control = bone->getControl(3 + axis);
                control->setLimits(los[axis], his[axis]);
                control->setIsClamped(true);
            }
        }
        KvNode *parent = boneDesc.parent.isEmpty() ? static_cast<KvNode *>(skeleton.get())
                                                   : bones.value(boneDesc.parent);
        parent->addChild(bone);
        bones.insert(boneDesc.name, bone);
    }
    return skeleton;
}
