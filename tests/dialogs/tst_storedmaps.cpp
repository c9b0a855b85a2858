#include "storedmaps.h"

#include "bvhstate.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvnode.h"

#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// Stored maps on a real settings file: the list and pair formats, save with
// its overwrite question, delete, and the import side's way of applying a map.
class tst_StoredMaps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void readsStoredLists_data();
    void readsStoredLists();
    void savesMap_data();
    void savesMap();
    void deletesMap_data();
    void deletesMap();
    void importMapCursor_data();
    void importMapCursor();

private:
    // Raw access to the settings file, as another installation would see it.
    QVariant raw(const QString &key) const;
    void setRaw(const QString &key, const QString &value);
    // Joint list: "name" joints with channels channel records each, in order.
    void addJoint(const QString &name, int channels);
    void addBone(const QString &name);
    QString mappingOf(const QString &joint) const;  // "bone" or "" per record, joined by ","

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KvApp> app;
    std::unique_ptr<QTreeWidget> tree;
    std::vector<std::unique_ptr<KvBone>> bones;
    QStringList questions;
};

void tst_StoredMaps::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    app = std::make_unique<KvApp>(dir->filePath(QStringLiteral("settings.ini")), false);
    tree = std::make_unique<QTreeWidget>();
    questions.clear();
}

void tst_StoredMaps::cleanup()
{
    bvhState().clearLists();
    bones.clear();
    tree.reset();
    app.reset();
    dir.reset();
}

QVariant tst_StoredMaps::raw(const QString &key) const
{
    const QSettings file(dir->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    return file.value(QStringLiteral("BVHIO/") + key);
}

void tst_StoredMaps::setRaw(const QString &key, const QString &value)
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    settings->setStringValue(key, value);
    settings->popPath();
}

void tst_StoredMaps::addJoint(const QString &name, int channels)
{
    auto joint = std::make_unique<CBvhHeader>();
    joint->name = name;
    joint->type = Joint;
    joint->fileItem = new QTreeWidgetItem(tree.get(), {name});
    joint->fileItem->setCheckState(0, Qt::Unchecked);
    bvhState().jointList.append(std::move(joint));
    for (int i = 0; i < channels; ++i) {
        auto channel = std::make_unique<CBvhHeader>();
        channel->name = name;
        channel->type = Xrotation + i;
        bvhState().jointList.append(std::move(channel));
    }
    // An End Site: no name, never mapped by name.
    auto endSite = std::make_unique<CBvhHeader>();
    endSite->type = EndSite;
    bvhState().jointList.append(std::move(endSite));
}

void tst_StoredMaps::addBone(const QString &name)
{
    bones.push_back(std::make_unique<KvBone>(name));
    auto record = std::make_unique<CSkelHeader>();
    record->name = name;
    record->label = name;
    record->bone = bones.back().get();
    record->listItem = new QTreeWidgetItem(tree.get(), {name});
    bvhState().skeletonList.append(std::move(record));
}

QString tst_StoredMaps::mappingOf(const QString &joint) const
{
    QStringList parts;
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->name != joint)
            continue;
        const QString bone = r->mappedNode ? r->mappedNode->getName() : QString();
        // Every field of the mapping must agree with the bone.
        const bool consistent = r->mappedName == bone
                                && (r->figureItem ? r->figureItem->text(0) == bone : bone.isEmpty())
                                && (!r->fileItem || (r->fileItem->checkState(0) == Qt::Checked) == !bone.isEmpty());
        parts.append(consistent ? bone : QStringLiteral("<inconsistent>"));
    }
    return parts.join(QLatin1Char(','));
}

void tst_StoredMaps::readsStoredLists_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("pairs");  // "left|right" per field
    QTest::newRow("empty") << "" << QStringList() << QStringList();
    QTest::newRow("two") << "a=x;b=y;" << QStringList{"a=x", "b=y"} << QStringList{"a|x", "b|y"};
    QTest::newRow("no-final-separator") << "a=x;b=y" << QStringList{"a=x", "b=y"} << QStringList{"a|x", "b|y"};
    QTest::newRow("stops-at-empty-field") << "a=x;;b=y;" << QStringList{"a=x"} << QStringList{"a|x"};
    QTest::newRow("leading-empty-field") << ";a=x;" << QStringList() << QStringList();
    QTest::newRow("unmapped-joint") << "a=;" << QStringList{"a="} << QStringList{"a|"};
    QTest::newRow("second-equals-ignored") << "a=x=y;" << QStringList{"a=x=y"} << QStringList{"a|x"};
    QTest::newRow("blanks-kept") << "Left Arm=l arm;" << QStringList{"Left Arm=l arm"}
                                 << QStringList{"Left Arm|l arm"};
}

void tst_StoredMaps::readsStoredLists()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QFETCH(QStringList, pairs);
    QCOMPARE(bvhio::listFields(text), fields);
    QStringList got;
    for (const bvhio::CMapPair &pair : bvhio::mapPairs(text))
        got.append(pair.fileName + QLatin1Char('|') + pair.boneName);
    QCOMPARE(got, pairs);
}

void tst_StoredMaps::savesMap_data()
{
    QTest::addColumn<QString>("maps");     // stored before; "-": key absent
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("answer");       // to the overwrite question
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("mapsAfter");
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    QTest::newRow("first-map") << "-" << "walk" << yes << 0 << true << "walk;";
    QTest::newRow("append-keeps-order") << "b;a;" << "c" << yes << 0 << true << "b;a;c;";
    QTest::newRow("overwrite-yes") << "a;b;c;" << "b" << yes << 1 << true << "a;b;c;";
    QTest::newRow("overwrite-no") << "a;b;c;" << "b" << no << 1 << false << "a;b;c;";
    QTest::newRow("case-differs") << "Walk;" << "walk" << yes << 0 << true << "Walk;walk;";
    // An empty entry hides what follows it; a save rewrites the list without.
    QTest::newRow("drops-hidden-tail") << "a;;b;" << "c" << yes << 0 << true << "a;c;";
}

void tst_StoredMaps::savesMap()
{
    QFETCH(QString, maps);
    QFETCH(QString, name);
    QFETCH(int, answer);
    QFETCH(int, questions);
    QFETCH(bool, written);
    QFETCH(QString, mapsAfter);
    if (maps != QLatin1String("-"))
        setRaw(QStringLiteral("Maps"), maps);
    setRaw(name + QLatin1String("_DATA"), QStringLiteral("old=data;"));
    kvApp->setQuestionHandler([&](const QString &title, const QString &text) {
        this->questions.append(title + QLatin1String(": ") + text);
        return answer;
    });

    QCOMPARE(bvhio::saveStoredMap(name, QStringLiteral("hip=hip;"), "CImpMapDialog"), written);
    QCOMPARE(this->questions.size(), questions);
    if (questions > 0)
        QCOMPARE(this->questions.first(), QStringLiteral("BVH File Importer: Overwrite map '%1'?").arg(name));
    QCOMPARE(raw(QStringLiteral("Maps")).toString(), mapsAfter);
    QCOMPARE(raw(name + QLatin1String("_DATA")).toString(),
             written ? QStringLiteral("hip=hip;") : QStringLiteral("old=data;"));
    QCOMPARE(bvhio::storedMapNames(), bvhio::listFields(mapsAfter));
}

void tst_StoredMaps::deletesMap_data()
{
    QTest::addColumn<QString>("maps");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mapsAfter");  // "-": key removed
    QTest::newRow("middle") << "a;b;c;" << "b" << "a;c;";
    QTest::newRow("doubled-name") << "a;b;a;" << "a" << "b;";
    QTest::newRow("last-name") << "a;" << "a" << "-";
    QTest::newRow("every-entry-of-it") << "a;a;" << "a" << "-";
    QTest::newRow("not-listed") << "a;b;" << "x" << "a;b;";
}

void tst_StoredMaps::deletesMap()
{
    QFETCH(QString, maps);
    QFETCH(QString, name);
    QFETCH(QString, mapsAfter);
    setRaw(QStringLiteral("Maps"), maps);
    setRaw(name + QLatin1String("_DATA"), QStringLiteral("x=y;"));
    setRaw(QStringLiteral("keep_DATA"), QStringLiteral("k=k;"));

    bvhio::deleteStoredMap(name);
    if (mapsAfter == QLatin1String("-"))
        QVERIFY(!raw(QStringLiteral("Maps")).isValid());
    else
        QCOMPARE(raw(QStringLiteral("Maps")).toString(), mapsAfter);
    QVERIFY(!raw(name + QLatin1String("_DATA")).isValid());
    QCOMPARE(raw(QStringLiteral("keep_DATA")).toString(), QStringLiteral("k=k;"));
}

// Joint list: A (3 channels), B (3), C (0), each followed by an End Site.
// Bones: x, y, z. Every row starts from an unmapped list.
void tst_StoredMaps::importMapCursor_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("a");  // per record of the joint: its bone
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("c");
    QTest::newRow("file-order") << "A=x;B=y;C=z;" << "x,x,x,x" << "y,y,y,y" << "z";
    QTest::newRow("passed-joint-ends-load") << "B=y;A=x;C=z;" << ",,," << "y,y,y,y" << "";
    QTest::newRow("missing-bone-skipped") << "B=none;A=x;C=z;" << "x,x,x,x" << ",,," << "z";
    QTest::newRow("unknown-joint-ends-load") << "A=x;Q=y;C=z;" << "x,x,x,x" << ",,," << "";
    QTest::newRow("unmapped-pair") << "A=;B=y;" << ",,," << "y,y,y,y" << "";
    QTest::newRow("bone-twice") << "A=x;B=x;" << "x,x,x,x" << "x,x,x,x" << "";
    QTest::newRow("bone-is-case-sensitive") << "A=X;B=y;" << ",,," << "y,y,y,y" << "";
    QTest::newRow("stops-at-empty-field") << "A=x;;B=y;" << "x,x,x,x" << ",,," << "";
}

void tst_StoredMaps::importMapCursor()
{
    QFETCH(QString, data);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, c);
    addJoint(QStringLiteral("A"), 3);
    addJoint(QStringLiteral("B"), 3);
    addJoint(QStringLiteral("C"), 0);
    addBone(QStringLiteral("x"));
    addBone(QStringLiteral("y"));
    addBone(QStringLiteral("z"));

    bvhio::applyImportMap(data);
    QCOMPARE(mappingOf(QStringLiteral("A")), a);
    QCOMPARE(mappingOf(QStringLiteral("B")), b);
    QCOMPARE(mappingOf(QStringLiteral("C")), c);
    for (const CBvhHeader *r : bvhState().jointList) {
        if (r->type == EndSite)
            QVERIFY(!r->mappedNode);
        QVERIFY(r->applyChannel);
    }
}

QTEST_MAIN(tst_StoredMaps)
#include "tst_storedmaps.moc"
