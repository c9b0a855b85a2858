#include "kvbvhfigure.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace {

using Point = std::array<double, 3>;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

std::vector<std::string_view> tokenize(std::string_view line)
{
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        if (i > start)
            tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

bool sameWord(std::string_view token, std::string_view keyword)
{
    if (token.size() != keyword.size())
        return false;
    for (size_t i = 0; i < token.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(token[i])) != keyword[i])
            return false;
    }
    return true;
}

QString quoted(std::string_view token)
{
    return QLatin1Char('"') + QString::fromUtf8(token.data(), qsizetype(token.size())) + QLatin1Char('"');
}

bool toNumber(std::string_view token, double &value)
{
    // from_chars refuses a leading '+', which some writers put before positive numbers.
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
    return result.ec == std::errc() && result.ptr == token.data() + token.size() && std::isfinite(value);
}

bool toCount(std::string_view token, int &value)
{
    const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
    return result.ec == std::errc() && result.ptr == token.data() + token.size() && value >= 0;
}

struct Joint
{
    QString name;
    int parent = -1;
    int line = 0;
    Point offset{};
    Point origin{};
    int firstChild = -1;
    bool hasEndSite = false;
    Point endSiteOffset{};
};

class HierarchyReader
{
public:
    bool read(const QByteArray &text);

    std::vector<Joint> joints;
    QString error;

private:
    enum class Open { Joint, EndSite };
    struct Frame
    {
        Open kind;
        int joint;  // the joint itself, or the End Site's owner
        bool hasOffset;
    };

    bool fail(const QString &what)
    {
        error = QStringLiteral("line %1: %2").arg(lineNumber).arg(what);
        return false;
    }
    bool readLine(const std::vector<std::string_view> &tokens, std::string_view line);
    bool openJoint(std::string_view keyword, std::string_view line, bool isRoot);
    bool readOffset(const std::vector<std::string_view> &tokens);
    bool requireOffset();

    int lineNumber = 0;
    std::vector<Frame> stack;
    std::optional<Frame> pending;  // opened by a keyword line, waiting for its '{'
    QHash<QString, int> jointByName;
    bool inMotion = false;
};

bool HierarchyReader::requireOffset()
{
    const Frame &top = stack.back();
    if (top.hasOffset)
        return true;
    if (top.kind == Open::EndSite)
        return fail(QStringLiteral("End Site of \"%1\" has no OFFSET").arg(joints[size_t(top.joint)].name));
    return fail(QStringLiteral("joint \"%1\" has no OFFSET").arg(joints[size_t(top.joint)].name));
}

bool HierarchyReader::openJoint(std::string_view keyword, std::string_view line, bool isRoot)
{
    // The name is everything after the keyword, spaces included: some
    // exporters write names like "Left Hand" or "mixamorig:Hips".
    const size_t at = size_t(keyword.data() - line.data()) + keyword.size();
    const QString name = QString::fromUtf8(line.data() + at, qsizetype(line.size() - at)).trimmed();
    if (name.isEmpty())
        return fail(QStringLiteral("%1 without a name").arg(isRoot ? QLatin1String("ROOT") : QLatin1String("JOINT")));
    if (jointByName.contains(name)) {
        return fail(QStringLiteral("joint name \"%1\" is already used on line %2")
                        .arg(name)
                        .arg(joints[size_t(jointByName.value(name))].line));
    }
    Joint joint;
    joint.name = name;
    joint.line = lineNumber;
    if (isRoot) {
        if (!stack.empty())
            return fail(QStringLiteral("ROOT inside a joint"));
    } else {
        if (stack.empty())
            return fail(QStringLiteral("JOINT outside a ROOT"));
        if (stack.back().kind == Open::EndSite)
            return fail(QStringLiteral("JOINT inside an End Site"));
        if (!requireOffset())
            return false;
        joint.parent = stack.back().joint;
        Joint &parent = joints[size_t(joint.parent)];
        if (parent.firstChild < 0)
            parent.firstChild = int(joints.size());
    }
    jointByName.insert(name, int(joints.size()));
    pending = Frame{Open::Joint, int(joints.size()), false};
    joints.push_back(joint);
    return true;
}

bool HierarchyReader::readOffset(const std::vector<std::string_view> &tokens)
{
    if (stack.empty())
        return fail(QStringLiteral("OFFSET outside a joint"));
    Frame &top = stack.back();
    if (top.hasOffset)
        return fail(QStringLiteral("a second OFFSET"));
    Point offset{};
    if (tokens.size() != 4)
        return fail(QStringLiteral("OFFSET needs 3 numbers, found %1").arg(tokens.size() - 1));
    for (int i = 0; i < 3; ++i) {
        if (!toNumber(tokens[size_t(i + 1)], offset[size_t(i)]))
            return fail(QStringLiteral("OFFSET: %1 is not a number").arg(quoted(tokens[size_t(i + 1)])));
    }
    Joint &joint = joints[size_t(top.joint)];
    if (top.kind == Open::EndSite) {
        joint.endSiteOffset = offset;
    } else {
        joint.offset = offset;
        const Point base = joint.parent >= 0 ? joints[size_t(joint.parent)].origin : Point{};
        for (size_t i = 0; i < 3; ++i)
            joint.origin[i] = base[i] + offset[i];
    }
    top.hasOffset = true;
    return true;
}

bool HierarchyReader::readLine(const std::vector<std::string_view> &tokens, std::string_view line)
{
    const std::string_view word = tokens.front();
    const bool isOpenBrace = word == "{";

    if (pending && !isOpenBrace)
        return fail(QStringLiteral("expected '{', found %1").arg(quoted(word)));

    if (isOpenBrace) {
        if (!pending)
            return fail(QStringLiteral("'{' without a ROOT, JOINT or End Site before it"));
        if (tokens.size() > 1)
            return fail(QStringLiteral("unexpected %1 after '{'").arg(quoted(tokens[1])));
        stack.push_back(*pending);
        pending.reset();
        return true;
    }
    if (word == "}") {
        if (stack.empty())
            return fail(QStringLiteral("'}' without a matching '{'"));
        if (tokens.size() > 1)
            return fail(QStringLiteral("unexpected %1 after '}'").arg(quoted(tokens[1])));
        if (!requireOffset())
            return false;
        stack.pop_back();
        return true;
    }
    if (sameWord(word, "HIERARCHY")) {
        if (!stack.empty())
            return fail(QStringLiteral("HIERARCHY inside a joint"));
        return true;
    }
    if (sameWord(word, "MOTION")) {
        if (!stack.empty())
            return fail(QStringLiteral("MOTION before the hierarchy's braces are closed"));
        inMotion = true;
        return true;
    }
    if (sameWord(word, "ROOT") || sameWord(word, "JOINT"))
        return openJoint(word, line, sameWord(word, "ROOT"));
    if (sameWord(word, "END")) {
        if (tokens.size() != 2 || !sameWord(tokens[1], "SITE"))
            return fail(QStringLiteral("expected \"End Site\""));
        if (stack.empty() || stack.back().kind == Open::EndSite)
            return fail(QStringLiteral("End Site outside a joint"));
        if (!requireOffset())
            return false;
        Joint &owner = joints[size_t(stack.back().joint)];
        if (owner.hasEndSite)
            return fail(QStringLiteral("a second End Site in joint \"%1\"").arg(owner.name));
        owner.hasEndSite = true;
        pending = Frame{Open::EndSite, stack.back().joint, false};
        return true;
    }
    if (sameWord(word, "OFFSET"))
        return readOffset(tokens);
    if (sameWord(word, "CHANNELS")) {
        // Channels drive motion, not the figure; the line is still checked so
        // that a garbled one is not taken for part of a well-formed file.
        if (stack.empty() || stack.back().kind == Open::EndSite)
            return fail(QStringLiteral("CHANNELS outside a joint"));
        int count = 0;
        if (tokens.size() < 2 || !toCount(tokens[1], count))
            return fail(QStringLiteral("CHANNELS needs a channel count"));
        if (size_t(count) != tokens.size() - 2)
            return fail(QStringLiteral("CHANNELS says %1 but lists %2").arg(count).arg(tokens.size() - 2));
        return true;
    }
    return fail(QStringLiteral("unexpected %1").arg(quoted(word)));
}

bool HierarchyReader::read(const QByteArray &text)
{
    const std::string_view all(text.constData(), size_t(text.size()));
    size_t pos = all.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // a UTF-8 byte order mark
    while (pos < all.size() && !inMotion) {
        size_t end = pos;
        while (end < all.size() && all[end] != '\n' && all[end] != '\r')
            ++end;
        const std::string_view line = all.substr(pos, end - pos);
        pos = end;
        if (pos < all.size())
            pos += (all[pos] == '\r' && pos + 1 < all.size() && all[pos + 1] == '\n') ? 2 : 1;
        ++lineNumber;

        const std::vector<std::string_view> tokens = tokenize(line);
        if (!tokens.empty() && !readLine(tokens, line))
            return false;
    }
    if (joints.empty())
        return fail(QStringLiteral("no ROOT in the file"));
    if (pending)
        return fail(QStringLiteral("expected '{' at the end of the hierarchy"));
    if (!stack.empty())
        return fail(QStringLiteral("unbalanced braces: %1 '{' left open").arg(stack.size()));
    return true;
}

KvVec3 toFloat(const Point &p)
{
    return KvVec3(float(p[0]), float(p[1]), float(p[2]));
}

} // namespace

std::optional<KvFigureDesc> KvBvhFigure::fromText(const QByteArray &text, const QString &figureName,
                                                  QString *errorMessage)
{
    HierarchyReader reader;
    if (!reader.read(text)) {
        if (errorMessage)
            *errorMessage = reader.error;
        return std::nullopt;
    }
    KvFigureDesc desc;
    desc.name = figureName;
    desc.bones.reserve(reader.joints.size());
    for (const Joint &joint : reader.joints) {
        // The bone's direction is the OFFSET of what it ends at, as written:
        // taken from the summed positions, a tie such as (0.58547, 0, 0.58547)
        // would go either way with round-off.
        const Point direction = joint.firstChild >= 0 ? reader.joints[size_t(joint.firstChild)].offset
                                : joint.hasEndSite    ? joint.endSiteOffset
                                                      : Point{};
        Point end = joint.origin;  // the child's origin is summed the same way
        for (size_t i = 0; i < 3; ++i)
            end[i] += direction[i];
        KvBoneDesc bone;
        bone.name = joint.name;
        if (joint.parent >= 0)
            bone.parent = reader.joints[size_t(joint.parent)].name;
        bone.origin = toFloat(joint.origin);
        bone.endPoint = toFloat(end);
        bone.order = twistOrder(toFloat(direction));
        desc.bones.push_back(std::move(bone));
    }
    return desc;
}

std::optional<KvFigureDesc> KvBvhFigure::load(const QString &path, QString *errorMessage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString error;
    std::optional<KvFigureDesc> desc = fromText(file.readAll(), QFileInfo(path).completeBaseName(), &error);
    if (!desc && errorMessage)
        *errorMessage = QStringLiteral("%1: %2").arg(path, error);
    return desc;
}

KvRotationOrder KvBvhFigure::twistOrder(const KvVec3 &direction)
{
    const float x = std::abs(direction.x);
    const float y = std::abs(direction.y);
    const float z = std::abs(direction.z);
    if (x == 0.0f && y == 0.0f && z == 0.0f)
        return KvRotationOrder(KvRotationOrder::YXZ);
    if (x >= y && x >= z)
        return KvRotationOrder(KvRotationOrder::XYZ);
    if (y >= z)
        return KvRotationOrder(KvRotationOrder::YXZ);
    return KvRotationOrder(KvRotationOrder::ZXY);
}
