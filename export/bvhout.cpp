#include "bvhout.h"

#include "kvapp.h"

CBvhOut::CBvhOut()
    : KvExporter(QString::fromLatin1("bvh"))
{
}

CBvhOut::~CBvhOut() = default;

QString CBvhOut::getDescription() const
{
    return QString::fromLatin1("BioVision Files");
}

bool CBvhOut::canExport() const
{
    return true;
}

int CBvhOut::write(const QString &, const KvFileIOSettings &)
{
    if (kvApp)
        kvApp->warning(QString::fromLatin1("BVH File Exporter"), tr("BVH export is not available yet."));
    return 0;
}
