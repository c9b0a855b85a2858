#include "kvbvhrun.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace kvapptest;

// kvbvh preview as a user runs it: the picture it writes, or none when it cannot.
class tst_PreviewCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void sheetOfFileAndOfItsScene();
    void failures();

private:
    Run run(const QStringList &arguments) const { return runKvbvh(QString(), arguments, dir->path()); }

    std::unique_ptr<QTemporaryDir> dir;
    const QString walk = sample(QStringLiteral("cmu_12_01_walk_mb.bvh"));
};

// Two frames on a tall sheet lie side by side, each column the front view
// above the side view, the title above them and the labels below.
void tst_PreviewCommand::sheetOfFileAndOfItsScene()
{
    const QStringList sheet{"--frames", "2", "--size", "400x600"};
    const Run result = run(QStringList{"preview", walk} + sheet);
    QCOMPARE(std::pair(result.exitCode, result.err), std::pair(0, QString()));
    QCOMPARE(result.out, walk + QLatin1String(" -> cmu_12_01_walk_mb.png: 2 of 524 frames (0 to 523), 400x600\n"));
    const QImage fromFile(dir->filePath(QStringLiteral("cmu_12_01_walk_mb.png")), "PNG");
    QCOMPARE(fromFile.size(), QSize(400, 600));

    // The figure's light grey bones, which an empty sheet (sky, ground, axes)
    // does not have, in each frame's views; and the frames differ.
    const QRect views(0, 60, 400, 460);
    int bonePixels[2] = {0, 0};
    for (int y = views.top(); y <= views.bottom(); ++y) {
        for (int x = views.left(); x <= views.right(); ++x) {
            const QColor color = fromFile.pixelColor(x, y);
            bonePixels[x / 200] += color.lightness() > 170 && color.hslSaturation() < 90 ? 1 : 0;
        }
    }
    QVERIFY(bonePixels[0] > 200 && bonePixels[1] > 200);
    QVERIFY(fromFile.copy(0, 60, 200, 460) != fromFile.copy(200, 60, 200, 460));

    // The file is imported as kvbvh import imports it, and a scene file is
    // drawn as it is: the same picture but for the title naming the input.
    QCOMPARE(run({"import", walk, "-o", "walk.json"}).exitCode, 0);
    QCOMPARE(run(QStringList{"preview", "walk.json", "-o", "scene.png"} + sheet).exitCode, 0);
    QCOMPARE(QImage(dir->filePath(QStringLiteral("scene.png")), "PNG").copy(views), fromFile.copy(views));
}

// Refused with exit 1 and one line, and no picture left.
void tst_PreviewCommand::failures()
{
    for (const char *name : {"notes.bvh", "notes.json"}) {
        QFile file(dir->filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"format\": \"kvscene\"") > 0);
    }
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub.png")));
    const QList<std::pair<QStringList, QString>> cases{{{"preview", "notes.bvh"}, "notes.bvh: .+$"},  // refused by the plug-in
                                                       {{"preview", "notes.json"}, "notes.json.*: .+$"},
                                                       {{"preview", walk, "-o", "sub.png"}, "sub.png: is a folder$"}};
    for (const auto &[arguments, error] : cases) {
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(isOneErrorLine(result.err, error), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
    }
    QCOMPARE(QDir(dir->path()).entryList({QStringLiteral("*.png")}, QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(tst_PreviewCommand)
#include "tst_previewcommand.moc"
