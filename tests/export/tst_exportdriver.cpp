#include "bvhout.h"
#include "expmapdialog.h"
#include "exportoptions.h"

#include "bvhfixture.h"
#include "kvproperty.h"
#include "kvscene.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QDir>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>
#include <iterator>

#include <sys/resource.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What an export left open, filled or moved.
QString leftovers(const CBvhOut &out)
{
    return QStringLiteral("records %1, file operation %2, progress %3, scene time %4")
        .arg(bvhState().skeletonList.count()).arg(int(out.isIOActive())).arg(int(kvApp->isProgressActive()))
        .arg(kvScene->getTime());
}
const QString cleanedUp = QStringLiteral("records 0, file operation 0, progress 0, scene time 1234");

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
    QString path(const QString &name) const { return host->dir.filePath(name); }

    std::unique_ptr<kvtest::TestHost> host;
};

//   figure ── hip ─┬─ abdomen ── chest        prop (no figure)
//                  └─ lThigh
void tst_ExportDriver::init()
{
    host = std::make_unique<kvtest::TestHost>();
    kvScene->addNode(kvtest::figure(QStringLiteral("figure"), {"hip:", "abdomen:hip", "chest:abdomen", "lThigh:hip"}));
    kvScene->addNode(new KvNode(QStringLiteral("prop")));
    kvScene->selectNode(kvScene->findNodeByLabel(QStringLiteral("chest")));
    kvScene->setTime(1234);
}

void tst_ExportDriver::cleanup()
{
    secondLifeOption = false;
    host->dir.setAutoRemove(!QTest::currentTestFailed());
    host.reset();
}

void tst_ExportDriver::refused_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("target");  // relative to the test folder
    QTest::addColumn<QString>("how");     // what the dialog or the disk does
    QTest::addColumn<QString>("warning");
    const QString selectOne = QStringLiteral("Select a single skeleton node for export.");
    const QString writeFails = QStringLiteral("The output file can not be written.");
    QTest::newRow("nothing-selected") << QStringList() << "take.bvh" << "accept" << selectOne;
    QTest::newRow("two-selected") << QStringList{"chest", "lThigh"} << "take.bvh" << "accept" << selectOne;
    QTest::newRow("not-in-a-figure") << QStringList{"prop"} << "take.bvh" << "accept" << selectOne;
    QTest::newRow("cancelled") << QStringList{"chest"} << "take.bvh" << "cancel" << "Export operation aborted by user.";
    QTest::newRow("nothing-exported") << QStringList{"chest"} << "take.bvh" << "root-off"
                                      << "There are no bones to export.";
    QTest::newRow("missing-folder") << QStringList{"chest"} << "missing/take.bvh" << "accept"
                                    << "The output file can not be opened or created.";
    if (const QString full = kvtest::fullDevice(); !full.isEmpty())
        QTest::newRow("full-device") << QStringList{"chest"} << full << "accept" << writeFails;
    QTest::newRow("disk-full") << QStringList{"chest"} << "take.bvh" << "disk-full" << writeFails;
}

// Every refusal warns once, leaves an existing target and the scene as they
// were, and closes what the export opened.
void tst_ExportDriver::refused()
{
    QFETCH(QStringList, selection);
    QFETCH(QString, target);
    QFETCH(QString, how);
    QFETCH(QString, warning);
    kvScene->clearSelection();
    for (const QString &label : selection)
        kvScene->selectNode(kvScene->findNodeByLabel(label), true);
    QFile previous(path(QStringLiteral("take.bvh")));
    QVERIFY(previous.open(QIODevice::WriteOnly) && previous.write("previous take\n") == 14);
    previous.close();
    const QStringList filesBefore = QDir(host->dir.path()).entryList(QDir::Files);
    kvApp->setDialogHandler([how](QDialog *dialog) {
        auto *exportDialog = qobject_cast<CExpMapDialog *>(dialog);
        if (exportDialog && how == QLatin1String("root-off"))
            exportDialog->colClickedList1(exportDialog->nodeList->topLevelItem(0), CExpMapDialog::ExportColumn);
        return how == QLatin1String("cancel") ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });
    // Writes beyond 1000 bytes fail with EFBIG, as on a full disk.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (how == QLatin1String("disk-full")) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{1000, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    CBvhOut out;
    const int result = out.write(target.startsWith(QLatin1Char('/')) ? target : path(target), KvFileIOSettings());
    setrlimit(RLIMIT_FSIZE, &saved);

    QCOMPARE(result, 0);
    QCOMPARE(kvApp->messageLog(), QStringList(QStringLiteral("BVH File Exporter: ") + warning));
    QCOMPARE(readAll(previous.fileName()), QByteArray("previous take\n"));
    QCOMPARE(QDir(host->dir.path()).entryList(QDir::Files), filesBefore);
    QCOMPARE(leftovers(out), cleanedUp);
}

void tst_ExportDriver::writes_data()
{
    QTest::addColumn<bool>("storedOption");
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<bool>("referenceFrame");
    QTest::addColumn<QByteArray>("root");
    QTest::newRow("stored-on") << true << QVariantMap() << true << QByteArray("hip");
    QTest::newRow("run-on") << false << QVariantMap{{"Second Life Opt", true}} << true << QByteArray("hip");
    QTest::newRow("run-off") << true << QVariantMap{{"Second Life Opt", false}} << false << QByteArray("hip");
    QTest::newRow("run-map-and-option") << false << QVariantMap{{"Map", "walk"}, {"Second Life Opt", "true"}} << true
                                        << QByteArray("Hips");
}

// A batch host accepts the dialog as built, with what the run's settings ask
// for; nothing of it is stored. One progress unit per listed bone and per
// frame line, none for the reference frame.
void tst_ExportDriver::writes()
{
    QFETCH(bool, storedOption);
    QFETCH(QVariantMap, settings);
    QFETCH(bool, referenceFrame);
    QFETCH(QByteArray, root);
    kvtest::setStored(QStringLiteral("Second Life Opt"), storedOption);
    kvtest::setStored(QStringLiteral("Maps"), QStringLiteral("walk;"));
    kvtest::setStored(QStringLiteral("walk_DATA"), QStringLiteral("Hips=hip;"));
    kvScene->setAnimRange({480, 4800});
    QSignalSpy started(kvApp, &KvApp::progressStarted);
    QSignalSpy stepped(kvApp, &KvApp::progressStepped);
    KvFileIOSettings ioSettings;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        ioSettings.setValue(it.key(), it.value());

    CBvhOut out;
    QCOMPARE(out.write(path(QStringLiteral("take.bvh")), ioSettings), 1);
    QCOMPARE(kvApp->messageLog(), QStringList());
    const QByteArrayList lines = readAll(path(QStringLiteral("take.bvh"))).split('\n');
    QCOMPARE(lines.value(1), "ROOT " + root);
    const int frames = referenceFrame ? 28 : 27;
    const qsizetype motion = lines.indexOf("MOTION");
    QCOMPARE(lines.value(motion + 1), "Frames:\t" + QByteArray::number(frames));
    QCOMPARE(lines.size() - motion - 4, frames);  // and the empty text after the last line end
    QCOMPARE(lines.value(motion + 3).startsWith("0.000000 0.002000 0.000000 0.000000 0.060000 "), referenceFrame);
    QCOMPARE(started.value(0), QVariantList({QStringLiteral("BVH Export [%1]").arg(path("take.bvh")), 4 + 27}));
    QCOMPARE(stepped.size(), 4 + 27);
    QCOMPARE(kvtest::stored(QStringLiteral("Second Life Opt")), QVariant(storedOption).toString());
    QCOMPARE(kvtest::stored(QStringLiteral("Maps")), QStringLiteral("walk;"));
    QCOMPARE(leftovers(out), cleanedUp);
}

// The exported file, read by a textbook BVH reader, puts every joint and
// End Site where the host puts the bone, relative to the root and within
// 1e-4 of the figure's height.
//
//   walker ── hip ─┬─ abdomen ── chest ── head ── lEye (starts off head's end)
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
        for (int i = 0; i < int(std::size(bones)); ++i) {
            KvNode *bone = walker->findBone(QString::fromLatin1(bones[i].name));
            bone->getXRotControl()->setKey(n * 160, float(17 * n - 40 + 9 * i));
            bone->getYRotControl()->setKey(n * 160, float(-23 * n + 35 - 5 * i));
            bone->getZRotControl()->setKey(n * 160, float(31 * n - 70 + 13 * i));
        }
        hip->getXPosControl()->setKey(n * 160, 2.5f * n);
        hip->getYPosControl()->setKey(n * 160, -1.0f * n);
        hip->getZPosControl()->setKey(n * 160, 4.0f - n);
    }
    kvScene->setAnimRange({0, frames * 160});
    QCOMPARE(CBvhOut().write(path(QStringLiteral("walker.bvh")), KvFileIOSettings()), 1);
    kvtest::TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvhFile(path(QStringLiteral("walker.bvh")), bvh, &error), qPrintable(error));
    QCOMPARE(int(bvh.joints.size()), int(std::size(bones)));
    QCOMPARE(bvh.frameCount, frames);

    QStringList misplaced;
    for (int n = 0; n < frames; ++n) {
        const int t = n * 160;
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, n);
        for (size_t j = 0; j < bvh.joints.size(); ++j) {
            const KvNode *bone = walker->findBone(bvh.joints[j].name);
            QVERIFY2(bone, qPrintable(bvh.joints[j].name));
            const kvtest::Vec3 p = pose.position[j];
            const kvtest::Vec3 tip = kvtest::multiply(pose.rotation[j], bvh.joints[j].endSiteOffset);
            const KvVec3d file(p[0] - pose.position[0][0], p[1] - pose.position[0][1], p[2] - pose.position[0][2]);
            const KvVec3d inScene = bone->getWSPosD(t) - hip->getWSPosD(t);
            const KvVec3d hostTip = bone->getWSRot(t).multVec(KvVec3d(bone->getEndPoint() - bone->getOrigin()));
            if (!kvtest::near(file, inScene, 1e-4 * 170.0)
                || (bvh.joints[j].hasEndSite && !kvtest::near(KvVec3d(tip[0], tip[1], tip[2]), hostTip, 1e-4 * 170.0)))
                misplaced += QStringLiteral("frame %1 %2: file %3, host %4")
                                 .arg(n).arg(bvh.joints[j].name, kvtest::toString(file), kvtest::toString(inScene));
        }
    }
    QCOMPARE(misplaced, QStringList());
}

QTEST_MAIN(tst_ExportDriver)
#include "tst_exportdriver.moc"
