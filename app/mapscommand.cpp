#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"

#include "kvmapstore.h"
#include "kvsavefile.h"

#include "kvapp.h"

#include <QFile>
#include <QFileInfo>

bool checkNewMapName(const KvMapStore &store, const QString &name, QString *errorMessage)
{
    if (!store.contains(name))
        return true;
    *errorMessage = QStringLiteral("a map named \"%1\" is already stored; --force overwrites it").arg(name);
    return false;
}

namespace {

const QString synopsis = QStringLiteral(
    "maps list | show NAME | delete NAME | export NAME FILE | import FILE NAME [--force] | restore [NAME]");

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
    QString reason;
    if (!kvWriteFile(path, text, &reason))
        return context.fail(QStringLiteral("%1: cannot write: %2").arg(path, reason));
    if (!context.quiet)
        context.out << "Wrote map \"" << name << "\" to " << path << Qt::endl;
    return ExitSuccess;
}

int importMap(CommandContext &context, KvMapStore &store, const QString &path, const QString &name, bool force)
{
    QString error;
    if (!checkInputFile(path, &error) || (!force && !checkNewMapName(store, name, &error)))
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

int restoreMaps(CommandContext &context, KvMapStore &store, const QString &name)
{
    const QStringList shipped = KvMapStore::shippedMapNames();
    if (!name.isEmpty() && !shipped.contains(name)) {
        return context.fail(QStringLiteral("no shipped map named \"%1\" (shipped: %2)")
                                .arg(name, shipped.join(QLatin1String(", "))));
    }
    for (const QString &restored : name.isEmpty() ? shipped : QStringList{name}) {
        store.restoreShippedMap(restored);
        if (!context.quiet)
            context.out << "Restored map \"" << restored << "\" as shipped" << Qt::endl;
    }
    return ExitSuccess;
}

} // namespace

int runMapsCommand(CommandContext &context, const QStringList &arguments)
{
    bool force = false;
    OptionParser parser;
    parser.addFlag(QStringLiteral("force"), QChar(), &force,
                   QStringLiteral("import: replace a stored map of the same name"));
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
                           "  import FILE NAME      store a map file under NAME (--force replaces a stored one)\n"
                           "  restore [NAME]        put back the shipped maps (or the one named) as shipped"));
        return ExitSuccess;
    }
    const QStringList args = parser.arguments();
    const QString action = args.value(0);
    struct Action
    {
        const char *name;
        int minArguments;
        int maxArguments;
        const char *arguments;  // as the synopsis shows them
    };
    static const Action actions[] = {
        {"list", 0, 0, ""},
        {"show", 1, 1, " NAME"},
        {"delete", 1, 1, " NAME"},
        {"export", 2, 2, " NAME FILE"},
        {"import", 2, 2, " FILE NAME"},
        {"restore", 0, 1, " [NAME]"},
    };
    const Action *chosen = nullptr;
    for (const Action &candidate : actions) {
        if (action == QLatin1String(candidate.name))
            chosen = &candidate;
    }
    if (!chosen)
        return context.usageError(action.isEmpty() ? QStringLiteral("maps needs an action")
                                                   : QStringLiteral("unknown maps action %1").arg(action));
    const qsizetype count = args.size() - 1;
    if (count < chosen->minArguments || count > chosen->maxArguments) {
        return context.usageError(QStringLiteral("maps %1 takes%2")
                                      .arg(action, *chosen->arguments ? QString::fromLatin1(chosen->arguments)
                                                                      : QStringLiteral(" no arguments")));
    }
    if (force && action != QLatin1String("import"))
        return context.usageError(QStringLiteral("--force goes with maps import"));

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
    if (action == QLatin1String("restore"))
        return restoreMaps(context, store, args.value(1));
    if (!KvMapStore::isValidName(args.at(2)))
        return context.usageError(QStringLiteral("a map name must not contain \";\""));
    return importMap(context, store, args.at(1), args.at(2), force);
}
