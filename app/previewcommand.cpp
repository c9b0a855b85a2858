#include "commands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "progressbar.h"

#include "contactsheet.h"

#include "kvsavefile.h"
#include "kvscenefile.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvnode.h"
#include "kvscene.h"

#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QBuffer>

#include <algorithm>

namespace {

constexpr int defaultFrames = 8;
constexpr int maxFrames = 1000;
const QSize defaultSize(1600, 600);
constexpr int minSide = 64;
constexpr int maxSide = 16384;
// The smallest view in which a figure still shows.
const QSize minView(16, 32);

bool parseSize(const QString &text, QSize *size)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$")).match(text);
    if (!match.hasMatch())
        return false;
    *size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    return size->width() >= minSide && size->height() >= minSide && size->width() <= maxSide
           && size->height() <= maxSide;
}

// Import options left at what a scene file would ignore.
bool importOptionsUnset(const ImportArguments &import)
{
    return import.figure.isEmpty() && import.map.isEmpty() && !import.inPlace && !import.limits
           && !import.keepSceneTiming && import.up == QLatin1String("auto");
}

} // namespace

int runPreviewCommand(CommandContext &context, const QStringList &arguments)
{
    ImportArguments import;
    QString output;
    QString framesText;
    QString sizeText;
    OptionParser parser;
    parser.addValue(QStringLiteral("output"), QLatin1Char('o'), QStringLiteral("OUT.png"), &output,
                    QStringLiteral("the picture to write (default: the input's base name + .png, in the current folder)"));
    parser.addValue(QStringLiteral("frames"), QChar(), QStringLiteral("N"), &framesText,
                    QStringLiteral("show N frames, evenly spaced from the first to the last (default %1)").arg(defaultFrames));
    parser.addValue(QStringLiteral("size"), QChar(), QStringLiteral("WxH"), &sizeText,
                    QStringLiteral("the whole picture's size in pixels (default %1x%2)")
                        .arg(defaultSize.width())
                        .arg(defaultSize.height()));
    import.addTo(parser);
    if (!parser.parse(arguments))
        return context.usageError(parser.error());
    if (parser.isHelpRequested()) {
        context.out << parser.helpText(
            QStringLiteral("preview IN.bvh|SCENE.json [-o OUT.png] [--frames N] [--size WxH] [options]"),
            QStringLiteral("Draws a contact sheet of the motion as a PNG picture: N frames spread evenly over\n"
                           "it, each seen from the front and from the side, with its frame number and time. A\n"
                           "BVH file is first imported onto the figure as convert imports it (the import\n"
                           "options below); a scene file (kvbvh import) is drawn as it is."));
        return ExitSuccess;
    }
    if (parser.arguments().size() != 1)
        return context.usageError(QStringLiteral("preview takes one BVH or scene file"));
    int frames = defaultFrames;
    if (!framesText.isEmpty()) {
        bool ok = false;
        frames = framesText.toInt(&ok);
        if (!ok || frames < 1 || frames > maxFrames)
            return context.usageError(QStringLiteral("--frames needs a whole number from 1 to %1").arg(maxFrames));
    }
    QSize size = defaultSize;
    if (!sizeText.isEmpty() && !parseSize(sizeText, &size)) {
        return context.usageError(
            QStringLiteral("--size needs WIDTHxHEIGHT in pixels, each from %1 to %2, as 1600x600").arg(minSide).arg(maxSide));
    }
    QString usage;
    if (!import.settle(&usage))
        return context.usageError(usage);
    const QString input = parser.arguments().first();
    const bool bvh = QFileInfo(input).suffix().compare(QLatin1String("bvh"), Qt::CaseInsensitive) == 0;
    if (!bvh && !importOptionsUnset(import))
        return context.usageError(QStringLiteral("the import options are for a BVH file; a scene file is drawn as it is"));
    if (output.isEmpty())
        output = QFileInfo(input).completeBaseName() + QLatin1String(".png");

    QString error;
    if (!checkInputFile(input, &error) || !checkOutputFile(output, &error))
        return context.fail(error);
    if (QFileInfo(output).canonicalFilePath() == QFileInfo(input).canonicalFilePath())
        return context.fail(QStringLiteral("%1: will not write over the input").arg(output));

    KvScene *scene = context.host->getScene();
    KvSkeleton *skeleton = nullptr;
    if (bvh) {
        const std::optional<KvFigureDesc> figure = importFigure(context, import, &error);
        if (!figure)
            return context.fail(error);
        ProgressBar progress(context.err, context.showProgress);
        progress.attach(context.host);
        ImportResult imported;
        if (!importOntoFigure(context, input, *figure, import.options(), true, imported, &error))
            return context.fail(error);
        progress.finish();
        skeleton = imported.skeleton;
    } else {
        const std::optional<KvSceneDesc> desc = KvSceneFile::load(input, &error);
        if (!desc)
            return context.fail(error);
        while (scene->getNumNodes() > 0)
            scene->deleteNode(scene->getNode(0));
        skeleton = KvSceneFile::build(*desc, scene, &error);
        if (!skeleton)
            return context.fail(input + QLatin1String(": ") + error);
    }
    // Drawn as the figure is, not as chosen.
    scene->clearSelection();

    const KvTimeRange range = scene->getAnimRange();
    const int step = scene->getTimeStep();
    const int total = std::max(1, range.end / step - range.start / step);
    const QString title = QStringLiteral("%1 on figure \"%2\": %3 frames at %4 fps, %5 s")
                              .arg(QFileInfo(input).fileName(), skeleton->getLabel())
                              .arg(total)
                              .arg(rateText(step))
                              .arg(total * step / 4800.0, 0, 'f', 2);
    const ContactSheet sheet(scene);
    const QSize view = sheet.layout(size, frames, true).front().front.size();
    if (view.width() < minView.width() || view.height() < minView.height()) {
        return context.usageError(QStringLiteral("%1 frames do not fit on %2x%3 pixels: fewer frames or a larger --size")
                                      .arg(sheet.frames(frames).size())
                                      .arg(size.width())
                                      .arg(size.height()));
    }
    const QImage image = sheet.render(size, frames, title);

    // Written whole or not at all.
    QByteArray png;
    QBuffer buffer(&png);
    QString reason = QStringLiteral("the picture could not be made");
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") || !kvWriteFile(output, png, &reason))
        return context.fail(QStringLiteral("%1: cannot write it: %2").arg(output, reason));
    if (!context.quiet) {
        const std::vector<int> shown = sheet.frames(frames);
        context.out << input << " -> " << output << ": " << shown.size() << " of " << total << " frames ("
                    << shown.front() << " to " << shown.back() << "), " << size.width() << 'x' << size.height()
                    << Qt::endl;
    }
    return ExitSuccess;
}
