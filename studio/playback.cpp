#include "playback.h"

#include <algorithm>

Playback::Playback(QObject *parent) : QObject(parent)
{
    monotonic.start();
    clock = [this] { return monotonic.elapsed(); };
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &Playback::tick);
}

void Playback::setClock(Clock newClock)
{
    clock = std::move(newClock);
    restartFrom(current);
}

void Playback::setTiming(int timeStep, int frameCount)
{
    step = std::max(1, timeStep);
    frames = std::max(1, frameCount);
    // Twice a frame, within what a screen can show.
    timer.setInterval(std::clamp(int(step * 1000 / 4800 / 2), 4, 20));
    current = std::min(current, frames - 1);
    restartFrom(current);
}

void Playback::play()
{
    if (playing)
        return;
    if (!loop && current >= frames - 1)
        show(0);
    playing = true;
    restartFrom(current);
    timer.start();
    Q_EMIT playingChanged(true);
}

void Playback::pause()
{
    if (!playing)
        return;
    playing = false;
    timer.stop();
    Q_EMIT playingChanged(false);
}

void Playback::seek(int frame)
{
    current = std::clamp(frame, 0, frames - 1);
    restartFrom(current);
}

void Playback::tick()
{
    if (!playing)
        return;
    const qint64 elapsedMs = std::max<qint64>(0, clock() - startMs);
    // Whole frames since the start: elapsed ticks over ticks per frame.
    const qint64 due = startFrame + elapsedMs * 4800 / (1000 * qint64(step));
    if (loop) {
        show(int(due % frames));
    } else if (due >= frames - 1) {
        show(frames - 1);
        pause();
    } else {
        show(int(due));
    }
}

void Playback::show(int frame)
{
    if (frame == current)
        return;
    current = frame;
    Q_EMIT frameChanged(frame);
}

void Playback::restartFrom(int frame)
{
    startFrame = frame;
    startMs = clock();
}
