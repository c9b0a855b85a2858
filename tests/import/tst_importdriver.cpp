#include "motionfixture.h"

#include "kvnodedlg.h"
#include "testsupport.h"

#include <QMainWindow>
#include <QScopeGuard>
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

QStringList warning(const QString &text)
{
    return {QStringLiteral("BVH File Importer: ") + text};
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
    void targetSkeleton_data();
    void targetSkeleton();
    void cutShort();
    void completeMapping_data();
    void completeMapping();

private:
    QString writeFile(const QByteArray &text, const QString &name = QStringLiteral("take.bvh"));
    // Runs an import whose mapping dialog answers answer and notes what the
    // import looked like then.
    int runImport(CBvhIn &in, const QString &path, int answer = QDialog::Accepted);

    std::unique_ptr<Host> host;
    KvSkeleton *figure = nullptr;
    int dialogCalls = 0;
    int dialogFrames = -1;
    bool dialogInProgress = false;
    QStringList dialogRootMapping;
};

//   figure ── hip ─┬─ abdomen ── chest ── neck
//                  └─ lThigh
void tst_ImportDriver::init()
{
    host = std::make_unique<Host>();
    figure = addFigure({"hip", "abdomen<hip", "chest<abdomen", "neck<chest", "lThigh<hip"});
    kvScene->selectNode(figure->findBone(QStringLiteral("chest")));
    dialogCalls = 0;
    dialogRootMapping.clear();
}

QString tst_ImportDriver::writeFile(const QByteArray &text, const QString &name)
{
    QFile file(host->dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return file.fileName();
}

int tst_ImportDriver::runImport(CBvhIn &in, const QString &path, int answer)
{
    CBvhIn::setMappingDialog([this, answer](CBvhIn &importer) {
        ++dialogCalls;
        dialogFrames = importer.numFrames;
        dialogInProgress = kvApp->isProgressActive() && importer.isIOActive();
        for (const CBvhHeader *r : bvhState().jointList) {
            if (r->level == 1)
                dialogRootMapping += r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("-");
        }
        return answer;
    });
    return in.read(path, KvFileIOSettings());
}

void tst_ImportDriver::imports_data()
{
    QTest::addColumn<QString>("name");       // of the file written; "missing.bvh" is not written
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("answer");         // of the mapping dialog
    QTest::addColumn<QString>("message");    // "": the import runs to its end
    QTest::addColumn<int>("frames");         // as the mapping dialog sees them; -1: no dialog, -2: any

    const QDir data(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &file : data.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name)) {
        QFile f(data.filePath(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QTest::newRow(qPrintable(file)) << file << text << 1 << "" << -2;
        if (text.contains("\r\n"))
            QTest::newRow("cr-only") << "cr_only.bvh" << QByteArray(text).replace("\r\n", "\r") << 1 << "" << -2;
    }
    QTest::newRow("no-last-line-end") << "chain.bvh" << QByteArray(chain + motion).chopped(1) << 1 << "" << 2;
    QTest::newRow("stated") << "take.bvh" << chain + "Frames: 50\nFrame Time: 0.125\n" + frame << 1 << "" << 50;
    // Without a stated count the frames are the lines with values after the
    // hierarchy.
    QTest::newRow("counted") << "take.bvh" << chain + "Frame Time: 0.25\n\n" + frame + "\n \t\n" + frame + "\r\n\r\n" + frame
                             << 1 << "" << 3;
    QTest::newRow("counted-cr") << "take.bvh" << chain + "Frame Time: 0.25\r" + frame + "\r" + frame + "\r" << 1 << "" << 2;
    QTest::newRow("counted-none") << "take.bvh" << chain + "Frame Time: 0.25\n" << 1 << "" << 0;
    // A count no int holds, or a negative one, says nothing: the lines count.
    QTest::newRow("count-too-large") << "take.bvh" << chain + "Frames: 99999999999\nFrame Time: 0.25\n" + frame
                                     << 1 << "" << 1;
    QTest::newRow("count-negative") << "take.bvh" << chain + "Frames: -5\nFrame Time: 0.25\n" + frame + "\n" + frame
                                    << 1 << "" << 2;
    QTest::newRow("missing-file") << "missing.bvh" << QByteArray() << 1 << "The selected file can not be opened." << -1;
    QTest::newRow("cancelled") << "take.bvh" << chain + motion << 0 << "Import operation aborted by user." << 2;
    QTest::newRow("no-frame-line") << "take.bvh" << chain + "Frames: 2\n" << 1 << "The selected file has no motion data." << -1;
    QTest::newRow("empty-file") << "take.bvh" << QByteArray() << 1 << "The selected file has no motion data." << -1;

    // Broken or hostile files: nothing crashes or hangs; what the reader does
    // not understand it skips, what is no number reads 0.
    const QString noMotion = QStringLiteral("The selected file has no motion data.");
    QByteArray garbage;
    for (int i = 0; i < 100000; ++i)
        garbage += char((i * 7919 + i / 13) % 256);
    QTest::newRow("a-folder") << "folder" << QByteArray() << 1 << "The selected file can not be opened." << -1;
    QTest::newRow("binary-garbage") << "take.bvh" << garbage << 1 << noMotion << -1;
    // Opens, even for root, but every read fails: nothing is read.
    QTest::newRow("unreadable") << "/proc/self/mem" << QByteArray() << 1 << "The selected file can not be read." << -1;
    QTest::newRow("cut-in-hierarchy") << "take.bvh" << chain.left(chain.size() / 2) << 1 << noMotion << -1;
    QTest::newRow("huge-line") << "take.bvh" << chain + "Frames: 1\nFrame Time: 0.1\n" + QByteArray(50'000'000, '7') << 1 << ""
                               << 1;
    QTest::newRow("deep-braces") << "take.bvh"
                                 << "HIERARCHY\n" + QByteArray("{\n").repeated(100000) + QByteArray("}\n").repeated(100000) + motion
                                 << 1 << "" << 2;
    QTest::newRow("channel-counts") << "take.bvh"
                                    << QByteArray(chain).replace("CHANNELS 3", "CHANNELS 2147483647").replace("CHANNELS 6", "CHANNELS -5")
                                           + motion
                                    << 1 << "" << 2;
    for (const char *time : {"0", "-1", "nan", "1e30"}) {
        QTest::newRow(qPrintable(QStringLiteral("frame-time-%1").arg(time)))
            << "take.bvh" << chain + "Frames: 1\nFrame Time: " + time + "\n" + frame + "\n" << 1 << "" << 1;
    }
    QTest::newRow("odd-values") << "take.bvh" << chain + "Frames: 2\nFrame Time: 0.1\nnan inf 1e999 --1 1.2.3\n" + frame + " 1 2 3\n"
                                << 1 << "" << 2;
    QTest::newRow("odd-names") << "take.bvh"
                               << QByteArray(chain).replace("J1", "a;b=c\t\xe9\xff").replace("J2", "x{y") + motion << 1 << "" << 2;
}

// One progress step per line, startIO and finishIO once each, the dialog
// while both run, the root on the first bone, the scene time where it was.
// An import that stops early says why and changes neither keys nor the scene
// time (savedSceneTime holds a stale value here). Both lists end empty.
void tst_ImportDriver::imports()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(int, answer);
    QFETCH(QString, message);
    QFETCH(int, frames);

    const QString path = name == QLatin1String("missing.bvh") ? host->dir.filePath(name)
                       : name == QLatin1String("folder") ? host->dir.path()
                       : name.startsWith(QLatin1Char('/')) ? name
                                                         : writeFile(text, name);
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
    QSignalSpy timeChanged(kvScene, &KvScene::timeChanged);

    QCOMPARE(runImport(in, path, answer), message.isEmpty() ? 1 : 0);
    QCOMPARE(kvApp->messageLog(), message.isEmpty() ? QStringList() : warning(message));
    QCOMPARE(dialogCalls, frames == -1 ? 0 : 1);
    if (frames >= 0)
        QCOMPARE(dialogFrames, frames);
    QCOMPARE(ioFinished.count(), ioStarted.count());
    QVERIFY(!in.isIOActive() && !kvApp->isProgressActive());
    QVERIFY(bvhState().jointList.isEmpty() && bvhState().skeletonList.isEmpty());
    QCOMPARE(kvScene->getTime(), 320);
    if (!message.isEmpty()) {
        QCOMPARE(timeChanged.count(), 0);
        // The importer is fit for the next file.
        QCOMPARE(runImport(in, writeFile(chain + motion)), 1);
        return;
    }
    QCOMPARE(started.count(), 1);
    QCOMPARE(started[0][0].toString(), QStringLiteral("BVH Import [%1]").arg(name));
    QCOMPARE(started[0][1].toInt(), lineCount(text));
    QCOMPARE(stepped.count(), lineCount(text));
    QCOMPARE(ioStarted.count(), 1);
    QVERIFY(dialogInProgress);
    QCOMPARE(dialogRootMapping.isEmpty(), !text.contains("ROOT"));
    QCOMPARE(dialogRootMapping, QStringList(dialogRootMapping.size(), QStringLiteral("hip")));
    QCOMPARE(bvhState().currentFileName, name);
    QCOMPARE(kvApp->getImportMgr()->getImportPath(), host->dir.path());
}

// A file that holds fewer frame lines than its Frames count says ends the
// range it lengthened with its last frame, never before the range it found.
void tst_ImportDriver::cutShort()
{
    // Lines present, the Frames count, the range's end after the import.
    for (const auto &[lines, declared, end] : {std::tuple(3, 2000000000, 4800), std::tuple(20, 2000000000, 20 * 600),
                                               std::tuple(20, 21, 20 * 600)}) {
        kvScene->setAnimRange(KvTimeRange(0, 4800));
        kvScene->setTimeStep(160);
        kvScene->setTime(0);
        QByteArray text = chain + "Frames: " + QByteArray::number(declared) + "\nFrame Time: 0.125\n";
        for (int i = 0; i < lines; ++i)
            text += frame + "\n";
        CBvhIn in;
        QCOMPARE(runImport(in, writeFile(text)), 1);
        QCOMPARE(kvScene->getAnimRange(), KvTimeRange(0, end));
        QCOMPARE(kvScene->getPlayRange(), KvTimeRange(0, end));
    }
}

void tst_ImportDriver::targetSkeleton_data()
{
    QTest::addColumn<QString>("selected");  // a label; "prop", outside every figure, then picks the figure
    QTest::addColumn<int>("answer");        // of the chooser; -1: it must not open
    QTest::addColumn<int>("result");

    QTest::newRow("bone-selected")      << "neck" << -1 << 1;
    QTest::newRow("prop-picked")        << "prop" << int(QDialog::Accepted) << 1;
    QTest::newRow("nothing-rejected")   << "" << int(QDialog::Rejected) << 0;
    QTest::newRow("accepted-no-choice") << "" << int(QDialog::Accepted) << 0;
}

// The figure of the selected node, else the one picked in the chooser; a
// refusal touches nothing.
void tst_ImportDriver::targetSkeleton()
{
    QFETCH(QString, selected);
    QFETCH(int, answer);
    QFETCH(int, result);

    QMainWindow window;
    kvApp->setInterface(&window);
    const auto noWindow = qScopeGuard([] { kvApp->setInterface(nullptr); });
    kvScene->clearSelection();
    if (selected == QLatin1String("prop"))
        kvScene->addNode(new KvNode(selected));
    if (!selected.isEmpty())
        kvScene->selectNode(kvScene->findNodeByLabel(selected));
    int chooserCalls = 0;
    kvApp->setDialogHandler([&](QDialog *dialog) {
        ++chooserCalls;
        auto *chooser = qobject_cast<KvNodeDlg *>(dialog);
        if (!chooser || chooser->windowTitle() != QLatin1String("BVH File Importer - Skeleton Node Selector")
            || chooser->parentWidget() != &window || !chooser->treeWidget()->selectedItems().isEmpty())
            return -1;
        if (selected == QLatin1String("prop"))
            chooser->treeWidget()->findItems(QStringLiteral("figure"), Qt::MatchExactly).value(0)->setSelected(true);
        return answer;
    });
    CBvhHeader *sentinel = bvhState().jointList.append(std::make_unique<CBvhHeader>());
    bvhState().currentMapName = QStringLiteral("map");
    bvhState().targetSkeleton = nullptr;
    kvApp->getImportMgr()->setImportPath(QStringLiteral("/somewhere"));
    CBvhIn in;
    QSignalSpy ioStarted(&in, &KvFileIO::ioStarted);

    QCOMPARE(runImport(in, writeFile(chain + motion)), result);
    QCOMPARE(chooserCalls, answer < 0 ? 0 : 1);
    QCOMPARE(kvApp->messageLog(), answer == QDialog::Accepted && !result
             ? warning(QStringLiteral("The chosen node does not belong to a figure.")) : QStringList());
    QCOMPARE(bvhState().targetSkeleton, result ? figure : nullptr);
    if (result == 1)
        return;
    QCOMPARE(dialogCalls + ioStarted.count(), 0);
    QVERIFY(bvhState().jointList.count() == 1 && bvhState().jointList.first() == sentinel);
    QCOMPARE(bvhState().currentMapName, QStringLiteral("map"));
    QCOMPARE(kvApp->getImportMgr()->getImportPath(), QStringLiteral("/somewhere"));
}

void tst_ImportDriver::completeMapping_data()
{
    QTest::addColumn<QByteArray>("hierarchy");
    QTest::addColumn<QStringList>("premapped");  // joint=label, as the matcher left them
    QTest::addColumn<QString>("expected");       // joint=label ..., "-" for none

    const QString full = QStringLiteral("root=hip J1=abdomen J2=chest J3=neck");

    QTest::newRow("up-replaces")   << chain << QStringList{"J1=neck", "J2=lThigh", "J3=neck"} << full;
    // Down only into single children: hip has two, abdomen one.
    QTest::newRow("up-and-down")   << chain << QStringList{"J2=chest"} << full;
    QTest::newRow("down-branches") << chain << QStringList{"root=hip"} << "root=hip J1=- J2=- J3=-";
    // Up past the first bone to the skeleton node and off the top; the root
    // pass puts the root back on the first bone.
    QTest::newRow("up-off-the-top") << hierarchy(joints + QStringList{"J4<J3"}) << QStringList{"J4=abdomen"}
                                    << "root=hip J1=- J2=figure J3=hip J4=abdomen";
    // A special joint stops the walk up and the root pass.
    QTest::newRow("special-root") << QByteArray(chain).replace("ROOT root", "ROOT WORLD_ROOT") << QStringList{"J3=neck"}
                                  << "WORLD_ROOT=- J1=abdomen J2=chest J3=neck";
    // A run of records with one name is one joint, even a child named like its parent.
    QTest::newRow("same-name-child")
        << QByteArray("ROOT root\n{\nOFFSET 0 0 0\nJOINT arm\n{\nOFFSET 0 1 0\nJOINT arm\n{\nOFFSET 0 1 0\n"
                      "CHANNELS 1 Zrotation\n}\n}\n}\n")
        << QStringList{} << "root=hip arm=- arm=-";
}

void tst_ImportDriver::completeMapping()
{
    QFETCH(QByteArray, hierarchy);
    QFETCH(QStringList, premapped);
    QFETCH(QString, expected);

    CBvhIn in;
    in.resetParseState();
    for (const QByteArray &line : hierarchy.split('\n'))
        in.parseLine(QString::fromLatin1(line));
    bvhState().targetSkeleton = figure;
    for (const QString &entry : premapped) {
        for (CBvhHeader *r : bvhState().jointList) {
            if (r->name == entry.section(QLatin1Char('='), 0, 0)) {
                r->mappedName = entry.section(QLatin1Char('='), 1);
                r->mappedNode = kvScene->findNodeByLabel(r->mappedName);
            }
        }
    }

    in.completeMapping();

    // Channel records follow the first joint record of their name.
    QStringList actual;
    const CBvhHeader *joint = nullptr;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type == Joint)
            actual += r->name + QLatin1Char('=') + (r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("-"));
        if (r->type == Joint && (!joint || joint->name != r->name))
            joint = r;
        QVERIFY2(r->type == EndSite || r->type == EndMarker || (r->mappedNode == joint->mappedNode && r->parent == joint->parent
                                        && r->mappedName == (r->mappedNode ? r->mappedNode->getLabel() : QString())),
                 qPrintable(r->name));
    }
    QCOMPARE(actual.join(QLatin1Char(' ')), expected);
}

QTEST_MAIN(tst_ImportDriver)
#include "tst_importdriver.moc"
