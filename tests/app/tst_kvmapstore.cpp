#include "kvmapstore.h"

#include "kvbvhscan.h"
#include "kvsecondlife.h"

#include "kvappsettingsmgr.h"
#include "kvdefaultfigure.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Stored maps in the dialogs' format, the shipped Second Life map, and what
// Second Life refuses.
class tst_KvMapStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void listFields_data();
    void listFields();
    void storedText();
    void removeDropsEveryEntry();
    void seedsOnce();
    void mapFiles_data();
    void mapFiles();
    void secondLifeMap();
    void secondLifeProblems_data();
    void secondLifeProblems();

private:
    QString rawValue(const QString &key) const
    {
        QSettings raw(dir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        return raw.value(QStringLiteral("BVHIO/") + key).toString();
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvAppSettingsMgr> settings;
};

void tst_KvMapStore::init()
{
    settings.reset();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    settings = std::make_unique<KvAppSettingsMgr>(dir->filePath(QStringLiteral("s.ini")));
}

void tst_KvMapStore::listFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("two") << "walk;run;" << QStringList{"walk", "run"};
    QTest::newRow("no-final-separator") << "walk;run" << QStringList{"walk", "run"};
    QTest::newRow("stops-at-empty-field") << "walk;;run;" << QStringList{"walk"};
    QTest::newRow("leading-empty") << ";walk;" << QStringList();
}

void tst_KvMapStore::listFields()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QCOMPARE(KvMapStore::listFields(text), fields);
}

void tst_KvMapStore::storedText()
{
    KvMapStore store(settings.get());
    QVERIFY(!store.save(QStringLiteral("walk"), QStringLiteral("Hips=hip;Knee=;")));
    QVERIFY(!store.save(QStringLiteral("run"), QStringLiteral("a=b=c;")));
    QVERIFY(store.save(QStringLiteral("walk"), QStringLiteral("Hips=abdomen;")));
    QCOMPARE(rawValue(QStringLiteral("Maps")), QStringLiteral("walk;run;"));
    QCOMPARE(rawValue(QStringLiteral("walk_DATA")), QStringLiteral("Hips=abdomen;"));
    QCOMPARE(store.names(), (QStringList{"walk", "run"}));
    QCOMPARE(KvMapStore::pairs(*store.data(QStringLiteral("run"))), (QList<KvMapPair>{{"a", "b"}}));
    QCOMPARE(KvMapStore::pairs(QStringLiteral("Hips=hip;Knee=;")), (QList<KvMapPair>{{"Hips", "hip"}, {"Knee", ""}}));
    QVERIFY(!store.data(QStringLiteral("jump")));
}

void tst_KvMapStore::removeDropsEveryEntry()
{
    {
        QSettings raw(dir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        raw.setValue(QStringLiteral("BVHIO/Maps"), QStringLiteral("a;b;a;"));
        raw.setValue(QStringLiteral("BVHIO/a_DATA"), QStringLiteral("x=y;"));
    }
    KvAppSettingsMgr fresh(dir->filePath(QStringLiteral("s.ini")));
    KvMapStore store(&fresh);
    QVERIFY(store.remove(QStringLiteral("a")));
    QCOMPARE(rawValue(QStringLiteral("Maps")), QStringLiteral("b;"));
    QVERIFY(rawValue(QStringLiteral("a_DATA")).isEmpty());
    QVERIFY(!store.remove(QStringLiteral("a")));
    QVERIFY(store.remove(QStringLiteral("b")));
    QSettings raw(dir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    QVERIFY(!raw.contains(QStringLiteral("BVHIO/Maps")));
}

void tst_KvMapStore::seedsOnce()
{
    KvMapStore store(settings.get());
    QCOMPARE(store.seedShippedMaps(), QStringList{KvSecondLife::exportMapName()});
    QCOMPARE(store.seedShippedMaps(), QStringList());
    QVERIFY(store.remove(KvSecondLife::exportMapName()));
    QCOMPARE(store.seedShippedMaps(), QStringList());
    QCOMPARE(store.names(), QStringList());

    // A map the user stored under the shipped name is left alone, until the
    // shipped one is restored.
    init();
    KvMapStore other(settings.get());
    other.save(KvSecondLife::exportMapName(), QStringLiteral("mine=hip;"));
    QCOMPARE(other.seedShippedMaps(), QStringList());
    QCOMPARE(*other.data(KvSecondLife::exportMapName()), QStringLiteral("mine=hip;"));
    QVERIFY(other.restoreShippedMap(KvSecondLife::exportMapName()) && !other.restoreShippedMap(QStringLiteral("mine")));
    QCOMPARE(*other.data(KvSecondLife::exportMapName()), KvSecondLife::exportMapData());
}

void tst_KvMapStore::mapFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("data");   // empty: refused
    QTest::addColumn<QString>("error");
    QTest::newRow("one-a-line") << QByteArray("a=b;\nc=;\n") << "a=b;c=;" << QString();
    QTest::newRow("stored-form") << QByteArray("a=b;c=d;") << "a=b;c=d;" << QString();
    QTest::newRow("crlf-and-blank") << QByteArray("a=b;\r\n\r\nc=d;\r\n") << "a=b;c=d;" << QString();
    QTest::newRow("no-semicolon") << QByteArray("a=b;\nc=d\n") << QString() << "m:2: expected joint=bone; (a pair ends with \";\")";
    QTest::newRow("no-equals") << QByteArray("ab;\n") << QString() << "m:1: expected joint=bone; in \"ab\"";
    QTest::newRow("empty-pair") << QByteArray("a=b;;\n") << QString() << "m:1: expected joint=bone; in \"\"";
    QTest::newRow("no-joint") << QByteArray("=hip;\n") << QString() << "m:1: a pair needs a joint name before \"=\"";
}

void tst_KvMapStore::mapFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, data);
    QFETCH(QString, error);
    QString message;
    const std::optional<QString> read = KvMapStore::fromFileText(text, QStringLiteral("m"), &message);
    if (data.isEmpty()) {
        QVERIFY(!read);
        QCOMPARE(message, error);
        return;
    }
    QVERIFY2(read, qPrintable(message));
    QCOMPARE(*read, data);
    QCOMPARE(KvMapStore::fromFileText(KvMapStore::toFileText(data), QStringLiteral("m")), std::optional<QString>(data));
}

// Every bone of the default figure once; eyes, fingers and toes under names
// Second Life animates, the rest under their own.
void tst_KvMapStore::secondLifeMap()
{
    const QList<KvMapPair> pairs = KvMapStore::pairs(KvSecondLife::exportMapData());
    const std::vector<KvBoneDesc> &bones = KvDefaultFigure::desc().bones;
    QCOMPARE(pairs.size(), int(bones.size()));
    QHash<QString, QString> written;
    for (int i = 0; i < pairs.size(); ++i) {
        QCOMPARE(pairs.at(i).bone, bones[size_t(i)].name);
        QVERIFY2(KvSecondLife::isKnownJointName(pairs.at(i).joint), qPrintable(pairs.at(i).joint));
        written.insert(pairs.at(i).bone, pairs.at(i).joint);
    }
    const QList<QPair<const char *, const char *>> expected = {
        {"hip", "hip"}, {"lShldr", "lShldr"}, {"rFoot", "rFoot"}, {"lEye", "mEyeLeft"}, {"rEye", "mEyeRight"},
        {"lThumb1", "mHandThumb1Left"}, {"rIndex3", "mHandIndex3Right"}, {"lMid2", "mHandMiddle2Left"},
        {"rRing1", "mHandRing1Right"}, {"lPinky3", "mHandPinky3Left"}, {"lToe", "mToeLeft"}, {"rToe", "mToeRight"}};
    for (const auto &pair : expected)
        QCOMPARE(written.value(QString::fromLatin1(pair.first)), QString::fromLatin1(pair.second));
}

void tst_KvMapStore::secondLifeProblems_data()
{
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<QByteArray>("child");
    QTest::addColumn<QByteArray>("motion");  // Frames and Frame Time lines
    QTest::addColumn<QStringList>("problems");

    const QByteArray oneSecond = "Frames: 30\nFrame Time: 0.0333333\n";
    QTest::newRow("accepted") << QByteArray("hip") << QByteArray("mHandThumb1Left") << oneSecond << QStringList();
    QTest::newRow("face-joint") << QByteArray("hip") << QByteArray("mFaceJaw") << oneSecond << QStringList();
    QTest::newRow("root-not-hip") << QByteArray("Hips") << QByteArray("abdomen") << oneSecond
                                  << QStringList{"the root joint is \"Hips\", not \"hip\" (line 2)",
                                                 "1 joint name outside its skeleton: Hips"};
    QTest::newRow("unknown-child") << QByteArray("hip") << QByteArray("lEye") << oneSecond
                                   << QStringList{"1 joint name outside its skeleton: lEye"};
    QTest::newRow("sixty-seconds") << QByteArray("hip") << QByteArray("chest")
                                   << QByteArray("Frames: 1800\nFrame Time: 0.0333333333333333\n") << QStringList();
    QTest::newRow("over-sixty") << QByteArray("hip") << QByteArray("chest") << QByteArray("Frames: 1801\nFrame Time: 0.0333333333333333\n")
                                << QStringList{"the motion lasts 60.03 s, more than 60 s"};
}

void tst_KvMapStore::secondLifeProblems()
{
    QFETCH(QByteArray, root);
    QFETCH(QByteArray, child);
    QFETCH(QByteArray, motion);
    QFETCH(QStringList, problems);
    const QByteArray text = "HIERARCHY\nROOT " + root + "\n{\n OFFSET 0 40 0\n CHANNELS 3 Zrotation Xrotation Yrotation\n"
                            " JOINT " + child + "\n {\n  OFFSET 0 5 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\n"
                            "  End Site\n  {\n   OFFSET 0 1 0\n  }\n }\n}\nMOTION\n" + motion;
    QString error;
    const std::optional<KvBvhScan> scan = KvBvhScan::fromText(text, QStringLiteral("t.bvh"), &error);
    QVERIFY2(scan, qPrintable(error));
    QCOMPARE(KvSecondLife::problems(*scan), problems);
}

QTEST_GUILESS_MAIN(tst_KvMapStore)
#include "tst_kvmapstore.moc"
