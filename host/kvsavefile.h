#pragma once

#include "kvcore_global.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <memory>

// Files written whole or not at all. A regular file (or a new one) goes
// through a save-file that replaces the target only once every byte is
// written; a device or a pipe cannot be replaced by a rename and is written
// in place.
//
// Qt 6.4's QSaveFile::commit() renames the file even when its final flush
// fails (a full disk), and reports success; kvFinishWriting flushes first and
// cancels the save when that fails, so a failed write never replaces the old
// file nor passes for a success.

// The target opened for writing (extra: e.g. QIODevice::Text); null, with
// the reason in errorString when given, when it cannot be opened.
KVCORE_EXPORT std::unique_ptr<QFileDevice> kvOpenForWriting(const QString &path, QIODevice::OpenMode extra = {},
                                                            QString *errorString = nullptr);
// Whether every byte reached the target; replaces a regular file only then.
KVCORE_EXPORT bool kvFinishWriting(QFileDevice &file);
// bytes as the whole content of path; on failure errorString (when given)
// says why and the previous file is as it was.
KVCORE_EXPORT bool kvWriteFile(const QString &path, const QByteArray &bytes, QString *errorString = nullptr);
