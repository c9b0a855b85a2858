#include "kvsavefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

std::unique_ptr<QFileDevice> kvOpenForWriting(const QString &path, QIODevice::OpenMode extra, QString *errorString)
{
    const QFileInfo info(path);
    std::unique_ptr<QFileDevice> file;
    if (info.exists() && !info.isFile() && !info.isDir())
        file = std::make_unique<QFile>(path);
    else
        file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | extra)) {
        if (errorString)
            *errorString = file->errorString();
        return nullptr;
    }
    return file;
}

bool kvFinishWriting(QFileDevice &file)
{
    // Closing a device forgets an earlier write error, so it is read before.
    const bool flushed = file.flush() && file.error() == QFileDevice::NoError;
    if (auto *saveFile = qobject_cast<QSaveFile *>(&file)) {
        if (!flushed)
            saveFile->cancelWriting();
        return saveFile->commit() && flushed;
    }
    file.close();
    return flushed && file.error() == QFileDevice::NoError;
}

bool kvWriteFile(const QString &path, const QByteArray &bytes, QString *errorString)
{
    const std::unique_ptr<QFileDevice> file = kvOpenForWriting(path, {}, errorString);
    if (!file)
        return false;
    // The reason is read before finishing, which may cancel the save and
    // replace it with its own.
    const bool written = file->write(bytes) == bytes.size() && file->flush() && file->error() == QFileDevice::NoError;
    const QString reason = file->errorString();
    if (kvFinishWriting(*file) && written)
        return true;
    if (errorString)
        *errorString = reason;
    return false;
}
