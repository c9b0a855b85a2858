#include "kvappsettingsmgr.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_KvAppSettingsMgr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void writesThroughToFile();
    void groups();
    void removeValue();

private:
    QTemporaryDir dir;
    QString iniPath(const char *name) const { return dir.filePath(QLatin1String(name)); }
};

// Written by one manager, read by a fresh one on the same file. An invalid
// "stored" means the key is never written; a bool column is read as a bool.
void tst_KvAppSettingsMgr::roundTrip_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<bool>("expectedOk");

    QTest::newRow("bool-absent")     << QVariant() << QVariant(true) << QVariant(true) << false;
    QTest::newRow("bool-false")      << QVariant(false) << QVariant(true) << QVariant(false) << true;
    QTest::newRow("bool-true")       << QVariant(true) << QVariant(false) << QVariant(true) << true;
    QTest::newRow("string-absent")   << QVariant() << QVariant(QStringLiteral("d")) << QVariant(QStringLiteral("d"))
                                     << false;
    QTest::newRow("string-empty")    << QVariant(QString()) << QVariant(QStringLiteral("d")) << QVariant(QString())
                                     << true;
    // INI pitfalls: commas read back as a list; '=', ';' and quotes need escaping.
    const QString commas = QStringLiteral("Hips,Chest,Neck");
    const QString mapData = QStringLiteral("hip=Hips;chest=\"Chest 1\"");
    const QString text = QStringLiteral("  Größe Ä ");
    QTest::newRow("string-commas")   << QVariant(commas) << QVariant(QString()) << QVariant(commas) << true;
    QTest::newRow("string-map-data") << QVariant(mapData) << QVariant(QString()) << QVariant(mapData) << true;
    QTest::newRow("string-blanks-non-latin") << QVariant(text) << QVariant(QString()) << QVariant(text) << true;
}

void tst_KvAppSettingsMgr::roundTrip()
{
    QFETCH(QVariant, stored);
    QFETCH(QVariant, defaultValue);
    QFETCH(QVariant, expected);
    QFETCH(bool, expectedOk);

    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QLatin1String(".ini"));
    const QString key = QStringLiteral("Frame Opt");
    const bool isBool = defaultValue.typeId() == QMetaType::Bool;
    if (stored.isValid()) {
        KvAppSettingsMgr writer(path);
        writer.pushPath(QStringLiteral("BVHIO"));
        if (isBool)
            writer.setBoolValue(key, stored.toBool());
        else
            writer.setStringValue(key, stored.toString());
    }
    KvAppSettingsMgr reader(path);
    reader.pushPath(QStringLiteral("BVHIO"));
    bool ok = !expectedOk;
    if (isBool)
        QCOMPARE(reader.getBoolValue(key, defaultValue.toBool(), &ok), expected.toBool());
    else
        QCOMPARE(reader.getStringValue(key, defaultValue.toString(), &ok), expected.toString());
    QCOMPARE(ok, expectedOk);
}

// Each change is on disk at once, before the manager goes away.
void tst_KvAppSettingsMgr::writesThroughToFile()
{
    const QString path = iniPath("through.ini");
    const auto fileText = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    KvAppSettingsMgr settings(path);
    settings.pushPath(QStringLiteral("BVHIO"));

    settings.setStringValue(QStringLiteral("Maps"), QStringLiteral("walker"));
    QVERIFY2(fileText().contains("[BVHIO]\nMaps=walker"), fileText().constData());
    settings.setBoolValue(QStringLiteral("Limits"), true);
    QVERIFY2(fileText().contains("Limits=true"), fileText().constData());
    settings.removeValue(QStringLiteral("Maps"));
    QVERIFY2(!fileText().contains("Maps="), fileText().constData());

    KvAppSettingsMgr other(path);
    QVERIFY(other.getBoolValue(QStringLiteral("BVHIO/Limits"), false));
}

void tst_KvAppSettingsMgr::groups()
{
    KvAppSettingsMgr settings(iniPath("groups.ini"));
    settings.popPath();  // nothing pushed: no effect
    settings.pushPath(QStringLiteral("BVHIO"));
    settings.setStringValue(QStringLiteral("Maps"), QStringLiteral("a"));
    settings.pushPath(QStringLiteral("Inner"));
    QCOMPARE(settings.currentPath(), QStringLiteral("BVHIO/Inner"));
    settings.setBoolValue(QStringLiteral("Maps"), true);
    QCOMPARE(settings.childKeys(), QStringList{QStringLiteral("Maps")});
    settings.popPath();
    QCOMPARE(settings.getStringValue(QStringLiteral("Maps"), QString()), QStringLiteral("a"));
    settings.popPath();
    settings.popPath();
    QCOMPARE(settings.currentPath(), QString());

    bool ok = true;
    QCOMPARE(settings.getStringValue(QStringLiteral("Maps"), QStringLiteral("none"), &ok), QStringLiteral("none"));
    QVERIFY(!ok);
    QVERIFY(settings.contains(QStringLiteral("BVHIO/Inner/Maps")));
    QVERIFY(!settings.contains(QStringLiteral("Inner/Maps")));
}

void tst_KvAppSettingsMgr::removeValue()
{
    KvAppSettingsMgr settings(iniPath("remove.ini"));
    settings.pushPath(QStringLiteral("BVHIO"));
    settings.setStringValue(QStringLiteral("walk_DATA"), QStringLiteral("hip=Hips"));
    settings.setStringValue(QStringLiteral("run_DATA"), QStringLiteral("hip=Root"));

    settings.removeValue(QStringLiteral("walk_DATA"));
    bool ok = true;
    settings.getStringValue(QStringLiteral("walk_DATA"), QString(), &ok);
    QVERIFY(!ok);
    // An empty key must not take the whole group with it.
    settings.removeValue(QString());
    QCOMPARE(settings.getStringValue(QStringLiteral("run_DATA"), QString(), &ok), QStringLiteral("hip=Root"));
    QVERIFY(ok);
}

QTEST_GUILESS_MAIN(tst_KvAppSettingsMgr)
#include "tst_kvappsettingsmgr.moc"
