#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"

#include "kvmapstore.h"

#include "kvapp.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString synopsis = QStringLiteral("maps list | show NAME | delete NAME | export NAME FILE | import FILE NAME");

int showMap(CommandContext &context, const KvMapStore &store, const QString &name)
{
    QString error;
    if (!checkStoredMap(store, name, &error))
        return context.fail(error);
    context.out << QString::fromUtf8(KvMapStore::toFileText(*store.data(name)));
    context.out.flush();
    return ExitSuccess;
}

int exportMap(CommandContext &context, const KvMapStore &store, const QString &name, const QString &path)
{
    QString error;
    if (!checkStoredMap(store, name, &error) || !checkOutputFile(path, &error))
        return context.fail(error);
    const QByteArray text = KvMapStore::toFileText(*store.data(name));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return context.fail(QStringLiteral("%1: cannot write: %2").arg(path, file.errorString()));
    if (!context.quiet)
        context.out << "Wrote map \"" << name << "\" to " << path << Qt::endl;
    return ExitSuccess;
}

int importMap(CommandContext &context, KvMapStore &store, const QString &path, const QString &name)
{
    QString error;
    if (!checkInputFile(path, &error))
        return context.fail(error);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return context.fail(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    const std::optional<QString> data = KvMapStore::fromFileText(file.readAll(), path, &error);
    if (!data)
        return context.fail(error);
    const bool replaced = store.save(name, *data);
    if (!context.quiet) {
        context.out << (replaced ? "Replaced" : "Stored") << " map \"" << name << "\" ("
                    << KvMapStore::pairs(*data).size() << " pairs)" << Qt::endl;
    }
    return ExitSuccess;
}

} // namespace

int runMapsCommand(CommandContext &context, const QStringList &arguments)
{
    OptionParser parser;
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            synopsis,
            QStringLiteral("The named name maps in the settings store, shared with the plug-in's dialogs:\n"
                           "  list                  the stored names, one a line\n"
                           "  show NAME             the map's pairs, one \"joint=bone;\" a line\n"
                           "  delete NAME           forget the map\n"
                           "  export NAME FILE      write the map to a file, as show prints it\n"
                           "  import FILE NAME      store a map file under NAME (replacing one of that name)"));
        return ExitSuccess;
    }
    const QStringList args = parser.arguments();
    const QString action = args.value(0);
    struct Action
    {
        const char *name;
        int argumentCount;
    };
    static const Action actions[] = {{"list", 0}, {"show", 1}, {"delete", 1}, {"export", 2}, {"import", 2}};
    const Action *chosen = nullptr;
    for (const Action &candidate : actions) {
        if (action == QLatin1String(candidate.name))
            chosen = &candidate;
    }
    if (!chosen)
        return context.usageError(action.isEmpty() ? QStringLiteral("maps needs an action: ") + synopsis
                                                   : QStringLiteral("unknown maps action %1").arg(action));
    if (args.size() != chosen->argumentCount + 1)
        return context.usageError(QStringLiteral("usage: kvbvh ") + synopsis);

    KvMapStore store(context.host->getAppSettingsMgr());
    store.seedShippedMaps();
    if (action == QLatin1String("list")) {
        for (const QString &name : store.names())
            context.out << name << '\n';
        context.out.flush();
        return ExitSuccess;
    }
    if (action == QLatin1String("show"))
        return showMap(context, store, args.at(1));
    if (action == QLatin1String("delete")) {
        if (!store.remove(args.at(1))) {
            QString error;
            checkStoredMap(store, args.at(1), &error);
            return context.fail(error);
        }
        if (!context.quiet)
            context.out << "Deleted map \"" << args.at(1) << '"' << Qt::endl;
        return ExitSuccess;
    }
    if (action == QLatin1String("export"))
        return exportMap(context, store, args.at(1), args.at(2));
    if (!KvMapStore::isValidName(args.at(2)))
        return context.usageError(QStringLiteral("a map name must not contain \";\""));
    return importMap(context, store, args.at(1), args.at(2));
}
