#include "kvnode.h"

#include "kvproperty.h"
#include "kvscene.h"

#include <algorithm>

namespace {

constexpr double degToRad = 3.14159265358979323846 / 180.0;
constexpr double radToDeg = 180.0 / 3.14159265358979323846;

} // namespace

KvNode::KvNode(const QString &name, QObject *parent)
    : KvElement(parent)
{
    setObjectName(name);
    setLabel(name);
    static const char *const controlNames[9] = {
        "XPos", "YPos", "ZPos", "XRot", "YRot", "ZRot", "XScale", "YScale", "ZScale",
    };
    for (int i = 0; i < 9; ++i)
        controls[i] = new KvFloatProperty(QString::fromLatin1(controlNames[i]), i < 6 ? 0.0f : 1.0f, this);
}

KvNode::~KvNode()
{
    // Descendants go first, the deepest first, each cut loose beforehand so
    // that no destructor walks further: a figure may be a chain of any depth.
    std::vector<KvNode *> below(children.begin(), children.end());
    children.clear();
    for (size_t i = 0; i < below.size(); ++i) {
        KvNode *node = below[i];
        below.insert(below.end(), node->children.begin(), node->children.end());
        node->children.clear();
        node->nodeParent = nullptr;
    }
    for (auto it = below.rbegin(); it != below.rend(); ++it)
        delete *it;
    if (nodeParent) {
        auto &siblings = nodeParent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    if (owningScene)
        owningScene->forgetNode(this);
}

KvNode *KvNode::getNodeChild(int index) const
{
    return index >= 0 && index < int(children.size()) ? children[size_t(index)] : nullptr;
}

void KvNode::addChild(KvNode *child)
{
    Q_ASSERT(child && child != this && !child->nodeParent);
    child->nodeParent = this;
    child->setParent(this);
    children.push_back(child);
    child->setScene(owningScene);
}

KvSkeleton *KvNode::getSkeleton()
{
    for (KvNode *node = nodeParent; node; node = node->nodeParent) {
        if (auto *skeleton = qobject_cast<KvSkeleton *>(node))
            return skeleton;
    }
    return nullptr;
}

int KvNode::currentTime() const
{
    return owningScene ? owningScene->getTime() : 0;
}

void KvNode::setScene(KvScene *s)
{
    // Without recursion: a figure may be a chain of any depth.
    std::vector<KvNode *> pending{this};
    while (!pending.empty()) {
        KvNode *node = pending.back();
        pending.pop_back();
        node->owningScene = s;
        pending.insert(pending.end(), node->children.begin(), node->children.end());
    }
}

KvVec3 KvNode::getLocalPos(int t) const
{
    return {controls[0]->getValue(t), controls[1]->getValue(t), controls[2]->getValue(t)};
}

KvQuat KvNode::getLocalRot(int t) const
{
    const KvVec3d anglesRad(controls[3]->getValue(t) * degToRad, controls[4]->getValue(t) * degToRad,
                            controls[5]->getValue(t) * degToRad);
    return KvQuat::fromEuler(rotationOrder, anglesRad);
}

KvVec3 KvNode::getLocalScale(int t) const
{
    return {controls[6]->getValue(t), controls[7]->getValue(t), controls[8]->getValue(t)};
}

KvQuat KvNode::getWSRot(int t) const
{
    KvQuat rotation = getLocalRot(t);
    for (const KvNode *node = nodeParent; node; node = node->nodeParent)
        rotation *= node->getLocalRot(t);
    return rotation;
}

KvVec3 KvNode::getWSPos(int t) const
{
    return getWSPosD(t).toFloat();
}

KvVec3d KvNode::getWSPosD(int t) const
{
    // Walk down from the root so that each level costs one rotation.
    std::vector<const KvNode *> chain;
    for (const KvNode *node = this; node; node = node->nodeParent)
        chain.push_back(node);

    KvVec3d position;
    KvQuat rotation;
    KvVec3d parentOrigin;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const KvNode *node = *it;
        const KvVec3d origin(node->origin);
        position = position + rotation.multVec(origin - parentOrigin + KvVec3d(node->getLocalPos(t)));
        rotation = node->getLocalRot(t) * rotation;
        parentOrigin = origin;
    }
    return position;
}

void KvNode::setLocalPos(const KvVec3 &v)
{
    controls[0]->setCurrentValue(v.x);
    controls[1]->setCurrentValue(v.y);
    controls[2]->setCurrentValue(v.z);
}

void KvNode::setLocalRot(const KvQuat &q)
{
    const KvVec3d anglesRad = q.toEuler(rotationOrder);
    controls[3]->setCurrentValue(float(anglesRad.x * radToDeg));
    controls[4]->setCurrentValue(float(anglesRad.y * radToDeg));
    controls[5]->setCurrentValue(float(anglesRad.z * radToDeg));
}

void KvNode::setWSRot(const KvQuat &q)
{
    // WSRot = local * parentWS, so local = WSRot * parentWS^-1.
    if (!nodeParent) {
        setLocalRot(q);
        return;
    }
    setLocalRot(q * nodeParent->getWSRot().inverted());
}

void KvNode::setLocalScale(const KvMatrix3 &m, float factor)
{
    const KvVec3 scale = m.diagonal() * factor;
    controls[6]->setCurrentValue(scale.x);
    controls[7]->setCurrentValue(scale.y);
    controls[8]->setCurrentValue(scale.z);
}

void KvNode::clearTransformData(const KvTimeRange &range)
{
    for (KvFloatProperty *control : controls)
        control->removeKeys(range);
}

void KvNode::clearAnimData(const KvTimeRange &range)
{
    // The transform controls are among the element's properties.
    KvElement::clearAnimData(range);
}

KvBone::KvBone(const QString &name, QObject *parent)
    : KvNode(name, parent)
{
}

KvSkeleton::KvSkeleton(const QString &name, QObject *parent)
    : KvNode(name, parent)
{
}

namespace {

// Depth first, children in order, without recursion.
void collectBones(const KvNode *root, QList<KvBone *> &bones)
{
    std::vector<const KvNode *> pending;
    for (int i = root->getNumNodeChildren() - 1; i >= 0; --i)
        pending.push_back(root->getNodeChild(i));
    while (!pending.empty()) {
        const KvNode *node = pending.back();
        pending.pop_back();
        if (auto *bone = qobject_cast<KvBone *>(const_cast<KvNode *>(node)))
            bones.append(bone);
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back(node->getNodeChild(i));
    }
}

} // namespace

void KvSkeleton::getAllBones(QList<KvBone *> &bones) const
{
    bones.clear();
    collectBones(this, bones);
}

KvBone *KvSkeleton::findBone(const QString &name) const
{
    QList<KvBone *> bones;
    getAllBones(bones);
    for (KvBone *bone : bones) {
        if (bone->getName() == name)
            return bone;
    }
    return nullptr;
}
