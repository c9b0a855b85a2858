#include "progressbar.h"

#include "kvapp.h"

#include <QTextStream>

namespace {

constexpr int barWidth = 30;
constexpr int captionWidth = 40;

} // namespace

ProgressBar::ProgressBar(QTextStream &err, bool enabled) : err(err), enabled(enabled)
{
}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::attach(KvApp *host)
{
    connect(host, &KvApp::progressStarted, this, &ProgressBar::start);
    connect(host, &KvApp::progressStepped, this, [this](int steps, int) { setValue(steps); });
    connect(host, &KvApp::progressFinished, this, &ProgressBar::finish);
}

void ProgressBar::start(const QString &text, int totalSteps)
{
    caption = text;
    total = qMax(totalSteps, 0);
    value = 0;
    shownPermille = -1;
    draw(true);
}

void ProgressBar::setValue(int steps)
{
    value = steps;
    draw(false);
}

void ProgressBar::finish()
{
    if (!enabled || !drawn)
        return;
    // Blank the line, so that what follows starts clean.
    err << '\r' << QString(captionWidth + barWidth + 10, QLatin1Char(' ')) << '\r';
    err.flush();
    drawn = false;
}

void ProgressBar::draw(bool force)
{
    if (!enabled)
        return;
    const int permille = total > 0 ? int(qBound(qint64(0), qint64(value) * 1000 / total, qint64(1000))) : 0;
    // Redrawn only when the bar visibly moves: a terminal is slow to write to.
    if (!force && permille / 5 == shownPermille / 5)
        return;
    shownPermille = permille;
    const int filled = permille * barWidth / 1000;
    QString text = caption;
    if (text.size() > captionWidth)
        text = text.left(captionWidth - 3) + QLatin1String("...");
    err << '\r' << text.leftJustified(captionWidth) << " [" << QString(filled, QLatin1Char('#'))
        << QString(barWidth - filled, QLatin1Char('.')) << "] " << QString::number(permille / 10).rightJustified(3)
        << '%';
    err.flush();
    drawn = true;
}
