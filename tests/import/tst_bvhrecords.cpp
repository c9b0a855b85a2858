#include "bvhheader.h"
#include "bvhstate.h"
#include "recordlist.h"
#include "skelheader.h"

#include "kvnode.h"
#include "testsupport.h"

#include <QTreeWidgetItem>
#include <QtTest>

namespace {

// Every field of a record set to something a reset must undo.
void scribble(CBvhHeader &r, CBvhHeader *other, KvNode *node)
{
    r.name = QStringLiteral("lThigh");
    r.mappedName = QStringLiteral("Left Thigh");
    r.level = 3;
    r.mappedNode = node;
    r.offset = KvVec3(1, 2, 3);
    r.restPosition = KvVec3(4, 5, 6);
    r.endPosition = KvVec3(7, 8, 9);
    r.type = Zrotation;
    r.applyChannel = false;
    r.fileItem = reinterpret_cast<QTreeWidgetItem *>(node);
    r.figureItem = reinterpret_cast<QTreeWidgetItem *>(node);
    r.parent = other;
    r.restLocalRotation = KvQuat(KvVec3(0, 1, 0), 1.0f);
    r.restWorldRotation = KvQuat(KvVec3(1, 0, 0), 0.5f);
}

bool isReset(const CBvhHeader &r)
{
    return r.name.isEmpty() && r.mappedName.isEmpty() && !r.mappedNode && r.offset == KvVec3()
        && r.restPosition == KvVec3() && r.endPosition == KvVec3() && r.type == EndMarker && r.applyChannel
        && !r.fileItem && !r.figureItem && !r.parent && r.restLocalRotation == KvQuat()
        && r.restWorldRotation == KvQuat();
}

// Counts live instances, to see that the list owns what it holds.
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
    void resetBvhHeader_data();
    void resetBvhHeader();
    void copyIsIndependent();
    void resetSkelHeader_data();
    void resetSkelHeader();
    void listKeepsAddresses();
    void listIterates();
    void sharedState();
};

void tst_BvhRecords::resetBvhHeader_data()
{
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("level");

    QTest::newRow("full")    << true << 0;
    QTest::newRow("partial") << false << 3;
}

void tst_BvhRecords::resetBvhHeader()
{
    QFETCH(bool, full);
    QFETCH(int, level);

    QVERIFY(isReset(CBvhHeader()));
    QCOMPARE(CBvhHeader().level, 0);

    KvNode node;
    CBvhHeader other;
    CBvhHeader r;
    scribble(r, &other, &node);
    QVERIFY(!isReset(r));
    r.resetRecord(full);
    QVERIFY(isReset(r));
    QCOMPARE(r.level, level);
}

void tst_BvhRecords::copyIsIndependent()
{
    KvNode node;
    CBvhHeader other;
    CBvhHeader source;
    scribble(source, &other, &node);

    CBvhHeader copy(source);
    QCOMPARE(copy.name, source.name);
    QCOMPARE(copy.level, 3);
    QCOMPARE(copy.mappedNode, &node);
    QCOMPARE(copy.parent, &other);
    QCOMPARE(copy.endPosition, source.endPosition);
    QCOMPARE(copy.restWorldRotation, source.restWorldRotation);

    copy.mappedName = QStringLiteral("hip");
    copy.name[0] = QLatin1Char('r');
    QCOMPARE(source.mappedName, QStringLiteral("Left Thigh"));
    QCOMPARE(source.name, QStringLiteral("lThigh"));
    copy.resetRecord(true);
    QCOMPARE(source.mappedNode, &node);
    QCOMPARE(source.level, 3);
}

void tst_BvhRecords::resetSkelHeader_data()
{
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("level");

    QTest::newRow("full")    << true << 0;
    QTest::newRow("partial") << false << 2;
}

void tst_BvhRecords::resetSkelHeader()
{
    QFETCH(bool, full);
    QFETCH(int, level);

    KvBone bone;
    CSkelHeader r;
    QVERIFY(r.name.isEmpty() && r.label.isEmpty() && r.level == 0 && !r.bone && r.exportFlag && !r.listItem);
    r.name = QStringLiteral("lShin");
    r.label = QStringLiteral("Left Shin");
    r.level = 2;
    r.bone = &bone;
    r.exportFlag = false;
    r.listItem = reinterpret_cast<QTreeWidgetItem *>(&bone);
    r.resetRecord(full);
    QVERIFY(r.name.isEmpty() && r.label.isEmpty() && !r.bone && r.exportFlag && !r.listItem);
    QCOMPARE(r.level, level);
}

// Records point at each other: growing the list must not move them.
void tst_BvhRecords::listKeepsAddresses()
{
    {
        CRecordList<Counted> list;
        QVERIFY(list.isEmpty());
        QCOMPARE(list.first(), nullptr);
        QCOMPARE(list.last(), nullptr);
        std::vector<Counted *> addresses;
        for (int i = 0; i < 1000; ++i)
            addresses.push_back(list.append(std::make_unique<Counted>(i)));
        QCOMPARE(list.count(), 1000);
        QCOMPARE(Counted::alive, 1000);
        for (int i = 0; i < 1000; ++i) {
            QCOMPARE(list.at(i), addresses[size_t(i)]);
            QCOMPARE(addresses[size_t(i)]->value, i);
        }
        list.clear();
        QCOMPARE(Counted::alive, 0);
        QCOMPARE(list.count(), 0);
        list.append(std::make_unique<Counted>(7));
    }
    QCOMPARE(Counted::alive, 0);
}

void tst_BvhRecords::listIterates()
{
    CRecordList<Counted> list;
    for (int i = 0; i < 5; ++i)
        list.append(std::make_unique<Counted>(i));

    QList<int> forward;
    for (Counted *c : list)
        forward += c->value;
    QCOMPARE(forward, (QList<int>{0, 1, 2, 3, 4}));

    QList<int> backward;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        backward += (*it)->value;
    QCOMPARE(backward, (QList<int>{4, 3, 2, 1, 0}));

    auto it = list.end();
    --it;
    QCOMPARE((*it)->value, 4);
    QCOMPARE(list.first()->value, 0);
    QCOMPARE(list.last()->value, 4);
}

void tst_BvhRecords::sharedState()
{
    CBvhState &state = bvhState();
    QCOMPARE(&bvhState(), &state);
    QVERIFY(state.jointList.isEmpty());
    QVERIFY(state.skeletonList.isEmpty());
    QCOMPARE(state.targetSkeleton, nullptr);
    QVERIFY(state.currentMapName.isNull());
    QVERIFY(state.currentFileName.isNull());

    state.jointList.append(std::make_unique<CBvhHeader>());
    state.skeletonList.append(std::make_unique<CSkelHeader>());
    QCOMPARE(bvhState().jointList.count(), 1);
    state.clearLists();
    QVERIFY(state.jointList.isEmpty());
    QVERIFY(state.skeletonList.isEmpty());
}

QTEST_GUILESS_MAIN(tst_BvhRecords)
#include "tst_bvhrecords.moc"
