#include "kvmapstore.h"

#include "kvbvhscan.h"
#include "kvsecondlife.h"

#include "kvappsettingsmgr.h"
#include "kvdefaultfigure.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Stored maps in the dialogs' format, and the shipped Second Life map.
class tst_KvMapStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedAsTheDialogsStoreThem();
    void seedsOnce();
    void secondLife();

private:
    QTemporaryDir dir;
};

// Both lists are read up to their first empty field; a replaced map keeps its
// place, and nothing is left of a removed one, even when listed twice.
void tst_KvMapStore::storedAsTheDialogsStoreThem()
{
    QCOMPARE(KvMapStore::listFields(QStringLiteral("walk;;run;")), QStringList{"walk"});
    QCOMPARE(KvMapStore::pairs(QStringLiteral("Hips=hip;Knee=;a=b=c;")),
             (QList<KvMapPair>{{"Hips", "hip"}, {"Knee", ""}, {"a", "b"}}));
    const QString path = dir.filePath(QStringLiteral("stored.ini"));
    KvAppSettingsMgr settings(path);
    KvMapStore store(&settings);
    QVERIFY(!store.save(QStringLiteral("walk"), QStringLiteral("Hips=hip;")));
    QVERIFY(!store.save(QStringLiteral("run"), QStringLiteral("a=b;")));
    QVERIFY(store.save(QStringLiteral("walk"), QStringLiteral("Hips=abdomen;")));
    QSettings raw(path, QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("BVHIO/Maps")).toString(), QStringLiteral("walk;run;"));
    QCOMPARE(raw.value(QStringLiteral("BVHIO/walk_DATA")).toString(), QStringLiteral("Hips=abdomen;"));

    raw.setValue(QStringLiteral("BVHIO/Maps"), QStringLiteral("walk;run;walk;"));
    QVERIFY(store.remove(QStringLiteral("walk")) && !store.remove(QStringLiteral("walk")));
    QCOMPARE(store.names(), QStringList{"run"});
    QVERIFY(store.remove(QStringLiteral("run")));
    QCOMPARE(raw.allKeys(), QStringList());

    // A map file's faults are refused with their line.
    const auto refusal = [](const QByteArray &text) {
        QString message;
        return KvMapStore::fromFileText(text, QStringLiteral("m"), &message) ? QString() : message;
    };
    QCOMPARE(refusal("a=b;\nc=d\n"), QStringLiteral("m:2: expected joint=bone; (a pair ends with \";\")"));
    QCOMPARE(refusal("=hip;\n"), QStringLiteral("m:1: a pair needs a joint name before \"=\""));
}

// Deleted, a shipped map stays deleted; a map the user stored under its name
// is left alone.
void tst_KvMapStore::seedsOnce()
{
    const QString name = KvSecondLife::exportMapName();
    KvAppSettingsMgr settings(dir.filePath(QStringLiteral("seeded.ini")));
    KvMapStore store(&settings);
    QCOMPARE(store.seedShippedMaps(), QStringList{name});
    QVERIFY(store.remove(name));
    QCOMPARE(store.seedShippedMaps(), QStringList());

    KvAppSettingsMgr mine(dir.filePath(QStringLiteral("mine.ini")));
    KvMapStore other(&mine);
    other.save(name, QStringLiteral("mine=hip;"));
    QCOMPARE(other.seedShippedMaps(), QStringList());
    QCOMPARE(*other.data(name), QStringLiteral("mine=hip;"));
}

// The shipped map names every bone of the default figure once, in its order,
// as Second Life knows it: eyes, fingers and toes as it animates them, the
// rest by their own names. A motion may last a minute.
void tst_KvMapStore::secondLife()
{
    const QList<KvMapPair> pairs = KvMapStore::pairs(KvSecondLife::exportMapData());
    const std::vector<KvBoneDesc> &bones = KvDefaultFigure::desc().bones;
    QCOMPARE(pairs.size(), int(bones.size()));
    for (int i = 0; i < pairs.size(); ++i) {
        QCOMPARE(pairs.at(i).bone, bones[size_t(i)].name);
        QVERIFY2(KvSecondLife::isKnownJointName(pairs.at(i).joint), qPrintable(pairs.at(i).joint));
    }
    for (const char *pair : {"lShldr=lShldr;", "mEyeLeft=lEye;", "mHandThumb1Left=lThumb1;", "mHandIndex3Right=rIndex3;",
                             "mHandPinky3Left=lPinky3;", "mToeRight=rToe;"})
        QVERIFY2((QLatin1Char(';') + KvSecondLife::exportMapData()).contains(QLatin1Char(';') + QLatin1String(pair)), pair);

    const auto problems = [](const QByteArray &motion) {
        const QByteArray text = "HIERARCHY\nROOT hip\n{\nOFFSET 0 0 0\nCHANNELS 0\nEnd Site\n{\nOFFSET 0 1 0\n}\n}\nMOTION\n";
        const std::optional<KvBvhScan> scan = KvBvhScan::fromText(text + motion, QStringLiteral("t.bvh"));
        return scan ? KvSecondLife::problems(*scan) : QStringList{QStringLiteral("unreadable")};
    };
    QCOMPARE(problems("Frames: 480\nFrame Time: 0.125\n"), QStringList());
    QCOMPARE(problems("Frames: 1801\nFrame Time: 0.0333333333333333\n"), QStringList{"the motion lasts 60.03 s, more than 60 s"});
}

QTEST_GUILESS_MAIN(tst_KvMapStore)
#include "tst_kvmapstore.moc"
