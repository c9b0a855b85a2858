#include "storedmaps.h"

#include "bvhfixture.h"

#include <QMessageBox>
#include <QTreeWidget>
#include <QtTest>

// Stored maps on a real settings file: save with its overwrite question,
// delete, and the import side's way of applying a map.
class tst_StoredMaps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storesMaps_data();
    void storesMaps();
    void importMapCursor_data();
    void importMapCursor();
};

void tst_StoredMaps::storesMaps_data()
{
    QTest::addColumn<QString>("maps");  // stored before; "-": absent
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("mapsAfter");
    QTest::addColumn<QString>("dataAfter");  // of map "a"
    QTest::addColumn<QStringList>("asked");
    const QStringList overwrite{"BVH File Importer: Overwrite map 'a'?"};
    QTest::newRow("first-map") << "-" << "save" << "a;" << "new" << QStringList();
    // A name is its exact text; an empty field hides the rest of the list.
    QTest::newRow("append-keeps-order") << "c;A;;b;" << "save" << "c;A;a;" << "new" << QStringList();
    QTest::newRow("overwrite-yes") << "b;a;c;" << "save" << "b;a;c;" << "new" << overwrite;
    QTest::newRow("overwrite-no") << "b;a;c;" << "save-no" << "b;a;c;" << "old" << overwrite;
    QTest::newRow("delete-doubled") << "b;a;c;a;" << "delete" << "b;c;" << "-" << QStringList();
    QTest::newRow("delete-last") << "a;" << "delete" << "-" << "-" << QStringList();
}

void tst_StoredMaps::storesMaps()
{
    QFETCH(QString, maps);
    QFETCH(QString, action);
    QFETCH(QString, mapsAfter);
    QFETCH(QString, dataAfter);
    QFETCH(QStringList, asked);
    const kvtest::TestHost host;
    if (maps != QLatin1String("-"))
        kvtest::setStored(QStringLiteral("Maps"), maps);
    kvtest::setStored(QStringLiteral("a_DATA"), QStringLiteral("old"));
    kvtest::setStored(QStringLiteral("b_DATA"), QStringLiteral("old"));
    const int answer = action == QLatin1String("save-no") ? QMessageBox::No : QMessageBox::Yes;
    kvApp->setQuestionHandler([answer](const QString &, const QString &) { return answer; });

    if (action == QLatin1String("delete"))
        bvhio::deleteStoredMap(QStringLiteral("a"));
    else
        QCOMPARE(bvhio::saveStoredMap(QStringLiteral("a"), QStringLiteral("new"), "CImpMapDialog"), dataAfter == "new");
    QCOMPARE(kvApp->messageLog(), asked);
    QCOMPARE(kvtest::stored(QStringLiteral("Maps")), mapsAfter);
    QCOMPARE(kvtest::stored(QStringLiteral("a_DATA")), dataAfter);
    QCOMPARE(kvtest::stored(QStringLiteral("b_DATA")), QStringLiteral("old"));
}

// Joint list: A and B with three channel records each, C without, each
// followed by an unnamed End Site. Bones: x, y, z.
void tst_StoredMaps::importMapCursor_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("mapping");  // per record of A, B and C: its bone
    QTest::newRow("file-order") << "A=x;B=y;C=z;" << "x,x,x,x y,y,y,y z";
    QTest::newRow("passed-joint-ends-load") << "B=y;A=x;C=z;" << ",,, y,y,y,y ";
    QTest::newRow("missing-bone-skipped") << "B=none;A=x;C=z;" << "x,x,x,x ,,, z";
    QTest::newRow("unknown-joint-ends-load") << "A=x;Q=y;C=z;" << "x,x,x,x ,,, ";
    QTest::newRow("bone-twice") << "A=x;B=x;" << "x,x,x,x x,x,x,x ";
    // Reading stops at the first empty field; text after a second "=" is ignored.
    QTest::newRow("stops-at-empty-field") << "A=x=y;;B=y;" << "x,x,x,x ,,, ";
}

void tst_StoredMaps::importMapCursor()
{
    QFETCH(QString, data);
    QFETCH(QString, mapping);
    const kvtest::TestHost host;
    QTreeWidget tree;
    std::vector<std::unique_ptr<KvBone>> bones;
    for (const char *name : {"x", "y", "z"}) {
        bones.push_back(std::make_unique<KvBone>(QString::fromLatin1(name)));
        auto record = std::make_unique<CSkelHeader>();
        record->name = record->label = bones.back()->getName();
        record->bone = bones.back().get();
        record->listItem = new QTreeWidgetItem(&tree, {record->name});
        bvhState().skeletonList.append(std::move(record));
    }
    for (const auto &[name, channels] : {std::pair("A", 3), std::pair("B", 3), std::pair("C", 0)}) {
        for (int i = 0; i <= channels + 1; ++i) {
            auto record = std::make_unique<CBvhHeader>();
            record->name = i <= channels ? QString::fromLatin1(name) : QString();
            record->type = i == 0 ? int(Joint) : i <= channels ? Xrotation + i - 1 : int(EndSite);
            if (i == 0) {
                record->fileItem = new QTreeWidgetItem(&tree, {record->name});
                record->fileItem->setCheckState(0, Qt::Unchecked);
            }
            bvhState().jointList.append(std::move(record));
        }
    }

    bvhio::applyImportMap(data);
    // Every field of a record's mapping agrees with its bone.
    QStringList joints{QString()};
    for (const CBvhHeader *r : bvhState().jointList) {
        const QString bone = r->mappedNode ? r->mappedNode->getName() : QString();
        QVERIFY(r->applyChannel && r->mappedName == bone);
        QCOMPARE(r->figureItem ? r->figureItem->text(0) : QString(), bone);
        if (r->fileItem)
            QCOMPARE(r->fileItem->checkState(0) == Qt::Checked, !bone.isEmpty());
        if (r->type == EndSite)
            joints.append(QString());
        else
            joints.last() += (r->type == Joint ? QString() : QStringLiteral(",")) + bone;
    }
    joints.removeLast();
    QCOMPARE(joints.join(QLatin1Char(' ')), mapping);
}

QTEST_MAIN(tst_StoredMaps)
#include "tst_storedmaps.moc"
