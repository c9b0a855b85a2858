#include "kvbvhscan.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr int namedLinesPerKind = 5;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

// The line's words; a line ends at LF, CRLF or a lone CR.
QList<QByteArray> words(const QByteArray &line)
{
    QList<QByteArray> result;
    int i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line.at(i)))
            ++i;
        const int start = i;
        while (i < line.size() && !isBlank(line.at(i)))
            ++i;
        if (i > start)
            result.append(line.mid(start, i - start));
    }
    return result;
}

// A finite number written the way BVH files write them.
bool readNumber(const char *begin, const char *end, double &value)
{
    if (begin != end && *begin == '+')
        ++begin;
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// A plain decimal ("-12.5", "3.", ".5") of fewer than 300 digits: a finite
// number whatever its value, known without converting it. Anything else
// (exponents, nan, inf, junk) needs readNumber to tell.
bool isPlainDecimal(const char *p, const char *end)
{
    if (p != end && (*p == '-' || *p == '+'))
        ++p;
    int digits = 0;
    bool dot = false;
    for (; p != end; ++p) {
        if (*p >= '0' && *p <= '9')
            ++digits;
        else if (*p == '.' && !dot)
            dot = true;
        else
            return false;
    }
    return digits > 0 && digits < 300;
}

bool readNumber(const QByteArray &text, double &value)
{
    return readNumber(text.constData(), text.constData() + text.size(), value);
}

QString lowerBaseName(const QString &name)
{
    return name.mid(name.lastIndexOf(QLatin1Char(':')) + 1).toLower();
}

bool isLeftHandName(const QString &name)
{
    const QString n = lowerBaseName(name);
    const bool handLike = n.contains(QLatin1String("hand")) || n.contains(QLatin1String("wrist"));
    if (!handLike)
        return false;
    if (n.startsWith(QLatin1String("left")) || n.startsWith(QLatin1String("l_")) || n.endsWith(QLatin1String("_l"))
        || n.endsWith(QLatin1String(".l"))) {
        return true;
    }
    const QString rest = n.mid(1);
    return n.startsWith(QLatin1Char('l')) && (rest.startsWith(QLatin1String("hand")) || rest.startsWith(QLatin1String("wrist")));
}

class Parser
{
public:
    Parser(const QString &sourceName) : source(sourceName) {}
    bool run(const QByteArray &text);

    KvBvhScan scan;
    QString error;

private:
    bool fail(int line, const QString &what)
    {
        error = QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(what);
        return false;
    }
    bool hierarchyLine(int number, const QList<QByteArray> &tokens, const QByteArray &line);
    bool motionHeaderLine(int number, const QList<QByteArray> &tokens);
    void frameLine(int number, const QByteArray &line);
    void finish();

    enum Stage { BeforeHierarchy, Hierarchy, MotionHeader, Frames };
    Stage stage = BeforeHierarchy;
    QString source;
    // Open blocks: a joint index, or -2 for an End Site.
    std::vector<int> stack;
    int pending = -1;  // the joint or End Site (-2) waiting for its "{"
    bool pendingSet = false;
    int badValueLines = 0;
    int firstBadValueLine = 0;
    int badCountLines = 0;
    int firstBadCountLine = 0;
};

bool Parser::hierarchyLine(int number, const QList<QByteArray> &tokens, const QByteArray &line)
{
    const QByteArray keyword = tokens.first().toUpper();
    if (keyword == "ROOT" || keyword == "JOINT") {
        QList<QByteArray> nameWords = tokens.mid(1);
        const bool opens = !nameWords.isEmpty() && nameWords.last() == "{";
        if (opens)
            nameWords.removeLast();
        if (nameWords.isEmpty())
            return fail(number, QStringLiteral("%1 without a name").arg(QString::fromLatin1(tokens.first())));
        if (pendingSet)
            return fail(number, QStringLiteral("expected \"{\""));
        const bool isRoot = keyword == "ROOT";
        if (isRoot != stack.empty())
            return fail(number, isRoot ? QStringLiteral("ROOT inside a joint") : QStringLiteral("JOINT outside a ROOT"));
        if (!stack.empty() && stack.back() < 0)
            return fail(number, QStringLiteral("JOINT inside an End Site"));
        KvBvhJoint joint;
        joint.name = QString::fromLatin1(nameWords.join(' '));
        joint.line = number;
        joint.parent = stack.empty() ? -1 : stack.back();
        joint.depth = int(stack.size());
        scan.joints.push_back(joint);
        pending = int(scan.joints.size()) - 1;
        pendingSet = true;
        if (opens) {
            stack.push_back(pending);
            pendingSet = false;
        }
        return true;
    }
    if (keyword == "END") {
        if (stack.empty() || stack.back() < 0 || pendingSet)
            return fail(number, QStringLiteral("End Site outside a joint"));
        scan.joints[size_t(stack.back())].hasEndSite = true;
        ++scan.endSites;
        pending = -2;
        pendingSet = true;
        if (tokens.last() == "{") {
            stack.push_back(pending);
            pendingSet = false;
        }
        return true;
    }
    if (keyword == "{") {
        if (!pendingSet)
            return fail(number, QStringLiteral("\"{\" without a joint"));
        stack.push_back(pending);
        pendingSet = false;
        return true;
    }
    if (keyword == "}") {
        if (stack.empty() || pendingSet)
            return fail(number, QStringLiteral("unbalanced \"}\""));
        stack.pop_back();
        return true;
    }
    if (keyword == "OFFSET") {
        double v[3];
        if (stack.empty() || pendingSet)
            return fail(number, QStringLiteral("OFFSET outside a joint"));
        if (tokens.size() != 4 || !readNumber(tokens.at(1), v[0]) || !readNumber(tokens.at(2), v[1])
            || !readNumber(tokens.at(3), v[2])) {
            return fail(number, QStringLiteral("OFFSET needs three numbers"));
        }
        if (stack.back() >= 0) {
            KvBvhJoint &joint = scan.joints[size_t(stack.back())];
            joint.offset = KvVec3(float(v[0]), float(v[1]), float(v[2]));
            joint.restPosition = joint.parent >= 0 ? scan.joints[size_t(joint.parent)].restPosition + joint.offset
                                                   : joint.offset;
        }
        return true;
    }
    if (keyword == "CHANNELS") {
        if (stack.empty() || pendingSet || stack.back() < 0)
            return fail(number, QStringLiteral("CHANNELS outside a joint"));
        int count = -1;
        const auto result = std::from_chars(tokens.value(1).constData(),
                                            tokens.value(1).constData() + tokens.value(1).size(), count);
        if (result.ec != std::errc() || count < 0 || count != tokens.size() - 2)
            return fail(number, QStringLiteral("the CHANNELS count does not match the names after it"));
        KvBvhJoint &joint = scan.joints[size_t(stack.back())];
        QString axes;
        for (int i = 2; i < tokens.size(); ++i) {
            const QString channel = QString::fromLatin1(tokens.at(i));
            joint.channels.append(channel);
            if (channel.endsWith(QLatin1String("rotation"), Qt::CaseInsensitive) && channel.size() == 9)
                axes += channel.at(0).toUpper();
        }
        joint.rotationOrder = axes.size() == 3 ? axes : QString();
        scan.channelCount += count;
        return true;
    }
    if (keyword == "MOTION") {
        if (!stack.empty() || pendingSet || scan.joints.empty())
            return fail(number, QStringLiteral("MOTION before the hierarchy is complete"));
        scan.motionLine = number;
        stage = MotionHeader;
        return true;
    }
    Q_UNUSED(line);
    return fail(number, QStringLiteral("unknown keyword \"%1\"").arg(QString::fromLatin1(tokens.first())));
}

bool Parser::motionHeaderLine(int number, const QList<QByteArray> &tokens)
{
    const QByteArray first = tokens.first().toUpper();
    if (first == "FRAMES:" || (first == "FRAMES" && tokens.value(1) == ":")) {
        const QByteArray value = tokens.last();
        int count = -1;
        const auto result = std::from_chars(value.constData(), value.constData() + value.size(), count);
        scan.framesLine = number;
        // As a reader takes it: a count it cannot use leaves the lines to count.
        if (result.ec != std::errc() || result.ptr != value.constData() + value.size() || count < 0) {
            scan.issues.push_back({number, QStringLiteral("Frames: \"%1\" is no count a reader can use: the frame lines count")
                                               .arg(QString::fromLatin1(value.left(40)))});
            return true;
        }
        scan.framesDeclared = count;
        return true;
    }
    if (first == "FRAME" && tokens.size() >= 3 && tokens.at(1).toUpper() == "TIME:") {
        double seconds = 0.0;
        if (!readNumber(tokens.at(2), seconds) || seconds <= 0.0)
            return fail(number, QStringLiteral("Frame Time: needs a positive number of seconds"));
        scan.frameTimeSeconds = seconds;
        scan.frameTimeText = QString::fromLatin1(tokens.at(2));
        scan.frameTimeLine = number;
        stage = Frames;
        return true;
    }
    // Values before the header is complete: a reader takes them as frames.
    stage = Frames;
    return false;
}

void Parser::frameLine(int number, const QByteArray &line)
{
    ++scan.frameLines;
    if (scan.firstFrameLine == 0)
        scan.firstFrameLine = number;
    int count = 0;
    int badIndex = -1;
    QByteArray badText;
    const char *p = line.constData();
    const char *end = p + line.size();
    while (p < end) {
        while (p < end && isBlank(*p))
            ++p;
        const char *start = p;
        while (p < end && !isBlank(*p))
            ++p;
        if (p == start)
            break;
        // Only the first line's values are kept; the others need only be numbers.
        const bool keep = scan.frameLines == 1;
        double value = 0.0;
        if (!(keep ? readNumber(start, p, value) : isPlainDecimal(start, p) || readNumber(start, p, value))) {
            if (scan.nonNumberValues++ == 0)
                scan.firstNonNumberLine = number;
            if (badIndex < 0) {
                badIndex = count;
                badText = QByteArray(start, int(p - start));
            }
            value = 0.0;
        }
        if (keep)
            scan.firstFrame.push_back(value);
        ++count;
    }
    if (badIndex >= 0) {
        if (++badValueLines <= namedLinesPerKind) {
            scan.issues.push_back({number, QStringLiteral("value %1 (\"%2\") is not a number")
                                               .arg(badIndex + 1)
                                               .arg(QString::fromLatin1(badText.left(40)))});
        } else if (badValueLines == namedLinesPerKind + 1) {
            firstBadValueLine = number;
        }
    }
    if (count != scan.channelCount) {
        if (++badCountLines <= namedLinesPerKind) {
            scan.issues.push_back(
                {number, QStringLiteral("%1 values where the channels ask for %2").arg(count).arg(scan.channelCount)});
        } else if (badCountLines == namedLinesPerKind + 1) {
            firstBadCountLine = number;
        }
    }
}

void Parser::finish()
{
    if (badValueLines > namedLinesPerKind) {
        scan.issues.push_back({firstBadValueLine, QStringLiteral("%1 more lines from here hold values that are not numbers")
                                                      .arg(badValueLines - namedLinesPerKind)});
    }
    if (badCountLines > namedLinesPerKind) {
        scan.issues.push_back({firstBadCountLine, QStringLiteral("%1 more lines from here hold other than %2 values")
                                                      .arg(badCountLines - namedLinesPerKind)
                                                      .arg(scan.channelCount)});
    }
    if (scan.motionLine == 0) {
        const int last = scan.joints.empty() ? 1 : scan.joints.back().line;
        scan.issues.push_back({last, QStringLiteral("no MOTION section: the file holds a skeleton only")});
    } else {
        if (scan.framesLine == 0)
            scan.issues.push_back({scan.motionLine, QStringLiteral("no Frames: line")});
        if (scan.frameTimeLine == 0)
            scan.issues.push_back({scan.motionLine, QStringLiteral("no Frame Time: line")});
        if (scan.framesDeclared >= 0 && scan.framesDeclared != scan.frameLines) {
            scan.issues.push_back({scan.framesLine, QStringLiteral("Frames: says %1, but %2 frame line%3 follow")
                                                        .arg(scan.framesDeclared)
                                                        .arg(scan.frameLines)
                                                        .arg(scan.frameLines == 1 ? QString() : QStringLiteral("s"))});
        }
    }

    for (size_t i = 0; i < scan.joints.size(); ++i) {
        const KvBvhJoint &joint = scan.joints[i];
        if (scan.headJoint < 0 && lowerBaseName(joint.name).contains(QLatin1String("head")))
            scan.headJoint = int(i);
        if (scan.leftHandJoint < 0 && isLeftHandName(joint.name))
            scan.leftHandJoint = int(i);
    }
    if (scan.headJoint >= 0) {
        int root = scan.headJoint;
        while (scan.joints[size_t(root)].parent >= 0)
            root = scan.joints[size_t(root)].parent;
        const KvVec3 up = scan.joints[size_t(scan.headJoint)].restPosition - scan.joints[size_t(root)].restPosition;
        scan.upAxis = KvBvhScan::axisName(up);
        if (scan.upAxis.endsWith(QLatin1Char('Z'))) {
            scan.issues.push_back({scan.joints[size_t(scan.headJoint)].line,
                                   QStringLiteral("the rest pose is Z-up: the head lies along %1 from the root")
                                       .arg(scan.upAxis)});
        }
    }
    if (scan.leftHandJoint >= 0) {
        const KvBvhJoint &hand = scan.joints[size_t(scan.leftHandJoint)];
        const int forearm = hand.parent;
        const int upperArm = forearm >= 0 ? scan.joints[size_t(forearm)].parent : -1;
        if (upperArm >= 0) {
            scan.leftUpperArmJoint = upperArm;
            scan.armAxis = KvBvhScan::axisName(hand.restPosition - scan.joints[size_t(upperArm)].restPosition);
        }
    }
    std::stable_sort(scan.issues.begin(), scan.issues.end(),
                     [](const KvBvhIssue &a, const KvBvhIssue &b) { return a.line < b.line; });
}

bool Parser::run(const QByteArray &text)
{
    int number = 0;
    // Offsets in 64 bits: files over 2 GiB are read whole.
    qsizetype begin = 0;
    const qsizetype size = text.size();
    while (begin < size) {
        qsizetype end = begin;
        while (end < size && text.at(end) != '\n' && text.at(end) != '\r')
            ++end;
        const QByteArray line = QByteArray::fromRawData(text.constData() + begin, end - begin);
        ++number;
        begin = end + (end < size && text.at(end) == '\r' && end + 1 < size && text.at(end + 1) == '\n' ? 2 : 1);

        if (stage == Frames) {
            if (std::any_of(line.cbegin(), line.cend(), [](char c) { return !isBlank(c); }))
                frameLine(number, line);
            continue;
        }
        const QList<QByteArray> tokens = words(line);
        if (tokens.isEmpty())
            continue;
        switch (stage) {
        case BeforeHierarchy:
            if (tokens.first().toUpper() != "HIERARCHY")
                return fail(number, QStringLiteral("expected HIERARCHY"));
            stage = Hierarchy;
            break;
        case Hierarchy:
            if (!hierarchyLine(number, tokens, line))
                return false;
            break;
        case MotionHeader:
            if (!motionHeaderLine(number, tokens)) {
                if (!error.isEmpty())
                    return false;
                frameLine(number, line);
            }
            break;
        case Frames:
            break;
        }
    }
    if (stage == BeforeHierarchy)
        return fail(qMax(number, 1), QStringLiteral("no HIERARCHY: not a BVH file"));
    if (stage == Hierarchy && (!stack.empty() || pendingSet || scan.joints.empty()))
        return fail(qMax(number, 1), QStringLiteral("the hierarchy ends before it is complete"));
    finish();
    return true;
}

} // namespace

QString KvBvhScan::axisName(const KvVec3 &v)
{
    const float values[3] = {v.x, v.y, v.z};
    int axis = -1;
    float largest = 0.0f;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(values[i]) > largest) {
            largest = std::fabs(values[i]);
            axis = i;
        }
    }
    if (axis < 0)
        return QString();
    return QString(QLatin1Char(values[axis] < 0.0f ? '-' : '+')) + QLatin1Char("XYZ"[axis]);
}

std::optional<KvBvhScan> KvBvhScan::fromText(const QByteArray &text, const QString &sourceName,
                                             QString *errorMessage)
{
    Parser parser(sourceName);
    if (!parser.run(text)) {
        if (errorMessage)
            *errorMessage = parser.error;
        return std::nullopt;
    }
    return std::move(parser.scan);
}

std::optional<KvBvhScan> KvBvhScan::scan(const QString &path, QString *errorMessage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // Mapped, not read: a long take is not copied into memory to be looked at once.
    if (file.size() > 0) {
        if (const uchar *mapped = file.map(0, file.size())) {
            const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), file.size());
            return fromText(text, path, errorMessage);
        }
    }
    return fromText(file.readAll(), path, errorMessage);
}
