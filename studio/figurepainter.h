#pragma once

#include "kvvec3.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

class QPainter;
class KvNode;
class KvScene;
class KvSkeleton;

// Where the viewer stands: it looks at target from distance, from the
// direction that yaw (about +Y, from +Z toward +X) and pitch (up from the
// ground) give. Yaw 0, pitch 0 looks at a figure's front.
struct ViewCamera
{
    enum Projection { Perspective, Orthographic };

    KvVec3d target{0.0, 36.0, 0.0};
    double yawDeg = 30.0;
    double pitchDeg = 15.0;
    double distance = 220.0;
    Projection projection = Perspective;
    double fovDeg = 40.0;  // vertical; an orthographic view is as tall as a perspective one at target

    // The named views keep target and distance and set angles and projection.
    enum View { Front, Side, Top, Free };
    void setView(View view);
    View view() const;
    QString viewName() const;
};

// A figure drawn among the scene's without being part of it, in its own
// colour: never picked nor shown selected. Its world positions are scaled
// about the origin by scale, then moved by offset.
struct FigureOverlay
{
    const KvSkeleton *figure = nullptr;
    double scale = 1.0;
    KvVec3d offset;
};

// Draws a scene's figures at one time into any QPainter (a widget, an image):
// a ground grid with the axes, each bone as a shaded shape tapering from its
// joint to its end, a dot on each joint, the selected bones in their own
// colour. Positions are the host's world positions at that time.
class FigurePainter
{
public:
    explicit FigurePainter(const KvScene *scene) : scene(scene) {}

    void setOverlay(const FigureOverlay &figure) { extra = figure; }
    const FigureOverlay &overlay() const { return extra; }
    static QColor overlayColor();

    ViewCamera &camera() { return cam; }
    const ViewCamera &camera() const { return cam; }

    void paint(QPainter &painter, const QRectF &viewport, int time) const;

    // Where point lands in viewport; nullopt behind the viewer.
    std::optional<QPointF> project(const KvVec3d &point, const QRectF &viewport) const;
    // The bone drawn under pos (or within tolerance pixels of it), the
    // nearest to pos first; null when none.
    KvNode *pick(const QPointF &pos, const QRectF &viewport, int time, double tolerance = 6.0) const;
    // Aims the camera at the middle of the figures (the overlay's too) at
    // time and moves it back until they fill most of viewport; the view's
    // angles stay.
    void frameScene(const QRectF &viewport, int time);
    // Moves the target by a drag of delta pixels across viewport.
    void pan(const QPointF &delta, const QRectF &viewport);

    // A bone's joint and end in world space at time.
    struct Segment
    {
        KvNode *node = nullptr;
        KvVec3d joint;
        KvVec3d end;
    };
    std::vector<Segment> segments(int time) const;
    // The overlay's bones, placed as drawn.
    std::vector<Segment> overlaySegments(int time) const;
    static Segment segment(const KvNode *bone, int time);

private:
    const KvScene *scene;
    ViewCamera cam;
    FigureOverlay extra;
};
