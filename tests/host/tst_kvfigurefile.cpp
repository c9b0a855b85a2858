#include "kvfigurefile.h"

#include "kvbvhfigure.h"
#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(KvFigureDesc)

namespace {

constexpr float inf = std::numeric_limits<float>::infinity();

// Exact comparison, bit for bit apart from the sign of zero; the first
// difference as text, empty when equal.
QString firstDifference(const KvFigureDesc &a, const KvFigureDesc &b)
{
    const auto same = [](const KvVec3 &u, const KvVec3 &v) { return u == v; };
    if (a.name != b.name || a.label != b.label)
        return QStringLiteral("figure name or label");
    if (a.bones.size() != b.bones.size())
        return QStringLiteral("bone count %1 vs %2").arg(a.bones.size()).arg(b.bones.size());
    for (size_t i = 0; i < a.bones.size(); ++i) {
        const KvBoneDesc &x = a.bones[i];
        const KvBoneDesc &y = b.bones[i];
        const QString where = QStringLiteral("bone %1 \"%2\": ").arg(i).arg(x.name);
        if (x.name != y.name || x.label != y.label || x.parent != y.parent)
            return where + QStringLiteral("name, label or parent");
        if (!same(x.origin, y.origin) || !same(x.endPoint, y.endPoint))
            return where + QStringLiteral("origin or end point");
        if (x.order != y.order)
            return where + QStringLiteral("order");
        if (bool(x.limits) != bool(y.limits))
            return where + QStringLiteral("limits present");
        if (x.limits && (!same(x.limits->minDeg, y.limits->minDeg) || !same(x.limits->maxDeg, y.limits->maxDeg)))
            return where + QStringLiteral("limits");
    }
    return QString();
}

KvBoneDesc bone(const QString &name, const QString &parent, KvVec3 origin, KvVec3 end, int order)
{
    KvBoneDesc desc;
    desc.name = name;
    desc.parent = parent;
    desc.origin = origin;
    desc.endPoint = end;
    desc.order = KvRotationOrder(order);
    return desc;
}

// A valid file; the rejection rows each break one thing in it.
const QByteArray validText = R"({"format": "kvfigure", "version": 1, "name": "fig", "bones": [
 {"name": "hip", "origin": [0, 40, 0], "end": [0, 45, 0], "order": "YXZ"},
 {"name": "thigh", "parent": "hip", "origin": [5, 38, 0], "end": [5, 20, 0], "order": "YXZ", "limits": {"min": [-120, -45, -20], "max": [30, 45, 45]}}
]}
)";

} // namespace

class tst_KvFigureFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void savesSkeleton();
    void rejects_data();
    void rejects();
    void saveRefuses_data();
    void saveRefuses();
    void reportsFileErrors();

private:
    QTemporaryDir dir;
};

void tst_KvFigureFile::initTestCase()
{
    QVERIFY(dir.isValid());
    // Numbers in the files must not follow the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void tst_KvFigureFile::roundTrip_data()
{
    QTest::addColumn<KvFigureDesc>("desc");

    QTest::newRow("default-figure") << KvDefaultFigure::desc();

    QString error;
    const std::optional<KvFigureDesc> fromBvh =
        KvBvhFigure::load(kvtest::dataFile(QStringLiteral("bvh/mixamorig_colon_names.bvh")), &error);
    QVERIFY2(fromBvh, qPrintable(error));
    QTest::newRow("bvh-colon-names") << *fromBvh;

    KvFigureDesc text;
    text.name = QStringLiteral("quote\" back\\slash");
    text.label = QStringLiteral("Figür\twith\ncontrols \x01");
    text.bones = {bone(QStringLiteral("Left Hip"), QString(), {}, {1, 0, 0}, KvRotationOrder::ZYX),
                  bone(QStringLiteral("Knie \"L\""), QStringLiteral("Left Hip"), {}, {}, KvRotationOrder::XZY)};
    text.bones[1].label = QStringLiteral("\u00e9\u4e2d");
    QTest::newRow("awkward-text") << text;

    KvFigureDesc numbers;
    numbers.name = QStringLiteral("n");
    numbers.bones = {bone(QStringLiteral("a"), QString(), {0.1f, 1.0f / 3.0f, -1e-30f},
                          {3.4e38f, -123456.789f, std::numeric_limits<float>::denorm_min()}, KvRotationOrder::YZX),
                     bone(QStringLiteral("b"), QStringLiteral("a"), {16777217.0f, 2.5e-8f, 7.0f},
                          {43.528519f, -0.684411f, 1e10f}, KvRotationOrder::ZXY)};
    numbers.bones[0].limits = KvRotationLimits{{-inf, -0.1f, 0}, {inf, 179.99f, 0}};
    QTest::newRow("awkward-numbers") << numbers;

    KvFigureDesc empty;
    empty.name = QStringLiteral("nobody");
    QTest::newRow("no-bones") << empty;
}

void tst_KvFigureFile::roundTrip()
{
    QFETCH(KvFigureDesc, desc);
    const QString path = dir.filePath(QStringLiteral("%1.json").arg(QTest::currentDataTag()));
    QString error;
    QVERIFY2(KvFigureFile::save(desc, path, &error), qPrintable(error));
    const std::optional<KvFigureDesc> loaded = KvFigureFile::load(path, &error);
    QVERIFY2(loaded, qPrintable(error));
    const QString difference = firstDifference(desc, *loaded);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(!QString::fromUtf8(text).contains(QRegularExpression(QStringLiteral("\\d,\\d"))), text.constData());
    // Saving what was loaded writes the same bytes.
    QCOMPARE(KvFigureFile::toJson(*loaded), text);
}

void tst_KvFigureFile::savesSkeleton()
{
    //   figure
    //   +- hip          (label "Pelvis")
    //      +- group     (a plain node, not a bone)
    //         +- thigh  (X limits only)
    //      +- spine     (all three limits)
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    desc.label = QStringLiteral("Hero");
    desc.bones = {bone(QStringLiteral("hip"), QString(), {0, 40, 0}, {0, 45, 0}, KvRotationOrder::YXZ),
                  bone(QStringLiteral("spine"), QStringLiteral("hip"), {0, 45, 0}, {0, 60, 0}, KvRotationOrder::YZX)};
    desc.bones[0].label = QStringLiteral("Pelvis");
    desc.bones[1].limits = KvRotationLimits{{-10, -20, -30}, {10, 20, 30}};
    std::unique_ptr<KvSkeleton> skeleton = KvFigureBuilder::build(desc);
    QVERIFY(skeleton);
    auto *group = new KvNode(QStringLiteral("group"));
    skeleton->findBone(QStringLiteral("hip"))->addChild(group);
    auto *thigh = new KvBone(QStringLiteral("thigh"));
    thigh->setOrigin({5, 38, 0});
    thigh->setEndPoint({5, 20, 1});
    thigh->setRotationOrder(KvRotationOrder(KvRotationOrder::ZXY));
    thigh->getXRotControl()->setLimits(-120, 30);
    thigh->getXRotControl()->setIsClamped(true);
    group->addChild(thigh);

    const QString path = dir.filePath(QStringLiteral("skeleton.json"));
    QString error;
    QVERIFY2(KvFigureFile::save(*skeleton, path, &error), qPrintable(error));
    const std::optional<KvFigureDesc> loaded = KvFigureFile::load(path, &error);
    QVERIFY2(loaded, qPrintable(error));

    KvFigureDesc expected = desc;
    KvBoneDesc thighDesc = bone(QStringLiteral("thigh"), QStringLiteral("hip"), {5, 38, 0}, {5, 20, 1},
                                KvRotationOrder::ZXY);
    thighDesc.limits = KvRotationLimits{{-120, -inf, -inf}, {30, inf, inf}};
    expected.bones.push_back(thighDesc);  // depth first, and group came after spine
    const QString difference = firstDifference(expected, *loaded);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void tst_KvFigureFile::rejects_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QStringList>("messageParts");

    const auto row = [](const char *tag, const char *from, const char *to, QStringList parts) {
        QTest::newRow(tag) << QByteArray(from) << QByteArray(to) << parts;
    };
    row("syntax", "\"parent\": \"hip\",", "\"parent\": \"hip\" ", {"broken.json:3:"});
    row("not-an-object", validText.constData(), "[1, 2]", {"expected a JSON object"});
    row("format", "\"kvfigure\"", "\"figure\"", {"format"});
    row("version-2", "\"version\": 1", "\"version\": 2", {"version: 2"});
    row("version-text", "\"version\": 1", "\"version\": \"1\"", {"version"});
    row("unknown-top-field", "\"bones\"", "\"Bones\"", {"unknown field \"Bones\""});
    row("bone-not-object", "\"bones\": [\n", "\"bones\": [\n3, ", {"bone 0: expected an object"});
    row("name-missing", "{\"name\": \"thigh\", ", "{", {"bone 1: name: missing"});
    row("name-empty", "\"name\": \"thigh\"", "\"name\": \"\"", {"bone 1: name: empty"});
    row("name-number", "\"name\": \"thigh\"", "\"name\": 7", {"bone 1: name: expected a string"});
    row("name-repeated", "\"name\": \"thigh\"", "\"name\": \"hip\"", {"bone 1 \"hip\"", "already used by bone 0"});
    row("label-number", "\"parent\": \"hip\",", "\"parent\": \"hip\", \"label\": 3,", {"bone 1 \"thigh\": label"});
    row("unknown-bone-field", "\"origin\": [5, 38, 0]", "\"orgin\": [5, 38, 0]", {"bone 1 \"thigh\"", "\"orgin\""});
    row("parent-unknown", "\"parent\": \"hip\"", "\"parent\": \"pelvis\"", {"bone 1 \"thigh\": parent", "\"pelvis\""});
    row("parent-itself", "\"parent\": \"hip\"", "\"parent\": \"thigh\"", {"bone 1 \"thigh\": parent"});
    row("origin-short", "[5, 38, 0]", "[5, 38]", {"bone 1 \"thigh\": origin"});
    row("origin-text", "[5, 38, 0]", "[5, \"38\", 0]", {"origin: item 1"});
    row("origin-null", "[5, 38, 0]", "[5, null, 0]", {"origin: item 1"});
    row("origin-overflow", "[5, 38, 0]", "[5, 1e39, 0]", {"origin: item 1 is out of range"});
    row("end-missing", ", \"end\": [5, 20, 0]", "", {"bone 1 \"thigh\": end: missing"});
    row("order-unknown", "\"YXZ\", \"limits\"", "\"YXX\", \"limits\"", {"bone 1 \"thigh\": order", "\"YXX\""});
    row("order-long", "\"YXZ\", \"limits\"", "\"YXZY\", \"limits\"", {"order", "\"YXZY\""});
    row("order-missing", "\"order\": \"YXZ\", \"limits\"", "\"limits\"", {"bone 1 \"thigh\": order: missing"});
    row("limits-crossed", "\"max\": [30, 45, 45]", "\"max\": [30, -50, 45]", {"bone 1 \"thigh\": limits: Y"});
    row("limits-no-max", ", \"max\": [30, 45, 45]", "", {"limits: max: missing"});
    row("limits-array", "{\"min\": [-120, -45, -20], \"max\": [30, 45, 45]}", "[1, 2]", {"limits"});
    row("limits-extra", "\"max\": [30", "\"mid\": 0, \"max\": [30", {"limits", "\"mid\""});
}

void tst_KvFigureFile::rejects()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QStringList, messageParts);
    QVERIFY(KvFigureFile::fromJson(validText, QStringLiteral("valid.json")));
    QByteArray text = validText;
    text.replace(from, to);
    QVERIFY2(text != validText, "the row changes nothing");

    const QString path = dir.filePath(QStringLiteral("broken.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    QString error;
    QVERIFY(!KvFigureFile::load(path, &error));
    QVERIFY2(error.startsWith(path), qPrintable(error));
    for (const QString &part : messageParts)
        QVERIFY2(error.contains(part), qPrintable(error));
}

void tst_KvFigureFile::saveRefuses_data()
{
    QTest::addColumn<KvFigureDesc>("desc");
    QTest::addColumn<QString>("messagePart");

    KvFigureDesc good;
    good.name = QStringLiteral("fig");
    good.bones = {bone(QStringLiteral("hip"), QString(), {}, {0, 1, 0}, KvRotationOrder::YXZ),
                  bone(QStringLiteral("leg"), QStringLiteral("hip"), {}, {0, -1, 0}, KvRotationOrder::YXZ)};
    good.bones[1].limits = KvRotationLimits{{-10, -10, -10}, {10, 10, 10}};

    KvFigureDesc desc = good;
    desc.bones[1].origin.y = std::nanf("");
    QTest::newRow("nan-origin") << desc << "bone 1 \"leg\"";
    desc = good;
    desc.bones[0].endPoint.z = inf;
    QTest::newRow("infinite-end") << desc << "bone 0 \"hip\"";
    desc = good;
    desc.bones[1].limits->maxDeg.x = std::nanf("");
    QTest::newRow("nan-limit") << desc << "bone 1 \"leg\"";
    desc = good;
    desc.bones[1].limits->maxDeg.z = -inf;
    QTest::newRow("max-minus-infinity") << desc << "bone 1 \"leg\"";
    desc = good;
    desc.bones[1].name = QStringLiteral("hip");
    QTest::newRow("repeated-name") << desc << "already used";
    desc = good;
    desc.bones[1].parent = QStringLiteral("nobody");
    QTest::newRow("unknown-parent") << desc << "\"nobody\"";
    desc = good;
    desc.bones[1].order = KvRotationOrder(7);
    QTest::newRow("invalid-order") << desc << "order";
}

void tst_KvFigureFile::saveRefuses()
{
    QFETCH(KvFigureDesc, desc);
    QFETCH(QString, messagePart);
    const QString path = dir.filePath(QStringLiteral("refused.json"));
    QFile::remove(path);
    QString error;
    QVERIFY(!KvFigureFile::save(desc, path, &error));
    QVERIFY2(error.startsWith(path) && error.contains(messagePart), qPrintable(error));
    QVERIFY(!QFile::exists(path));
}

void tst_KvFigureFile::reportsFileErrors()
{
    const QString missing = dir.filePath(QStringLiteral("no/such/figure.json"));
    QString error;
    QVERIFY(!KvFigureFile::load(missing, &error));
    QVERIFY2(error.startsWith(missing), qPrintable(error));

    error.clear();
    QVERIFY(!KvFigureFile::save(KvDefaultFigure::desc(), missing, &error));
    QVERIFY2(error.startsWith(missing), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_KvFigureFile)
#include "tst_kvfigurefile.moc"
