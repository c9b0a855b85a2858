#include "kvbvhrun.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace kvapptest;

// kvbvh preview as a user runs it: the picture it writes, and what it leaves
// when it cannot.
class tst_PreviewCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sheetOfFileAndOfItsScene();
    void failures_data();
    void failures();
    void badUsage_data();
    void badUsage();

private:
    Run run(const QStringList &arguments) const
    {
        return runKvbvh(dir->filePath(QStringLiteral("kvbvh.ini")), arguments, dir->path(), serverEnvironment(dir->path()));
    }
    QString path(const QString &name) const { return dir->filePath(name); }
    QStringList pictures() const { return QDir(dir->path()).entryList({QStringLiteral("*.png")}, QDir::Files); }
    void write(const QString &name, const QByteArray &content) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    std::unique_ptr<QTemporaryDir> dir;
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
};

void tst_PreviewCommand::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void tst_PreviewCommand::cleanup()
{
    dir->setAutoRemove(!QTest::currentTestFailed());
}

// Two frames on a tall sheet lie side by side, each column the front view
// above the side view, the title above them and the labels below.
void tst_PreviewCommand::sheetOfFileAndOfItsScene()
{
    const QStringList sheet{QStringLiteral("--frames"), QStringLiteral("2"), QStringLiteral("--size"), QStringLiteral("400x600")};
    Run result = run(QStringList{QStringLiteral("preview"), walk} + sheet);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    // Named after the input, in the working folder.
    QCOMPARE(pictures(), QStringList{QStringLiteral("cmu_12_01_walk_mb.png")});
    QCOMPARE(result.out, walk + QLatin1String(" -> cmu_12_01_walk_mb.png: 2 of 524 frames (0 to 523), 400x600\n"));
    const QImage fromFile(path(QStringLiteral("cmu_12_01_walk_mb.png")), "PNG");
    QCOMPARE(fromFile.size(), QSize(400, 600));

    // The figure's light grey bones, which an empty sheet (sky, ground, axes)
    // does not have, in each frame's views; and the frames differ.
    const QRect views(0, 60, 400, 460);
    const QRect columns[] = {QRect(0, views.y(), 200, views.height()), QRect(200, views.y(), 200, views.height())};
    for (const QRect &column : columns) {
        int bonePixels = 0;
        for (int y = column.top(); y <= column.bottom(); ++y) {
            for (int x = column.left(); x <= column.right(); ++x) {
                const QColor color = fromFile.pixelColor(x, y);
                bonePixels += color.lightness() > 170 && color.hslSaturation() < 90 ? 1 : 0;
            }
        }
        QVERIFY2(bonePixels > 200, qPrintable(QString::number(bonePixels)));
    }
    QVERIFY(fromFile.copy(columns[0]) != fromFile.copy(columns[1]));

    // The file is imported as kvbvh import imports it, and a scene file is
    // drawn as it is: the same picture but for the title naming the input.
    QCOMPARE(run({QStringLiteral("import"), walk, QStringLiteral("-o"), path(QStringLiteral("walk.json"))}).exitCode, 0);
    result = run(QStringList{QStringLiteral("preview"), QStringLiteral("walk.json"), QStringLiteral("-o"),
                             QStringLiteral("scene.png")} + sheet);
    QCOMPARE(result.exitCode, 0);
    const QImage fromScene(path(QStringLiteral("scene.png")), "PNG");
    QCOMPARE(fromScene.copy(views), fromFile.copy(views));
}

void tst_PreviewCommand::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");  // the line after "kvbvh: ", a pattern

    QTest::newRow("missing-input") << QStringList{"preview", "nowhere.bvh"} << "nowhere.bvh: no such file$";
    QTest::newRow("refused-by-the-plug-in") << QStringList{"preview", "notes.bvh"} << "notes.bvh: .+$";
    QTest::newRow("not-a-scene") << QStringList{"preview", "notes.json"} << "notes.json.*: .+$";
    QTest::newRow("missing-output-folder") << QStringList{"preview", walk, "-o", "no/such/out.png"}
                                           << "no/such/out.png: the folder no/such does not exist$";
    QTest::newRow("output-is-a-folder") << QStringList{"preview", walk, "-o", "sub.png"} << "sub.png: is a folder$";
}

void tst_PreviewCommand::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    write(QStringLiteral("notes.bvh"), "just some notes\n");
    write(QStringLiteral("notes.json"), "{\"format\": \"kvscene\"");
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub.png")));

    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(isOneErrorLine(result.err, error), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    QCOMPARE(pictures(), QStringList());
}

void tst_PreviewCommand::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no-input") << QStringList{"preview"};
    QTest::newRow("two-inputs") << QStringList{"preview", walk, walk};
    QTest::newRow("no-frames") << QStringList{"preview", walk, "--frames", "0"};
    QTest::newRow("frames-not-a-number") << QStringList{"preview", walk, "--frames", "some"};
    QTest::newRow("size-too-small") << QStringList{"preview", walk, "--size", "40x600"};
    QTest::newRow("size-not-a-size") << QStringList{"preview", walk, "--size", "1600"};
    QTest::newRow("frames-do-not-fit") << QStringList{"preview", walk, "--size", "200x200", "--frames", "100"};
    QTest::newRow("import-option-for-a-scene") << QStringList{"preview", "walk.json", "--in-place"};
}

void tst_PreviewCommand::badUsage()
{
    QFETCH(QStringList, arguments);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.startsWith(QLatin1String("kvbvh: "))
                 && result.err.contains(QLatin1String("\nUsage: kvbvh preview IN.bvh|SCENE.json")),
             qPrintable(result.err));
    QCOMPARE(pictures(), QStringList());
}

QTEST_GUILESS_MAIN(tst_PreviewCommand)
#include "tst_previewcommand.moc"
