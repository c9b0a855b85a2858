#include "bvhout.h"

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
