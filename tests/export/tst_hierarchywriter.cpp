#include "bvhout.h"

#include "bvhfixture.h"

#include <QBuffer>
#include <QtTest>

namespace {

// Golden text with four leading blanks per tab, so the nesting shows here.
QByteArray tabbed(const QByteArray &text)
{
    QByteArrayList lines = text.split('\n');
    for (QByteArray &line : lines) {
        int depth = 0;
        while (line.mid(depth * 4, 4) == "    ")
            ++depth;
        line = QByteArray(depth, '\t') + line.mid(depth * 4);
    }
    return lines.join('\n');
}

const QByteArray rootOpening = R"(HIERARCHY
ROOT hip
{
    OFFSET -1.000000 40.000000 2.500000
    CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
)";

const QByteArray spine = R"(    JOINT abdomen
    {
        OFFSET 0.000000 5.000000 0.000000
        CHANNELS 3 Zrotation Xrotation Yrotation
        JOINT chest
        {
            OFFSET 0.000000 7.500000 -0.250000
            CHANNELS 3 Zrotation Xrotation Yrotation
)";

const QByteArray thighBlock = R"(    JOINT lThigh
    {
        OFFSET 4.500000 -2.000000 0.250000
        CHANNELS 3 Zrotation Xrotation Yrotation
        End Site
        {
            OFFSET 0.500000 -18.000000 0.250000
        }
    }
}
)";

} // namespace

class tst_HierarchyWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void section_data();
    void section();
};

void tst_HierarchyWriter::section_data()
{
    QTest::addColumn<QStringList>("switchedOff");
    QTest::addColumn<QString>("rootLabel");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("worked-example") << QStringList{"neck"} << "hip"
        << tabbed(rootOpening + spine + R"(            End Site
            {
                OFFSET 0.125000 7.500000 -1.250000
            }
        }
    }
)" + thighBlock);

    QTest::newRow("root-only") << QStringList{"abdomen", "chest", "neck", "lThigh"} << "hip"
                               << tabbed(rootOpening + R"(    End Site
    {
        OFFSET 0.000000 5.000000 0.000000
    }
}
)");

    // A new name with a blank is written as it stands; the children keep
    // theirs. The deep leaf closes three blocks before lThigh opens.
    QTest::newRow("deep-leaf-then-level-2") << QStringList() << "Hips root"
        << tabbed(QByteArray(rootOpening).replace("ROOT hip", "ROOT Hips root") + spine + R"(            JOINT neck
            {
                OFFSET 0.125000 7.500000 -1.250000
                CHANNELS 3 Zrotation Xrotation Yrotation
                End Site
                {
                    OFFSET 0.000000 4.000000 0.500000
                }
            }
        }
    }
)" + thighBlock);

    QTest::newRow("nothing-exported") << QStringList{"hip", "abdomen", "chest", "neck", "lThigh"} << "hip"
                                      << QByteArray("HIERARCHY\n");
}

//   figure (origin 1 0 -2)
//   └─ hip ─┬─ abdomen ── chest ── neck
//           └─ lThigh         (starts away from hip's end point)
void tst_HierarchyWriter::section()
{
    QFETCH(QStringList, switchedOff);
    QFETCH(QString, rootLabel);
    QFETCH(QByteArray, expected);

    const kvtest::TestHost host;
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    const auto add = [&](const char *name, const char *parent, int level, KvVec3 origin, KvVec3 end) {
        desc.bones.push_back({QString::fromLatin1(name), {}, QString::fromLatin1(parent), origin, end, {}, {}});
        auto record = std::make_unique<CSkelHeader>();
        record->name = record->label = QString::fromLatin1(name);
        record->level = level;
        record->exportFlag = !switchedOff.contains(record->name);
        bvhState().skeletonList.append(std::move(record));
    };
    add("hip", "", 1, {0, 40, 0.5f}, {0, 45, 0.5f});
    add("abdomen", "hip", 2, {0, 45, 0.5f}, {0, 52.5f, 0.25f});
    add("chest", "abdomen", 3, {0, 52.5f, 0.25f}, {0.125f, 60, -1});
    add("neck", "chest", 4, {0.125f, 60, -1}, {0.125f, 64, -0.5f});
    add("lThigh", "hip", 2, {4.5f, 38, 0.75f}, {5, 20, 1});
    const std::unique_ptr<KvSkeleton> figure = KvFigureBuilder::build(desc);
    QVERIFY(figure);
    figure->setOrigin({1, 0, -2});
    for (CSkelHeader *record : bvhState().skeletonList)
        record->bone = figure->findBone(record->name);
    bvhState().skeletonList.first()->label = rootLabel;
    // A record without a bone writes nothing but still counts for progress.
    auto empty = std::make_unique<CSkelHeader>();
    empty->level = 2;
    bvhState().skeletonList.append(std::move(empty));

    kvApp->startProgress(QStringLiteral("test"), 100, false, false);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CBvhOut().writeHierarchy(&buffer);

    QCOMPARE(buffer.data().split('\n'), expected.split('\n'));
    QCOMPARE(kvApp->progressValue(), 6);
}

QTEST_GUILESS_MAIN(tst_HierarchyWriter)
#include "tst_hierarchywriter.moc"
