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
#include <cstdio>
#include <limits>

Q_DECLARE_METATYPE(KvFigureDesc)

namespace {

constexpr float inf = std::numeric_limits<float>::infinity();

// One line per bone, floats in hex so that every bit shows (zero's sign is
// not kept); written independently of the file writer under test.
QStringList dump(const KvFigureDesc &desc)
{
    const auto v = [](const KvVec3 &p) {
        char text[128];
        std::snprintf(text, sizeof text, "(%a %a %a)", p.x + 0.0, p.y + 0.0, p.z + 0.0);
        return QString::fromLatin1(text);
    };
    QStringList lines = {desc.name + '|' + desc.label};
    for (const KvBoneDesc &b : desc.bones) {
        lines += b.name + '|' + b.label + '|' + b.parent + '|' + v(b.origin) + v(b.endPoint) + b.order.name()
                 + (b.limits ? v(b.limits->minDeg) + v(b.limits->maxDeg) : QString());
    }
    return lines;
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
                     bone(QStringLiteral("b"), QStringLiteral("a"), {16777217.0f, 2.5e-8f, -0.0f},
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
    QCOMPARE(dump(*loaded), dump(desc));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(!QString::fromUtf8(text).contains(QRegularExpression(QStringLiteral("\\d,\\d"))), text.constData());
    // Saving what was loaded writes the same bytes.
    QCOMPARE(KvFigureFile::toJson(*loaded).split('\n'), text.split('\n'));
}

void tst_KvFigureFile::savesSkeleton()
{
    // A bone with one clamped rotation control keeps the other two unbounded.
    std::unique_ptr<KvSkeleton> skeleton = KvDefaultFigure::build();
    QVERIFY(skeleton);
    skeleton->findBone(QStringLiteral("lShin"))->getYRotControl()->setIsClamped(false);
    skeleton->findBone(QStringLiteral("lShin"))->getZRotControl()->setIsClamped(false);
    KvFigureDesc expected = KvDefaultFigure::desc();
    for (KvBoneDesc &bone : expected.bones) {
        if (bone.name == QLatin1String("lShin"))
            bone.limits = KvRotationLimits{{bone.limits->minDeg.x, -inf, -inf}, {bone.limits->maxDeg.x, inf, inf}};
    }

    const QString path = dir.filePath(QStringLiteral("skeleton.json"));
    QString error;
    QVERIFY2(KvFigureFile::save(*skeleton, path, &error), qPrintable(error));
    const std::optional<KvFigureDesc> loaded = KvFigureFile::load(path, &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(dump(*loaded), dump(expected));
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
    row("format", "\"kvfigure\"", "\"figure\"", {"format"});
    row("version-2", "\"version\": 1", "\"version\": 2", {"version: 2"});
    row("unknown-top-field", "\"bones\"", "\"Bones\"", {"unknown field \"Bones\""});
    row("bone-not-object", "\"bones\": [\n", "\"bones\": [\n3, ", {"bone 0: expected an object"});
    row("name-missing", "{\"name\": \"thigh\", ", "{", {"bone 1: name: missing"});
    row("name-empty", "\"name\": \"thigh\"", "\"name\": \"\"", {"bone 1: name: empty"});
    row("name-repeated", "\"name\": \"thigh\"", "\"name\": \"hip\"", {"bone 1 \"hip\"", "already used by bone 0"});
    row("label-number", "\"parent\": \"hip\",", "\"parent\": \"hip\", \"label\": 3,", {"bone 1 \"thigh\": label"});
    row("unknown-bone-field", "\"origin\": [5, 38, 0]", "\"orgin\": [5, 38, 0]", {"bone 1 \"thigh\"", "\"orgin\""});
    row("parent-unknown", "\"parent\": \"hip\"", "\"parent\": \"pelvis\"", {"bone 1 \"thigh\": parent", "\"pelvis\""});
    row("origin-short", "[5, 38, 0]", "[5, 38]", {"bone 1 \"thigh\": origin"});
    row("origin-text", "[5, 38, 0]", "[5, \"38\", 0]", {"origin: item 1"});
    row("origin-overflow", "[5, 38, 0]", "[5, 1e39, 0]", {"origin: item 1 is out of range"});
    row("end-missing", ", \"end\": [5, 20, 0]", "", {"bone 1 \"thigh\": end: missing"});
    row("order-unknown", "\"YXZ\", \"limits\"", "\"YXX\", \"limits\"", {"bone 1 \"thigh\": order", "\"YXX\""});
    row("order-missing", "\"order\": \"YXZ\", \"limits\"", "\"limits\"", {"bone 1 \"thigh\": order: missing"});
    row("limits-crossed", "\"max\": [30, 45, 45]", "\"max\": [30, -50, 45]", {"bone 1 \"thigh\": limits: Y"});
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
    desc.bones[1].limits->maxDeg.z = -inf;
    QTest::newRow("max-minus-infinity") << desc << "bone 1 \"leg\"";
    desc = good;
    desc.bones[1].parent = QStringLiteral("nobody");  // the loader's rules hold for saving too
    QTest::newRow("unknown-parent") << desc << "\"nobody\"";
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
