#include "bvhheader.h"
#include "recordlist.h"
#include "skelheader.h"

#include "kvnode.h"

#include <QtTest>

namespace {

struct Counted
{
    static inline int alive = 0;
    explicit Counted(int v) : value(v) { ++alive; }
    ~Counted() { --alive; }
    int value;
};

} // namespace

class tst_BvhRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reset_data();
    void reset();
    void copyIsIndependent();
    void listOwnsAndKeepsAddresses();
};

void tst_BvhRecords::reset_data()
{
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("level");

    QTest::newRow("full")    << true << 0;
    QTest::newRow("partial") << false << 3;
}

void tst_BvhRecords::reset()
{
    QFETCH(bool, full);
    QFETCH(int, level);

    KvBone bone;
    auto *item = reinterpret_cast<QTreeWidgetItem *>(&bone);
    CBvhHeader r;
    r.name = r.mappedName = QStringLiteral("x");
    r.level = 3;
    r.mappedNode = &bone;
    r.offset = r.restPosition = r.endPosition = KvVec3(1, 2, 3);
    r.type = Zrotation;
    r.applyChannel = false;
    r.fileItem = r.figureItem = item;
    r.parent = &r;
    r.restLocalRotation = r.restWorldRotation = KvQuat(KvVec3(0, 1, 0), 1.0f);
    r.resetRecord(full);
    QVERIFY(r.name.isEmpty() && r.mappedName.isEmpty() && !r.mappedNode && !r.fileItem && !r.figureItem && !r.parent);
    QVERIFY(r.offset == KvVec3() && r.restPosition == KvVec3() && r.endPosition == KvVec3());
    QVERIFY(r.type == EndMarker && r.applyChannel);
    QVERIFY(r.restLocalRotation == KvQuat() && r.restWorldRotation == KvQuat());
    QCOMPARE(r.level, level);

    CSkelHeader s;
    s.name = s.label = QStringLiteral("x");
    s.level = 3;
    s.bone = &bone;
    s.exportFlag = false;
    s.listItem = item;
    s.resetRecord(full);
    QVERIFY(s.name.isEmpty() && s.label.isEmpty() && !s.bone && s.exportFlag && !s.listItem);
    QCOMPARE(s.level, level);
}

void tst_BvhRecords::copyIsIndependent()
{
    KvBone bone;
    CBvhHeader source;
    source.name = source.mappedName = QStringLiteral("lThigh");
    source.mappedNode = &bone;
    source.level = 2;
    CBvhHeader copy(source);
    copy.mappedName[0] = QLatin1Char('r');
    copy.resetRecord(true);
    QCOMPARE(source.mappedName, QStringLiteral("lThigh"));
    QCOMPARE(source.mappedNode, &bone);
    QCOMPARE(source.level, 2);
}

// Records point at each other: growing the list must not move them, and
// clearing it destroys them.
void tst_BvhRecords::listOwnsAndKeepsAddresses()
{
    {
        CRecordList<Counted> list;
        std::vector<Counted *> addresses;
        for (int i = 0; i < 1000; ++i)
            addresses.push_back(list.append(std::make_unique<Counted>(i)));
        QCOMPARE(Counted::alive, 1000);
        int i = 0;
        for (Counted *c : list)
            QVERIFY(c == addresses[size_t(i)] && c->value == i++);
        for (auto it = list.rbegin(); it != list.rend(); ++it)
            QCOMPARE((*it)->value, --i);
        list.clear();
        QCOMPARE(Counted::alive, 0);
        list.append(std::make_unique<Counted>(7));
    }
    QCOMPARE(Counted::alive, 0);
}

QTEST_GUILESS_MAIN(tst_BvhRecords)
#include "tst_bvhrecords.moc"
