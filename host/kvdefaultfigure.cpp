#include "kvdefaultfigure.h"

#include "kvfigurefile.h"
#include "kvnode.h"

#include <QFile>

namespace {

const QString resourcePath = QStringLiteral(":/kvcore/defaultfigure.json");

KvFigureDesc loadEmbedded()
{
    QString error;
    std::optional<KvFigureDesc> desc = KvFigureFile::load(resourcePath, &error);
    // The file is part of the library: failing to read it is a build fault.
    Q_ASSERT_X(desc, "KvDefaultFigure", qPrintable(error));
    if (!desc) {
        qWarning("KvDefaultFigure: %s", qPrintable(error));
        return KvFigureDesc();
    }
    return *std::move(desc);
}

} // namespace

const KvFigureDesc &KvDefaultFigure::desc()
{
    static const KvFigureDesc figure = loadEmbedded();
    return figure;
}

std::unique_ptr<KvSkeleton> KvDefaultFigure::build()
{
    return KvFigureBuilder::build(desc());
}
