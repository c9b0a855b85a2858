#include "bvhout.h"
#include "bvhstate.h"
#include "expmapdialog.h"
#include "exportfixture.h"
#include "exportoptions.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>
#include <iterator>
#include <memory>

#include <sys/resource.h>

namespace {

enum DialogAction { Accept, Cancel, RootOff };

// Writes beyond limitBytes fail with EFBIG, like a full disk, while it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limitBytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = limitBytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// What an export left open or filled; empty when it cleaned up after itself.
QString leftovers(const CBvhOut &out)
{
    QStringList found;
    if (!bvhState().skeletonList.isEmpty())
        found += QStringLiteral("skeleton list");
    if (out.isIOActive())
        found += QStringLiteral("file operation");
    if (kvApp->isProgressActive())
        found += QStringLiteral("progress");
    if (kvScene->getTime() != 1234)
        found += QStringLiteral("scene time %1").arg(kvScene->getTime());
    return found.join(QStringLiteral(", "));
}

} // namespace

class tst_ExportDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void refused_data();
    void refused();
    void writes_data();
    void writes();
    void matchesTextbookKinematics();

private:
    KvNode *node(const QString &label) const { return kvScene->findNodeByLabel(label); }
    int runExport(CBvhOut &out, const QString &path, DialogAction action);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
    int dialogCalls = 0;
};

//   figure ── hip ─┬─ abdomen ── chest        statue ── base (node) ── arm
//                  └─ lThigh                  prop (no figure)
void tst_ExportDriver::init()
{
    dir = std::make_unique<QTemporaryDir>();
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    kvScene->addNode(exporttest::figure(QStringLiteral("figure"), {"hip:", "abdomen:hip", "chest:abdomen", "lThigh:hip"}).release());
    kvScene->addNode(exporttest::statue().release());
    kvScene->addNode(new KvNode(QStringLiteral("prop")));
    kvScene->selectNode(node(QStringLiteral("chest")));
    dialogCalls = 0;
}

void tst_ExportDriver::cleanup()
{
    bvhState().clearLists();
    secondLifeOption = false;
    app.reset();
    if (dir)
        dir->setAutoRemove(!QTest::currentTestFailed());
    dir.reset();
}

int tst_ExportDriver::runExport(CBvhOut &out, const QString &path, DialogAction action)
{
    kvApp->setDialogHandler([this, action](QDialog *dialog) {
        ++dialogCalls;
        auto *exportDialog = qobject_cast<CExpMapDialog *>(dialog);
        if (action == RootOff && exportDialog && exportDialog->nodeList->topLevelItemCount() > 0)
            exportDialog->colClickedList1(exportDialog->nodeList->topLevelItem(0), CExpMapDialog::ExportColumn);
        return action == Cancel ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });
    return out.write(path, KvFileIOSettings());
}

void tst_ExportDriver::refused_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("target");  // relative to the test folder
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("limitFileSize");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("dialogs");

    const QString selectOne = QStringLiteral("Select a single skeleton node for export.");
    const QString openFails = QStringLiteral("The output file can not be opened or created.");
    const QString writeFails = QStringLiteral("The output file can not be written.");
    QTest::newRow("nothing-selected") << QStringList() << "take.bvh" << int(Accept) << false << selectOne << 0;
    QTest::newRow("two-selected") << QStringList{"chest", "lThigh"} << "take.bvh" << int(Accept) << false << selectOne << 0;
    QTest::newRow("not-in-a-figure") << QStringList{"prop"} << "take.bvh" << int(Accept) << false << selectOne << 0;
    QTest::newRow("cancelled") << QStringList{"chest"} << "take.bvh" << int(Cancel) << false
                               << "Export operation aborted by user." << 1;
    QTest::newRow("root-switched-off") << QStringList{"chest"} << "take.bvh" << int(RootOff) << false
                                       << "There are no bones to export." << 1;
    QTest::newRow("first-child-not-a-bone") << QStringList{"statue"} << "take.bvh" << int(Accept) << false
                                            << "There are no bones to export." << 1;
    QTest::newRow("missing-folder") << QStringList{"chest"} << "missing/take.bvh" << int(Accept) << false << openFails << 1;
    QTest::newRow("folder") << QStringList{"chest"} << "." << int(Accept) << false << openFails << 1;
    QTest::newRow("full-device") << QStringList{"chest"} << "/dev/full" << int(Accept) << false << writeFails << 1;
    QTest::newRow("disk-full") << QStringList{"chest"} << "take.bvh" << int(Accept) << true << writeFails << 1;
}

// Every refusal warns once, leaves an existing target and the scene as they
// were, and closes what the export opened.
void tst_ExportDriver::refused()
{
    QFETCH(QStringList, selection);
    QFETCH(QString, target);
    QFETCH(int, action);
    QFETCH(bool, limitFileSize);
    QFETCH(QString, warning);
    QFETCH(int, dialogs);

    kvScene->clearSelection();
    for (const QString &label : selection)
        kvScene->selectNode(node(label), true);
    const QString previousPath = dir->filePath(QStringLiteral("take.bvh"));
    QVERIFY(writeFile(previousPath, "previous take\n"));
    const QStringList filesBefore = QDir(dir->path()).entryList(QDir::Files);
    kvScene->setTime(1234);

    CBvhOut out;
    const QString path = target.startsWith(QLatin1Char('/')) ? target : dir->filePath(target);
    int result = -1;
    {
        std::unique_ptr<FileSizeLimit> limit(limitFileSize ? new FileSizeLimit(1000) : nullptr);
        result = runExport(out, path, DialogAction(action));
    }

    QCOMPARE(result, 0);
    QCOMPARE(kvApp->messageLog(), QStringList(QStringLiteral("BVH File Exporter: ") + warning));
    QCOMPARE(dialogCalls, dialogs);
    QCOMPARE(readAll(previousPath), QByteArray("previous take\n"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), filesBefore);
    QCOMPARE(leftovers(out), QString());
}

void tst_ExportDriver::writes_data()
{
    QTest::addColumn<bool>("secondLife");
    QTest::newRow("plain") << false;
    QTest::newRow("second-life") << true;
}

// A batch host accepts the dialog as built.
void tst_ExportDriver::writes()
{
    QFETCH(bool, secondLife);
    kvApp->getAppSettingsMgr()->pushPath(QStringLiteral("BVHIO"));
    kvApp->getAppSettingsMgr()->setBoolValue(QStringLiteral("Second Life Opt"), secondLife);
    kvApp->getAppSettingsMgr()->popPath();
    const QString path = dir->filePath(QStringLiteral("take.bvh"));
    QVERIFY(writeFile(path, "previous take\n"));

    kvScene->setAnimRange({480, 4800});
    kvScene->setTime(1234);
    QSignalSpy started(kvApp, &KvApp::progressStarted);
    QSignalSpy stepped(kvApp, &KvApp::progressStepped);
    QList<int> sceneTimes;
    connect(kvApp, &KvApp::progressStepped, this, [&sceneTimes] { sceneTimes.append(kvScene->getTime()); });

    CBvhOut out;
    QCOMPARE(out.write(path, KvFileIOSettings()), 1);
    QCOMPARE(kvApp->messageLog(), QStringList());

    const QByteArray text = readAll(path);
    QVERIFY2(text.startsWith("HIERARCHY\nROOT hip\n{\n"), text.constData());
    QVERIFY(text.contains(secondLife ? "\nFrames:\t28\n" : "\nFrames:\t27\n"));
    QCOMPARE(bvhState().currentFileName, QStringLiteral("take.bvh"));
    QCOMPARE(bvhState().targetSkeleton, node(QStringLiteral("figure")));

    // One unit per listed bone and per frame; the reference frame is free.
    const int total = 4 + 27;
    QCOMPARE(started.size(), 1);
    QCOMPARE(started.at(0).at(0).toString(), QStringLiteral("BVH Export [%1]").arg(path));
    QCOMPARE(started.at(0).at(1).toInt(), total);
    QCOMPARE(stepped.size(), total);
    QCOMPARE(stepped.last().at(0).toInt(), total);
    QCOMPARE(sceneTimes, QList<int>(total, 480));
    QCOMPARE(leftovers(out), QString());
}

// The exported file, read by a textbook BVH reader, puts every joint and
// End Site where the host puts the bone.
//
//   figure ── hip ─┬─ abdomen ── chest ── head ── lEye (starts off head's end)
//                  └─ lThigh ── lShin
void tst_ExportDriver::matchesTextbookKinematics()
{
    struct Bone { const char *name; const char *parent; KvVec3 origin; KvVec3 end; int order; };
    const Bone bones[] = {
        {"hip", "", {0, 100, 0}, {0, 110, 0}, KvRotationOrder::XYZ},
        {"abdomen", "hip", {0, 110, 0}, {0, 130, 2}, KvRotationOrder::ZXY},
        {"chest", "abdomen", {0, 130, 2}, {0, 150, 0}, KvRotationOrder::YZX},
        {"head", "chest", {0, 150, 0}, {0, 170, 0}, KvRotationOrder::ZYX},
        {"lEye", "head", {3, 162, 8}, {3, 162, 9}, KvRotationOrder::XZY},
        {"lThigh", "hip", {10, 95, 0}, {12, 50, 1}, KvRotationOrder::YXZ},
        {"lShin", "lThigh", {12, 50, 1}, {12, 5, -2}, KvRotationOrder::XYZ},
    };
    KvFigureDesc desc;
    desc.name = QStringLiteral("walker");
    for (const Bone &b : bones) {
        desc.bones.push_back({QString::fromLatin1(b.name), QString(), QString::fromLatin1(b.parent), b.origin, b.end,
                              KvRotationOrder(b.order), std::nullopt});
    }
    KvSkeleton *walker = KvFigureBuilder::build(desc).release();
    kvScene->addNode(walker);
    kvScene->selectNode(walker);
    KvNode *hip = walker->findBone(QStringLiteral("hip"));

    const int frames = 6;
    for (int n = 0; n < frames; ++n) {
        const int t = n * 160;
        for (int i = 0; i < int(std::size(bones)); ++i) {
            KvNode *bone = walker->findBone(QString::fromLatin1(bones[i].name));
            bone->getXRotControl()->setKey(t, float(17 * n - 40 + 9 * i));
            bone->getYRotControl()->setKey(t, float(-23 * n + 35 - 5 * i));
            bone->getZRotControl()->setKey(t, float(31 * n - 70 + 13 * i));
        }
        hip->getXPosControl()->setKey(t, 2.5f * n);
        hip->getYPosControl()->setKey(t, -1.0f * n);
        hip->getZPosControl()->setKey(t, 4.0f - n);
    }
    kvScene->setAnimRange({0, frames * 160});

    const QString path = dir->filePath(QStringLiteral("walker.bvh"));
    CBvhOut out;
    QCOMPARE(out.write(path, KvFileIOSettings()), 1);
    kvtest::TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvhFile(path, bvh, &error), qPrintable(error));
    QCOMPARE(int(bvh.joints.size()), int(std::size(bones)));
    QCOMPARE(bvh.frameCount, frames);

    // Joints and End Sites relative to the root, within 1e-4 of the height.
    QStringList misplaced;
    for (int n = 0; n < frames; ++n) {
        const int t = n * 160;
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, n);
        const auto check = [&](const QString &what, const KvVec3d &file, const KvVec3d &host) {
            if (!kvtest::near(file, host - hip->getWSPosD(t), 1e-4 * 170.0))
                misplaced += QStringLiteral("frame %1 %2: file %3, host %4")
                                 .arg(n).arg(what, kvtest::toString(file), kvtest::toString(host - hip->getWSPosD(t)));
        };
        for (size_t j = 0; j < bvh.joints.size(); ++j) {
            const kvtest::TextbookJoint &joint = bvh.joints[j];
            const KvNode *bone = walker->findBone(joint.name);
            QVERIFY2(bone, qPrintable(joint.name));
            const kvtest::Vec3 p = pose.position[j];
            const kvtest::Vec3 tip = kvtest::multiply(pose.rotation[j], joint.endSiteOffset);
            const KvVec3d fileJoint(p[0] - pose.position[0][0], p[1] - pose.position[0][1], p[2] - pose.position[0][2]);
            check(joint.name, fileJoint, bone->getWSPosD(t));
            if (joint.hasEndSite) {
                check(joint.name + QStringLiteral(" end"), fileJoint + KvVec3d(tip[0], tip[1], tip[2]),
                      bone->getWSPosD(t) + bone->getWSRot(t).multVec(KvVec3d(bone->getEndPoint() - bone->getOrigin())));
            }
        }
    }
    QCOMPARE(misplaced, QStringList());
}

QTEST_MAIN(tst_ExportDriver)
#include "tst_exportdriver.moc"
