#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The host program as users run it: exit codes, what goes to stdout and what
// to stderr.
class tst_Kvbvh : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void exitCodes_data();
    void exitCodes();
    void pluginsListing();
    void findsPluginNextToItself();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run run(const QStringList &arguments, const QString &workingDir = QString()) const;

    QTemporaryDir home;
};

void tst_Kvbvh::initTestCase()
{
    QVERIFY(home.isValid());
}

tst_Kvbvh::Run tst_Kvbvh::run(const QStringList &arguments, const QString &workingDir) const
{
    QProcess process;
    // Keep the program away from the user's own settings, and from any display.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(KV_APP_PATH), arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void tst_Kvbvh::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outPattern");  // empty: nothing on stdout
    QTest::addColumn<QString>("errPattern");  // empty: nothing on stderr

    const QString usage = QStringLiteral("^Usage: kvbvh .*plugins");
    const QString settings = QStringLiteral("--settings=") + QDir::tempPath() + QStringLiteral("/kvbvh-unused.ini");

    QTest::newRow("help")            << QStringList{"--help"} << 0 << usage << "";
    QTest::newRow("version")         << QStringList{"--version"} << 0 << "^kvbvh \\d+\\.\\d+\\.\\d+\\n$" << "";
    QTest::newRow("no-command")      << QStringList() << 2 << "" << "^kvbvh: no command given\\nUsage: ";
    QTest::newRow("unknown-command") << QStringList{"frobnicate"} << 2 << ""
                                     << "^kvbvh: unknown command frobnicate\\nUsage: ";
    QTest::newRow("unknown-option")  << QStringList{"--frob", "plugins"} << 2 << ""
                                     << "^kvbvh: unknown option --frob\\nUsage: ";
    // A command's bad usage shows that command's usage; global options may
    // follow the command, up to "--".
    QTest::newRow("option-after-command-is-the-command's") << QStringList{"plugins", "--frob"} << 2 << ""
                                     << "^kvbvh: unknown option --frob\\nUsage: kvbvh plugins\\n\\nOptions:\\n  -h, --help  show this help\\n$";
    QTest::newRow("command-help")    << QStringList{"plugins", "--help"} << 0 << "^Usage: kvbvh plugins\\n\\nDescribes " << "";
    QTest::newRow("global-options-after-command") << QStringList{"plugins", "--plugin", KV_PLUGIN_PATH, settings, "-q"} << 0
                                                  << "^BioVision " << "";
    QTest::newRow("global-option-after-command-without-value") << QStringList{"plugins", "--settings"} << 2 << ""
                                                               << "^kvbvh: option --settings needs a value\\nUsage: kvbvh \\[--plugin";
    QTest::newRow("global-option-after-end-of-options") << QStringList{"plugins", "--", "--quiet"} << 2 << ""
                                                        << "^kvbvh: plugins takes no arguments\\nUsage: kvbvh plugins\\n";
    QTest::newRow("plugin-without-path") << QStringList{"--plugin"} << 2 << ""
                                         << "^kvbvh: option --plugin needs a value\\n";
    QTest::newRow("missing-plugin")  << QStringList{"--plugin", "/nonexistent/libkvbvh.so", settings, "plugins"}
                                     << 1 << "" << "^kvbvh: [^\\n]*/nonexistent/libkvbvh.so[^\\n]*\\n$";
    QTest::newRow("plugins")         << QStringList{"--plugin", KV_PLUGIN_PATH, settings, "plugins"} << 0
                                     << "^BioVision \\(BVH\\) Importer/Exporter 1\\.3\\.1\\.0\\n" << "";
}

void tst_Kvbvh::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, outPattern);
    QFETCH(QString, errPattern);

    const Run result = run(arguments);
    QCOMPARE(result.exitCode, exitCode);
    const auto matches = [](const QString &text, const QString &pattern) {
        if (pattern.isEmpty())
            return text.isEmpty();
        return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
    };
    QVERIFY2(matches(result.out, outPattern), qPrintable(QStringLiteral("stdout: ") + result.out));
    QVERIFY2(matches(result.err, errPattern), qPrintable(QStringLiteral("stderr: ") + result.err));
}

void tst_Kvbvh::pluginsListing()
{
    const Run result = run({QStringLiteral("--plugin"), QStringLiteral(KV_PLUGIN_PATH), QStringLiteral("plugins")});
    QCOMPARE(result.exitCode, 0);
    const QStringList expected{
        "BioVision (BVH) Importer/Exporter 1.3.1.0",
        "Author: Korvel Productions",
        "This plugin provides the ability to import/export BioVision Motion Capture (BVH) formatted files.",
        "Classes:",
        "  CBvhIn  importer  BioVision Files (*.bvh)  id 0x10000006",
        "  CBvhOut exporter  BioVision Files (*.bvh)  id 0x10000007",
        "",
    };
    QCOMPARE(result.out.split(QLatin1Char('\n')), expected);
}

// Without --plugin the program looks beside itself, not in the working folder.
void tst_Kvbvh::findsPluginNextToItself()
{
    const Run result = run({QStringLiteral("plugins")}, home.path());
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith(QLatin1String("BioVision (BVH) Importer/Exporter")));
}

QTEST_GUILESS_MAIN(tst_Kvbvh)
#include "tst_kvbvh.moc"
