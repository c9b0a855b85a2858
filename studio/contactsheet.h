#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

class KvScene;

// A scene's motion on one picture: frames spread evenly over the animation
// range, each drawn from the front and from the side, every figure at one
// scale and centred in its view, with the frame number and time under it.
// Frames count from the range's start as the timeline counts them.
class ContactSheet
{
public:
    explicit ContactSheet(const KvScene *scene) : scene(scene) {}

    // count frames from the first to the last, evenly spaced; every frame
    // when the range holds fewer.
    std::vector<int> frames(int count) const;

    struct Cell
    {
        int frame = 0;
        QRect front;
        QRect side;
        QRect label;
    };
    // Where each of frames(count) goes on a sheet of size: the grid, and the
    // two views above or beside each other, that draw the figures largest.
    // Needs a QGuiApplication, as labels are measured in its font.
    std::vector<Cell> layout(const QSize &size, int count, bool titled) const;

    // title: a line above the frames; empty: none.
    QImage render(const QSize &size, int count, const QString &title = QString()) const;

private:
    const KvScene *scene;
};
