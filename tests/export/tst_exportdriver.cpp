#include "bvhout.h"
#include "expmapdialog.h"
#include "exportoptions.h"

#include "bvhfixture.h"
#include "kvproperty.h"
#include "kvscene.h"
#include "testsupport.h"
#include "textbookbvh.h"

#include <QTreeWidget>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>

class tst_ExportDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void exports_data();
    void exports();
    void matchesTextbookKinematics();

private:
    QString path(const QString &name) const { return host->dir.filePath(name); }

    std::unique_ptr<kvtest::TestHost> host;
};

void tst_ExportDriver::init()
{
    host = std::make_unique<kvtest::TestHost>();
    kvScene->addNode(kvtest::figure(QStringLiteral("figure"), {"hip", "abdomen<hip", "chest<abdomen", "lThigh<hip"}));
    kvScene->addNode(new KvNode(QStringLiteral("prop")));
    kvScene->setTime(1234);
}

void tst_ExportDriver::cleanup()
{
    secondLifeOption = false;
    host.reset();
}

// Each row is named after what the selection, the dialog or the disk does.
void tst_ExportDriver::exports_data()
{
    QTest::addColumn<QVariantMap>("settings");  // the run's; the stored Second Life option is on
    QTest::addColumn<QString>("outcome");       // the warning, or the ROOT and Frames lines
    const QString selectOne = QStringLiteral("Select a single skeleton node for export.");
    QTest::newRow("two-selected") << QVariantMap() << selectOne;
    QTest::newRow("prop-selected") << QVariantMap() << selectOne;
    QTest::newRow("cancel") << QVariantMap() << QStringLiteral("Export operation aborted by user.");
    QTest::newRow("root-off") << QVariantMap() << QStringLiteral("There are no bones to export.");
    QTest::newRow("missing-folder") << QVariantMap() << QStringLiteral("The output file can not be opened or created.");
    if (!kvtest::fullDevice().isEmpty())
        QTest::newRow("full-device") << QVariantMap() << QStringLiteral("The output file can not be written.");
    QTest::newRow("disk-full") << QVariantMap() << QStringLiteral("The output file can not be written.");
    QTest::newRow("stored-option") << QVariantMap() << QStringLiteral("ROOT hip\nFrames:\t28");
    QTest::newRow("run-option") << QVariantMap{{"Second Life Opt", false}} << QStringLiteral("ROOT hip\nFrames:\t27");
    QTest::newRow("run-map-and-option") << QVariantMap{{"Map", "walk"}, {"Second Life Opt", "false"}}
                                        << QStringLiteral("ROOT Hips\nFrames:\t27");
}

// A refusal warns once and leaves an existing target as it was. A batch host accepts the dialog as
// built, with what the run's settings ask for, storing none of it; Second Life's reference frame first.
void tst_ExportDriver::exports()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, outcome);
    const QByteArray how = QTest::currentDataTag();
    const bool succeeds = outcome.startsWith(QLatin1String("ROOT "));
    kvtest::setStored(QStringLiteral("Second Life Opt"), true);
    kvtest::setStored(QStringLiteral("Maps"), QStringLiteral("walk;"));
    kvtest::setStored(QStringLiteral("walk_DATA"), QStringLiteral("Hips=hip;"));
    kvScene->setAnimRange({480, 4800});
    kvScene->selectNode(kvScene->findNodeByLabel(QLatin1String(how == "prop-selected" ? "prop" : "chest")));
    if (how == "two-selected")
        kvScene->selectNode(kvScene->findNodeByLabel(QStringLiteral("lThigh")), true);
    QFile file(path(QStringLiteral("take.bvh")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("previous take\n") == 14);
    file.close();
    kvApp->setDialogHandler([how](QDialog *dialog) {
        if (auto *exportDialog = qobject_cast<CExpMapDialog *>(dialog); exportDialog && how == "root-off")
            exportDialog->colClickedList1(exportDialog->nodeList->topLevelItem(0), CExpMapDialog::ExportColumn);
        return how == "cancel" ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });
    KvFileIOSettings ioSettings;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        ioSettings.setValue(it.key(), it.value());
    // On a "full disk", writes beyond 1000 bytes fail with EFBIG.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{how == "disk-full" ? 1000 : saved.rlim_cur, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    CBvhOut out;
    const int result = out.write(how == "full-device" ? kvtest::fullDevice()
                                 : how == "missing-folder" ? path(QStringLiteral("missing/take.bvh")) : file.fileName(),
                                 ioSettings);
    setrlimit(RLIMIT_FSIZE, &saved);

    QCOMPARE(result, int(succeeds));
    QCOMPARE(kvApp->messageLog().join('\n'), succeeds ? QString() : QStringLiteral("BVH File Exporter: ") + outcome);
    // Records, file operation and progress closed, the scene's time back.
    QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(bvhState().skeletonList.count()).arg(int(out.isIOActive()))
                 .arg(int(kvApp->isProgressActive())).arg(kvScene->getTime()), QStringLiteral("0 0 0 1234"));
    QCOMPARE(kvtest::stored(QStringLiteral("Second Life Opt")), QStringLiteral("true"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArrayList lines = file.readAll().split('\n');
    if (!succeeds) {
        QCOMPARE(lines, QByteArrayList({"previous take", ""}));
        return;
    }
    const qsizetype motion = lines.indexOf("MOTION");
    QCOMPARE(QString::fromLatin1(lines.value(1) + '\n' + lines.value(motion + 1)), outcome);
    const int frames = outcome.endsWith(QLatin1String("28")) ? 28 : 27;
    QCOMPARE(lines.size() - motion - 4, frames);  // and the empty text after the last line end
    QCOMPARE(lines.value(motion + 3).startsWith("0.000000 0.002000 0.000000 0.000000 0.060000 "), frames == 28);
}

// A textbook reader of the file puts every joint and End Site where the host puts the
// bone, relative to the root, within 1e-4 of the figure's height (lEye starts off head's end).
void tst_ExportDriver::matchesTextbookKinematics()
{
    using Order = KvRotationOrder;
    const KvFigureDesc desc{QStringLiteral("walker"), {}, {
        {"hip", {}, {}, {0, 100, 0}, {0, 110, 0}, Order(Order::XYZ), {}},
        {"abdomen", {}, "hip", {0, 110, 0}, {0, 130, 2}, Order(Order::ZXY), {}},
        {"chest", {}, "abdomen", {0, 130, 2}, {0, 150, 0}, Order(Order::YZX), {}},
        {"head", {}, "chest", {0, 150, 0}, {0, 170, 0}, Order(Order::ZYX), {}},
        {"lEye", {}, "head", {3, 162, 8}, {3, 162, 9}, Order(Order::XZY), {}},
        {"lThigh", {}, "hip", {10, 95, 0}, {12, 50, 1}, Order(Order::YXZ), {}},
        {"lShin", {}, "lThigh", {12, 50, 1}, {12, 5, -2}, Order(Order::XYZ), {}},
    }};
    KvSkeleton *walker = KvFigureBuilder::build(desc).release();
    kvScene->addNode(walker);
    kvScene->selectNode(walker);
    KvNode *hip = walker->findBone(QStringLiteral("hip"));
    const int frames = 6;
    for (int n = 0; n < frames; ++n) {
        for (int i = 0; i < int(desc.bones.size()); ++i) {
            KvNode *bone = walker->findBone(desc.bones[size_t(i)].name);
            bone->getXRotControl()->setKey(n * 160, float(17 * n - 40 + 9 * i));
            bone->getYRotControl()->setKey(n * 160, float(-23 * n + 35 - 5 * i));
            bone->getZRotControl()->setKey(n * 160, float(31 * n - 70 + 13 * i));
        }
    }
    kvScene->setAnimRange({0, frames * 160});
    QCOMPARE(CBvhOut().write(path(QStringLiteral("walker.bvh")), KvFileIOSettings()), 1);
    kvtest::TextbookBvh bvh;
    QString error;
    QVERIFY2(kvtest::readTextbookBvhFile(path(QStringLiteral("walker.bvh")), bvh, &error), qPrintable(error));
    QVERIFY(bvh.joints.size() == desc.bones.size() && bvh.frameCount == frames);

    const auto vec = [](const kvtest::Vec3 &v) { return KvVec3d(v[0], v[1], v[2]); };
    for (int n = 0; n < frames; ++n) {
        const kvtest::TextbookPose pose = kvtest::forwardKinematics(bvh, n);
        for (size_t j = 0; j < bvh.joints.size(); ++j) {
            const KvNode *bone = walker->findBone(bvh.joints[j].name);
            const KvVec3d file = vec(pose.position[j]) - vec(pose.position[0]);
            const KvVec3d tip = vec(kvtest::multiply(pose.rotation[j], bvh.joints[j].endSiteOffset));
            const KvVec3d hostTip = bone->getWSRot(n * 160).multVec(KvVec3d(bone->getEndPoint() - bone->getOrigin()));
            QVERIFY2(kvtest::near(file, bone->getWSPosD(n * 160) - hip->getWSPosD(n * 160), 1e-4 * 170.0)
                         && (!bvh.joints[j].hasEndSite || kvtest::near(tip, hostTip, 1e-4 * 170.0)),
                     qPrintable(QStringLiteral("frame %1 %2").arg(n).arg(bvh.joints[j].name)));
        }
    }
}

QTEST_MAIN(tst_ExportDriver)
#include "tst_exportdriver.moc"
