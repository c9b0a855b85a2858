#pragma once

#include "kvbase.h"
#include "kvmatrix3.h"
#include "kvquat.h"
#include "kvrotationorder.h"
#include "kvvec3.h"

#include <vector>

class KvFloatProperty;
class KvScene;
class KvSkeleton;

// A node of the scene tree with nine animatable transform controls: X, Y, Z
// local translation (scene units), rotation (degrees, composed in the node's
// rotation order) and scale.
//
// Rest geometry (origin, end point) is in figure space and does not animate.
// World transforms at time t:
//   WSRot(n) = localRot(n) * WSRot(parent)          (n's rotation, then parent's)
//   WSPos(n) = WSPos(parent) + WSRot(parent).multVec(origin(n) - origin(parent) + localPos(n))
// A node without a parent stands on a parent at the origin without rotation.
// Scale controls affect nobody's position.
class KVCORE_EXPORT KvNode : public KvElement
{
    Q_OBJECT
public:
    // The label starts as the name.
    explicit KvNode(const QString &name = QString(), QObject *parent = nullptr);
    // Deletes the subtree; leaves the parent's children and the scene.
    ~KvNode() override;

    // Tree. addChild takes ownership (child must have no parent and must not
    // be a top-level node); the child joins this node's scene.
    KvNode *getNodeParent() const { return nodeParent; }
    int getNumNodeChildren() const { return int(children.size()); }
    KvNode *getNodeChild(int index) const;
    void addChild(KvNode *child);
    // The skeleton this node belongs to: itself for a skeleton, the nearest
    // skeleton above it otherwise, or null.
    virtual KvSkeleton *getSkeleton();
    KvScene *scene() const { return owningScene; }
    // The owning scene's current time, 0 outside a scene.
    int currentTime() const;

    KvFloatProperty *getXPosControl() const { return controls[0]; }
    KvFloatProperty *getYPosControl() const { return controls[1]; }
    KvFloatProperty *getZPosControl() const { return controls[2]; }
    KvFloatProperty *getXRotControl() const { return controls[3]; }
    KvFloatProperty *getYRotControl() const { return controls[4]; }
    KvFloatProperty *getZRotControl() const { return controls[5]; }
    KvFloatProperty *getXScaleControl() const { return controls[6]; }
    KvFloatProperty *getYScaleControl() const { return controls[7]; }
    KvFloatProperty *getZScaleControl() const { return controls[8]; }
    // index 0..8 in the order above.
    KvFloatProperty *getControl(int index) const { return controls[index]; }

    KvVec3 getOrigin() const { return origin; }
    void setOrigin(const KvVec3 &v) { origin = v; }
    KvVec3 getEndPoint() const { return endPoint; }
    void setEndPoint(const KvVec3 &v) { endPoint = v; }
    KvRotationOrder getRotationOrder() const { return rotationOrder; }
    void setRotationOrder(KvRotationOrder order) { rotationOrder = order; }

    // At the current scene time.
    KvVec3 getLocalPos() const { return getLocalPos(currentTime()); }
    KvQuat getLocalRot() const { return getLocalRot(currentTime()); }
    KvVec3 getLocalScale() const { return getLocalScale(currentTime()); }
    KvVec3 getWSPos() const { return getWSPos(currentTime()); }
    KvQuat getWSRot() const { return getWSRot(currentTime()); }

    // At time t (ticks). World queries walk up to the root: O(depth).
    KvVec3 getLocalPos(int t) const;
    KvQuat getLocalRot(int t) const;
    KvVec3 getLocalScale(int t) const;
    KvVec3 getWSPos(int t) const;
    KvQuat getWSRot(int t) const;
    KvVec3d getWSPosD(int t) const;

    // Key the controls at the current scene time (each clamped when its
    // control is clamped). setLocalRot decomposes q in the node's rotation
    // order and keys all three rotation controls.
    void setLocalPos(const KvVec3 &v);
    void setLocalRot(const KvQuat &q);
    void setWSRot(const KvQuat &q);
    // Keys the scale controls with the diagonal of m times factor.
    void setLocalScale(const KvMatrix3 &m, float factor);

    // Removes the keys of the nine transform controls in range.
    void clearTransformData(const KvTimeRange &range);
    void clearAnimData(const KvTimeRange &range) override;

private:
    friend class KvScene;
    void setScene(KvScene *s);

    KvNode *nodeParent = nullptr;
    KvScene *owningScene = nullptr;
    std::vector<KvNode *> children;
    KvFloatProperty *controls[9];
    KvVec3 origin;
    KvVec3 endPoint;
    KvRotationOrder rotationOrder;
};

class KVCORE_EXPORT KvBone : public KvNode
{
    Q_OBJECT
public:
    explicit KvBone(const QString &name = QString(), QObject *parent = nullptr);
};

// A figure: the skeleton node holds the figure's bones as its subtree.
class KVCORE_EXPORT KvSkeleton : public KvNode
{
    Q_OBJECT
public:
    explicit KvSkeleton(const QString &name = QString(), QObject *parent = nullptr);

    KvSkeleton *getSkeleton() override { return this; }
    // Replaces bones' contents with every bone below the skeleton, depth-first
    // pre-order, children in order, walking through nodes that are not bones.
    void getAllBones(QList<KvBone *> &bones) const;
    // The bone whose internal name is name, or null.
    KvBone *findBone(const QString &name) const;
};
