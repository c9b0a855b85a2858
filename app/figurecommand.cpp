#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"

#include "kvfiguresource.h"

#include "kvfigurefile.h"

#include <QFileInfo>

int runFigureCommand(CommandContext &context, const QStringList &arguments)
{
    QString output;
    bool force = false;
    OptionParser parser;
    parser.addValue(QStringLiteral("output"), QLatin1Char('o'), QStringLiteral("FIG.json"), &output,
                    QStringLiteral("the figure file to write"));
    parser.addFlag(QStringLiteral("force"), QChar(), &force, QStringLiteral("replace FIG.json when it exists"));
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("figure export [default|FIG] -o FIG.json [--force]"),
            QStringLiteral("Writes a figure file (docs/figure-format.md) to start one's own figure from: the\n"
                           "built-in default figure (default, or nothing), or the figure --figure takes from\n"
                           "FIG, a figure file (.json) or a BVH file whose skeleton becomes the figure. A figure\n"
                           "file is edited by hand, so one that exists is replaced only with --force."));
        return ExitSuccess;
    }
    const QStringList args = parser.arguments();
    if (args.isEmpty())
        return context.usageError(QStringLiteral("figure needs an action: export"));
    if (args.first() != QLatin1String("export"))
        return context.usageError(QStringLiteral("unknown figure action %1").arg(args.first()));
    if (args.size() > 2)
        return context.usageError(QStringLiteral("figure export takes one figure"));
    if (output.isEmpty())
        return context.usageError(QStringLiteral("figure export needs -o FIG.json"));

    QString error;
    if (!checkOutputFile(output, &error))
        return context.fail(error);
    if (!force && QFileInfo::exists(output))
        return context.fail(QStringLiteral("%1: the file exists; --force overwrites it").arg(output));
    const std::optional<KvFigureDesc> figure = KvFigureSource::load(args.value(1), &error);
    if (!figure || !KvFigureFile::save(*figure, output, &error))
        return context.fail(error);
    if (!context.quiet) {
        context.out << "Wrote figure \"" << (figure->label.isEmpty() ? figure->name : figure->label) << "\" ("
                    << figure->bones.size() << " bones) to " << output << Qt::endl;
    }
    return ExitSuccess;
}
