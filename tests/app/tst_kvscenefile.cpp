#include "kvscenefile.h"
#include "testsupport.h"

#include "kvfigurefile.h"
#include "kvscene.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

// Scene files: saved bit for bit, and broken ones refused with a line that says where.
class tst_KvSceneFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripIsExact();
    void rejects_data();
    void rejects();
    void failedSaveLeavesNoFile();
};

namespace {

// A hip and a thigh whose X rotation is limited to -10..10.
KvSceneDesc smallScene()
{
    KvSceneDesc desc;
    desc.figure.name = QStringLiteral("legs");
    const KvRotationOrder yxz(KvRotationOrder::YXZ);
    desc.figure.bones = {{"hip", {}, {}, KvVec3(0, 40, 0), KvVec3(0, 43, 0), yxz, std::nullopt},
                         {"lThigh", {}, "hip", KvVec3(5, 40, 0), KvVec3(5, 20, 0), yxz,
                          KvRotationLimits{KvVec3(-10, -90, -90), KvVec3(10, 90, 90)}}};
    desc.timeStep = 40;
    desc.time = 80;
    desc.animRange = KvTimeRange(0, 400);
    desc.playRange = KvTimeRange(40, 360);
    return desc;
}

} // namespace

void tst_KvSceneFile::roundTripIsExact()
{
    KvSceneDesc desc = smallScene();
    // A byte order mark opening a name, which Qt's reader would drop unescaped.
    const QString thigh = desc.figure.bones[1].name = QStringLiteral("\ufefflThigh");
    // Values whose shortest text is long or near the edges of float.
    const std::vector<float> awkward{0.1f, -1.0f / 3.0f, 1e-7f, 3.4028235e38f, std::numeric_limits<float>::denorm_min(),
                                     123456.789f, 43.528519f};
    desc.tracks.push_back({QStringLiteral("hip"), 1, {0, 40, 80, 120, 160, 200, 240}, awkward});   // even: start/step
    // Uneven from the first step; beyond the limits, set while they were off.
    desc.tracks.push_back({thigh, 3, {-40, 0, 4800}, {45.5f, -30.25f, 9.75f}});
    desc.tracks.push_back({thigh, 8, {100}, {1.25f}});  // one key

    QString error;
    const QByteArray json = KvSceneFile::toJson(desc, &error);
    QVERIFY(json.contains("\"start\": 0, \"step\": 40"));
    QVERIFY2(json.contains("\"times\": [-40, 0, 4800]"), json.constData());
    const std::optional<KvSceneDesc> back = KvSceneFile::fromJson(json, QStringLiteral("scene.json"), &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->tracks.size(), desc.tracks.size());
    for (size_t t = 0; t < desc.tracks.size(); ++t) {
        const std::vector<float> &sent = desc.tracks[t].values;
        QVERIFY(back->tracks[t].values.size() == sent.size()
                && std::memcmp(back->tracks[t].values.data(), sent.data(), sent.size() * sizeof(float)) == 0);
    }
    // Built into a scene and described again: the same figure, keys and clock.
    KvScene scene;
    KvSkeleton *skeleton = KvSceneFile::build(*back, &scene, &error);
    QVERIFY2(skeleton, qPrintable(error));
    QCOMPARE(KvSceneFile::toJson(KvSceneFile::describe(scene, *skeleton)), json);
}

void tst_KvSceneFile::rejects_data()
{
    QTest::addColumn<QByteArray>("keys");  // ends the hip's xPos keys in the template below
    QTest::addColumn<QString>("error");    // in the message; empty: read

    QTest::newRow("fine") << QByteArray(R"("times": [0], "values": [1])") << QString();
    QTest::newRow("times-repeat") << QByteArray(R"("times": [5, 5], "values": [1, 2])") << "xPos: times must rise (key 1)";
    QTest::newRow("step-zero") << QByteArray(R"("start": 0, "step": 0, "values": [1])") << "xPos: step: must be at least one tick";
    QTest::newRow("float-overflow") << QByteArray(R"("times": [0], "values": [1e39])") << "xPos: values: expected an array of numbers";
    QTest::newRow("keyed-twice") << QByteArray(R"("times": [0], "values": [1]},
                                                  {"bone": "hip", "control": "xPos", "times": [1], "values": [2])")
                                 << "s.json: keys 1 \"hip\" xPos: the control is keyed twice";
    QTest::newRow("syntax") << QByteArray("\"times\": [0],\n") << "s.json:5: ";
}

void tst_KvSceneFile::rejects()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, error);
    QByteArray json = R"({"format": "kvscene", "version": 1, "timeStep": 160, "time": 0, "animRange": [0, 4800],
    "playRange": [0, 4800], "figure": {"format": "kvfigure", "version": 1, "name": "one",
        "bones": [{"name": "hip", "origin": [0, 1, 0], "end": [0, 2, 0], "order": "YXZ"}]},
    "keys": [{"bone": "hip", "control": "xPos", KEYS}]})";
    QString message;
    const std::optional<KvSceneDesc> desc = KvSceneFile::fromJson(json.replace("KEYS", keys), QStringLiteral("s.json"), &message);
    QVERIFY2(bool(desc) == error.isEmpty() && message.contains(error), qPrintable(message));
}

// A save that fails leaves what was there and says so: a value no reader
// takes, or a full disk, for a scene and a figure alike, the device still a device.
void tst_KvSceneFile::failedSaveLeavesNoFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.json"));
    const auto contents = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    KvSceneDesc desc = smallScene();
    QVERIFY(KvSceneFile::save(desc, path));
    const QByteArray good = contents();

    desc.tracks.push_back({QStringLiteral("hip"), 0, {0}, {std::nanf("")}});
    QString error;
    QVERIFY(!KvSceneFile::save(desc, path, &error));
    QVERIFY2(error.contains(QLatin1String("not a number")), qPrintable(error));
    QCOMPARE(contents(), good);
    const QString fresh = dir.filePath(QStringLiteral("new.json"));
    QVERIFY(!KvSceneFile::save(desc, fresh) && !QFileInfo::exists(fresh));
    if (const QString full = kvtest::fullDevice(); !full.isEmpty()) {
        QVERIFY(!KvSceneFile::save(smallScene(), full, &error));
        QVERIFY2(error.startsWith(full + QLatin1String(": cannot write")), qPrintable(error));
        QVERIFY(!KvFigureFile::save(smallScene().figure, full));
        QCOMPARE(kvtest::fullDevice(), full);
    }
}

QTEST_GUILESS_MAIN(tst_KvSceneFile)
#include "tst_kvscenefile.moc"
