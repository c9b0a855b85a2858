#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QSlider;
class KvScene;
class Playback;

// The scene's animation range as frames: a slider with the frame and time
// shown, and the actions that play and step through it. Frame f lies at
// animRange.start + f * timeStep, as an export writes them; the frames are
// those an export writes (at least one).
class Timeline : public QWidget
{
    Q_OBJECT
public:
    explicit Timeline(KvScene *scene, QWidget *parent = nullptr);

    // Reads the scene's range and rate again: the scene does not announce them.
    void refresh();

    int frameCount() const;
    // The frame of the scene's time, held inside the range.
    int currentFrame() const;
    int frameOfTick(int ticks) const;
    int tickOfFrame(int frame) const;
    // Moves the scene to frame (held inside the range).
    void setFrame(int frame);

    Playback *playback() const { return player; }
    QSlider *slider() const { return bar; }

    QAction *playAction = nullptr;      // play / pause
    QAction *firstAction = nullptr;
    QAction *previousAction = nullptr;
    QAction *nextAction = nullptr;
    QAction *lastAction = nullptr;
    QAction *loopAction = nullptr;

Q_SIGNALS:
    // The scene moved to another frame, or the range changed.
    void frameShown(int frame);

private:
    void showSceneTime();
    void showPlaying(bool playing);

    KvScene *scene;
    Playback *player;
    QSlider *bar;
    QLabel *frameLabel;
    QLabel *timeLabel;
    bool syncing = false;
};
