#include "kvappsettingsmgr.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_KvAppSettingsMgr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void boolValues_data();
    void boolValues();
    void stringValues_data();
    void stringValues();
    void writesThroughToFile();
    void instancesShareFile();
    void groups();
    void popWithoutPush();
    void removeValue();

private:
    QString iniPath() const { return dir->filePath(QStringLiteral("host.ini")); }

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_KvAppSettingsMgr::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

// Values are written by one manager and read by a fresh one on the same
// file; an invalid "stored" means the key is never written.
void tst_KvAppSettingsMgr::boolValues_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("expectedOk");

    QTest::newRow("absent-default-true")  << QVariant() << true << true << false;
    QTest::newRow("absent-default-false") << QVariant() << false << false << false;
    QTest::newRow("false-over-default")   << QVariant(false) << true << false << true;
    QTest::newRow("true-over-default")    << QVariant(true) << false << true << true;
}

void tst_KvAppSettingsMgr::boolValues()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    QFETCH(bool, expectedOk);

    const QString key = QStringLiteral("Frame Opt");
    if (stored.isValid()) {
        KvAppSettingsMgr writer(iniPath());
        writer.pushPath(QStringLiteral("BVHIO"));
        writer.setBoolValue(key, stored.toBool());
        writer.popPath();
    }
    KvAppSettingsMgr reader(iniPath());
    reader.pushPath(QStringLiteral("BVHIO"));
    bool ok = !expectedOk;
    QCOMPARE(reader.getBoolValue(key, defaultValue, &ok), expected);
    QCOMPARE(ok, expectedOk);
    QCOMPARE(reader.getBoolValue(key, defaultValue), expected);  // ok is optional
}

void tst_KvAppSettingsMgr::stringValues_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("expectedOk");

    const QString fallback = QStringLiteral("fallback");
    QTest::newRow("absent")       << QVariant() << fallback << false;
    QTest::newRow("empty")        << QVariant(QString()) << QString() << true;
    QTest::newRow("words")        << QVariant(QStringLiteral("My Map")) << QStringLiteral("My Map") << true;
    // INI pitfalls: a comma list reads back as a string list, '=' and ';'
    // and quotes need escaping.
    QTest::newRow("commas")       << QVariant(QStringLiteral("Hips,Chest,Neck")) << QStringLiteral("Hips,Chest,Neck")
                                  << true;
    QTest::newRow("map-data")     << QVariant(QStringLiteral("hip=Hips;chest=\"Chest 1\""))
                                  << QStringLiteral("hip=Hips;chest=\"Chest 1\"") << true;
    QTest::newRow("non-latin")    << QVariant(QStringLiteral("Größe Ä")) << QStringLiteral("Größe Ä") << true;
    QTest::newRow("leading-blank") << QVariant(QStringLiteral("  x ")) << QStringLiteral("  x ") << true;
}

void tst_KvAppSettingsMgr::stringValues()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, expected);
    QFETCH(bool, expectedOk);

    const QString key = QStringLiteral("Maps");
    if (stored.isValid()) {
        KvAppSettingsMgr writer(iniPath());
        writer.pushPath(QStringLiteral("BVHIO"));
        writer.setStringValue(key, stored.toString());
    }
    KvAppSettingsMgr reader(iniPath());
    reader.pushPath(QStringLiteral("BVHIO"));
    bool ok = !expectedOk;
    QCOMPARE(reader.getStringValue(key, QStringLiteral("fallback"), &ok), expected);
    QCOMPARE(ok, expectedOk);
}

// A value is on disk as soon as it is set, before the manager goes away:
// another program reading the file sees it.
void tst_KvAppSettingsMgr::writesThroughToFile()
{
    const auto fileText = [this] {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    KvAppSettingsMgr settings(iniPath());
    settings.pushPath(QStringLiteral("BVHIO"));

    settings.setStringValue(QStringLiteral("Maps"), QStringLiteral("walker"));
    QVERIFY2(fileText().contains("Maps=walker"), fileText().constData());
    QVERIFY(fileText().contains("[BVHIO]"));

    settings.setBoolValue(QStringLiteral("Limits"), true);
    QVERIFY2(fileText().contains("Limits=true"), fileText().constData());

    settings.removeValue(QStringLiteral("Maps"));
    QVERIFY2(!fileText().contains("Maps="), fileText().constData());
}

void tst_KvAppSettingsMgr::instancesShareFile()
{
    KvAppSettingsMgr first(iniPath());
    KvAppSettingsMgr second(iniPath());
    QCOMPARE(second.fileName(), first.fileName());

    first.setStringValue(QStringLiteral("name"), QStringLiteral("one"));
    QCOMPARE(second.getStringValue(QStringLiteral("name"), QString()), QStringLiteral("one"));
    second.setStringValue(QStringLiteral("name"), QStringLiteral("two"));
    QCOMPARE(first.getStringValue(QStringLiteral("name"), QString()), QStringLiteral("two"));

    KvAppSettingsMgr later(iniPath());
    QCOMPARE(later.getStringValue(QStringLiteral("name"), QString()), QStringLiteral("two"));
}

void tst_KvAppSettingsMgr::groups()
{
    KvAppSettingsMgr settings(iniPath());
    QCOMPARE(settings.currentPath(), QString());
    settings.pushPath(QStringLiteral("BVHIO"));
    settings.setStringValue(QStringLiteral("Maps"), QStringLiteral("a"));
    settings.pushPath(QStringLiteral("Inner"));
    QCOMPARE(settings.currentPath(), QStringLiteral("BVHIO/Inner"));
    settings.setBoolValue(QStringLiteral("Maps"), true);
    QCOMPARE(settings.childKeys(), QStringList{QStringLiteral("Maps")});
    settings.popPath();
    QCOMPARE(settings.currentPath(), QStringLiteral("BVHIO"));
    QCOMPARE(settings.getStringValue(QStringLiteral("Maps"), QString()), QStringLiteral("a"));
    settings.popPath();
    QCOMPARE(settings.currentPath(), QString());

    bool ok = true;
    QCOMPARE(settings.getStringValue(QStringLiteral("Maps"), QStringLiteral("none"), &ok), QStringLiteral("none"));
    QVERIFY(!ok);
    QVERIFY(settings.contains(QStringLiteral("BVHIO/Maps")));
    QVERIFY(settings.contains(QStringLiteral("BVHIO/Inner/Maps")));
    QVERIFY(!settings.contains(QStringLiteral("Inner/Maps")));
}

void tst_KvAppSettingsMgr::popWithoutPush()
{
    KvAppSettingsMgr settings(iniPath());
    settings.popPath();
    settings.pushPath(QStringLiteral("A"));
    settings.popPath();
    settings.popPath();
    QCOMPARE(settings.currentPath(), QString());
    settings.pushPath(QStringLiteral("B"));
    settings.setBoolValue(QStringLiteral("x"), true);
    QCOMPARE(settings.currentPath(), QStringLiteral("B"));
    settings.popPath();
    QVERIFY(settings.contains(QStringLiteral("B/x")));
}

void tst_KvAppSettingsMgr::removeValue()
{
    KvAppSettingsMgr settings(iniPath());
    settings.pushPath(QStringLiteral("BVHIO"));
    settings.setStringValue(QStringLiteral("walk_DATA"), QStringLiteral("hip=Hips"));
    settings.setStringValue(QStringLiteral("run_DATA"), QStringLiteral("hip=Root"));

    settings.removeValue(QStringLiteral("walk_DATA"));
    bool ok = true;
    QCOMPARE(settings.getStringValue(QStringLiteral("walk_DATA"), QString(), &ok), QString());
    QVERIFY(!ok);

    // An empty key must not take the whole group with it.
    settings.removeValue(QString());
    QCOMPARE(settings.getStringValue(QStringLiteral("run_DATA"), QString(), &ok), QStringLiteral("hip=Root"));
    QVERIFY(ok);

    KvAppSettingsMgr other(iniPath());
    QVERIFY(!other.contains(QStringLiteral("BVHIO/walk_DATA")));
    QVERIFY(other.contains(QStringLiteral("BVHIO/run_DATA")));
}

QTEST_GUILESS_MAIN(tst_KvAppSettingsMgr)
#include "tst_kvappsettingsmgr.moc"
