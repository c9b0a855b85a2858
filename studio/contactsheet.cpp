#include "contactsheet.h"

#include "figurepainter.h"

#include "kvscene.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double degToRad = 3.14159265358979323846 / 180.0;
constexpr int margin = 8;
constexpr int gap = 6;
const QColor paper(22, 24, 28);
const QColor ink(208, 212, 220);
const QColor faintInk(150, 156, 166);

// As the timeline counts them: the frames an export writes, at least one.
int frameCount(const KvScene &scene)
{
    const KvTimeRange range = scene.getAnimRange();
    const int step = scene.getTimeStep();
    return std::max(1, range.end / step - range.start / step);
}

int labelHeight(const QFontMetrics &metrics)
{
    return 2 * metrics.height() + 2;
}

} // namespace

std::vector<int> ContactSheet::frames(int count) const
{
    const int total = frameCount(*scene);
    const int shown = std::clamp(count, 1, total);
    std::vector<int> result;
    result.reserve(size_t(shown));
    for (int i = 0; i < shown; ++i)
        result.push_back(shown == 1 ? 0 : int(std::lround(double(i) * (total - 1) / (shown - 1))));
    return result;
}

std::vector<ContactSheet::Cell> ContactSheet::layout(const QSize &size, int count, bool titled) const
{
    const std::vector<int> shown = frames(count);
    const int n = int(shown.size());
    const QFontMetrics metrics{QFont()};
    const int top = margin + (titled ? metrics.height() + gap : 0);
    const int label = labelHeight(metrics);

    // Whole pixels, so that every view is the same size.
    struct Grid
    {
        int rows = 1;
        int columns = 1;
        bool stacked = true;
        QSize block;  // a frame's views and label
        QSize view;
    };
    const auto grid = [&](int rows, bool stacked) {
        Grid g{rows, (n + rows - 1) / rows, stacked, QSize(), QSize()};
        g.block = QSize((size.width() - 2 * margin - (g.columns - 1) * gap) / g.columns,
                        (size.height() - top - margin - (rows - 1) * gap) / rows);
        const int viewsHeight = g.block.height() - label;
        g.view = stacked ? QSize(g.block.width(), (viewsHeight - gap) / 2)
                         : QSize((g.block.width() - gap) / 2, viewsHeight);
        return g;
    };
    // A figure stands about twice as tall as it is wide.
    const auto figureHeight = [](const Grid &g) { return std::min(2 * g.view.width(), g.view.height()); };
    Grid best = grid(1, true);
    for (int rows = 1; rows <= n; ++rows) {
        for (const bool stacked : {true, false}) {
            const Grid g = grid(rows, stacked);
            if (figureHeight(g) > figureHeight(best))
                best = g;
        }
    }

    // What whole pixels leave over goes to the sides.
    const int left = (size.width() - best.columns * best.block.width() - (best.columns - 1) * gap) / 2;
    std::vector<Cell> cells;
    cells.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const QPoint corner(left + (i % best.columns) * (best.block.width() + gap),
                            top + (i / best.columns) * (best.block.height() + gap));
        Cell cell;
        cell.frame = shown[size_t(i)];
        cell.front = QRect(corner, best.view);
        cell.side = best.stacked ? cell.front.translated(0, best.view.height() + gap)
                                 : cell.front.translated(best.view.width() + gap, 0);
        const int labelTop = cell.side.bottom() + 1;
        cell.label = QRect(corner.x(), labelTop, best.block.width(), corner.y() + best.block.height() - labelTop);
        cells.push_back(cell);
    }
    return cells;
}

QImage ContactSheet::render(const QSize &size, int count, const QString &title) const
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(paper);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFontMetrics metrics(painter.font());
    if (!title.isEmpty()) {
        painter.setPen(ink);
        const QRect line(margin, margin, size.width() - 2 * margin, metrics.height());
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(title, Qt::ElideRight, line.width()));
    }

    const std::vector<Cell> cells = layout(size, count, !title.isEmpty());
    const int start = scene->getAnimRange().start;
    const int step = scene->getTimeStep();
    const auto tickOf = [&](int frame) { return start + frame * step; };
    FigurePainter figures(scene);
    const std::pair<ViewCamera::View, QRect Cell::*> views[] = {{ViewCamera::Front, &Cell::front},
                                                               {ViewCamera::Side, &Cell::side}};

    // One scale for all frames and both views, and one ground line: each
    // figure is centred sideways only, so that jumps and crouches show.
    struct Extent
    {
        KvVec3d low{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                    std::numeric_limits<double>::max()};
        KvVec3d high = -low;
        bool empty() const { return low.x > high.x; }
    };
    std::vector<Extent> extents(cells.size());
    Extent all;
    for (size_t i = 0; i < cells.size(); ++i) {
        for (const FigurePainter::Segment &bone : figures.segments(tickOf(cells[i].frame))) {
            for (const KvVec3d &p : {bone.joint, bone.end}) {
                for (Extent *extent : {&extents[i], &all}) {
                    extent->low = KvVec3d(std::min(extent->low.x, p.x), std::min(extent->low.y, p.y), std::min(extent->low.z, p.z));
                    extent->high = KvVec3d(std::max(extent->high.x, p.x), std::max(extent->high.y, p.y), std::max(extent->high.z, p.z));
                }
            }
        }
    }
    // Pixels per unit: the front view spans X across, the side view Z.
    double scale = std::numeric_limits<double>::max();
    for (size_t i = 0; i < cells.size() && !all.empty(); ++i) {
        const KvVec3d span = extents[i].high - extents[i].low;
        const QRect &view = cells[i].front;
        scale = std::min({scale, 0.9 * view.width() / std::max({span.x, span.z, 1e-6}),
                          0.9 * view.height() / std::max(all.high.y - all.low.y, 1e-6)});
    }

    for (size_t i = 0; i < cells.size(); ++i) {
        const Cell &cell = cells[i];
        for (const auto &[view, area] : views) {
            ViewCamera &camera = figures.camera();
            camera.setView(view);
            if (!all.empty()) {
                const KvVec3d middle = (extents[i].low + extents[i].high) * 0.5;
                camera.target = KvVec3d(middle.x, (all.low.y + all.high.y) / 2.0, middle.z);
                // An orthographic view shows distance * tan(fov / 2) above the target.
                camera.distance = (cell.*area).height() / 2.0 / scale / std::tan(camera.fovDeg * degToRad / 2.0);
            }
            figures.paint(painter, cell.*area, tickOf(cell.frame));
            // Named once; the other columns repeat the first.
            if (&cell == &cells.front()) {
                painter.setPen(faintInk);
                painter.drawText((cell.*area).adjusted(5, 3, -5, -3), Qt::AlignLeft | Qt::AlignTop,
                                 figures.camera().viewName());
            }
        }
        painter.setPen(ink);
        painter.drawText(cell.label.adjusted(0, 2, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                         QStringLiteral("Frame %1\n%2 s").arg(cell.frame).arg(cell.frame * step / 4800.0, 0, 'f', 2));
    }
    return image;
}
