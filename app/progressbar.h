#pragma once

#include <QObject>
#include <QString>

class QTextStream;
class KvApp;

// A one-line progress bar on stderr, redrawn in place ("\r"), for a terminal
// only: a disabled bar draws nothing. It follows the host's progress (the
// plug-in's reads and writes) once attached, or is driven directly.
class ProgressBar : public QObject
{
    Q_OBJECT
public:
    ProgressBar(QTextStream &err, bool enabled);
    // Clears a bar still drawn.
    ~ProgressBar() override;

    void attach(KvApp *host);

    void start(const QString &caption, int totalSteps);
    void setValue(int value);
    void finish();

private:
    void draw(bool force);

    QTextStream &err;
    bool enabled;
    bool drawn = false;
    QString caption;
    int total = 0;
    int value = 0;
    int shownPermille = -1;
};
