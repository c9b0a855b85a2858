#include "linereader.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype blockSize = 1 << 20;

} // namespace

CLineReader::CLineReader(QIODevice *device)
    : device(device)
{
}

bool CLineReader::readLine(QByteArrayView &line)
{
    for (;;) {
        const char *data = buffer.constData();
        const qsizetype size = buffer.size();
        const qsizetype from = start + scanned;
        // memchr is much faster than a loop over the bytes. The next LF is
        // remembered: in a file of CR-only lines it lies far ahead (or
        // nowhere), and searching for it again on every line would cost
        // time quadratic in the block size.
        if (nextLf < from) {
            const void *lf = memchr(data + from, '\n', size_t(size - from));
            nextLf = lf ? static_cast<const char *>(lf) - data : size;
        }
        const void *cr = memchr(data + from, '\r', size_t(nextLf - from));
        const qsizetype end = cr ? static_cast<const char *>(cr) - data : nextLf;

        if (end < size) {
            qsizetype next = end + 1;
            if (data[end] == '\r') {
                // A CR at the end of the block may be the first half of a CRLF.
                if (next == size && !atEnd) {
                    scanned = end - start;
                    fill();
                    continue;
                }
                if (next < size && data[next] == '\n')
                    ++next;
            }
            line = QByteArrayView(data + start, end - start);
            start = next;
            scanned = 0;
            return true;
        }

        scanned = end - start;
        if (!atEnd) {
            fill();
            continue;
        }
        if (start < size) {
            line = QByteArrayView(data + start, size - start);
            start = size;
            scanned = 0;
            return true;
        }
        return false;
    }
}

bool CLineReader::fill()
{
    if (atEnd)
        return false;
    if (start > 0) {
        buffer.remove(0, start);
        start = 0;
    }
    nextLf = -1;
    const qsizetype kept = buffer.size();
    buffer.resize(kept + blockSize);
    const qint64 got = device->read(buffer.data() + kept, blockSize);
    buffer.resize(kept + std::max<qint64>(got, 0));
    if (got <= 0)
        atEnd = true;
    return got > 0;
}
