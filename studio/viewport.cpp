#include "viewport.h"

#include "kvscene.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

Viewport::Viewport(KvScene *scene, QWidget *parent) : QWidget(parent), scene(scene), painter(scene)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
    connect(scene, &KvScene::timeChanged, this, qOverload<>(&QWidget::update));
    connect(scene, &KvScene::selectionChanged, this, qOverload<>(&QWidget::update));
    connect(scene, &KvScene::nodesChanged, this, qOverload<>(&QWidget::update));
}

QImage Viewport::render(const QSize &size, int time) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    painter.paint(p, QRectF(QPointF(0, 0), size), time);
    return image;
}

void Viewport::setOverlay(const FigureOverlay &overlay, const QString &caption)
{
    painter.setOverlay(overlay);
    overlayCaption = overlay.figure ? caption : QString();
    update();
}

void Viewport::setView(ViewCamera::View view)
{
    painter.camera().setView(view);
    update();
}

void Viewport::frameScene()
{
    painter.frameScene(rect(), scene->getTime());
    followsFigures = true;
    update();
}

void Viewport::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    painter.paint(p, rect(), scene->getTime());
    p.setPen(QColor(220, 224, 230));
    const QRect corner = rect().adjusted(8, 6, -8, -6);
    p.drawText(corner, Qt::AlignLeft | Qt::AlignTop, painter.camera().viewName());
    if (scene->getNumNodes() == 0)
        p.drawText(rect(), Qt::AlignCenter, tr("No figure: File > New Figure"));
    if (!overlayCaption.isEmpty()) {
        p.setPen(FigurePainter::overlayColor());
        p.drawText(corner.adjusted(0, fontMetrics().lineSpacing(), 0, 0), Qt::AlignLeft | Qt::AlignTop, overlayCaption);
    }
}

void Viewport::mousePressEvent(QMouseEvent *event)
{
    if (drag != Drag::None)
        return;
    pressPos = lastPos = event->position().toPoint();
    dragButton = event->button();
    if (dragButton == Qt::MiddleButton)
        drag = Drag::Pan;
    else if (dragButton == Qt::LeftButton)
        drag = event->modifiers() & Qt::ShiftModifier ? Drag::Pan : Drag::Pending;
    event->accept();
}

void Viewport::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    // A hand that trembles while clicking still clicks.
    if (drag == Drag::Pending && (pos - pressPos).manhattanLength() > 3)
        drag = Drag::Orbit;
    const QPoint delta = pos - lastPos;
    lastPos = pos;
    ViewCamera &camera = painter.camera();
    if (drag == Drag::Orbit) {
        camera.yawDeg = std::fmod(camera.yawDeg - 0.4 * delta.x(), 360.0);
        camera.pitchDeg = std::clamp(camera.pitchDeg + 0.4 * delta.y(), -89.0, 89.0);
        followsFigures = false;
        update();
    } else if (drag == Drag::Pan) {
        painter.pan(delta, rect());
        followsFigures = false;
        update();
    }
}

void Viewport::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != dragButton)
        return;
    if (drag == Drag::Pending) {
        if (KvNode *bone = painter.pick(event->position(), rect(), scene->getTime()))
            scene->selectNode(bone);
        else
            scene->clearSelection();
    }
    drag = Drag::None;
    dragButton = Qt::NoButton;
}

void Viewport::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    ViewCamera &camera = painter.camera();
    camera.distance = std::clamp(camera.distance * std::pow(0.85, steps), 1e-2, 1e7);
    followsFigures = false;
    update();
    event->accept();
}

void Viewport::resizeEvent(QResizeEvent *)
{
    if (followsFigures)
        painter.frameScene(rect(), scene->getTime());
}
