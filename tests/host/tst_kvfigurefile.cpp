#include "kvfigurefile.h"

#include "kvdefaultfigure.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvproperty.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <functional>
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
    void refused_data();
    void refused();

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
    // Bones as {name, label, parent, origin, end, order, limits}.
    const KvFigureDesc text{QStringLiteral("quote\" back\\slash"), QStringLiteral("Figür\twith\ncontrols \x01"),
        {{QStringLiteral("\ufeffLeft Hip"), {}, {}, {}, {1, 0, 0}, KvRotationOrder(KvRotationOrder::ZYX), {}},
         {QStringLiteral("Knie \"L\""), QStringLiteral("\u00e9\u4e2d"), QStringLiteral("\ufeffLeft Hip"), {}, {},
          KvRotationOrder(KvRotationOrder::XZY), {}}}};
    QTest::newRow("awkward-text") << text;
    const KvFigureDesc numbers{QStringLiteral("n"), {},
        {{QStringLiteral("a"), {}, {}, {0.1f, 1.0f / 3.0f, -1e-30f},
          {3.4e38f, -123456.789f, std::numeric_limits<float>::denorm_min()}, KvRotationOrder(KvRotationOrder::YZX),
          KvRotationLimits{{-inf, -0.1f, 0}, {inf, 179.99f, 0}}},
         {QStringLiteral("b"), {}, QStringLiteral("a"), {16777217.0f, 2.5e-8f, -0.0f}, {43.528519f, -0.684411f, 1e10f},
          KvRotationOrder(KvRotationOrder::ZXY), {}}}};
    QTest::newRow("awkward-numbers") << numbers;
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

// What the builder made, described again: a bone with one clamped rotation
// control keeps the other two unbounded.
void tst_KvFigureFile::savesSkeleton()
{
    KvFigureDesc expected = KvDefaultFigure::desc();
    expected.bones[1].label = QStringLiteral("Belly");
    std::unique_ptr<KvSkeleton> skeleton = KvFigureBuilder::build(expected);
    QVERIFY(skeleton);
    KvBone *shin = skeleton->findBone(QStringLiteral("lShin"));
    shin->getYRotControl()->setIsClamped(false);
    shin->getZRotControl()->setIsClamped(false);
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
    row("unknown-bone-field", "\"origin\": [5, 38, 0]", "\"orgin\": [5, 38, 0]", {"bone 1 \"thigh\"", "\"orgin\""});
    row("origin-text", "[5, 38, 0]", "[5, \"38\", 0]", {"bone 1 \"thigh\": origin: item 1"});
    row("origin-overflow", "[5, 38, 0]", "[5, 1e39, 0]", {"origin: item 1 is out of range"});
    row("end-missing", ", \"end\": [5, 20, 0]", "", {"bone 1 \"thigh\": end: missing"});
    row("order-unknown", "\"YXZ\", \"limits\"", "\"YXX\", \"limits\"", {"bone 1 \"thigh\": order", "\"YXX\""});
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

// Descriptions the builder (unless it builds) and a save both refuse: a save
// applies the loader's rules, writes nothing, and names the file first.
void tst_KvFigureFile::refused_data()
{
    QTest::addColumn<KvFigureDesc>("desc");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("builds");
    QTest::addColumn<QStringList>("messageParts");
    using Change = std::function<void(KvFigureDesc &)>;
    const auto row = [](const char *tag, const Change &change, bool builds, const QStringList &parts,
                        const QString &file = QStringLiteral("refused.json")) {
        KvFigureDesc desc = KvDefaultFigure::desc();  // hip, abdomen, chest, neck, ...
        change(desc);
        QTest::newRow(tag) << desc << file << builds << parts;
    };
    row("empty-name", [](KvFigureDesc &d) { d.bones[2].name.clear(); }, false, {"bone 2", "empty"});
    row("duplicate-name", [](KvFigureDesc &d) { d.bones[3].name = QStringLiteral("abdomen"); }, false,
        {"bone 3 \"abdomen\"", "already used by bone 1"});
    row("unknown-parent", [](KvFigureDesc &d) { d.bones[1].parent = QStringLiteral("knee"); }, false,
        {"bone 1 \"abdomen\"", "\"knee\""});
    row("later-parent", [](KvFigureDesc &d) { d.bones[2].parent = QStringLiteral("neck"); }, false,
        {"bone 2 \"chest\"", "\"neck\""});
    row("invalid-order", [](KvFigureDesc &d) { d.bones[3].order = KvRotationOrder(6); }, false,
        {"bone 3 \"neck\"", "order"});
    row("min-above-max", [](KvFigureDesc &d) { d.bones[1].limits->minDeg.y = 31; }, false,
        {"bone 1 \"abdomen\"", "Y", "minimum 31", "above maximum 30"});
    row("max-minus-infinity", [](KvFigureDesc &d) { d.bones[1].limits->maxDeg.z = -inf; }, false,
        {"bone 1 \"abdomen\""});
    row("nan-origin", [](KvFigureDesc &d) { d.bones[1].origin.y = std::nanf(""); }, true,
        {"bone 1 \"abdomen\"", "not a number"});
    row("no-folder", [](KvFigureDesc &) {}, true, {"cannot write"}, QStringLiteral("no/such/figure.json"));
}

void tst_KvFigureFile::refused()
{
    QFETCH(KvFigureDesc, desc);
    QFETCH(QString, file);
    QFETCH(bool, builds);
    QFETCH(QStringList, messageParts);
    QString error;
    QCOMPARE(bool(KvFigureBuilder::build(desc, &error)), builds);
    for (const QString &part : messageParts)
        QVERIFY2(builds || error.contains(part), qPrintable(error));
    const QString path = dir.filePath(file);
    QVERIFY(!KvFigureFile::save(desc, path, &error));
    QVERIFY2(error.startsWith(path), qPrintable(error));
    for (const QString &part : messageParts)
        QVERIFY2(error.contains(part), qPrintable(error));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!KvFigureFile::load(path, &error));
    QVERIFY2(error.startsWith(path), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_KvFigureFile)
#include "tst_kvfigurefile.moc"
