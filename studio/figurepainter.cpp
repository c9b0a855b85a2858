#include "figurepainter.h"

#include "kvnode.h"
#include "kvscene.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double degToRad = 3.14159265358979323846 / 180.0;

const QColor skyTop(62, 68, 77);
const QColor skyBottom(28, 31, 36);
const QColor boneColor(200, 205, 214);
const QColor selectedBoneColor(255, 168, 38);
const QColor selectedFigureColor(140, 195, 255);
const QColor sourceColor(112, 214, 150);

// The camera's frame and the mapping from world to pixels.
struct Projector
{
    Projector(const ViewCamera &camera, const QRectF &viewport)
    {
        const double yaw = camera.yawDeg * degToRad;
        const double pitch = std::clamp(camera.pitchDeg, -90.0, 90.0) * degToRad;
        back = KvVec3d(std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch));
        // Level whatever the pitch, so that straight down still has a right.
        right = KvVec3d(std::cos(yaw), 0.0, -std::sin(yaw));
        up = back.cross(right);
        eye = camera.target + back * camera.distance;
        center = viewport.center();
        focal = viewport.height() / 2.0 / std::tan(camera.fovDeg * degToRad / 2.0);
        scale = focal / camera.distance;
        orthographic = camera.projection == ViewCamera::Orthographic;
        nearDepth = camera.distance * 0.01;
    }

    // x right, y up, z the depth in front of the eye.
    KvVec3d toView(const KvVec3d &p) const
    {
        const KvVec3d d = p - eye;
        return {d.dot(right), d.dot(up), -d.dot(back)};
    }
    double pixelsPerUnit(double depth) const { return orthographic ? scale : focal / depth; }
    QPointF toScreen(const KvVec3d &v) const
    {
        const double s = pixelsPerUnit(v.z);
        return {center.x() + v.x * s, center.y() - v.y * s};
    }
    // Cuts a view-space segment at the near plane; false when nothing is in front.
    bool clip(KvVec3d &a, KvVec3d &b) const
    {
        if (orthographic)
            return true;
        if (a.z < nearDepth && b.z < nearDepth)
            return false;
        if (a.z < nearDepth)
            a = a + (b - a) * ((nearDepth - a.z) / (b.z - a.z));
        else if (b.z < nearDepth)
            b = b + (a - b) * ((nearDepth - b.z) / (a.z - b.z));
        return true;
    }

    KvVec3d eye, right, up, back;
    QPointF center;
    double focal = 1.0;
    double scale = 1.0;
    bool orthographic = false;
    double nearDepth = 0.1;
};

// A bone as drawn: its ends on screen, its widths there and its depth.
struct ScreenBone
{
    const FigurePainter::Segment *segment = nullptr;
    bool overlay = false;
    QPointF joint;
    QPointF end;
    double jointWidth = 0.0;  // half widths in pixels
    double endWidth = 0.0;
    double depth = 0.0;
};

std::optional<ScreenBone> toScreen(const Projector &projector, const FigurePainter::Segment &segment)
{
    KvVec3d a = projector.toView(segment.joint);
    KvVec3d b = projector.toView(segment.end);
    if (!projector.clip(a, b))
        return std::nullopt;
    // Thick enough to see and to hit, thinner than long.
    const double halfWidth = (segment.end - segment.joint).length() * 0.08;
    ScreenBone bone;
    bone.segment = &segment;
    bone.joint = projector.toScreen(a);
    bone.end = projector.toScreen(b);
    bone.jointWidth = std::max(1.5, halfWidth * projector.pixelsPerUnit(a.z));
    bone.endWidth = std::max(0.75, 0.35 * halfWidth * projector.pixelsPerUnit(b.z));
    bone.depth = (a.z + b.z) / 2.0;
    return bone;
}

// The bones below root, depth first, children in order.
void collectBones(const KvNode *root, int time, std::vector<FigurePainter::Segment> &result)
{
    std::vector<const KvNode *> pending{root};
    while (!pending.empty()) {
        const KvNode *node = pending.back();
        pending.pop_back();
        if (qobject_cast<const KvBone *>(node))
            result.push_back(FigurePainter::segment(node, time));
        for (int i = node->getNumNodeChildren() - 1; i >= 0; --i)
            pending.push_back(node->getNodeChild(i));
    }
}

double distanceToSegment(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF ab = b - a;
    const double lengthSquared = QPointF::dotProduct(ab, ab);
    const double t = lengthSquared > 0.0 ? std::clamp(QPointF::dotProduct(p - a, ab) / lengthSquared, 0.0, 1.0) : 0.0;
    const QPointF d = p - (a + ab * t);
    return std::hypot(d.x(), d.y());
}

// 1, 2 or 5 times a power of ten, near value.
double niceStep(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    const double mantissa = value / power;
    return power * (mantissa < 1.5 ? 1.0 : mantissa < 3.5 ? 2.0 : mantissa < 7.5 ? 5.0 : 10.0);
}

// About eight cells to a figure's height, whatever its units.
double gridSpacing(const std::vector<FigurePainter::Segment> &bones)
{
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (const FigurePainter::Segment &bone : bones) {
        low = std::min({low, bone.joint.y, bone.end.y});
        high = std::max({high, bone.joint.y, bone.end.y});
    }
    const double height = high > low ? high - low : 70.0;
    return niceStep(height / 8.0);
}

void drawWorldLine(QPainter &painter, const Projector &projector, const KvVec3d &from, const KvVec3d &to)
{
    KvVec3d a = projector.toView(from);
    KvVec3d b = projector.toView(to);
    if (projector.clip(a, b))
        painter.drawLine(projector.toScreen(a), projector.toScreen(b));
}

void drawGround(QPainter &painter, const Projector &projector, const KvVec3d &target, double spacing)
{
    // Around the spot below the target, so that a figure walking away keeps ground under it.
    const int cells = 12;
    const double cx = std::round(target.x / spacing) * spacing;
    const double cz = std::round(target.z / spacing) * spacing;
    const double extent = cells * spacing;
    painter.setPen(QPen(QColor(255, 255, 255, 38), 0));
    if (projector.orthographic && std::abs(projector.back.y) < 1e-6) {
        // Seen edge on, every line falls on the horizon: one will do.
        const KvVec3d middle(cx, 0.0, cz);
        drawWorldLine(painter, projector, middle - projector.right * extent, middle + projector.right * extent);
    } else {
        for (int i = -cells; i <= cells; ++i) {
            const double x = cx + i * spacing;
            const double z = cz + i * spacing;
            drawWorldLine(painter, projector, {x, 0.0, cz - extent}, {x, 0.0, cz + extent});
            drawWorldLine(painter, projector, {cx - extent, 0.0, z}, {cx + extent, 0.0, z});
        }
    }

    const double length = 2.0 * spacing;
    const struct { KvVec3d direction; QColor color; const char *name; } axes[] = {
        {{1, 0, 0}, QColor(230, 80, 70), "X"},
        {{0, 1, 0}, QColor(110, 200, 90), "Y"},
        {{0, 0, 1}, QColor(80, 140, 240), "Z"},
    };
    for (const auto &axis : axes) {
        painter.setPen(QPen(axis.color, 2));
        const KvVec3d tip = axis.direction * length;
        drawWorldLine(painter, projector, {}, tip);
        const KvVec3d view = projector.toView(tip * 1.12);
        if (projector.orthographic || view.z > projector.nearDepth)
            painter.drawText(projector.toScreen(view) + QPointF(-4, 4), QString::fromLatin1(axis.name));
    }
}

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

void drawBone(QPainter &painter, const ScreenBone &bone, const QColor &color)
{
    const QPointF along = bone.end - bone.joint;
    const double length = std::hypot(along.x(), along.y());
    painter.setPen(QPen(color.darker(220), 0));
    if (length < 1.0) {
        // Seen end on.
        painter.setBrush(color);
        painter.drawEllipse(bone.joint, bone.jointWidth, bone.jointWidth);
        return;
    }
    const QPointF normal(-along.y() / length, along.x() / length);
    // Widest a little below the joint, as bones are drawn in figure tools.
    const QPointF shoulder = bone.joint + along * 0.15;
    const QPolygonF shape{bone.joint + normal * (bone.jointWidth * 0.55), shoulder + normal * bone.jointWidth,
                          bone.end + normal * bone.endWidth,       bone.end - normal * bone.endWidth,
                          shoulder - normal * bone.jointWidth,     bone.joint - normal * (bone.jointWidth * 0.55)};
    QLinearGradient shade(shoulder + normal * bone.jointWidth, shoulder - normal * bone.jointWidth);
    shade.setColorAt(0.0, color.lighter(135));
    shade.setColorAt(0.45, color);
    shade.setColorAt(1.0, color.darker(170));
    painter.setBrush(shade);
    painter.drawPolygon(shape);

    painter.setBrush(color.darker(130));
    const double radius = std::max(1.5, bone.jointWidth * 0.6);
    painter.drawEllipse(bone.joint, radius, radius);
}

} // namespace

void ViewCamera::setView(View view)
{
    switch (view) {
    case Front:
        yawDeg = 0.0;
        pitchDeg = 0.0;
        projection = Orthographic;
        break;
    case Side:
        yawDeg = 90.0;
        pitchDeg = 0.0;
        projection = Orthographic;
        break;
    case Top:
        yawDeg = 0.0;
        pitchDeg = 90.0;
        projection = Orthographic;
        break;
    case Free:
        yawDeg = 30.0;
        pitchDeg = 15.0;
        projection = Perspective;
        break;
    }
}

ViewCamera::View ViewCamera::view() const
{
    if (projection == Orthographic && pitchDeg == 0.0 && yawDeg == 0.0)
        return Front;
    if (projection == Orthographic && pitchDeg == 0.0 && yawDeg == 90.0)
        return Side;
    if (projection == Orthographic && pitchDeg == 90.0 && yawDeg == 0.0)
        return Top;
    return Free;
}

QString ViewCamera::viewName() const
{
    switch (view()) {
    case Front:
        return QStringLiteral("Front");
    case Side:
        return QStringLiteral("Side");
    case Top:
        return QStringLiteral("Top");
    case Free:
        break;
    }
    return projection == Perspective ? QStringLiteral("Perspective") : QStringLiteral("Orthographic");
}

FigurePainter::Segment FigurePainter::segment(const KvNode *bone, int time)
{
    Segment s;
    s.node = const_cast<KvNode *>(bone);
    s.joint = bone->getWSPosD(time);
    s.end = s.joint + bone->getWSRot(time).multVec(KvVec3d(bone->getEndPoint()) - KvVec3d(bone->getOrigin()));
    return s;
}

std::vector<FigurePainter::Segment> FigurePainter::segments(int time) const
{
    std::vector<Segment> result;
    for (int i = 0; scene && i < scene->getNumNodes(); ++i)
        collectBones(scene->getNode(i), time, result);
    return result;
}

std::vector<FigurePainter::Segment> FigurePainter::overlaySegments(int time) const
{
    std::vector<Segment> result;
    if (!extra.figure)
        return result;
    collectBones(extra.figure, time, result);
    for (Segment &bone : result) {
        bone.joint = bone.joint * extra.scale + extra.offset;
        bone.end = bone.end * extra.scale + extra.offset;
    }
    return result;
}

QColor FigurePainter::overlayColor()
{
    return sourceColor;
}

void FigurePainter::paint(QPainter &painter, const QRectF &viewport, int time) const
{
    painter.save();
    painter.setClipRect(viewport);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(viewport.topLeft(), viewport.bottomLeft());
    sky.setColorAt(0.0, skyTop);
    sky.setColorAt(1.0, skyBottom);
    painter.fillRect(viewport, sky);

    const Projector projector(cam, viewport);
    const std::vector<Segment> bones = segments(time);
    const std::vector<Segment> overlayBones = overlaySegments(time);
    drawGround(painter, projector, cam.target, gridSpacing(bones.empty() ? overlayBones : bones));

    std::vector<ScreenBone> shown;
    shown.reserve(bones.size() + overlayBones.size());
    for (const auto *list : {&bones, &overlayBones}) {
        for (const Segment &segment : *list) {
            if (std::optional<ScreenBone> bone = toScreen(projector, segment)) {
                bone->overlay = list == &overlayBones;
                shown.push_back(*bone);
            }
        }
    }
    if (shown.empty()) {
        painter.restore();
        return;
    }
    // Far to near, so that nearer bones cover farther ones.
    std::sort(shown.begin(), shown.end(), [](const ScreenBone &a, const ScreenBone &b) { return a.depth > b.depth; });
    const double nearest = shown.back().depth;
    const double depthRange = std::max(shown.front().depth - nearest, 1e-9);

    QSet<const KvNode *> selected;
    for (int i = 0; scene && i < scene->getNumSelectedNodes(); ++i)
        selected.insert(scene->getSelectedNode(i));
    for (const ScreenBone &bone : shown) {
        KvNode *node = bone.segment->node;
        QColor color = boneColor;
        if (bone.overlay)
            color = sourceColor;
        else if (selected.contains(node))
            color = selectedBoneColor;
        else if (selected.contains(node->getSkeleton()))
            color = selectedFigureColor;
        // Farther bones sink toward the background.
        drawBone(painter, bone, mix(color, skyBottom, 0.35 * (bone.depth - nearest) / depthRange));
    }
    painter.restore();
}

std::optional<QPointF> FigurePainter::project(const KvVec3d &point, const QRectF &viewport) const
{
    const Projector projector(cam, viewport);
    const KvVec3d view = projector.toView(point);
    if (!projector.orthographic && view.z < projector.nearDepth)
        return std::nullopt;
    return projector.toScreen(view);
}

KvNode *FigurePainter::pick(const QPointF &pos, const QRectF &viewport, int time, double tolerance) const
{
    const Projector projector(cam, viewport);
    const std::vector<Segment> bones = segments(time);
    KvNode *best = nullptr;
    double bestDistance = std::numeric_limits<double>::max();
    for (const Segment &segment : bones) {
        const std::optional<ScreenBone> bone = toScreen(projector, segment);
        if (!bone)
            continue;
        const double distance = distanceToSegment(pos, bone->joint, bone->end);
        if (distance <= std::max(tolerance, bone->jointWidth) && distance < bestDistance) {
            best = segment.node;
            bestDistance = distance;
        }
    }
    return best;
}

void FigurePainter::frameScene(const QRectF &viewport, int time)
{
    std::vector<Segment> bones = segments(time);
    const std::vector<Segment> overlayBones = overlaySegments(time);
    bones.insert(bones.end(), overlayBones.begin(), overlayBones.end());
    if (bones.empty())
        return;
    KvVec3d low(std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    KvVec3d high = -low;
    for (const Segment &bone : bones) {
        for (const KvVec3d &p : {bone.joint, bone.end}) {
            low = KvVec3d(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
            high = KvVec3d(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
        }
    }
    cam.target = (low + high) * 0.5;
    const double radius = std::max((high - low).length() / 2.0, 1e-3);
    // The narrower side of the view decides.
    const double aspect = viewport.height() > 0.0 ? viewport.width() / viewport.height() : 1.0;
    cam.distance = 1.1 * radius / std::sin(cam.fovDeg * degToRad / 2.0) / std::min(1.0, aspect);
}

void FigurePainter::pan(const QPointF &delta, const QRectF &viewport)
{
    const Projector projector(cam, viewport);
    const double unitsPerPixel = 1.0 / projector.scale;
    cam.target = cam.target - projector.right * (delta.x() * unitsPerPixel) + projector.up * (delta.y() * unitsPerPixel);
}
