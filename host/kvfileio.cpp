#include "kvfileio.h"

KvFileIO::KvFileIO(QObject *parent)
    : KvBase(parent)
{
}

bool KvFileIO::getOptions(KvFileIOSettings &, bool) const
{
    return true;
}

void KvFileIO::startIO()
{
    ioActive = true;
    Q_EMIT ioStarted();
}

void KvFileIO::finishIO()
{
    ioActive = false;
    Q_EMIT ioFinished();
}

QStringList KvFileIO::getPostIONotes() const
{
    return {};
}

QString KvFileIO::getPreIOErrorString() const
{
    return QString();
}

KvImporter::KvImporter()
    : KvFileIO(nullptr)
{
}

KvExporter::KvExporter(const QString &extension)
    : KvFileIO(nullptr), extension(extension)
{
}
