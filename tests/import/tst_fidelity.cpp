// Whole-body fidelity of real conversions, judged against textbook forward
// kinematics of the source file.

#include "motionfixture.h"

#include "kvdefaultfigure.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

using namespace motiontest;

namespace {

QStringList sampleFiles()
{
    return QDir(kvtest::dataFile(QStringLiteral("bvh"))).entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
}

// "joint -> bone" for every joint of the file, as the automatic mapping
// leaves them before the dialog.
QStringList automaticMapping(const QString &path, KvSkeleton *figure)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bvhState().targetSkeleton = figure;
    CBvhIn in;
    in.collectSkeletonBones(figure->getNodeChild(0), 1);
    in.resetParseState();
    while (!file.atEnd() && in.inHierarchy)
        in.parseLine(QString::fromLatin1(file.readLine()).trimmed());
    in.completeMapping();
    QStringList lines;
    for (const CBvhHeader *record : bvhState().jointList) {
        if (record->type == Joint)
            lines += record->name + QStringLiteral(" -> ") + record->mappedName;
    }
    bvhState().clearLists();
    bvhState().targetSkeleton = nullptr;
    return lines;
}

} // namespace

class tst_Fidelity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { host = std::make_unique<Host>(); }
    void cleanup() { host.reset(); }
    void mappingOntoHostNames();

private:
    std::unique_ptr<Host> host;
};

// Onto a figure with the host's own bone names the automatic mapping of every
// sample is the one recorded before figures of other namings were supported.
void tst_Fidelity::mappingOntoHostNames()
{
    QStringList actual;
    for (const QString &name : sampleFiles()) {
        std::unique_ptr<KvSkeleton> figure = KvDefaultFigure::build();
        actual += QStringLiteral("# ") + name;
        actual += automaticMapping(kvtest::dataFile(QStringLiteral("bvh/") + name), figure.get());
    }
    const QString goldenPath = QFINDTESTDATA("default-mappings.txt");
    if (qEnvironmentVariableIsSet("KVBVH_RECORD_GOLDEN")) {
        QFile out(QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("default-mappings.txt")));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(actual.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    QFile golden(goldenPath);
    QVERIFY2(golden.open(QIODevice::ReadOnly), "default-mappings.txt is missing");
    const QStringList expected = QString::fromUtf8(golden.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(actual, expected);
}

QTEST_GUILESS_MAIN(tst_Fidelity)
#include "tst_fidelity.moc"
