#pragma once

#include "figurepainter.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

class KvScene;

// The scene drawn by a FigurePainter at the scene's time. Dragging orbits,
// Shift+drag or the middle button pans, the wheel zooms; a click selects the
// bone under it in the scene (or nothing). Framed figures stay framed while
// the widget changes size, until the camera is moved.
class Viewport : public QWidget
{
    Q_OBJECT
public:
    explicit Viewport(KvScene *scene, QWidget *parent = nullptr);

    FigurePainter &figurePainter() { return painter; }
    // A figure drawn with the scene's (see FigureOverlay), named by caption
    // in its colour; one without a figure takes it away.
    void setOverlay(const FigureOverlay &overlay, const QString &caption = QString());
    // The picture the widget shows at time, at any size.
    QImage render(const QSize &size, int time) const;
    void setView(ViewCamera::View view);
    void frameScene();

    QSize sizeHint() const override { return {640, 480}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum class Drag { None, Pending, Orbit, Pan };

    KvScene *scene;
    FigurePainter painter;
    QString overlayCaption;
    bool followsFigures = true;
    Drag drag = Drag::None;
    Qt::MouseButton dragButton = Qt::NoButton;
    QPoint pressPos;
    QPoint lastPos;
};
