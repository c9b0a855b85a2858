#include "timeline.h"

#include "playback.h"

#include "kvscene.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {

QAction *newAction(QWidget *owner, QStyle::StandardPixmap icon, const QString &text, const QKeySequence &key)
{
    auto *action = new QAction(owner->style()->standardIcon(icon), text, owner);
    action->setShortcut(key);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText)));
    return action;
}

QToolButton *newButton(QWidget *parent, QAction *action)
{
    auto *button = new QToolButton(parent);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

Timeline::Timeline(KvScene *scene, QWidget *parent)
    : QWidget(parent), scene(scene), player(new Playback(this)), bar(new QSlider(Qt::Horizontal, this)),
      frameLabel(new QLabel(this)), timeLabel(new QLabel(this))
{
    firstAction = newAction(this, QStyle::SP_MediaSkipBackward, tr("First Frame"), Qt::Key_Home);
    previousAction = newAction(this, QStyle::SP_MediaSeekBackward, tr("Previous Frame"), Qt::Key_Left);
    playAction = newAction(this, QStyle::SP_MediaPlay, tr("Play"), Qt::Key_Space);
    nextAction = newAction(this, QStyle::SP_MediaSeekForward, tr("Next Frame"), Qt::Key_Right);
    lastAction = newAction(this, QStyle::SP_MediaSkipForward, tr("Last Frame"), Qt::Key_End);
    loopAction = new QAction(tr("Loop"), this);
    loopAction->setCheckable(true);
    loopAction->setChecked(player->loops());
    loopAction->setToolTip(tr("Start again at the first frame after the last"));
    // Space plays wherever the focus is; the keys that move in lists and
    // fields step frames only where frames are shown (see the window).
    playAction->setShortcutContext(Qt::WindowShortcut);
    for (QAction *action : {firstAction, previousAction, nextAction, lastAction})
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addActions({firstAction, previousAction, playAction, nextAction, lastAction});

    bar->setTracking(true);
    bar->setFocusPolicy(Qt::NoFocus);
    frameLabel->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Frame 00000 / 00000")));
    timeLabel->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.000 s")));
    timeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    for (QAction *action : {firstAction, previousAction, playAction, nextAction, lastAction})
        row->addWidget(newButton(this, action));
    row->addWidget(bar, 1);
    row->addWidget(frameLabel);
    row->addWidget(timeLabel);
    auto *loopButton = newButton(this, loopAction);
    loopButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    row->addWidget(loopButton);

    connect(firstAction, &QAction::triggered, this, [this] { setFrame(0); });
    connect(previousAction, &QAction::triggered, this, [this] { setFrame(currentFrame() - 1); });
    connect(nextAction, &QAction::triggered, this, [this] { setFrame(currentFrame() + 1); });
    connect(lastAction, &QAction::triggered, this, [this] { setFrame(frameCount() - 1); });
    connect(playAction, &QAction::triggered, this, [this] {
        if (player->isPlaying())
            player->pause();
        else
            player->play();
    });
    connect(loopAction, &QAction::toggled, player, &Playback::setLoop);
    connect(player, &Playback::playingChanged, this, &Timeline::showPlaying);
    connect(player, &Playback::frameChanged, this, [this](int frame) { this->scene->setTime(tickOfFrame(frame)); });
    connect(bar, &QSlider::valueChanged, this, [this](int frame) {
        if (!syncing)
            setFrame(frame);
    });
    connect(scene, &KvScene::timeChanged, this, &Timeline::showSceneTime);
    refresh();
}

void Timeline::refresh()
{
    player->setTiming(scene->getTimeStep(), frameCount());
    syncing = true;
    bar->setRange(0, frameCount() - 1);
    bar->setPageStep(std::max(1, int(4800 / scene->getTimeStep())));
    syncing = false;
    showSceneTime();
}

int Timeline::frameCount() const
{
    const KvTimeRange range = scene->getAnimRange();
    const int step = scene->getTimeStep();
    return std::max(1, range.end / step - range.start / step);
}

int Timeline::currentFrame() const
{
    return frameOfTick(scene->getTime());
}

int Timeline::frameOfTick(int ticks) const
{
    const int offset = ticks - scene->getAnimRange().start;
    // Whole frames toward the past, also before the start.
    const int frame = offset >= 0 ? offset / scene->getTimeStep() : -((-offset + scene->getTimeStep() - 1) / scene->getTimeStep());
    return std::clamp(frame, 0, frameCount() - 1);
}

int Timeline::tickOfFrame(int frame) const
{
    return scene->getAnimRange().start + std::clamp(frame, 0, frameCount() - 1) * scene->getTimeStep();
}

void Timeline::setFrame(int frame)
{
    frame = std::clamp(frame, 0, frameCount() - 1);
    player->seek(frame);
    scene->setTime(tickOfFrame(frame));
    // Equal times are not announced; the frame may still be new to the slider.
    showSceneTime();
}

void Timeline::showSceneTime()
{
    const int frame = currentFrame();
    // Playback's own frames are already where it is; anyone else moved the
    // scene, and playback goes on from there.
    if (frame != player->frame())
        player->seek(frame);
    syncing = true;
    bar->setValue(frame);
    syncing = false;
    frameLabel->setText(tr("Frame %1 / %2").arg(frame).arg(frameCount() - 1));
    const double seconds = (scene->getTime() - scene->getAnimRange().start) / 4800.0;
    timeLabel->setText(tr("%1 s").arg(seconds, 0, 'f', 3));
    Q_EMIT frameShown(frame);
}

void Timeline::showPlaying(bool playing)
{
    playAction->setText(playing ? tr("Pause") : tr("Play"));
    playAction->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}
