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

//   root -> J1 -> J2 -> J3 -> End Site, each joint with channels
const QByteArray chain =
    "HIERARCHY\nROOT root\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "JOINT J1\n{\nOFFSET 0 10 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n"
    "JOINT J2\n{\nOFFSET 0 10 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n"
    "JOINT J3\n{\nOFFSET 0 10 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n"
    "End Site\n{\nOFFSET 0 5 0\n}\n}\n}\n}\n}\n";
const QByteArray frame = "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15";
const QByteArray motion = "MOTION\nFrames: 2\nFrame Time: 0.0333333\n" + frame + "\n" + frame + "\n";

int lineCount(const QByteArray &text)
{
    QStringList lines = QString::fromLatin1(text).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    if (lines.last().isEmpty())
        lines.removeLast();
    return int(lines.size());
}

QString warning(const QString &text)
{
    return QStringLiteral("BVH File Importer: ") + text;
}

} // namespace

class tst_ImportDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void importRuns_data();
    void importRuns();
    void targetSkeleton_data();
    void targetSkeleton();
    void stopsEarly_data();
    void stopsEarly();
    void frameCount_data();
    void frameCount();
    void completeMapping_data();
    void completeMapping();

private:
    QString writeFile(const QByteArray &text, const QString &name = QStringLiteral("take.bvh"));
    KvNode *bone(const QString &label) const { return kvScene->findNodeByLabel(label); }
    int runImport(CBvhIn &in, const QString &path, int answer = QDialog::Accepted);
    // Stand in for the skeleton walk and older leftovers; every import that
    // gets past the chooser must leave both lists empty.
    void fillLists();
    bool listsEmpty() const { return bvhState().jointList.isEmpty() && bvhState().skeletonList.isEmpty(); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
    KvSkeleton *figure = nullptr;
    // What the import looked like when the mapping dialog came up.
    int dialogCalls = 0;
    int dialogJoints = 0;
    int dialogFrames = -1;
    float dialogFrameTime = -1;
    bool dialogInProgress = false;
    QStringList dialogRootMapping;
};

//   figure ── hip ─┬─ abdomen ── chest ── neck
//                  └─ lThigh
void tst_ImportDriver::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    const char *const bones[][2] = {{"hip", ""}, {"abdomen", "hip"}, {"chest", "abdomen"}, {"neck", "chest"}, {"lThigh", "hip"}};
    for (const auto &b : bones) {
        desc.bones.emplace_back();
        desc.bones.back().name = QString::fromLatin1(b[0]);
        desc.bones.back().parent = QString::fromLatin1(b[1]);
    }
    figure = KvFigureBuilder::build(desc).release();
    QVERIFY(figure);
    kvScene->addNode(figure);
    kvScene->selectNode(bone(QStringLiteral("chest")));
    dialogCalls = 0;
    dialogRootMapping.clear();
}

void tst_ImportDriver::cleanup()
{
    CBvhIn::setMappingDialog(nullptr);
    bvhState().clearLists();
    app.reset();
    dir.reset();
}

QString tst_ImportDriver::writeFile(const QByteArray &text, const QString &name)
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

int tst_ImportDriver::runImport(CBvhIn &in, const QString &path, int answer)
{
    CBvhIn::setMappingDialog([this, answer](CBvhIn &importer) {
        ++dialogCalls;
        dialogJoints = bvhState().jointList.count();
        dialogFrames = importer.numFrames;
        dialogFrameTime = importer.frameTime;
        dialogInProgress = kvApp->isProgressActive() && importer.isIOActive();
        for (const CBvhHeader *r : bvhState().jointList) {
            if (r->level == 1)
                dialogRootMapping += r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("-");
        }
        return answer;
    });
    return in.read(path, KvFileIOSettings());
}

void tst_ImportDriver::importRuns_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");

    const QDir data(kvtest::dataFile(QStringLiteral("bvh")));
    for (const QString &file : data.entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name)) {
        QFile f(data.filePath(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QTest::newRow(qPrintable(file)) << file << text;
        if (file == QLatin1String("mocapbank_crlf.bvh"))
            QTest::newRow("cr-only") << "cr_only.bvh" << QByteArray(text).replace("\r\n", "\r");
    }
    QTest::newRow("no-last-line-end") << "chain.bvh" << QByteArray(chain + motion).chopped(1);
    QTest::newRow("trailing-blank-lines") << "chain.bvh" << QByteArray(chain + motion + "\n\n \n");
}

// An import that runs to its end: one progress step per line, startIO and
// finishIO once each, the scene time where it was, both lists empty.
void tst_ImportDriver::importRuns()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);

    const QString path = writeFile(text, name);
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
    QCOMPARE(started.count(), 1);
    QCOMPARE(started[0][0].toString(), QStringLiteral("BVH Import [%1]").arg(name));
    QCOMPARE(started[0][1].toInt(), lineCount(text));
    QCOMPARE(stepped.count(), lineCount(text));
    QCOMPARE(stepped.last()[0].toInt(), lineCount(text));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(ioStarted.count(), 1);
    QCOMPARE(ioFinished.count(), 1);
    QVERIFY(!in.isIOActive());

    QCOMPARE(dialogCalls, 1);
    QVERIFY(dialogInProgress);
    QVERIFY(dialogJoints > 0);
    // The root's records drive the figure's first bone.
    QVERIFY(!dialogRootMapping.isEmpty());
    QCOMPARE(dialogRootMapping, QStringList(dialogRootMapping.size(), QStringLiteral("hip")));
    QCOMPARE(bvhState().targetSkeleton, figure);

    QVERIFY(listsEmpty());
    QCOMPARE(kvScene->getTime(), 320);
    QVERIFY(bvhState().currentMapName.isEmpty() && !bvhState().currentMapName.isNull());
    QCOMPARE(bvhState().currentFileName, name);
    QCOMPARE(kvApp->getImportMgr()->getImportPath(), dir->path());
}

void tst_ImportDriver::targetSkeleton_data()
{
    QTest::addColumn<QString>("selected");  // a label; "prop" is a node outside every figure
    QTest::addColumn<int>("answer");         // -1: the chooser must not open
    QTest::addColumn<bool>("pickFigure");
    QTest::addColumn<int>("result");

    QTest::newRow("bone-selected")      << "neck" << -1 << false << 1;
    QTest::newRow("figure-selected")    << "figure" << -1 << false << 1;
    QTest::newRow("nothing-rejected")   << "" << int(QDialog::Rejected) << false << 0;
    QTest::newRow("nothing-picked")     << "" << int(QDialog::Accepted) << true << 1;
    QTest::newRow("prop-rejected")      << "prop" << int(QDialog::Rejected) << false << 0;
    QTest::newRow("prop-picked")        << "prop" << int(QDialog::Accepted) << true << 1;
    QTest::newRow("accepted-no-choice") << "" << int(QDialog::Accepted) << false << 0;
}

void tst_ImportDriver::targetSkeleton()
{
    QFETCH(QString, selected);
    QFETCH(int, answer);
    QFETCH(bool, pickFigure);
    QFETCH(int, result);

    QMainWindow window;
    kvApp->setInterface(&window);
    const auto noWindow = qScopeGuard([] { kvApp->setInterface(nullptr); });
    kvScene->clearSelection();
    if (selected == QLatin1String("prop")) {
        auto *prop = new KvNode(QStringLiteral("prop"));
        kvScene->addNode(prop);
        kvScene->selectNode(prop);
    } else if (!selected.isEmpty()) {
        kvScene->selectNode(bone(selected));
    }

    int chooserCalls = 0;
    kvApp->setDialogHandler([&](QDialog *dialog) {
        ++chooserCalls;
        auto *chooser = qobject_cast<KvNodeDlg *>(dialog);
        if (!chooser || chooser->windowTitle() != QLatin1String("BVH File Importer - Skeleton Node Selector")
            || chooser->parentWidget() != &window || !chooser->treeWidget()->selectedItems().isEmpty())
            return -1;
        if (pickFigure)
            chooser->treeWidget()->findItems(QStringLiteral("figure"), Qt::MatchExactly).value(0)->setSelected(true);
        return answer;
    });

    // What a refusal must leave alone.
    CBvhHeader *sentinel = bvhState().jointList.append(std::make_unique<CBvhHeader>());
    bvhState().currentMapName = QStringLiteral("map");
    kvApp->getImportMgr()->setImportPath(QStringLiteral("/somewhere"));
    CBvhIn in;
    QSignalSpy ioStarted(&in, &KvFileIO::ioStarted);

    QCOMPARE(runImport(in, writeFile(chain + motion)), result);
    QCOMPARE(chooserCalls, answer < 0 ? 0 : 1);
    if (result == 1) {
        QCOMPARE(bvhState().targetSkeleton, figure);
        QVERIFY(listsEmpty());
        QCOMPARE(kvApp->messageLog(), QStringList());
        return;
    }
    QCOMPARE(kvApp->messageLog(), answer == QDialog::Accepted
             ? QStringList(warning(QStringLiteral("The chosen node does not belong to a figure.")))
             : QStringList());
    QCOMPARE(dialogCalls, 0);
    QCOMPARE(ioStarted.count(), 0);
    QCOMPARE(bvhState().jointList.count(), 1);
    QCOMPARE(bvhState().jointList.first(), sentinel);
    QCOMPARE(bvhState().currentMapName, QStringLiteral("map"));
    QCOMPARE(kvApp->getImportMgr()->getImportPath(), QStringLiteral("/somewhere"));
}

void tst_ImportDriver::stopsEarly_data()
{
    QTest::addColumn<QString>("name");       // "" writes text to take.bvh
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("answer");         // of the mapping dialog
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("dialogCalls");

    const QString unreadable = QStringLiteral("The selected file can not be opened.");
    const QString noMotion = QStringLiteral("The selected file has no motion data.");
    QTest::newRow("missing-file")   << "missing.bvh" << QByteArray() << 1 << unreadable << 0;
    QTest::newRow("directory")      << "." << QByteArray() << 1 << unreadable << 0;
    QTest::newRow("cancelled")      << "" << chain + motion << 0 << "Import operation aborted by user." << 1;
    QTest::newRow("hierarchy-only") << "" << chain << 1 << noMotion << 0;
    QTest::newRow("no-frame-line")  << "" << chain + "MOTION\nFrames: 2\n" << 1 << noMotion << 0;
    QTest::newRow("empty-file")     << "" << QByteArray() << 1 << noMotion << 0;
}

// An import that stops early says why, changes neither keys nor the scene
// time (it was never saved: savedSceneTime holds a stale value here),
// finishes what it started and leaves both lists empty.
void tst_ImportDriver::stopsEarly()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(int, answer);
    QFETCH(QString, message);
    QFETCH(int, dialogCalls);

    const QString path = name.isEmpty() ? writeFile(text) : dir->filePath(name);
    kvScene->setTime(640);
    fillLists();
    CBvhIn in;
    in.savedSceneTime = 4800;
    QSignalSpy started(kvApp, &KvApp::progressStarted);
    QSignalSpy stepped(kvApp, &KvApp::progressStepped);
    QSignalSpy ioFinished(&in, &KvFileIO::ioFinished);
    QSignalSpy timeChanged(kvScene, &KvScene::timeChanged);

    QCOMPARE(runImport(in, path, answer), 0);
    QCOMPARE(kvApp->messageLog(), QStringList(warning(message)));
    QCOMPARE(this->dialogCalls, dialogCalls);
    QCOMPARE(timeChanged.count(), 0);
    QCOMPARE(ioFinished.count(), 1);
    QVERIFY(!in.isIOActive());
    QVERIFY(!kvApp->isProgressActive());
    QCOMPARE(started.count(), name.isEmpty() ? 1 : 0);
    if (message != QLatin1String("Import operation aborted by user."))
        QCOMPARE(stepped.count(), lineCount(text));
    QVERIFY(listsEmpty());

    // The importer is fit for the next file.
    QCOMPARE(runImport(in, writeFile(chain + motion)), 1);
}

void tst_ImportDriver::frameCount_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("numFrames");
    QTest::addColumn<float>("frameTime");

    QTest::newRow("stated") << "MOTION\nFrames: 3\nFrame Time: 0.5\n" + frame + "\n" << 3 << 0.5f;
    QTest::newRow("counted") << "MOTION\nFrame Time: 0.25\n" + frame + "\n" + frame + "\n" + frame << 3 << 0.25f;
    QTest::newRow("counted-blank-lines") << "MOTION\nFrame Time: 0.25\n\n" + frame + "\n \t\n" + frame + "\r\n\r\n"
                                         << 2 << 0.25f;
    QTest::newRow("counted-cr") << "MOTION\rFrame Time: 0.25\r" + frame + "\r" + frame + "\r" << 2 << 0.25f;
    QTest::newRow("counted-none") << QByteArray("MOTION\nFrame Time: 0.25\n") << 0 << 0.25f;
    QTest::newRow("no-frame-time") << "MOTION\nFrames: 2\nFrame 1\n" + frame << 2 << 0.0f;
}

// Without a stated count the frames are the lines with values after the
// hierarchy; what the file leaves out starts at 0 for every file, never at
// the previous file's value.
void tst_ImportDriver::frameCount()
{
    QFETCH(QByteArray, tail);
    QFETCH(int, numFrames);
    QFETCH(float, frameTime);

    CBvhIn in;
    QCOMPARE(runImport(in, writeFile(chain + "MOTION\nFrames: 50\nFrame Time: 0.125\n", QStringLiteral("a.bvh"))), 1);
    QCOMPARE(dialogFrames, 50);
    QCOMPARE(runImport(in, writeFile(chain + tail)), 1);
    QCOMPARE(dialogCalls, 2);
    QCOMPARE(dialogFrames, numFrames);
    QCOMPARE(dialogFrameTime, frameTime);
}

void tst_ImportDriver::completeMapping_data()
{
    QTest::addColumn<QByteArray>("hierarchy");
    QTest::addColumn<QStringList>("premapped");  // joint=label, as the matcher left them
    QTest::addColumn<QString>("expected");       // joint=label ..., "-" for none

    const QByteArray five = QByteArray(chain).replace("JOINT J3", "JOINT J3\n{\nOFFSET 0 1 0\nJOINT J4");
    const QByteArray world = QByteArray(chain).replace("ROOT root", "ROOT WORLD_ROOT");
    const QString full = QStringLiteral("root=hip J1=abdomen J2=chest J3=neck");

    QTest::newRow("up-from-last")   << chain << QStringList{"J3=neck"} << full;
    QTest::newRow("up-replaces")    << chain << QStringList{"J1=neck", "J2=lThigh", "J3=neck"} << full;
    // Down only into single children: hip has two, abdomen one.
    QTest::newRow("up-and-down")    << chain << QStringList{"J2=chest"} << full;
    QTest::newRow("down")           << chain << QStringList{"J1=abdomen"} << full;
    QTest::newRow("down-branches")  << chain << QStringList{"root=hip"} << "root=hip J1=- J2=- J3=-";
    QTest::newRow("root-pass-only") << chain << QStringList{} << "root=hip J1=- J2=- J3=-";
    // Up past the first bone to the skeleton node and beyond; the root pass
    // puts the root back on the first bone.
    QTest::newRow("up-to-figure")   << five << QStringList{"J4=neck"} << "root=hip J1=hip J2=abdomen J3=chest J4=neck";
    QTest::newRow("up-off-the-top") << five << QStringList{"J4=abdomen"} << "root=hip J1=- J2=figure J3=hip J4=abdomen";
    // A special joint stops the walk up and the root pass.
    QTest::newRow("special-root")   << world << QStringList{"J3=neck"} << "WORLD_ROOT=- J1=abdomen J2=chest J3=neck";
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
        const QStringList parts = entry.split(QLatin1Char('='));
        for (CBvhHeader *r : bvhState().jointList) {
            if (r->name == parts[0]) {
                r->mappedNode = bone(parts[1]);
                r->mappedName = parts[1];
            }
        }
    }

    in.completeMapping();

    QStringList actual;
    const CBvhHeader *joint = nullptr;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type == Joint) {
            actual += r->name + QLatin1Char('=') + (r->mappedNode ? r->mappedNode->getLabel() : QStringLiteral("-"));
            // Channel records follow the first joint record of their name.
            if (!joint || joint->name != r->name)
                joint = r;
        }
        if (r->type == Joint || r->type >= Xposition) {
            QVERIFY2(r->mappedNode == joint->mappedNode && r->parent == joint->parent, qPrintable(r->name));
            QVERIFY(!r->mappedNode || r->mappedName == r->mappedNode->getLabel());
        }
    }
    QCOMPARE(actual.join(QLatin1Char(' ')), expected);
}

QTEST_MAIN(tst_ImportDriver)
#include "tst_importdriver.moc"
