#include "bvhin.h"
#include "bvhstate.h"

#include "kvapp.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvnodedlg.h"
#include "kvscene.h"
#include "testsupport.h"

#include <QMainWindow>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

const QString importerTitle = QStringLiteral("BVH File Importer");

// Four joints in a chain, each with channels; the last one ends in a site.
//   root -> J1 -> J2 -> J3 -> End Site
const QByteArray chainHierarchy =
    "HIERARCHY\n"
    "ROOT root\n{\n  OFFSET 0 0 0\n  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "  JOINT J1\n  {\n    OFFSET 0 10 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    JOINT J2\n    {\n      OFFSET 0 10 0\n      CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "      JOINT J3\n      {\n        OFFSET 0 10 0\n        CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "        End Site\n        {\n          OFFSET 0 5 0\n        }\n      }\n    }\n  }\n}\n";

const QByteArray chainMotion =
    "MOTION\nFrames: 2\nFrame Time: 0.0333333\n"
    "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14\n"
    "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14\n";

// Lines as the importer counts them: ended by LF, CRLF or a lone CR.
int lineCount(const QByteArray &text)
{
    QStringList lines = QString::fromLatin1(text).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return int(lines.size());
}

// What the import looked like when the mapping dialog came up.
struct DialogVisit
{
    int calls = 0;
    int joints = 0;
    int numFrames = -1;
    float frameTime = -1;
    bool progressActive = false;
    bool ioActive = false;
    KvSkeleton *target = nullptr;
    QStringList rootMapping;  // mapped labels of the level-1 records
};

} // namespace

class tst_ImportDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void recognize_data();
    void recognize();
    void importRuns_data();
    void importRuns();
    void targetSkeleton_data();
    void targetSkeleton();
    void unreadableFile_data();
    void unreadableFile();
    void cancelled();
    void noMotion_data();
    void noMotion();
    void frameCount_data();
    void frameCount();
    void completeMapping_data();
    void completeMapping();

private:
    QString writeFile(const QString &name, const QByteArray &text);
    // Stands in for the skeleton walk and an earlier operation's leftovers:
    // the import must leave both lists empty whatever they held.
    void fillLists();
    bool listsEmpty() const;
    KvNode *bone(const QString &label) const { return kvScene->findNodeByLabel(label); }
    // Runs read() with a mapping dialog that notes what it saw and answers.
    int runImport(CBvhIn &in, const QString &path, int answer = QDialog::Accepted);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
    KvSkeleton *figure = nullptr;
    DialogVisit visit;
};

//   figure
//   └── hip
//       ├── abdomen ── chest ── neck
//       └── lThigh
void tst_ImportDriver::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);

    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    const auto addBone = [&desc](const char *name, const char *parent, float y) {
        KvBoneDesc b;
        b.name = QString::fromLatin1(name);
        b.parent = QString::fromLatin1(parent);
        b.origin = KvVec3(0, y, 0);
        b.endPoint = KvVec3(0, y + 10, 0);
        desc.bones.push_back(b);
    };
    addBone("hip", "", 0);
    addBone("abdomen", "hip", 10);
    addBone("chest", "abdomen", 20);
    addBone("neck", "chest", 30);
    addBone("lThigh", "hip", 0);
    QString error;
    std::unique_ptr<KvSkeleton> built = KvFigureBuilder::build(desc, &error);
    QVERIFY2(built, qPrintable(error));
    figure = built.release();
    kvScene->addNode(figure);
    kvScene->selectNode(bone(QStringLiteral("chest")));

    bvhState().clearLists();
    visit = DialogVisit();
}

void tst_ImportDriver::cleanup()
{
    CBvhIn::setMappingDialog(nullptr);
    bvhState().clearLists();
    bvhState().targetSkeleton = nullptr;
    app.reset();
    dir.reset();
}

QString tst_ImportDriver::writeFile(const QString &name, const QByteArray &text)
{
    QFile file(dir->filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return file.fileName();
}

void tst_ImportDriver::fillLists()
{
    bvhState().jointList.append(std::make_unique<CBvhHeader>());
    bvhState().skeletonList.append(std::make_unique<CSkelHeader>());
}

bool tst_ImportDriver::listsEmpty() const
{
    return bvhState().jointList.isEmpty() && bvhState().skeletonList.isEmpty();
}

int tst_ImportDriver::runImport(CBvhIn &in, const QString &path, int answer)
{
    CBvhIn::setMappingDialog([this, answer](CBvhIn &importer) {
        ++visit.calls;
        visit.joints = bvhState().jointList.count();
        visit.numFrames = importer.numFrames;
        visit.frameTime = importer.frameTime;
        visit.progressActive = kvApp->isProgressActive();
        visit.ioActive = importer.isIOActive();
        visit.target = bvhState().targetSkeleton;
        for (const CBvhHeader *r : bvhState().jointList) {
            if (r->level == 1)
                visit.rootMapping += r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("-");
        }
        return answer;
    });
    return in.read(path, KvFileIOSettings());
}

void tst_ImportDriver::recognize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("recognized");

    QTest::newRow("plain")         << "walk.bvh" << QByteArray("HIERARCHY\nROOT a\n") << true;
    QTest::newRow("capitals")      << "WALK.BVH" << QByteArray("HIERARCHY\n") << true;
    QTest::newRow("mixed-case")    << "walk.Bvh" << QByteArray("HIERARCHY\r\n") << true;
    QTest::newRow("bvh-inside")    << "walk.bvh.txt" << QByteArray("HIERARCHY\n") << true;
    QTest::newRow("other-suffix")  << "walk.txt" << QByteArray("HIERARCHY\n") << false;
    QTest::newRow("no-dot")        << "walkbvh" << QByteArray("HIERARCHY\n") << false;
    QTest::newRow("empty-first-line") << "walk.bvh" << QByteArray("\nHIERARCHY\n") << false;
    QTest::newRow("lower-case-keyword") << "walk.bvh" << QByteArray("hierarchy\n") << false;
    QTest::newRow("keyword-inside") << "walk.bvh" << QByteArray("  xHIERARCHYx\n") << true;
    QTest::newRow("cr-only")       << "walk.bvh" << QByteArray("HIERARCHY\rROOT a\r") << true;
    QTest::newRow("keyword-on-second-cr-line") << "walk.bvh" << QByteArray("x\rHIERARCHY\r") << false;
    QTest::newRow("empty-file")    << "walk.bvh" << QByteArray() << false;
    QTest::newRow("missing-file")  << "missing.bvh" << QByteArray() << false;
}

void tst_ImportDriver::recognize()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(bool, recognized);

    const QString path = name.startsWith(QLatin1String("missing")) ? dir->filePath(name) : writeFile(name, text);
    QVERIFY(!path.isEmpty());
    CBvhIn in;
    QCOMPARE(in.recognize(path), recognized);
}

void tst_ImportDriver::importRuns_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");

    QFile mocap(kvtest::dataFile(QStringLiteral("bvh/mocapbank_crlf.bvh")));
    QVERIFY(mocap.open(QIODevice::ReadOnly));
    const QByteArray crlf = mocap.readAll();
    QByteArray crOnly = crlf;
    crOnly.replace("\r\n", "\r");

    const QStringList files = QDir(kvtest::dataFile(QStringLiteral("bvh")))
                                  .entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        QFile f(kvtest::dataFile(QStringLiteral("bvh/") + file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(file)) << file << f.readAll();
    }
    QTest::newRow("cr-only") << "cr_only.bvh" << crOnly;
    QTest::newRow("no-last-line-end") << "chain.bvh" << QByteArray(chainHierarchy + chainMotion).chopped(1);
    QTest::newRow("trailing-blank-lines") << "chain.bvh" << QByteArray(chainHierarchy + chainMotion + "\n\n \n");
}

// A whole import that runs to its end: one progress step per line, the
// bracket of startIO / finishIO, the scene time where it was, and nothing
// left in the lists.
void tst_ImportDriver::importRuns()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);

    const QString path = writeFile(name, text);
    QVERIFY(!path.isEmpty());
    kvScene->setTime(320);
    bvhState().currentMapName = QStringLiteral("left over");
    fillLists();

    CBvhIn in;
    QSignalSpy started(kvApp, &KvApp::progressStarted);
    QSignalSpy stepped(kvApp, &KvApp::progressStepped);
    QSignalSpy finished(kvApp, &KvApp::progressFinished);
    QSignalSpy ioStarted(&in, &KvFileIO::ioStarted);
    QSignalSpy ioFinished(&in, &KvFileIO::ioFinished);

    QCOMPARE(runImport(in, path), 1);
    QCOMPARE(kvApp->messageLog(), QStringList());

    const int lines = lineCount(text);
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toString(), QStringLiteral("BVH Import [%1]").arg(name));
    QCOMPARE(started.at(0).at(1).toInt(), lines);
    QCOMPARE(stepped.count(), lines);
    QCOMPARE(stepped.last().at(0).toInt(), lines);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!kvApp->isProgressActive());
    QCOMPARE(ioStarted.count(), 1);
    QCOMPARE(ioFinished.count(), 1);
    QVERIFY(!in.isIOActive());

    QCOMPARE(visit.calls, 1);
    QVERIFY(visit.progressActive);
    QVERIFY(visit.ioActive);
    QVERIFY(visit.joints > 0);
    QCOMPARE(visit.target, figure);
    // The root's records drive the figure's first bone.
    QVERIFY(!visit.rootMapping.isEmpty());
    QCOMPARE(visit.rootMapping, QStringList(visit.rootMapping.size(), QStringLiteral("hip")));

    QVERIFY(listsEmpty());
    QCOMPARE(kvScene->getTime(), 320);
    QVERIFY(bvhState().currentMapName.isEmpty() && !bvhState().currentMapName.isNull());
    QCOMPARE(bvhState().currentFileName, name);
    QCOMPARE(kvApp->getImportMgr()->getImportPath(), QFileInfo(path).path());
}

void tst_ImportDriver::targetSkeleton_data()
{
    QTest::addColumn<QString>("selected");   // label; "" for nothing, "prop" for a node outside figures
    QTest::addColumn<int>("answer");          // -1: the chooser must not open
    QTest::addColumn<bool>("chooseFigure");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");

    QTest::newRow("bone-selected")     << "neck" << -1 << false << 1 << "";
    QTest::newRow("figure-selected")   << "figure" << -1 << false << 1 << "";
    QTest::newRow("nothing-rejected")  << "" << int(QDialog::Rejected) << false << 0 << "";
    QTest::newRow("nothing-chosen")    << "" << int(QDialog::Accepted) << true << 1 << "";
    QTest::newRow("prop-rejected")     << "prop" << int(QDialog::Rejected) << false << 0 << "";
    QTest::newRow("prop-chosen")       << "prop" << int(QDialog::Accepted) << true << 1 << "";
    QTest::newRow("accepted-no-choice") << "" << int(QDialog::Accepted) << false << 0
                                        << "The chosen node does not belong to a figure.";
}

void tst_ImportDriver::targetSkeleton()
{
    QFETCH(QString, selected);
    QFETCH(int, answer);
    QFETCH(bool, chooseFigure);
    QFETCH(int, result);
    QFETCH(QString, message);

    QMainWindow window;
    kvApp->setInterface(&window);
    const auto noWindow = qScopeGuard([] { kvApp->setInterface(nullptr); });
    kvScene->clearSelection();
    if (selected == QLatin1String("prop")) {
        auto *prop = new KvNode(QStringLiteral("prop"));
        prop->setLabel(QStringLiteral("prop"));
        kvScene->addNode(prop);
        kvScene->selectNode(prop);
    } else if (!selected.isEmpty()) {
        kvScene->selectNode(bone(selected));
    }

    int chooserCalls = 0;
    kvApp->setDialogHandler([&](QDialog *dialog) {
        ++chooserCalls;
        auto *chooser = qobject_cast<KvNodeDlg *>(dialog);
        if (!chooser)
            return int(QDialog::Rejected);
        [&] {
            QCOMPARE(chooser->windowTitle(), QStringLiteral("BVH File Importer - Skeleton Node Selector"));
            QCOMPARE(chooser->parentWidget(), &window);
            QVERIFY(chooser->treeWidget()->selectedItems().isEmpty());
        }();
        if (chooseFigure) {
            const auto items = chooser->treeWidget()->findItems(QStringLiteral("figure"), Qt::MatchExactly);
            if (!items.isEmpty())
                items.first()->setSelected(true);
        }
        return answer;
    });

    // Left overs the chooser's rejection must not touch.
    auto *sentinel = bvhState().jointList.append(std::make_unique<CBvhHeader>());
    bvhState().currentMapName = QStringLiteral("map");
    bvhState().currentFileName = QStringLiteral("file");
    kvApp->getImportMgr()->setImportPath(QStringLiteral("/somewhere"));

    CBvhIn in;
    QSignalSpy ioStarted(&in, &KvFileIO::ioStarted);
    QSignalSpy progress(kvApp, &KvApp::progressStarted);
    const QString path = writeFile(QStringLiteral("chain.bvh"), chainHierarchy + chainMotion);
    QCOMPARE(runImport(in, path), result);
    QCOMPARE(chooserCalls, answer < 0 ? 0 : 1);
    QCOMPARE(kvApp->messageLog(), message.isEmpty() ? QStringList() : QStringList(importerTitle + ": " + message));

    if (result == 1) {
        QCOMPARE(visit.target, figure);
        QVERIFY(listsEmpty());
        return;
    }
    QCOMPARE(visit.calls, 0);
    QCOMPARE(ioStarted.count(), 0);
    QCOMPARE(progress.count(), 0);
    QCOMPARE(bvhState().jointList.count(), 1);
    QCOMPARE(bvhState().jointList.first(), sentinel);
    QCOMPARE(bvhState().targetSkeleton, nullptr);
    QCOMPARE(bvhState().currentMapName, QStringLiteral("map"));
    QCOMPARE(bvhState().currentFileName, QStringLiteral("file"));
    QCOMPARE(kvApp->getImportMgr()->getImportPath(), QStringLiteral("/somewhere"));
}

void tst_ImportDriver::unreadableFile_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("missing")   << "missing.bvh";
    QTest::newRow("directory") << "folder.bvh";
}

void tst_ImportDriver::unreadableFile()
{
    QFETCH(QString, name);

    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("folder.bvh")));
    fillLists();
    kvScene->setTime(160);
    CBvhIn in;
    QSignalSpy ioFinished(&in, &KvFileIO::ioFinished);
    QSignalSpy progress(kvApp, &KvApp::progressStarted);

    QCOMPARE(runImport(in, dir->filePath(name)), 0);
    QCOMPARE(kvApp->messageLog(), QStringList(importerTitle + ": The selected file can not be opened."));
    QVERIFY(listsEmpty());
    QCOMPARE(visit.calls, 0);
    QCOMPARE(progress.count(), 0);
    QCOMPARE(ioFinished.count(), 1);
    QVERIFY(!in.isIOActive());
    QCOMPARE(kvScene->getTime(), 160);
}

void tst_ImportDriver::cancelled()
{
    const QString path = writeFile(QStringLiteral("chain.bvh"), chainHierarchy + chainMotion);
    kvScene->setTime(480);
    fillLists();
    CBvhIn in;
    in.savedSceneTime = 4800;
    QSignalSpy ioFinished(&in, &KvFileIO::ioFinished);
    QSignalSpy finished(kvApp, &KvApp::progressFinished);
    QSignalSpy timeChanged(kvScene, &KvScene::timeChanged);

    QCOMPARE(runImport(in, path, QDialog::Rejected), 0);
    QCOMPARE(visit.calls, 1);
    QCOMPARE(visit.joints, 1 + 15 + 3 * 1 + 2 + 1);
    QCOMPARE(kvApp->messageLog(), QStringList(importerTitle + ": Import operation aborted by user."));
    QCOMPARE(ioFinished.count(), 1);
    QVERIFY(!in.isIOActive());
    QCOMPARE(finished.count(), 1);
    QVERIFY(!kvApp->isProgressActive());
    QVERIFY(listsEmpty());
    QCOMPARE(timeChanged.count(), 0);
    QCOMPARE(kvScene->getTime(), 480);

    // The importer can be used again.
    QCOMPARE(runImport(in, path), 1);
    QVERIFY(listsEmpty());
}

void tst_ImportDriver::noMotion_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("hierarchy-only") << chainHierarchy;
    QTest::newRow("motion-no-frame-line") << QByteArray(chainHierarchy + "MOTION\nFrames: 2\n");
    QTest::newRow("empty-file") << QByteArray();
    QTest::newRow("blank-lines") << QByteArray("\n\n\r\n");
}

// A hierarchy that never ends has nothing to import: no dialog, no change of
// the scene time (prepareMotion never saved one), and a message.
void tst_ImportDriver::noMotion()
{
    QFETCH(QByteArray, text);

    const QString path = writeFile(QStringLiteral("still.bvh"), text);
    kvScene->setTime(640);
    fillLists();
    CBvhIn in;
    in.savedSceneTime = 4800;
    QSignalSpy ioFinished(&in, &KvFileIO::ioFinished);
    QSignalSpy stepped(kvApp, &KvApp::progressStepped);
    QSignalSpy finished(kvApp, &KvApp::progressFinished);

    QCOMPARE(runImport(in, path), 0);
    QCOMPARE(visit.calls, 0);
    QCOMPARE(kvApp->messageLog(), QStringList(importerTitle + ": The selected file has no motion data."));
    QCOMPARE(kvScene->getTime(), 640);
    QCOMPARE(stepped.count(), lineCount(text));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(ioFinished.count(), 1);
    QVERIFY(!in.isIOActive());
    QVERIFY(listsEmpty());
}

void tst_ImportDriver::frameCount_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<int>("numFrames");
    QTest::addColumn<float>("frameTime");

    const QByteArray row = "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14";
    QTest::newRow("stated") << QByteArray("MOTION\nFrames: 3\nFrame Time: 0.5\n")
                            << QByteArray(row + "\n" + row + "\n") << 3 << 0.5f;
    QTest::newRow("counted") << QByteArray("MOTION\nFrame Time: 0.25\n")
                             << QByteArray(row + "\n" + row + "\n" + row + "\n") << 3 << 0.25f;
    QTest::newRow("counted-blank-lines") << QByteArray("MOTION\nFrame Time: 0.25\n")
                                         << QByteArray("\n" + row + "\n \t\n" + row + "\r\n\r\n") << 2 << 0.25f;
    QTest::newRow("counted-cr") << QByteArray("MOTION\rFrame Time: 0.25\r")
                                << QByteArray(row + "\r" + row + "\r" + row) << 3 << 0.25f;
    QTest::newRow("counted-none") << QByteArray("MOTION\nFrame Time: 0.25\n") << QByteArray() << 0 << 0.25f;
    QTest::newRow("no-frame-time") << QByteArray("MOTION\nFrames: 2\nFrame 1\n")
                                   << QByteArray(row + "\n") << 2 << 0.0f;
    QTest::newRow("neither") << QByteArray("MOTION\nFrame\n") << QByteArray(row + "\n" + row + "\n") << 2 << 0.0f;
}

// A file that does not state its frame count has as many frames as lines
// with values; values not in the file start at 0 for every file, never at
// what the previous file said.
void tst_ImportDriver::frameCount()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, frames);
    QFETCH(int, numFrames);
    QFETCH(float, frameTime);

    CBvhIn in;
    const QString previous = writeFile(QStringLiteral("previous.bvh"),
                                       chainHierarchy + "MOTION\nFrames: 50\nFrame Time: 0.125\n");
    QCOMPARE(runImport(in, previous), 1);
    QCOMPARE(visit.numFrames, 50);
    QCOMPARE(visit.frameTime, 0.125f);

    const QString path = writeFile(QStringLiteral("file.bvh"), chainHierarchy + header + frames);
    QCOMPARE(runImport(in, path), 1);
    QCOMPARE(visit.calls, 2);
    QCOMPARE(visit.numFrames, numFrames);
    QCOMPARE(visit.frameTime, frameTime);
}

void tst_ImportDriver::completeMapping_data()
{
    QTest::addColumn<QByteArray>("hierarchy");
    QTest::addColumn<QStringList>("premapped");  // "joint=label"
    QTest::addColumn<QStringList>("expected");   // "joint=label", "-" for none

    const QByteArray five = QByteArray(chainHierarchy).replace("JOINT J3", "JOINT J3\n{\nOFFSET 0 1 0\nJOINT J4");
    const QByteArray world = QByteArray(chainHierarchy).replace("ROOT root", "ROOT WORLD_ROOT");

    QTest::newRow("up-from-last")
        << chainHierarchy << QStringList{"J3=neck"}
        << QStringList{"root=hip", "J1=abdomen", "J2=chest", "J3=neck"};
    QTest::newRow("up-replaces")
        << chainHierarchy << QStringList{"J1=neck", "J2=lThigh", "J3=neck"}
        << QStringList{"root=hip", "J1=abdomen", "J2=chest", "J3=neck"};
    QTest::newRow("up-from-middle")
        << chainHierarchy << QStringList{"J2=chest"}
        << QStringList{"root=hip", "J1=abdomen", "J2=chest", "J3=neck"};
    // hip has two children, abdomen one: filling down starts below abdomen.
    QTest::newRow("down-from-single-child")
        << chainHierarchy << QStringList{"J1=abdomen"}
        << QStringList{"root=hip", "J1=abdomen", "J2=chest", "J3=neck"};
    QTest::newRow("down-stops-at-branch")
        << chainHierarchy << QStringList{"root=hip"}
        << QStringList{"root=hip", "J1=-", "J2=-", "J3=-"};
    QTest::newRow("root-only-by-root-pass")
        << chainHierarchy << QStringList{}
        << QStringList{"root=hip", "J1=-", "J2=-", "J3=-"};
    // Going up past the figure's first bone reaches the skeleton node and
    // then nothing; the root pass puts the root back on the first bone.
    QTest::newRow("up-past-the-figure")
        << five << QStringList{"J4=neck"}
        << QStringList{"root=hip", "J1=hip", "J2=abdomen", "J3=chest", "J4=neck"};
    QTest::newRow("up-beyond-the-scene")
        << five << QStringList{"J4=abdomen"}
        << QStringList{"root=hip", "J1=-", "J2=figure", "J3=hip", "J4=abdomen"};
    // Records in a row with one name are one joint to the mapping, even a
    // child named like its parent.
    QTest::newRow("same-name-child")
        << QByteArray("ROOT root\n{\nOFFSET 0 0 0\nCHANNELS 1 Xrotation\nJOINT arm\n{\nOFFSET 0 1 0\n"
                      "JOINT arm\n{\nOFFSET 0 1 0\nCHANNELS 1 Zrotation\n}\n}\n}\n")
        << QStringList{} << QStringList{"root=hip", "arm=-", "arm=-"};
    // A special joint stops the walk up and the root pass.
    QTest::newRow("special-root")
        << world << QStringList{"J3=neck"}
        << QStringList{"WORLD_ROOT=-", "J1=abdomen", "J2=chest", "J3=neck"};
}

//   file:   root -> J1 -> J2 -> J3 (-> J4)      figure: hip -> abdomen -> chest -> neck
//                                                        hip -> lThigh
void tst_ImportDriver::completeMapping()
{
    QFETCH(QByteArray, hierarchy);
    QFETCH(QStringList, premapped);
    QFETCH(QStringList, expected);

    CBvhIn in;
    in.resetParseState();
    for (const QByteArray &line : hierarchy.split('\n'))
        in.parseLine(QString::fromLatin1(line));
    bvhState().targetSkeleton = figure;

    // As the matcher leaves them: a joint's channel records carry its mapping.
    for (const QString &entry : premapped) {
        const QStringList parts = entry.split(QLatin1Char('='));
        KvNode *node = bone(parts[1]);
        QVERIFY(node);
        for (CBvhHeader *r : bvhState().jointList) {
            if (r->name == parts[0]) {
                r->mappedNode = node;
                r->mappedName = parts[1];
            }
        }
    }

    in.completeMapping();

    QStringList actual;
    QString previousName;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type == Joint)
            actual += r->name + QLatin1Char('=') + (r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("-"));
        if (r->type != Joint && r->type < Xposition)
            continue;
        // Every record of a joint, channels included, carries the joint's
        // mapping and parent.
        const CBvhHeader *joint = r;
        for (const CBvhHeader *j : bvhState().jointList) {
            if (j->type == Joint && j->name == r->name) {
                joint = j;
                break;
            }
        }
        QVERIFY2(r->mappedNode == joint->mappedNode, qPrintable(r->name));
        QVERIFY2(r->parent == joint->parent, qPrintable(r->name));
        if (r->mappedNode)
            QCOMPARE(r->mappedName, r->mappedNode->getLabel());
        if (r->level == 1 && !CBvhIn::isSpecialJointName(r->name))
            QCOMPARE(r->parent, nullptr);
    }
    QCOMPARE(actual, expected);
}

QTEST_MAIN(tst_ImportDriver)
#include "tst_importdriver.moc"
