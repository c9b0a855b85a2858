#include "kvbvhrun.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kvapptest;

// The host program as users run it: exit codes, what goes to stdout and stderr.
class tst_Kvbvh : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exitCodes_data();
    void exitCodes();

private:
    QTemporaryDir home;
};

void tst_Kvbvh::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");  // patterns of the whole stream
    QTest::addColumn<QString>("err");

    // Without --plugin the program looks beside itself, not in the working folder.
    QTest::newRow("plugins") << QStringList{"plugins"} << 0
                             << "BioVision \\(BVH\\) Importer/Exporter 1\\.3\\.1\\.0\nAuthor: Korvel Productions\n"
                                "This plugin provides the ability to import/export BioVision Motion Capture \\(BVH\\) formatted "
                                "files\\.\nClasses:\n"
                                "  CBvhIn  importer  BioVision Files \\(\\*\\.bvh\\)  id 0x10000006\n"
                                "  CBvhOut exporter  BioVision Files \\(\\*\\.bvh\\)  id 0x10000007\n" << "";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: kvbvh .*plugins.*" << "";
    QTest::newRow("unknown-command") << QStringList{"frobnicate"} << 2 << "" << "kvbvh: unknown command frobnicate\\nUsage: .*";
    QTest::newRow("global-after-command") << QStringList{"plugins", "--plugin", KV_PLUGIN_PATH, "-q"} << 0 << "BioVision .*" << "";
    QTest::newRow("global-without-value") << QStringList{"plugins", "--settings"} << 2 << ""
                                          << "kvbvh: option --settings needs a value\\nUsage: kvbvh \\[--plugin.*";
    QTest::newRow("after-end-of-options") << QStringList{"plugins", "--", "--quiet"} << 2 << ""
                                          << "kvbvh: plugins takes no arguments\\nUsage: kvbvh plugins\\n.*";
    QTest::newRow("empty-value") << QStringList{"convert", "a.bvh", "-o", "b.bvh", "--end="} << 2 << ""
                                 << "kvbvh: option --end needs a value\\nUsage: kvbvh convert .*";
    QTest::newRow("dash-is-a-file") << QStringList{"convert", "-", "-o", "b.bvh"} << 1 << "" << "kvbvh: -: no such file\\n";
    QTest::newRow("missing-plugin") << QStringList{"--plugin", "/nonexistent/libkvbvh.so", "plugins"} << 1 << ""
                                    << "kvbvh: [^\\n]*/nonexistent/libkvbvh.so[^\\n]*\\n";
}

void tst_Kvbvh::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run result = runKvbvh(QString(), arguments, home.path());
    QCOMPARE(result.exitCode, exitCode);
    const auto whole = [](const QString &pattern) {
        return QRegularExpression(QRegularExpression::anchoredPattern(pattern), QRegularExpression::DotMatchesEverythingOption);
    };
    QVERIFY2(whole(out).match(result.out).hasMatch(), qPrintable(result.out));
    QVERIFY2(whole(err).match(result.err).hasMatch(), qPrintable(result.err));
}

QTEST_GUILESS_MAIN(tst_Kvbvh)
#include "tst_kvbvh.moc"
