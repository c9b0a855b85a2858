#include "contactsheet.h"
#include "figurepainter.h"

#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

// The viewport's geometry: named views look from where their names say,
// framing holds the whole figure, panning follows the pointer, and nothing
// behind the viewer is drawn.
class tst_FigurePainter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { delete scene; }

    void namedViews_data();
    void namedViews();
    void framingHoldsFigure_data();
    void framingHoldsFigure();
    void panFollowsPointer();
    void cameraInsideFigure();
    void contactSheet();

private:
    QPointF at(const KvVec3d &p) const { return *painter->project(p, viewport); }
    KvVec3d joint(const char *bone) const
    {
        return skeleton->findBone(QString::fromLatin1(bone))->getWSPosD(0);
    }

    KvScene *scene = nullptr;
    KvSkeleton *skeleton = nullptr;
    std::unique_ptr<FigurePainter> painter;
    const QRectF viewport{0, 0, 400, 300};
};

void tst_FigurePainter::init()
{
    scene = new KvScene;
    skeleton = KvDefaultFigure::build().release();
    scene->addNode(skeleton);
    painter = std::make_unique<FigurePainter>(scene);
}

void tst_FigurePainter::namedViews_data()
{
    QTest::addColumn<int>("view");
    // Where a step along each world axis goes on screen (y down).
    QTest::addColumn<QPoint>("x");
    QTest::addColumn<QPoint>("y");
    QTest::addColumn<QPoint>("z");

    // A figure faces +Z, its left arm along +X: seen from the front its left
    // is on the right, from its left side its face is on the left, from above
    // its face is at the bottom.
    QTest::newRow("front") << int(ViewCamera::Front) << QPoint(1, 0) << QPoint(0, -1) << QPoint(0, 0);
    QTest::newRow("side") << int(ViewCamera::Side) << QPoint(0, 0) << QPoint(0, -1) << QPoint(-1, 0);
    QTest::newRow("top") << int(ViewCamera::Top) << QPoint(1, 0) << QPoint(0, 0) << QPoint(0, 1);
}

void tst_FigurePainter::namedViews()
{
    QFETCH(int, view);
    QFETCH(QPoint, x);
    QFETCH(QPoint, y);
    QFETCH(QPoint, z);
    painter->camera().setView(ViewCamera::View(view));
    QCOMPARE(int(painter->camera().view()), view);
    painter->frameScene(viewport, 0);

    const KvVec3d centre = painter->camera().target;
    const auto direction = [&](const KvVec3d &step) {
        const QPointF d = at(centre + step) - at(centre);
        const auto sign = [](double v) { return std::abs(v) < 1e-6 ? 0 : v > 0 ? 1 : -1; };
        return QPoint(sign(d.x()), sign(d.y()));
    };
    QCOMPARE(direction({10, 0, 0}), x);
    QCOMPARE(direction({0, 10, 0}), y);
    QCOMPARE(direction({0, 0, 10}), z);
    // The figure stands on screen, seen from the front or the side.
    QCOMPARE(at(joint("head")).y() < at(joint("hip")).y() - 10, y.y() < 0);
}

void tst_FigurePainter::framingHoldsFigure_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("perspective, wide") << int(ViewCamera::Free) << QSizeF(640, 200);
    QTest::newRow("perspective, narrow") << int(ViewCamera::Free) << QSizeF(120, 500);
    QTest::newRow("top, narrow") << int(ViewCamera::Top) << QSizeF(100, 400);
}

void tst_FigurePainter::framingHoldsFigure()
{
    QFETCH(int, view);
    QFETCH(QSizeF, size);
    // Far off and turned away first: framing finds the figure from anywhere.
    painter->camera().target = KvVec3d(500, -300, 900);
    painter->camera().distance = 5;
    painter->camera().setView(ViewCamera::View(view));
    const QRectF area(QPointF(0, 0), size);
    painter->frameScene(area, 0);

    QRectF drawn;
    for (const FigurePainter::Segment &segment : painter->segments(0)) {
        for (const KvVec3d &p : {segment.joint, segment.end}) {
            const std::optional<QPointF> q = painter->project(p, area);
            QVERIFY(q);
            drawn |= QRectF(*q, QSizeF(0.01, 0.01));
        }
    }
    QVERIFY2(area.contains(drawn), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(drawn.x()).arg(drawn.y()).arg(drawn.width()).arg(drawn.height())));
    // Filling most of the narrower side.
    QVERIFY(std::max(drawn.width() / size.width(), drawn.height() / size.height()) > 0.4);
}

void tst_FigurePainter::panFollowsPointer()
{
    for (const ViewCamera::Projection projection : {ViewCamera::Perspective, ViewCamera::Orthographic}) {
        painter->camera().projection = projection;
        const KvVec3d target = painter->camera().target;
        const QPointF before = at(target);
        painter->pan(QPointF(30, -12), viewport);
        // The point under the pointer moves with it.
        const QPointF moved = at(target) - before;
        QVERIFY2(std::abs(moved.x() - 30) < 1e-6 && std::abs(moved.y() + 12) < 1e-6,
                 qPrintable(QStringLiteral("%1 %2").arg(moved.x()).arg(moved.y())));
    }
}

void tst_FigurePainter::cameraInsideFigure()
{
    // Standing in the chest, looking down the figure: the head is behind.
    painter->camera().target = joint("chest");
    painter->camera().pitchDeg = 89.0;
    painter->camera().distance = 1.0;
    QVERIFY(!painter->project(joint("head") + KvVec3d(0, 5, 0), viewport));
    QVERIFY(painter->project(joint("lFoot"), viewport));

    // Bones cut at the viewer are still drawn, those behind are not picked.
    QImage image(viewport.size().toSize(), QImage::Format_RGB32);
    QPainter p(&image);
    painter->paint(p, viewport, 0);
    p.end();
    const QPointF foot = at(joint("lFoot"));
    KvNode *picked = painter->pick(foot, viewport, 0);
    QVERIFY(picked);
    QVERIFY(picked->getName() != QLatin1String("head"));
}

// The frames of a sheet spread over the range, laid out apart, and each
// view shows its own frame of the motion.
void tst_FigurePainter::contactSheet()
{
    // The host's 30 frames at 30 fps.
    const ContactSheet sheet(scene);
    const std::vector<int> frames = sheet.frames(4);
    QCOMPARE(frames.size(), size_t(4));
    QCOMPARE(frames.front(), 0);
    QCOMPARE(frames.back(), 29);
    QVERIFY(std::adjacent_find(frames.begin(), frames.end(), std::greater_equal<int>()) == frames.end());
    QCOMPARE(sheet.frames(100).size(), size_t(30));
    QCOMPARE(sheet.frames(1), std::vector<int>{0});

    const QString title = QStringLiteral("Four frames");
    for (const QSize &size : {QSize(634, 420), QSize(300, 900), QSize(1600, 300)}) {
        const std::vector<ContactSheet::Cell> cells = sheet.layout(size, 4, true);
        QCOMPARE(cells.size(), size_t(4));
        QRegion used;
        for (const ContactSheet::Cell &cell : cells) {
            QCOMPARE(cell.front.size(), cells.front().front.size());
            QCOMPARE(cell.side.size(), cells.front().front.size());
            for (const QRect &rect : {cell.front, cell.side, cell.label}) {
                QVERIFY(!rect.isEmpty() && QRect(QPoint(), size).contains(rect));
                QVERIFY(!used.intersects(rect));
                used += rect;
            }
        }
    }

    // At rest the figure looks the same in every frame (the first views
    // carry their names), and an empty scene draws none of it.
    const QSize size(634, 420);
    const std::vector<ContactSheet::Cell> cells = sheet.layout(size, 4, true);
    const QImage still = sheet.render(size, 4, title);
    QCOMPARE(still.size(), size);
    KvScene empty;
    const QImage nothing = ContactSheet(&empty).render(size, 4, title);
    for (const QRect ContactSheet::Cell::*view : {&ContactSheet::Cell::front, &ContactSheet::Cell::side}) {
        QCOMPARE(still.copy(cells[1].*view), still.copy(cells[3].*view));
        QVERIFY(still.copy(cells[1].*view) != nothing.copy(cells[1].*view));
    }

    KvFloatProperty *thigh = skeleton->findBone(QStringLiteral("lThigh"))->getXRotControl();
    thigh->setKey(0, 0.0f);
    thigh->setKey(29 * 160, -70.0f);
    const QImage moving = sheet.render(size, 4, title);
    for (const QRect ContactSheet::Cell::*view : {&ContactSheet::Cell::front, &ContactSheet::Cell::side})
        QVERIFY(moving.copy(cells[1].*view) != moving.copy(cells[3].*view));
}

QTEST_MAIN(tst_FigurePainter)
#include "tst_figurepainter.moc"
