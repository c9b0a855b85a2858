#include "kvpluginrunner.h"

#include "kvapp.h"
#include "kvfileio.h"
#include "kvnode.h"
#include "kvpluginloader.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QDialog>
#include <QHash>
#include <QScopeGuard>
#include <QTreeWidget>

#include <memory>

namespace {

// Run settings the plug-in reads for one batch run.
const QString mapKey = QStringLiteral("Map");
const QString frameKey = QStringLiteral("Frame Opt");
const QString inPlaceKey = QStringLiteral("InPlace Opt");
const QString limitsKey = QStringLiteral("Limits Opt");
const QString secondLifeKey = QStringLiteral("Second Life Opt");
const QString upAxisKey = QStringLiteral("Up Axis");

// The mapping dialog's two lists, told apart by their headers.
QTreeWidget *listTitled(QDialog *dialog, const QString &title)
{
    for (QTreeWidget *tree : dialog->findChildren<QTreeWidget *>()) {
        if (tree->headerItem() && tree->headerItem()->text(0) == title)
            return tree;
    }
    return nullptr;
}

// What a host without windows does with a dialog: accept it through its own
// accept(), so that the dialog's checks and commits run as for a user.
int acceptAsBuilt(QDialog *dialog)
{
    dialog->setResult(QDialog::Rejected);
    dialog->accept();
    return dialog->result();
}

void readRows(QTreeWidget *files, QTreeWidget *figure, QList<KvJointRow> &rows)
{
    // Pre-order without recursion: files may nest joints thousands deep.
    std::vector<std::pair<QTreeWidgetItem *, int>> pending;
    for (int i = files->topLevelItemCount() - 1; i >= 0; --i)
        pending.emplace_back(files->topLevelItem(i), 0);
    while (!pending.empty()) {
        const auto [item, depth] = pending.back();
        pending.pop_back();
        KvJointRow row;
        row.joint = item->text(0);
        row.depth = depth;
        row.checked = item->checkState(0) == Qt::Checked;
        if (figure) {
            // Selecting a joint selects its bone in the figure list.
            files->clearSelection();
            files->setCurrentItem(item);
            if (QTreeWidgetItem *bone = figure->selectedItems().value(0))
                row.bone = bone->text(0);
        }
        rows.append(row);
        for (int i = item->childCount() - 1; i >= 0; --i)
            pending.emplace_back(item->child(i), depth + 1);
    }
    if (figure)
        files->clearSelection();
}

// Whether bone or any bone below it holds a key.
bool hasKeys(const KvNode *bone)
{
    std::vector<const KvNode *> pending{bone};
    while (!pending.empty()) {
        const KvNode *node = pending.back();
        pending.pop_back();
        for (int c = 0; c < 9; ++c) {
            if (node->getControl(c)->getNumKeys() > 0)
                return true;
        }
        for (int i = 0; i < node->getNumNodeChildren(); ++i)
            pending.push_back(node->getNodeChild(i));
    }
    return false;
}

// Switches off, in the export dialog's bone list, every branch without keys,
// as a user would: a press on its export mark.
void leaveOutUnkeyed(QTreeWidget *bones, const KvSkeleton *skeleton)
{
    // The first bone of each name, as findBone would find it, without a
    // search through the whole figure per row.
    QList<KvBone *> all;
    skeleton->getAllBones(all);
    QHash<QString, const KvNode *> boneNamed;
    for (const KvBone *bone : all) {
        if (!boneNamed.contains(bone->getName()))
            boneNamed.insert(bone->getName(), bone);
    }
    std::vector<QTreeWidgetItem *> pending;
    for (int i = 0; i < bones->topLevelItemCount(); ++i)
        pending.push_back(bones->topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem *item = pending.back();
        pending.pop_back();
        const KvNode *bone = boneNamed.value(item->text(0), nullptr);
        if (bone && !hasKeys(bone)) {
            Q_EMIT bones->itemPressed(item, 2);
            continue;
        }
        for (int i = 0; i < item->childCount(); ++i)
            pending.push_back(item->child(i));
    }
}

} // namespace

KvPluginRunner::KvPluginRunner(KvApp *host, const KvPluginLoader *loader) : host(host), loader(loader)
{
    Q_ASSERT(host && loader);
}

QString KvPluginRunner::lastMessage(const QString &fallback) const
{
    return lastMessages.isEmpty() ? fallback : lastMessages.last().section(QLatin1String(": "), 1);
}

int KvPluginRunner::runImport(const QString &path, KvSkeleton *skeleton, const KvImportOptions &options,
                              const MappingHandler &onMapping)
{
    lastMessages.clear();
    const std::unique_ptr<KvImporter> importer(loader->createImporter());
    if (!importer)
        return -1;

    KvFileIOSettings settings;
    if (!options.mapName.isEmpty())
        settings.setValue(mapKey, options.mapName);
    settings.setValue(frameKey, options.followFileTiming);
    settings.setValue(inPlaceKey, options.inPlace);
    settings.setValue(limitsKey, options.limits);
    settings.setValue(upAxisKey, options.upAxis);

    const auto dialogs = [&](QDialog *dialog) {
        if (QTreeWidget *files = listTitled(dialog, QStringLiteral("File Nodes")))
            return onMapping(dialog, files, listTitled(dialog, QStringLiteral("Figure Nodes")));
        return acceptAsBuilt(dialog);
    };
    lastNotes.clear();
    const int result = runOnFigure(skeleton, dialogs, [&] { return importer->read(path, settings); });
    if (result == 1)
        lastNotes = importer->getPostIONotes();
    return result;
}

int KvPluginRunner::runOnFigure(KvSkeleton *skeleton, const KvApp::DialogHandler &dialogs,
                                const std::function<int()> &operation)
{
    // A window host may have a handler of its own: it is put back after.
    const KvApp::DialogHandler previous = host->currentDialogHandler();
    host->setDialogHandler(dialogs);
    const QMetaObject::Connection collect = QObject::connect(
        host, &KvApp::message, host,
        [this](const QString &title, const QString &text) { lastMessages.append(title + QLatin1String(": ") + text); });
    const auto restore = qScopeGuard([&] {
        QObject::disconnect(collect);
        host->setDialogHandler(previous);
    });

    host->getScene()->selectNode(skeleton);
    return operation();
}

bool KvPluginRunner::importFile(const QString &path, KvSkeleton *skeleton, const KvImportOptions &options,
                                QList<KvJointRow> *rows, QString *errorMessage)
{
    const int result = runImport(path, skeleton, options, [rows](QDialog *dialog, QTreeWidget *files, QTreeWidget *) {
        if (rows) {
            rows->clear();
            readRows(files, nullptr, *rows);
        }
        return acceptAsBuilt(dialog);
    });
    if (result == 1)
        return true;
    if (errorMessage)
        *errorMessage = result < 0 ? QStringLiteral("the plug-in has no importer") : lastMessage(QStringLiteral("the import stopped"));
    return false;
}

std::optional<QList<KvJointRow>> KvPluginRunner::readMapping(const QString &path, KvSkeleton *skeleton,
                                                             const KvImportOptions &options, QString *errorMessage)
{
    std::optional<QList<KvJointRow>> rows;
    const int result = runImport(path, skeleton, options, [&rows](QDialog *, QTreeWidget *files, QTreeWidget *figure) {
        rows.emplace();
        readRows(files, figure, *rows);
        // Cancelled here, the import writes no key.
        return int(QDialog::Rejected);
    });
    if (!rows && errorMessage) {
        *errorMessage = result < 0 ? QStringLiteral("the plug-in has no importer")
                                   : lastMessage(QStringLiteral("the plug-in showed no mapping for this file"));
    }
    return rows;
}

bool KvPluginRunner::exportFile(const QString &path, KvSkeleton *skeleton, const KvExportOptions &options,
                                QString *errorMessage)
{
    lastMessages.clear();
    const std::unique_ptr<KvExporter> exporter(loader->createExporter());
    if (!exporter) {
        if (errorMessage)
            *errorMessage = QStringLiteral("the plug-in has no exporter");
        return false;
    }
    KvFileIOSettings settings;
    if (!options.exportMap.isEmpty())
        settings.setValue(mapKey, options.exportMap);
    settings.setValue(secondLifeKey, options.secondLife);

    const auto dialogs = [&](QDialog *dialog) {
        QTreeWidget *bones = listTitled(dialog, QStringLiteral("Figure Nodes"));
        if (options.keyedBonesOnly && bones)
            leaveOutUnkeyed(bones, skeleton);
        return acceptAsBuilt(dialog);
    };
    if (runOnFigure(skeleton, dialogs, [&] { return exporter->write(path, settings); }) == 1)
        return true;
    if (errorMessage)
        *errorMessage = lastMessage(QStringLiteral("the export failed"));
    return false;
}
