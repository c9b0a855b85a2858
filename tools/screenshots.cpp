// kvbvh_screenshots: shows the three dialogs of the plug-in on the host's
// default figure and a sample file, then kvbvh-studio with a walk imported,
// and saves a picture of each into the folder given. tools/screenshots.sh
// runs it under a virtual X server.

#include "bvhin.h"
#include "bvhstate.h"
#include "expmapdialog.h"
#include "impmapdialog.h"
#include "pickmapdialog.h"
#include "studiowindow.h"
#include "timeline.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTreeWidget>

namespace {

QTextStream err(stderr);

bool save(QWidget &dialog, const QString &path)
{
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) {
        err << "kvbvh_screenshots: the window was never shown\n";
        return false;
    }
    QTest::qWait(200);
    if (!dialog.grab().save(path)) {
        err << "kvbvh_screenshots: cannot write " << path << '\n';
        return false;
    }
    dialog.hide();
    return true;
}

// Reads the hierarchy of path into the joint list, matched to the figure, as
// an import does before it shows the mapping dialog.
bool readHierarchy(CBvhIn &in, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        err << "kvbvh_screenshots: cannot read " << path << '\n';
        return false;
    }
    in.collectSkeletonBones(bvhState().targetSkeleton->getNodeChild(0), 1);
    in.resetParseState();
    while (in.inHierarchy && !file.atEnd())
        in.parseLine(QString::fromLatin1(file.readLine()).trimmed());
    in.completeMapping();
    in.detectArmAxis();
    bvhState().currentFileName = QFileInfo(path).fileName();
    return true;
}

// The studio mid-walk, the file's own skeleton beside the figure.
bool saveStudio(const QString &settingsFile, const QString &path)
{
    KvApp host(settingsFile, true);
    StudioWindow window(&host, QStringLiteral(KV_PLUGIN_PATH));
    // The import dialog as the user accepts it.
    host.setDialogHandler([](QDialog *dialog) {
        dialog->accept();
        return dialog->result();
    });
    window.showSourceAction()->setChecked(true);
    window.resize(1280, 760);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        err << "kvbvh_screenshots: the window was never shown\n";
        return false;
    }
    if (!window.importBvh(QStringLiteral(KV_SOURCE_DIR "/data/bvh/cmu_12_01_walk_mb.bvh")) || !window.sourceFigure()) {
        err << "kvbvh_screenshots: the walk did not import: " << host.messageLog().join(QLatin1Char(' ')) << '\n';
        return false;
    }
    window.timeline()->setFrame(200);
    window.setWindowModified(false);
    QTest::qWait(200);
    if (!window.grab().save(path)) {
        err << "kvbvh_screenshots: cannot write " << path << '\n';
        return false;
    }
    return true;
}

QTreeWidgetItem *fileItem(const QString &joint)
{
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type == Joint && r->name == joint)
            return r->fileItem;
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        err << "usage: kvbvh_screenshots OUTPUT_DIR\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir settingsDir;
    KvApp host(settingsDir.filePath(QStringLiteral("settings.ini")), false);
    host.setResourcesPath(QStringLiteral(KV_SOURCE_DIR "/dialogs/resources"));

    KvAppSettingsMgr *settings = host.getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    settings->setStringValue(QStringLiteral("Maps"), QStringLiteral("CMU walk;Mixamo rig;Second Life;"));
    settings->popPath();

    KvSkeleton *figure = KvDefaultFigure::build().release();
    figure->setLabel(QStringLiteral("Figure 1"));
    kvScene->addNode(figure);
    bvhState().targetSkeleton = figure;

    {
        CBvhIn in;
        if (!readHierarchy(in, QStringLiteral(KV_SOURCE_DIR "/data/bvh/cmu_12_01_walk_mb.bvh")))
            return 1;
        CImpMapDialog dialog(in.armsAlongX);
        dialog.toggleOptions();
        dialog.fileList->setCurrentItem(fileItem(QStringLiteral("LeftUpLeg")));
        if (!save(dialog, out.filePath(QStringLiteral("impmapdialog.png"))))
            return 1;
        bvhState().clearLists();
    }
    for (const bool saveMode : {true, false}) {
        CPickMapDialog picker(saveMode);
        const QString name = saveMode ? QStringLiteral("pickmapdialog-save.png") : QStringLiteral("pickmapdialog-load.png");
        if (!save(picker, out.filePath(name)))
            return 1;
    }
    {
        bvhState().currentFileName = QStringLiteral("walk.bvh");
        CExpMapDialog dialog;
        if (!save(dialog, out.filePath(QStringLiteral("expmapdialog.png"))))
            return 1;
        bvhState().clearLists();
    }
    return saveStudio(settingsDir.filePath(QStringLiteral("studio/kvbvh.ini")), out.filePath(QStringLiteral("studio.png"))) ? 0 : 1;
}
