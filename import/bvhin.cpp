#include "bvhin.h"

#include <QFile>
#include <QRegularExpression>

CBvhIn::CBvhIn() = default;

CBvhIn::~CBvhIn() = default;

bool CBvhIn::recognize(const QString &path)
{
    // What the wildcard "*.bvh" finds anywhere in the path, in any case: a
    // directory called "take.bvh" counts as much as the file's own suffix.
    static const QRegularExpression bvhPattern(QString::fromLatin1("\\.bvh"),
                                               QRegularExpression::CaseInsensitiveOption);
    if (!bvhPattern.match(path).hasMatch())
        return false;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray firstLine = file.readLine();
    file.close();
    // A lone CR ends the line too (files written on old Macs).
    const qsizetype cr = firstLine.indexOf('\r');
    if (cr >= 0)
        firstLine.truncate(cr);
    return firstLine.contains("HIERARCHY");
}

int CBvhIn::getNumExtensions() const
{
    return 1;
}

QString CBvhIn::getExtension(int) const
{
    return QString::fromLatin1("bvh");
}

QString CBvhIn::getDescription() const
{
    return QString::fromLatin1("BioVision Files");
}

QStringList CBvhIn::getPostIONotes() const
{
    if (standUp == 1)
        return {tr("The file stands along Z: its motion was turned to stand along Y.")};
    return {};
}
