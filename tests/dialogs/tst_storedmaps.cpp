#include "storedmaps.h"

#include "bvhfixture.h"

#include <QMessageBox>
#include <QtTest>

// Stored maps on a real settings file, and the import side's way of applying one.
class tst_StoredMaps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storesMaps();
    void importMapCursor_data();
    void importMapCursor();
};

// Saving lists a new name after those before the first empty field and
// overwrites a listed one only on Yes; deleting drops every entry of the name,
// the list with its last name, and the map's data, and no other map's data.
void tst_StoredMaps::storesMaps()
{
    const kvtest::TestHost host;
    int answer = QMessageBox::No;
    kvApp->setQuestionHandler([&answer](const QString &, const QString &) { return answer; });
    kvtest::setStored(QStringLiteral("b_DATA"), QStringLiteral("old"));
    const auto save = [](const char *data) { return bvhio::saveStoredMap(QStringLiteral("a"), QString::fromLatin1(data), "CImpMapDialog"); };
    const auto stored = [] { return QStringList{kvtest::stored("Maps"), kvtest::stored("a_DATA"), kvtest::stored("b_DATA")}; };
    QVERIFY(save("1"));
    QCOMPARE(stored(), (QStringList{"a;", "1", "old"}));
    kvtest::setStored(QStringLiteral("Maps"), QStringLiteral("c;A;;b;"));
    QVERIFY(save("2"));
    QCOMPARE(stored(), (QStringList{"c;A;a;", "2", "old"}));
    QVERIFY(!save("3"));
    QCOMPARE(stored(), (QStringList{"c;A;a;", "2", "old"}));
    answer = QMessageBox::Yes;
    QVERIFY(save("4"));
    QCOMPARE(stored(), (QStringList{"c;A;a;", "4", "old"}));
    QCOMPARE(kvApp->messageLog(), QStringList(2, QStringLiteral("BVH File Importer: Overwrite map 'a'?")));

    kvtest::setStored(QStringLiteral("Maps"), QStringLiteral("a;c;a;"));
    bvhio::deleteStoredMap(QStringLiteral("a"));
    QCOMPARE(stored(), (QStringList{"c;", "-", "old"}));
    bvhio::deleteStoredMap(QStringLiteral("c"));
    QCOMPARE(stored(), (QStringList{"-", "-", "old"}));
}

// Joint list: A and B with three channel records each, C without, each
// followed by an unnamed End Site. Bones: x, y, z.
void tst_StoredMaps::importMapCursor_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("mapping");  // the bone of each record of A, B and C
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
    const std::unique_ptr<KvSkeleton> figure(kvtest::figure(QStringLiteral("figure"), {"x", "y<x", "z<y"}));
    CBvhIn().collectSkeletonBones(figure->getNodeChild(0), 1);
    for (const auto &[name, channels] : {std::pair("A", 3), std::pair("B", 3), std::pair("C", 0)}) {
        for (int i = 0; i <= channels + 1; ++i) {
            CBvhHeader *record = bvhState().jointList.append(std::make_unique<CBvhHeader>());
            record->name = i <= channels ? QString::fromLatin1(name) : QString();
            record->type = i == 0 ? int(Joint) : i <= channels ? Xrotation + i - 1 : int(EndSite);
        }
    }

    bvhio::applyImportMap(data);
    QString shown;
    for (const CBvhHeader *r : bvhState().jointList) {
        QCOMPARE(r->mappedName, r->mappedNode ? r->mappedNode->getName() : QString());
        if (r->type != EndSite)
            shown += QLatin1Char(r->type == Joint ? ' ' : ',') + r->mappedName;
    }
    QCOMPARE(shown.mid(1), mapping);
}

QTEST_MAIN(tst_StoredMaps)
#include "tst_storedmaps.moc"
