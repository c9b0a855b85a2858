#include "commands.h"

#include "optionparser.h"

#include "kvfileio.h"
#include "kvplugin.h"
#include "kvpluginloader.h"

#include <memory>
#include <vector>

namespace {

struct ClassRow
{
    QString name;
    QString kind;
    QString files;  // "BioVision Files (*.bvh)"
    QString id;
};

QString filePattern(const QString &description, const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns.append(QLatin1String("*.") + extension);
    return description + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString classId(const KvGUID &id)
{
    if (id.isLegacy())
        return QStringLiteral("id 0x%1").arg(id.legacyClassID(), 8, 16, QLatin1Char('0'));
    return QLatin1String("id ") + id.toString();
}

ClassRow describe(KvClassFactory *factory)
{
    ClassRow row{factory->getClassName(), QStringLiteral("other"), QString(), classId(factory->getClassID())};
    const std::unique_ptr<KvBase> object(factory->createInstance());
    if (!object) {
        row.kind = QStringLiteral("unavailable");
    } else if (const auto *importer = qobject_cast<const KvImporter *>(object.get())) {
        QStringList extensions;
        for (int i = 0; i < importer->getNumExtensions(); ++i)
            extensions.append(importer->getExtension(i));
        row.kind = QStringLiteral("importer");
        row.files = filePattern(importer->getDescription(), extensions);
    } else if (const auto *exporter = qobject_cast<const KvExporter *>(object.get())) {
        row.kind = QStringLiteral("exporter");
        row.files = filePattern(exporter->getDescription(), {exporter->getExtension()});
    }
    return row;
}

} // namespace

int runPluginsCommand(CommandContext &context, const QStringList &arguments)
{
    OptionParser parser;
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("plugins"),
            QStringLiteral("Describes the loaded plug-in: its name, version, author and description, then its\n"
                           "classes with the files they read or write and their class identifiers."));
        return ExitSuccess;
    }
    if (!parser.arguments().isEmpty())
        return context.usageError(QStringLiteral("plugins takes no arguments"));

    const KvPlugin *plugin = context.loader->definition();
    QTextStream &out = context.out;
    out << plugin->getName() << ' ' << plugin->getVersionString() << '\n'
        << "Author: " << plugin->getAuthor() << '\n'
        << plugin->getDescription() << '\n'
        << "Classes:\n";

    std::vector<ClassRow> rows;
    qsizetype nameWidth = 0;
    qsizetype kindWidth = 0;
    qsizetype filesWidth = 0;
    for (int i = 0; i < plugin->getNumClassFactories(); ++i) {
        if (KvClassFactory *factory = plugin->getClassFactory(i)) {
            rows.push_back(describe(factory));
            nameWidth = qMax(nameWidth, rows.back().name.size());
            kindWidth = qMax(kindWidth, rows.back().kind.size());
            filesWidth = qMax(filesWidth, rows.back().files.size());
        }
    }
    for (const ClassRow &row : rows) {
        out << "  " << row.name.leftJustified(nameWidth) << ' ' << row.kind.leftJustified(kindWidth) << "  "
            << row.files.leftJustified(filesWidth) << "  " << row.id << '\n';
    }
    out.flush();
    return ExitSuccess;
}
