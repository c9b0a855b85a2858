#include "kvfiguresource.h"

#include "kvbvhfigure.h"
#include "kvdefaultfigure.h"
#include "kvfigurefile.h"

#include <QFileInfo>

bool KvFigureSource::isDefault(const QString &source)
{
    return source.isEmpty() || source == QLatin1String("default");
}

std::optional<KvFigureDesc> KvFigureSource::load(const QString &source, QString *errorMessage)
{
    if (isDefault(source))
        return KvDefaultFigure::desc();

    const auto fail = [errorMessage](const QString &text) -> std::optional<KvFigureDesc> {
        if (errorMessage)
            *errorMessage = text;
        return std::nullopt;
    };
    const QFileInfo info(source);
    if (!info.exists())
        return fail(QStringLiteral("figure file %1 does not exist").arg(source));
    if (!info.isFile())
        return fail(QStringLiteral("figure file %1 is not a file").arg(source));
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("json"))
        return KvFigureFile::load(source, errorMessage);
    if (suffix == QLatin1String("bvh"))
        return KvBvhFigure::load(source, errorMessage);
    return fail(QStringLiteral("figure %1: expected \"default\", a figure file (.json) or a BVH file (.bvh)")
                    .arg(source));
}
