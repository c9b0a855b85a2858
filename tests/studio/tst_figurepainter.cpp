#include "figurepainter.h"

#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QtTest>

// The viewport's geometry on the default figure: named views, framing and
// panning, and what lies behind the viewer.
class tst_FigurePainter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { scene.addNode(KvDefaultFigure::build().release()); }
    void init() { painter = FigurePainter(&scene); }
    void namedViews_data();
    void namedViews();
    void framingAndPanning();
    void cameraInsideFigure();

private:
    static constexpr QRectF viewport{0, 0, 400, 300};
    QPointF at(const KvVec3d &p, const QRectF &area = viewport) const { return *painter.project(p, area); }
    KvVec3d joint(const char *bone) const { return scene.findNodeByLabel(QString::fromLatin1(bone))->getWSPosD(0); }

    KvScene scene;
    FigurePainter painter{&scene};
};

void tst_FigurePainter::namedViews_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<QList<QPoint>>("steps");  // where a step along X, Y and Z goes on screen (y down)
    // A figure faces +Z, its left arm along +X: from the front its left is on
    // the right, from its left its face is on the left, from above at the bottom.
    QTest::newRow("front") << int(ViewCamera::Front) << QList<QPoint>{{1, 0}, {0, -1}, {0, 0}};
    QTest::newRow("side") << int(ViewCamera::Side) << QList<QPoint>{{0, 0}, {0, -1}, {-1, 0}};
    QTest::newRow("top") << int(ViewCamera::Top) << QList<QPoint>{{1, 0}, {0, 0}, {0, 1}};
}

void tst_FigurePainter::namedViews()
{
    QFETCH(int, view);
    QFETCH(QList<QPoint>, steps);
    painter.camera().setView(ViewCamera::View(view));
    const KvVec3d centre = painter.camera().target;
    const auto sign = [](double v) { return std::abs(v) < 1e-6 ? 0 : v > 0 ? 1 : -1; };
    QList<QPoint> shown;
    for (const KvVec3d &step : {KvVec3d(10, 0, 0), KvVec3d(0, 10, 0), KvVec3d(0, 0, 10)}) {
        const QPointF d = at(centre + step) - at(centre);
        shown.append(QPoint(sign(d.x()), sign(d.y())));
    }
    QCOMPARE(shown, steps);
}

// Far off and turned away first: framing finds the figure from anywhere and
// fills most of the view's narrower side with it. A drag then moves the point
// under the pointer with it.
void tst_FigurePainter::framingAndPanning()
{
    for (const auto &[view, area] : {std::pair(ViewCamera::Free, QRectF(0, 0, 640, 200)), std::pair(ViewCamera::Free, QRectF(0, 0, 120, 500)),
                                     std::pair(ViewCamera::Top, QRectF(0, 0, 100, 400))}) {
        painter.camera().target = KvVec3d(500, -300, 900);
        painter.camera().distance = 5;
        painter.camera().setView(view);
        painter.frameScene(area, 0);
        QRectF drawn;
        for (const FigurePainter::Segment &segment : painter.segments(0)) {
            for (const KvVec3d &p : {segment.joint, segment.end})
                drawn |= QRectF(painter.project(p, area).value_or(QPointF(-1, -1)), QSizeF(0.01, 0.01));
        }
        QVERIFY(area.contains(drawn));
        QVERIFY(std::max(drawn.width() / area.width(), drawn.height() / area.height()) > 0.4);

        const KvVec3d target = painter.camera().target;
        const QPointF before = at(target, area);
        painter.pan(QPointF(30, -12), area);
        QVERIFY(QLineF(at(target, area) - before, QPointF(30, -12)).length() < 1e-6);
    }
}

// Standing in the chest, looking down the figure: the head is behind, and so
// is never picked.
void tst_FigurePainter::cameraInsideFigure()
{
    painter.camera().target = joint("chest");
    painter.camera().pitchDeg = 89.0;
    painter.camera().distance = 1.0;
    QVERIFY(!painter.project(joint("head") + KvVec3d(0, 5, 0), viewport));
    KvNode *picked = painter.pick(at(joint("lFoot")), viewport, 0);
    QVERIFY(picked && picked->getName() != QLatin1String("head"));
}

QTEST_MAIN(tst_FigurePainter)
#include "tst_figurepainter.moc"
