#include "kvscenefile.h"
#include "testsupport.h"

#include "kvfigurefile.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvscene.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

// Scene files: what is saved comes back bit for bit, and broken files are
// refused with a line that says where.
class tst_KvSceneFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripIsExact();
    void keysBeyondLimitsSurvive();
    void rejects_data();
    void rejects();
    void failedSaveLeavesNoFile();
};

namespace {

//   hip
//   └─ lThigh (limits -10..10 on X)
KvSceneDesc smallScene()
{
    KvSceneDesc desc;
    desc.figure.name = QStringLiteral("legs");
    KvBoneDesc hip;
    hip.name = QStringLiteral("hip");
    hip.origin = KvVec3(0, 40, 0);
    hip.endPoint = KvVec3(0, 43, 0);
    hip.order = KvRotationOrder(KvRotationOrder::YXZ);
    KvBoneDesc thigh;
    thigh.name = QStringLiteral("lThigh");
    thigh.parent = QStringLiteral("hip");
    thigh.origin = KvVec3(5, 40, 0);
    thigh.endPoint = KvVec3(5, 20, 0);
    thigh.order = KvRotationOrder(KvRotationOrder::YXZ);
    thigh.limits = KvRotationLimits{KvVec3(-10, -90, -90), KvVec3(10, 90, 90)};
    desc.figure.bones = {hip, thigh};
    desc.timeStep = 40;
    desc.time = 80;
    desc.animRange = KvTimeRange(0, 400);
    desc.playRange = KvTimeRange(40, 360);
    return desc;
}

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
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
    desc.tracks.push_back({thigh, 3, {-40, 0, 4800}, {1.5f, -2.25f, 9.75f}});  // uneven from the first step
    desc.tracks.push_back({thigh, 8, {100}, {1.25f}});  // one key

    QString error;
    const QByteArray json = KvSceneFile::toJson(desc, &error);
    QVERIFY2(!json.isEmpty(), qPrintable(error));
    QVERIFY(json.contains("\"start\": 0, \"step\": 40"));
    QVERIFY(json.contains("\"times\": [-40, 0, 4800]"));

    const std::optional<KvSceneDesc> back = KvSceneFile::fromJson(json, QStringLiteral("scene.json"), &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->timeStep, 40);
    QCOMPARE(back->time, 80);
    QVERIFY(back->animRange == KvTimeRange(0, 400));
    QVERIFY(back->playRange == KvTimeRange(40, 360));
    QCOMPARE(int(back->figure.bones.size()), 2);
    QVERIFY(back->figure.bones[1].limits);
    QCOMPARE(int(back->tracks.size()), 3);
    for (size_t t = 0; t < desc.tracks.size(); ++t) {
        QCOMPARE(back->tracks[t].bone, desc.tracks[t].bone);
        QCOMPARE(back->tracks[t].control, desc.tracks[t].control);
        QVERIFY(back->tracks[t].times == desc.tracks[t].times);
        QCOMPARE(back->tracks[t].values.size(), desc.tracks[t].values.size());
        for (size_t k = 0; k < desc.tracks[t].values.size(); ++k)
            QVERIFY2(sameBits(back->tracks[t].values[k], desc.tracks[t].values[k]), qPrintable(QString::number(k)));
    }

    // Built into a scene and described again, nothing changes either.
    KvScene scene;
    KvSkeleton *skeleton = KvSceneFile::build(*back, &scene, &error);
    QVERIFY2(skeleton, qPrintable(error));
    QCOMPARE(scene.getTimeStep(), 40);
    QCOMPARE(scene.getTime(), 80);
    QCOMPARE(KvSceneFile::toJson(KvSceneFile::describe(scene, *skeleton)), json);
}

// Keys set while limits were off stay as they were set.
void tst_KvSceneFile::keysBeyondLimitsSurvive()
{
    KvSceneDesc desc = smallScene();
    desc.tracks.push_back({QStringLiteral("lThigh"), 3, {0, 40}, {45.0f, -30.0f}});
    KvScene scene;
    KvSkeleton *skeleton = KvSceneFile::build(desc, &scene);
    QVERIFY(skeleton);
    const KvFloatProperty *xRot = skeleton->findBone(QStringLiteral("lThigh"))->getXRotControl();
    QVERIFY(xRot->isClamped());
    QCOMPARE(xRot->getNumKeys(), 2);
    QCOMPARE(xRot->getKeyValue(0), 45.0);
    QCOMPARE(xRot->getKeyValue(1), -30.0);
}

void tst_KvSceneFile::rejects_data()
{
    QTest::addColumn<QByteArray>("change");  // replaces "KEYS" in the template below
    QTest::addColumn<QString>("error");

    QTest::newRow("fine") << QByteArray(R"({"bone": "hip", "control": "zRot", "times": [0], "values": [1]})") << QString();
    QTest::newRow("unknown-bone") << QByteArray(R"({"bone": "knee", "control": "zRot", "times": [0], "values": [1]})")
                                  << "s.json: keys 0: bone \"knee\" is not in the figure";
    QTest::newRow("unknown-control") << QByteArray(R"({"bone": "hip", "control": "zrot", "times": [0], "values": [1]})")
                                     << "s.json: keys 0 \"hip\": unknown control \"zrot\"";
    QTest::newRow("lengths-differ") << QByteArray(R"({"bone": "hip", "control": "xPos", "times": [0, 1], "values": [1]})")
                                    << "s.json: keys 0 \"hip\" xPos: 2 times but 1 values";
    QTest::newRow("times-fall") << QByteArray(R"({"bone": "hip", "control": "xPos", "times": [5, 5], "values": [1, 2]})")
                                << "s.json: keys 0 \"hip\" xPos: times must rise (key 1)";
    QTest::newRow("fractional-tick") << QByteArray(R"({"bone": "hip", "control": "xPos", "times": [0.5], "values": [1]})")
                                     << "s.json: keys 0 \"hip\" xPos: times: expected a whole number of ticks";
    QTest::newRow("both-timings") << QByteArray(R"({"bone": "hip", "control": "xPos", "times": [0], "start": 0, "step": 1, "values": [1]})")
                                  << "s.json: keys 0 \"hip\" xPos: give either times or start and step";
    QTest::newRow("step-zero") << QByteArray(R"({"bone": "hip", "control": "xPos", "start": 0, "step": 0, "values": [1]})")
                               << "s.json: keys 0 \"hip\" xPos: step: must be at least one tick";
    QTest::newRow("text-value") << QByteArray(R"({"bone": "hip", "control": "xPos", "times": [0], "values": ["1"]})")
                                << "s.json: keys 0 \"hip\" xPos: values: expected an array of numbers";
    QTest::newRow("float-overflow") << QByteArray(R"({"bone": "hip", "control": "xPos", "times": [0], "values": [1e39]})")
                                    << "s.json: keys 0 \"hip\" xPos: values: expected an array of numbers";
    QTest::newRow("keyed-twice") << QByteArray(R"({"bone": "hip", "control": "xPos", "times": [0], "values": [1]},
                                                  {"bone": "hip", "control": "xPos", "times": [1], "values": [2]})")
                                 << "s.json: keys 1 \"hip\" xPos: the control is keyed twice";
    QTest::newRow("misspelt-field") << QByteArray(R"({"bone": "hip", "control": "xPos", "time": [0], "values": [1]})")
                                    << "s.json: keys 0: unknown field \"time\"";
    QTest::newRow("syntax") << QByteArray("{\"bone\": \"hip\",\n}") << "s.json:12: ";
}

void tst_KvSceneFile::rejects()
{
    QFETCH(QByteArray, change);
    QFETCH(QString, error);
    QByteArray json = R"({
    "format": "kvscene",
    "version": 1,
    "timeStep": 160,
    "time": 0,
    "animRange": [0, 4800],
    "playRange": [0, 4800],
    "figure": {"format": "kvfigure", "version": 1, "name": "one",
               "bones": [{"name": "hip", "origin": [0, 1, 0], "end": [0, 2, 0], "order": "YXZ"}]},
    "keys": [
        KEYS
    ]
})";
    json.replace("KEYS", change);
    QString message;
    const std::optional<KvSceneDesc> desc = KvSceneFile::fromJson(json, QStringLiteral("s.json"), &message);
    if (error.isEmpty()) {
        QVERIFY2(desc, qPrintable(message));
        return;
    }
    QVERIFY(!desc);
    QVERIFY2(message.startsWith(error), qPrintable(message));
}

void tst_KvSceneFile::failedSaveLeavesNoFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("scene.json"));
    KvSceneDesc desc = smallScene();
    QVERIFY(KvSceneFile::save(desc, path));
    const QByteArray good = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(!good.isEmpty());

    desc.tracks.push_back({QStringLiteral("hip"), 0, {0}, {std::nanf("")}});
    QString error;
    QVERIFY(!KvSceneFile::save(desc, path, &error));
    QVERIFY2(error.contains(QLatin1String("not a number")), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), good);
    QVERIFY(!KvSceneFile::save(desc, dir.filePath(QStringLiteral("new.json"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("new.json"))));

    // A full disk fails the save, of a scene and of a figure alike, and
    // leaves the device a device.
    if (const QString full = kvtest::fullDevice(); !full.isEmpty()) {
        QVERIFY(!KvSceneFile::save(smallScene(), full, &error));
        QVERIFY2(error.startsWith(full + QLatin1String(": cannot write")), qPrintable(error));
        QVERIFY(!KvFigureFile::save(smallScene().figure, full));
        QCOMPARE(kvtest::fullDevice(), full);
    }
}

QTEST_GUILESS_MAIN(tst_KvSceneFile)
#include "tst_kvscenefile.moc"
