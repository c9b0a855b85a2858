#pragma once

#include "kvapp.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QDialog;
class QTreeWidget;
class KvPluginLoader;
class KvSkeleton;

// How one import runs. Every option is handed to the plug-in for this run
// only, so options stored by earlier interactive runs play no part.
struct KvImportOptions
{
    QString mapName;              // a stored import map to load; empty: the automatic mapping alone
    bool followFileTiming = true; // the scene takes the file's frame time and length
    bool inPlace = false;         // the root keeps its X and Z at 0
    bool limits = false;          // rotation limits hold while keys are set
    QString upAxis = QStringLiteral("auto");  // auto, y or z: which way the file stands
};

// How one export runs.
struct KvExportOptions
{
    QString exportMap;            // a stored export map; empty: bone names as they are
    bool secondLife = false;      // the Second Life reference frame
    bool keyedBonesOnly = false;  // leave out every branch of bones without keys
};

// One joint as the import mapping dialog lists it.
struct KvJointRow
{
    QString joint;
    int depth = 0;      // 0 for a root
    bool checked = false;  // mapped and to be imported
    // The bone (its label) the dialog selects for the joint; empty: none. A
    // joint that shares its bone with a joint before it shows none.
    QString bone;
};

// Drives the plug-in's importer and exporter the way a batch host does:
// objects come from the loaded plug-in's factories, options travel in the
// run's settings, dialogs are accepted as the plug-in builds them (after the
// import mapping dialog has been read back), and the plug-in's warnings are
// collected instead of shown. The host (kvApp) must be non-interactive.
class KvPluginRunner
{
public:
    KvPluginRunner(KvApp *host, const KvPluginLoader *loader);

    // Imports the BVH file at path onto skeleton (a figure in the host's
    // scene), replacing its keys. rows, when given, receives the joint list
    // of the mapping dialog with its check marks (bones left empty). False
    // with errorMessage set to the plug-in's warning.
    bool importFile(const QString &path, KvSkeleton *skeleton, const KvImportOptions &options,
                    QList<KvJointRow> *rows = nullptr, QString *errorMessage = nullptr);
    // The mapping the importer would show for path, bones included (read by
    // selecting each joint, as a user would); the import is then cancelled,
    // so the scene keeps its keys.
    std::optional<QList<KvJointRow>> readMapping(const QString &path, KvSkeleton *skeleton,
                                                 const KvImportOptions &options, QString *errorMessage = nullptr);
    // Writes skeleton's figure over the scene's animation range to path.
    // False with errorMessage set to the plug-in's warning; the plug-in
    // leaves no file behind then.
    bool exportFile(const QString &path, KvSkeleton *skeleton, const KvExportOptions &options,
                    QString *errorMessage = nullptr);

    // The plug-in's messages during the last run ("title: text"), also when
    // it succeeded.
    QStringList messages() const { return lastMessages; }
    // What the importer said it did in the last import (a file stood up).
    QStringList notes() const { return lastNotes; }

private:
    using MappingHandler = std::function<int(QDialog *dialog, QTreeWidget *files, QTreeWidget *figure)>;
    // The importer's read with the run settings of options; onMapping answers
    // the mapping dialog, every other dialog is accepted. -1 without an importer.
    int runImport(const QString &path, KvSkeleton *skeleton, const KvImportOptions &options,
                  const MappingHandler &onMapping);
    // Runs operation on skeleton's figure (selected alone) with dialogs
    // answering the plug-in's dialogs and its warnings collected.
    int runOnFigure(KvSkeleton *skeleton, const KvApp::DialogHandler &dialogs, const std::function<int()> &operation);
    // The text of the plug-in's last message, or fallback.
    QString lastMessage(const QString &fallback) const;

    KvApp *host;
    const KvPluginLoader *loader;
    QStringList lastMessages;
    QStringList lastNotes;
};
