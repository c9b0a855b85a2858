#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"

#include "kvbvhscan.h"

#include <QMap>

#include <algorithm>
#include <cmath>

int runInfoCommand(CommandContext &context, const QStringList &arguments)
{
    OptionParser parser;
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("info IN.bvh"),
            QStringLiteral("Describes a BVH file: its joints with their channels and rotation orders, the\n"
                           "frame count and time, the duration, the up and arm axes of the rest pose, and what\n"
                           "is unusual in it, each with its line number."));
        return ExitSuccess;
    }
    if (parser.arguments().size() != 1)
        return context.usageError(QStringLiteral("info takes one BVH file"));

    const QString input = parser.arguments().first();
    QString error;
    if (!checkInputFile(input, &error))
        return context.fail(error);
    const std::optional<KvBvhScan> scan = KvBvhScan::scan(input, &error);
    if (!scan)
        return context.fail(error);

    QTextStream &out = context.out;
    out << input << '\n';
    out << "Joints: " << scan->joints.size() << ", End Sites: " << scan->endSites << ", channels: "
        << scan->channelCount << '\n';
    const int lineWidth = int(QString::number(scan->joints.empty() ? 1 : scan->joints.back().line).size());
    // Names indented by depth, up to a point: a chain thousands deep would
    // otherwise print more blanks than names.
    const auto indent = [](const KvBvhJoint &joint) { return 2 * std::min(joint.depth, 64); };
    qsizetype nameWidth = 0;
    for (const KvBvhJoint &joint : scan->joints)
        nameWidth = qMax(nameWidth, indent(joint) + joint.name.size());
    QMap<QString, int> orders;
    for (const KvBvhJoint &joint : scan->joints) {
        const QString name = QString(indent(joint), QLatin1Char(' ')) + joint.name;
        out << "  line " << QString::number(joint.line).rightJustified(lineWidth) << "  " << name.leftJustified(nameWidth)
            << "  " << joint.channels.join(QLatin1Char(' ')) << '\n';
        if (!joint.rotationOrder.isEmpty())
            ++orders[joint.rotationOrder];
    }
    QStringList orderTexts;
    for (auto it = orders.cbegin(); it != orders.cend(); ++it)
        orderTexts.append(QStringLiteral("%1 x%2").arg(it.key()).arg(it.value()));
    out << "Rotation orders (channel order): " << (orderTexts.isEmpty() ? QStringLiteral("none") : orderTexts.join(QLatin1String(", ")))
        << '\n';

    if (scan->framesDeclared >= 0)
        out << "Frames: " << scan->framesDeclared << " (line " << scan->framesLine << "), " << scan->frameLines
            << " frame lines\n";
    else
        out << "Frames: no Frames line, " << scan->frameLines << " frame lines\n";
    if (scan->frameTimeLine > 0) {
        out << "Frame time: " << scan->frameTimeText << " s, "
            << QString::number(1.0 / scan->frameTimeSeconds, 'f', 2) << " fps (line " << scan->frameTimeLine << ")\n";
        out << "Duration: " << QString::number(scan->durationSeconds(), 'f', 3) << " s\n";
    } else {
        out << "Frame time: none\nDuration: unknown\n";
    }
    const auto jointName = [&](int index) { return scan->joints[size_t(index)].name; };
    if (!scan->upAxis.isEmpty()) {
        int root = scan->headJoint;
        while (scan->joints[size_t(root)].parent >= 0)
            root = scan->joints[size_t(root)].parent;
        out << "Up axis: " << scan->upAxis << " (" << jointName(root) << " to " << jointName(scan->headJoint) << ")\n";
    } else {
        out << "Up axis: unknown (no joint named like a head)\n";
    }
    if (!scan->armAxis.isEmpty()) {
        out << "Arm axis: " << scan->armAxis << " (" << jointName(scan->leftUpperArmJoint) << " to "
            << jointName(scan->leftHandJoint) << "), arms along "
            << (scan->armAxis.endsWith(QLatin1Char('X')) ? "X" : scan->armAxis.endsWith(QLatin1Char('Y')) ? "Y" : "Z")
            << '\n';
    } else {
        out << "Arm axis: unknown (no joint named like a left hand)\n";
    }

    out << "Unusual:";
    if (scan->issues.empty())
        out << " nothing";
    out << '\n';
    for (const KvBvhIssue &issue : scan->issues)
        out << "  line " << issue.line << ": " << issue.text << '\n';
    out.flush();
    return ExitSuccess;
}
