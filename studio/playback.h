#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Plays frames 0 .. frameCount - 1 in real time. Each tick reads the clock
// and shows the frame due since play started, so slow drawing skips frames
// instead of slowing down, and rounding never adds up to drift.
class Playback : public QObject
{
    Q_OBJECT
public:
    // Milliseconds from any fixed start; must not run backwards.
    using Clock = std::function<qint64()>;

    explicit Playback(QObject *parent = nullptr);

    // Tests drive time themselves; the default is a monotonic clock.
    void setClock(Clock clock);
    // Ticks (4800 a second) per frame and the frames played; playing goes on
    // from the frame shown (the last, when that is beyond them).
    void setTiming(int timeStep, int frameCount);
    int frameCount() const { return frames; }
    double framesPerSecond() const { return 4800.0 / step; }
    void setLoop(bool on) { loop = on; }
    bool loops() const { return loop; }

    bool isPlaying() const { return playing; }
    int frame() const { return current; }
    // Starts at the frame shown; from the first when the last is shown and
    // playback does not loop.
    void play();
    void pause();
    // The frame (clamped) that is shown now, by whoever moved there; while
    // playing, playback goes on from it. Not announced: the caller shows it.
    void seek(int frame);
    // Shows the frame the clock has reached; the timer calls it.
    void tick();

Q_SIGNALS:
    void frameChanged(int frame);
    void playingChanged(bool playing);

private:
    void show(int frame);
    void restartFrom(int frame);

    Clock clock;
    QElapsedTimer monotonic;
    QTimer timer;
    int step = 160;
    int frames = 1;
    bool loop = true;
    bool playing = false;
    int current = 0;
    int startFrame = 0;
    qint64 startMs = 0;
};
