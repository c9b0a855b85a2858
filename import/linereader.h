#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

// Splits a device's bytes into lines that end at LF, CRLF or a lone CR, as
// BVH files written on any platform do. The last line needs no line end; an
// empty device has no lines. Reads in large blocks and copies nothing per
// line.
class CLineReader
{
public:
    // The device must be open for reading; it is not owned.
    explicit CLineReader(QIODevice *device);

    // The next line without its line end, valid until the next call; false
    // when the device has no more lines.
    bool readLine(QByteArrayView &line);

private:
    // Keeps the unread bytes and appends the next block; false at the end.
    bool fill();

    QIODevice *device;
    QByteArray buffer;
    qsizetype start = 0;      // first unread byte in buffer
    qsizetype scanned = 0;    // bytes from start known to hold no line end
    qsizetype nextLf = -1;    // first LF at or after start + scanned, size if none; -1 unknown
    bool atEnd = false;
};
