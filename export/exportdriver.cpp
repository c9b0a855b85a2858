#include "bvhout.h"

#include "bvhstate.h"
#include "expmapdialog.h"

#include "kvapp.h"
#include "kvnode.h"
#include "kvsavefile.h"
#include "kvscene.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <memory>

namespace {

constexpr double ticksPerSecond = 4800.0;

bool hasExportedBone()
{
    const CRecordList<CSkelHeader> &records = bvhState().skeletonList;
    return std::any_of(records.begin(), records.end(),
                       [](const CSkelHeader *r) { return r->bone && r->exportFlag; });
}

} // namespace

int CBvhOut::write(const QString &path, const KvFileIOSettings &settings)
{
    Q_ASSERT(kvApp && kvScene);
    const QString title = tr("BVH File Exporter");
    CBvhState &state = bvhState();

    if (kvScene->getNumSelectedNodes() != 1) {
        kvApp->warning(title, tr("Select a single skeleton node for export."));
        return 0;
    }
    KvSkeleton *skeleton = kvScene->getSelectedNode(0)->getSkeleton();
    state.targetSkeleton = skeleton;
    if (!skeleton || !skeleton->inherits("KvSkeleton")) {
        kvApp->warning(title, tr("Select a single skeleton node for export."));
        return 0;
    }

    startIO();
    const auto closeIO = qScopeGuard([this] { finishIO(); });
    state.currentFileName = QFileInfo(path).fileName();
    state.currentMapName = QLatin1String("");

    // The dialog appends to the skeleton list: start from an empty one, and
    // leave it empty on every way out.
    state.clearLists();
    const auto emptyLists = qScopeGuard([&state] { state.clearLists(); });
    int answer = QDialog::Rejected;
    {
        CExpMapDialog dialog;
        dialog.applyRunSettings(settings);
        answer = kvApp->execDialog(&dialog);
    }
    if (answer == QDialog::Rejected) {
        kvApp->warning(title, tr("Export operation aborted by user."));
        return 0;
    }
    if (!hasExportedBone()) {
        kvApp->warning(title, tr("There are no bones to export."));
        return 0;
    }

    const std::unique_ptr<QFileDevice> file = kvOpenForWriting(path, QIODevice::Text);
    if (!file) {
        kvApp->warning(title, tr("The output file can not be opened or created."));
        return 0;
    }

    computeFrameCount();
    kvApp->startProgress(tr("BVH Export [%1]").arg(path), state.skeletonList.count() + frameCount, false, false);
    startFrames();
    writeHierarchy(file.get());
    writeMotion(file.get());
    kvScene->setTime(savedSceneTime);
    const bool written = kvFinishWriting(*file);
    kvApp->finishProgress();
    if (!written) {
        kvApp->warning(title, tr("The output file can not be written."));
        return 0;
    }
    return 1;
}

int CBvhOut::computeFrameCount()
{
    const KvTimeRange range = kvScene->getAnimRange();
    const int step = kvScene->getTimeStep();
    Q_ASSERT(step > 0);
    // An inverted range has no frames rather than a negative count.
    frameCount = std::max(0, range.end / step - range.start / step);
    frameTime = float(step / ticksPerSecond);
    return frameCount;
}

void CBvhOut::startFrames()
{
    savedSceneTime = kvScene->getTime();
    startTime = kvScene->getAnimRange().start;
    kvScene->setTime(startTime);
    frameIndex = 0;
}
