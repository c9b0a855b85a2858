#include "kvfigurefile.h"

#include "kvdefaultfigure.h"
#include "kvnode.h"
#include "kvproperty.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <tuple>

constexpr float inf = std::numeric_limits<float>::infinity();

// One line per bone, floats in hex so that every bit shows (zero's sign is
// not kept); written independently of the file writer under test.
static QStringList dump(const KvFigureDesc &desc)
{
    const auto v = [](const KvVec3 &p) { return QString::asprintf("(%a %a %a)", p.x + 0.0, p.y + 0.0, p.z + 0.0); };
    QStringList lines = {desc.name + '|' + desc.label};
    for (const KvBoneDesc &b : desc.bones) {
        lines += b.name + '|' + b.label + '|' + b.parent + '|' + v(b.origin) + v(b.endPoint) + b.order.name()
                 + (b.limits ? v(b.limits->minDeg) + v(b.limits->maxDeg) : QString());
    }
    return lines;
}

class tst_KvFigureFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip();
    void refuses();

private:
    QTemporaryDir dir;
};

// A figure the builder made, with awkward text and numbers, comes back bit for
// bit under a locale with a decimal comma; a bone with one clamped rotation
// control keeps the other two unbounded.
void tst_KvFigureFile::roundTrip()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    KvFigureDesc desc{QStringLiteral("quote\" back\\slash"), QStringLiteral("Figür\twith\ncontrols \x01"),
        {{QStringLiteral("\ufeffLeft Hip"), {}, {}, {0.1f, 1.0f / 3.0f, -1e-30f},
          {3.4e38f, -123456.789f, std::numeric_limits<float>::denorm_min()}, KvRotationOrder(KvRotationOrder::YZX),
          KvRotationLimits{{-inf, -0.1f, -5}, {inf, 179.99f, 5}}},
         {QStringLiteral("Knie \"L\""), QStringLiteral("\u00e9\u4e2d"), QStringLiteral("\ufeffLeft Hip"),
          {16777217.0f, 2.5e-8f, -0.0f}, {43.528519f, -0.684411f, 1e10f}, KvRotationOrder(KvRotationOrder::XZY), {}}}};
    std::unique_ptr<KvSkeleton> skeleton = KvFigureBuilder::build(desc);
    QVERIFY(skeleton);
    skeleton->findBone(desc.bones[0].name)->getZRotControl()->setIsClamped(false);
    desc.bones[0].limits = KvRotationLimits{{-inf, -0.1f, -inf}, {inf, 179.99f, inf}};

    const QString path = dir.filePath(QStringLiteral("awkward.json"));
    QString error;
    QVERIFY2(KvFigureFile::save(*skeleton, path, &error), qPrintable(error));
    const std::optional<KvFigureDesc> loaded = KvFigureFile::load(path, &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(dump(*loaded), dump(desc));
}

// A file with one thing broken each time: the message names the file (and
// the line of a syntax error), then the bone and the field.
void tst_KvFigureFile::refuses()
{
    const QByteArray valid = R"({"format": "kvfigure", "version": 1, "name": "fig", "bones": [
 {"name": "hip", "origin": [0, 40, 0], "end": [0, 45, 0], "order": "YXZ"},
 {"name": "thigh", "parent": "hip", "origin": [5, 38, 0], "end": [5, 20, 0], "order": "YXZ", "limits": {"min": [-120, -45, -20], "max": [30, 45, 45]}}
]}
)";
    QVERIFY(KvFigureFile::fromJson(valid, QStringLiteral("valid.json")));
    const char *texts[][3] = {
        {"\"parent\": \"hip\",", "\"parent\": \"hip\" ", "f:3: "},
        {"\"version\": 1", "\"version\": 2", "f: version: 2 "},
        {"\"origin\": [5", "\"orgin\": [5", "f: bone 1 \"thigh\": unknown field \"orgin\""},
        {"[5, 38, 0]", "[5, 1e39, 0]", "f: bone 1 \"thigh\": origin: item 1 is out of range"},
        {"\"YXZ\", \"limits\"", "\"YXX\", \"limits\"", "f: bone 1 \"thigh\": order: \"YXX\""},
    };
    QString error;
    for (const auto &[from, to, message] : texts) {
        QVERIFY2(!KvFigureFile::fromJson(QByteArray(valid).replace(from, to), QStringLiteral("f"), &error), to);
        QVERIFY2(error.startsWith(QLatin1String(message)), qPrintable(error));
    }

    // Descriptions a save refuses by the same rules, writing nothing and
    // naming the file first; the builder refuses broken trees and limits too.
    const std::tuple<void (*)(KvFigureDesc &), bool, QString> descs[] = {
        {[](KvFigureDesc &d) { d.bones[3].name = QStringLiteral("abdomen"); }, false, "already used by bone 1"},
        {[](KvFigureDesc &d) { d.bones[2].parent = QStringLiteral("neck"); }, false, "bone 2 \"chest\": parent"},
        {[](KvFigureDesc &d) { d.bones[1].limits->minDeg.y = 31; }, false, "Y minimum 31 is above maximum 30"},
        {[](KvFigureDesc &d) { d.bones[1].limits->maxDeg.z = -inf; }, false, "bone 1 \"abdomen\": a coordinate"},
        {[](KvFigureDesc &d) { d.bones[1].origin.y = std::nanf(""); }, true, "bone 1 \"abdomen\": a coordinate"},
    };
    const QString path = dir.filePath(QStringLiteral("refused.json"));
    for (const auto &[change, builds, message] : descs) {
        KvFigureDesc desc = KvDefaultFigure::desc();  // hip, abdomen, chest, neck, ...
        change(desc);
        QCOMPARE(bool(KvFigureBuilder::build(desc)), builds);
        QVERIFY(!KvFigureFile::save(desc, path, &error));
        QVERIFY2(error.startsWith(path) && error.contains(message), qPrintable(error));
        QVERIFY(!QFile::exists(path));
    }
    const QString noFolder = dir.filePath(QStringLiteral("no/such/figure.json"));
    QVERIFY(!KvFigureFile::save(KvDefaultFigure::desc(), noFolder, &error));
    QVERIFY2(error.startsWith(noFolder + QLatin1String(": cannot write")), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_KvFigureFile)
#include "tst_kvfigurefile.moc"
