#include "bvhout.h"

#include "bvhstate.h"

#include "kvapp.h"
#include "kvnode.h"

#include <QIODevice>

#include <algorithm>

namespace {

bool isExported(const CSkelHeader *record)
{
    return record->bone && record->exportFlag;
}

QString endSiteBlock(const KvNode *bone, int depth)
{
    const QString indent = CBvhOut::indentString(depth);
    return indent + QLatin1String("End Site\n") + indent + QLatin1String("{\n")
           + CBvhOut::indentString(depth + 1) + CBvhOut::offsetString(bone, true)
           + indent + QLatin1String("}\n");
}

} // namespace

QString CBvhOut::indentString(int n)
{
    // Indentation stops growing where no reader looks at it any more, so that
    // a chain thousands of bones deep writes a file linear in its bones, not
    // quadratic.
    constexpr int deepest = 64;
    return n > 0 ? QString(std::min(n, deepest), QLatin1Char('\t')) : QString();
}

QString CBvhOut::offsetString(const KvNode *node, bool useEndPoints)
{
    KvVec3 v;
    if (useEndPoints) {
        // Measured from the bone's own origin: a leaf that does not start at
        // its parent's end point (an eye under the head) keeps its length
        // and direction.
        v = node->getEndPoint() - node->getOrigin();
    } else if (const KvNode *parent = node->getNodeParent()) {
        v = node->getOrigin() - parent->getOrigin();
    } else {
        v = node->getOrigin();
    }
    return QStringLiteral("OFFSET %1 %2 %3\n")
        .arg(double(v.x), 0, 'f', 6)
        .arg(double(v.y), 0, 'f', 6)
        .arg(double(v.z), 0, 'f', 6);
}

QString CBvhOut::channelString(int count)
{
    if (count == 6)
        return QStringLiteral("CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n");
    return QStringLiteral("CHANNELS 3 Zrotation Xrotation Yrotation\n");
}

void CBvhOut::writeHierarchy(QIODevice *device)
{
    QString text = QStringLiteral("HIERARCHY\n");
    int previousLevel = 0;
    const KvNode *previousBone = nullptr;

    for (const CSkelHeader *record : bvhState().skeletonList) {
        kvApp->stepProgress(1);
        if (!isExported(record))
            continue;

        // Not deeper than the bone before: that one is a leaf. Close it and
        // its ancestors down to, not including, this record's parent.
        if (previousBone && record->level <= previousLevel) {
            text += endSiteBlock(previousBone, previousLevel);
            while (previousLevel > record->level - 1) {
                --previousLevel;
                text += indentString(previousLevel) + QLatin1String("}\n");
            }
        }

        if (record->level == 1) {
            text += QStringLiteral("ROOT %1\n").arg(record->label) + QLatin1String("{\n")
                    + indentString(1) + offsetString(record->bone, false)
                    + indentString(1) + channelString(6);
        } else {
            const QString indent = indentString(record->level - 1);
            text += indent + QStringLiteral("JOINT %1\n").arg(record->label) + indent + QLatin1String("{\n")
                    + indentString(record->level) + offsetString(record->bone, false)
                    + indentString(record->level) + channelString(3);
        }
        previousLevel = record->level;
        previousBone = record->bone;
    }

    if (previousBone) {
        text += endSiteBlock(previousBone, previousLevel);
        while (previousLevel > 0) {
            --previousLevel;
            text += indentString(previousLevel) + QLatin1String("}\n");
        }
    }
    device->write(text.toLocal8Bit());
}
