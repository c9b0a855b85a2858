#include "motionfixture.h"

#include "kvnodedlg.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace motiontest;

namespace {

const QStringList joints{"root", "J1<root", "J2<J1", "J3<J2"};
const QByteArray chain = hierarchy(joints);  // up to its MOTION line
const QByteArray frame = "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15";
const QByteArray motion = "Frames: 2\nFrame Time: 0.0333333\n" + frame + "\n" + frame + "\n";

// Lines as LF, CRLF and a lone CR end them; the last needs no line end.
int lineCount(const QByteArray &text)
{
    const QByteArray lf = QByteArray(text).replace("\r\n", "\n").replace('\r', '\n');
    return int(lf.count('\n')) + (lf.endsWith('\n') || lf.isEmpty() ? 0 : 1);
}

} // namespace

class tst_ImportDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { host.reset(); }
    void imports_data();
    void imports();
    void targetSkeleton();
    void completeMapping_data();
    void completeMapping();

private:
    QString writeFile(const QByteArray &text);
    // Runs an import whose mapping dialog answers answer and notes what the
    // import looked like then.
    int runImport(CBvhIn &in, const QString &path, int answer = QDialog::Accepted);

    std::unique_ptr<Host> host;
    KvSkeleton *figure = nullptr;
    int dialogCalls = 0;
    int dialogFrames = -1;
    bool dialogInProgress = false;
    QStringList dialogMapping;
};

//   figure ── hip ─┬─ abdomen ── chest ── neck
//                  └─ lThigh
void tst_ImportDriver::init()
{
    host = std::make_unique<Host>();
    figure = addFigure({"hip", "abdomen<hip", "chest<abdomen", "neck<chest", "lThigh<hip"});
    kvScene->selectNode(figure->findBone(QStringLiteral("chest")));
    dialogCalls = 0;
    dialogMapping.clear();
}

QString tst_ImportDriver::writeFile(const QByteArray &text)
{
    QFile file(host->dir.filePath(QStringLiteral("take.bvh")));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName() : QString();
}

int tst_ImportDriver::runImport(CBvhIn &in, const QString &path, int answer)
{
    CBvhIn::setMappingDialog([this, answer](CBvhIn &importer) {
        ++dialogCalls;
        dialogFrames = importer.numFrames;
        dialogInProgress = kvApp->isProgressActive() && importer.isIOActive();
        for (const CBvhHeader *r : bvhState().jointList) {
            if (r->type == Joint)
                dialogMapping += r->name + QLatin1Char('=') + (r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("-"));
        }
        return answer;
    });
    return in.read(path, KvFileIOSettings());
}

void tst_ImportDriver::imports_data()
{
    QTest::addColumn<QString>("path");     // "": text written to a file
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");  // "": the import runs to its end
    QTest::addColumn<int>("frames");       // as the mapping dialog sees them; -1: no dialog
    QTest::addColumn<int>("rangeEnd");     // of both ranges after the import, at 600 ticks a frame

    const auto file = [](const QByteArray &count, const QByteArray &lines) {
        return chain + count + "Frame Time: 0.125\n" + lines;
    };
    const QString noMotion = QStringLiteral("The selected file has no motion data.");
    // Without a usable count (none, one no int holds, a negative one) the
    // frames are the lines with values after the hierarchy.
    QTest::newRow("counted") << "" << file("", "\n" + frame + "\n \t\r" + frame + "\r\n\r\n" + frame) << "" << 3 << 4800;
    QTest::newRow("count-too-large") << "" << file("Frames: 99999999999\n", frame) << "" << 1 << 4800;
    QTest::newRow("count-negative") << "" << file("Frames: -5\n", frame + "\n" + frame) << "" << 2 << 4800;
    // Fewer frame lines than Frames says: the range it lengthened ends with
    // the last frame, never before the range it found.
    QTest::newRow("one-short") << "" << file("Frames: 21\n", (frame + "\n").repeated(20)) << "" << 21 << 20 * 600;
    QTest::newRow("claims-billions") << "" << file("Frames: 2000000000\n", (frame + "\n").repeated(3)) << "" << 2000000000 << 4800;
    QTest::newRow("missing-file") << "/nonexistent/take.bvh" << QByteArray() << "The selected file can not be opened." << -1
                                  << 4800;
    QTest::newRow("cancelled") << "" << chain + motion << "Import operation aborted by user." << 2 << 4800;
    QTest::newRow("cut-in-hierarchy") << "" << chain.left(chain.size() / 2) << noMotion << -1 << 4800;
    // Opens, even for root, but every read fails.
    QTest::newRow("unreadable") << "/proc/self/mem" << QByteArray() << "The selected file can not be read." << -1 << 4800;
    // Hostile files: nothing crashes or hangs; what is no number reads 0.
    QTest::newRow("huge-line") << "" << file("Frames: 1\n", QByteArray(50'000'000, '7')) << "" << 1 << 4800;
    const QByteArray deep = QByteArray("{\n").repeated(100000) + QByteArray("}\n").repeated(100000);
    QTest::newRow("deep-braces") << "" << "HIERARCHY\n" + deep + motion << "" << 2 << 4800;
    QTest::newRow("channel-counts")
        << "" << QByteArray(chain).replace("CHANNELS 3", "CHANNELS 2147483647").replace("CHANNELS 6", "CHANNELS -5") + motion << ""
        << 2 << 4800;
    QTest::newRow("odd-values") << "" << chain + "Frames: 2\nFrame Time: 1e30\nnan inf 1e999 --1 1.2.3\n" + frame + " 1 2 3\n" << ""
                                << 2 << 4800;
}

// One progress step per line, startIO and finishIO once each, the dialog
// while both run, the scene time where it was (savedSceneTime holds a stale
// value here), both lists empty. An import that stops early says why.
void tst_ImportDriver::imports()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    QFETCH(int, frames);
    QFETCH(int, rangeEnd);

    kvScene->setAnimRange(KvTimeRange(0, 4800));
    kvScene->setTimeStep(160);
    kvScene->setTime(320);
    bvhState().jointList.append(std::make_unique<CBvhHeader>());
    bvhState().skeletonList.append(std::make_unique<CSkelHeader>());
    CBvhIn in;
    in.numFrames = 50;
    in.savedSceneTime = 4800;
    QSignalSpy started(kvApp, &KvApp::progressStarted);
    QSignalSpy stepped(kvApp, &KvApp::progressStepped);
    QSignalSpy ioStarted(&in, &KvFileIO::ioStarted);
    QSignalSpy ioFinished(&in, &KvFileIO::ioFinished);

    const int answer = QByteArray(QTest::currentDataTag()) == "cancelled" ? QDialog::Rejected : QDialog::Accepted;
    QCOMPARE(runImport(in, path.isEmpty() ? writeFile(text) : path, answer), message.isEmpty() ? 1 : 0);
    QCOMPARE(kvApp->messageLog(), message.isEmpty() ? QStringList() : QStringList(QStringLiteral("BVH File Importer: ") + message));
    QCOMPARE(dialogCalls, frames == -1 ? 0 : 1);
    if (frames >= 0)
        QCOMPARE(dialogFrames, frames);
    QCOMPARE(ioFinished.count(), ioStarted.count());
    QVERIFY(!in.isIOActive() && !kvApp->isProgressActive());
    QVERIFY(bvhState().jointList.isEmpty() && bvhState().skeletonList.isEmpty());
    QCOMPARE(kvScene->getTime(), 320);
    QCOMPARE(kvScene->getAnimRange(), KvTimeRange(0, rangeEnd));
    QCOMPARE(kvScene->getPlayRange(), KvTimeRange(0, rangeEnd));
    if (!message.isEmpty()) {
        // The importer is fit for the next file.
        QCOMPARE(runImport(in, writeFile(chain + motion)), 1);
        return;
    }
    QVERIFY(started.count() == 1 && ioStarted.count() == 1 && dialogInProgress);
    QCOMPARE(started[0][1].toInt(), lineCount(text));
    QCOMPARE(stepped.count(), lineCount(text));
}

// Without a selected figure, the one picked in the chooser, which opens with
// nothing chosen and offers figures only; a refusal touches nothing. Tried
// with a selected node outside every figure and the figure then picked, with
// the chooser refused, and accepted with nothing picked.
void tst_ImportDriver::targetSkeleton()
{
    for (const auto &[prop, answer] : {std::pair(true, QDialog::Accepted), std::pair(false, QDialog::Rejected),
                                       std::pair(false, QDialog::Accepted)}) {
        cleanup();
        init();
        kvScene->clearSelection();
        if (prop) {
            kvScene->addNode(new KvNode(QStringLiteral("prop")));
            kvScene->selectNode(kvScene->findNodeByLabel(QStringLiteral("prop")));
        }
        int chooserCalls = 0;
        kvApp->setDialogHandler([&chooserCalls, prop = prop, answer = answer](QDialog *dialog) {
            ++chooserCalls;
            auto *chooser = qobject_cast<KvNodeDlg *>(dialog);
            if (!chooser || !chooser->treeWidget()->selectedItems().isEmpty())
                return -1;
            if (prop)
                chooser->treeWidget()->findItems(QStringLiteral("figure"), Qt::MatchExactly).value(0)->setSelected(true);
            return int(answer);
        });
        CBvhHeader *sentinel = bvhState().jointList.append(std::make_unique<CBvhHeader>());
        bvhState().targetSkeleton = nullptr;
        CBvhIn in;
        const bool picked = prop && answer == QDialog::Accepted;

        QCOMPARE(runImport(in, writeFile(chain + motion)), int(picked));
        QCOMPARE(chooserCalls, 1);
        QCOMPARE(kvApp->messageLog(), answer == QDialog::Accepted && !picked
                 ? QStringList(QStringLiteral("BVH File Importer: The chosen node does not belong to a figure.")) : QStringList());
        QCOMPARE(bvhState().targetSkeleton, picked ? figure : nullptr);
        if (!picked)
            QVERIFY(dialogCalls == 0 && bvhState().jointList.count() == 1 && bvhState().jointList.first() == sentinel);
    }
}

void tst_ImportDriver::completeMapping_data()
{
    QTest::addColumn<QStringList>("joints");  // named so that only hip, chest, neck and abdomen match by name
    QTest::addColumn<QString>("expected");    // joint=bone as the mapping dialog shows them, "-" for none

    // Up the chain and down only into single children: hip has two, chest one.
    QTest::newRow("up-and-down") << QStringList{"root", "J1<root", "chest<J1", "J3<chest", "J4<root"}
                                 << "root=hip J1=abdomen chest=chest J3=neck J4=-";
    // Up past the first bone to the skeleton node and off the top; the root
    // pass puts the root back on the first bone.
    QTest::newRow("up-off-the-top") << QStringList{"root", "J1<root", "J2<J1", "J3<J2", "abdomen<J3"}
                                    << "root=hip J1=- J2=figure J3=hip abdomen=abdomen";
    // A special joint stops the walk up and the root pass.
    QTest::newRow("special-root") << QStringList{"WORLD_ROOT", "J1<WORLD_ROOT", "J2<J1", "neck<J2"}
                                  << "WORLD_ROOT=- J1=abdomen J2=chest neck=neck";
}

// Mappings travel along the figure's chains from the joints the matcher
// mapped, before the mapping dialog shows them.
void tst_ImportDriver::completeMapping()
{
    QFETCH(QStringList, joints);
    QFETCH(QString, expected);

    CBvhIn in;
    QCOMPARE(runImport(in, writeFile(hierarchy(joints) + "Frames: 0\nFrame Time: 0.1\n")), 1);
    QCOMPARE(dialogMapping.join(QLatin1Char(' ')), expected);
}

QTEST_MAIN(tst_ImportDriver)
#include "tst_importdriver.moc"
