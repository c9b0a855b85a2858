#include "textbookbvh.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <functional>

namespace kvtest {

namespace {

constexpr double pi = 3.14159265358979323846;

QList<QByteArray> splitLines(QByteArray text)
{
    text.replace("\r\n", "\n").replace('\r', '\n');
    QList<QByteArray> lines = text.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool toNumber(const QByteArray &token, double &value)
{
    bool ok = false;
    value = token.toDouble(&ok);  // C locale, whatever the user's
    return ok;
}

bool fail(QString *errorMessage, int lineIndex, const QString &what)
{
    if (errorMessage)
        *errorMessage = QStringLiteral("line %1: %2").arg(lineIndex + 1).arg(what);
    return false;
}

int channelAxis(const QString &channel)
{
    return channel.at(0).toUpper().toLatin1() - 'X';
}

} // namespace

bool readTextbookBvh(const QByteArray &text, TextbookBvh &bvh, QString *errorMessage)
{
    bvh = TextbookBvh();
    const QList<QByteArray> lines = splitLines(text);
    std::vector<int> open;        // joint indices of the open braces; -2 for an End Site
    int pending = -1;             // joint or End Site (-2) waiting for its '{'
    bool inMotion = false;
    bool sawFrameTime = false;

    for (int n = 0; n < lines.size(); ++n) {
        const QList<QByteArray> tokens = lines.at(n).simplified().split(' ');
        if (tokens.isEmpty() || tokens.first().isEmpty())
            continue;
        const QByteArray &word = tokens.first();

        if (sawFrameTime) {
            std::vector<double> row;
            for (const QByteArray &token : tokens) {
                double v = 0.0;
                if (!toNumber(token, v))
                    return fail(errorMessage, n, QStringLiteral("bad number \"%1\"").arg(QString::fromLatin1(token)));
                row.push_back(v);
            }
            if (int(row.size()) != bvh.channelCount)
                return fail(errorMessage, n, QStringLiteral("%1 values, expected %2").arg(row.size()).arg(bvh.channelCount));
            bvh.frames.push_back(std::move(row));
            continue;
        }
        if (inMotion) {
            if (word == "Frames:" && tokens.size() == 2) {
                bvh.frameCount = tokens.at(1).toInt();
            } else if (word == "Frame" && tokens.size() == 3 && tokens.at(1) == "Time:") {
                if (!toNumber(tokens.at(2), bvh.frameTime))
                    return fail(errorMessage, n, QStringLiteral("bad frame time"));
                sawFrameTime = true;
            } else {
                return fail(errorMessage, n, QStringLiteral("unexpected \"%1\"").arg(QString::fromLatin1(word)));
            }
            continue;
        }

        if (word == "HIERARCHY") {
            continue;
        } else if (word == "ROOT" || word == "JOINT") {
            if (tokens.size() < 2)
                return fail(errorMessage, n, QStringLiteral("joint without a name"));
            if ((word == "ROOT") != open.empty())
                return fail(errorMessage, n, QStringLiteral("ROOT must stand alone, JOINT inside a joint"));
            TextbookJoint joint;
            joint.name = QString::fromUtf8(tokens.mid(1).join(' '));
            joint.parent = open.empty() ? -1 : open.back();
            if (joint.parent == -2)
                return fail(errorMessage, n, QStringLiteral("joint inside an End Site"));
            bvh.joints.push_back(joint);
            pending = int(bvh.joints.size()) - 1;
        } else if (word == "End") {
            if (open.empty() || open.back() < 0)
                return fail(errorMessage, n, QStringLiteral("End Site outside a joint"));
            bvh.joints[size_t(open.back())].hasEndSite = true;
            pending = -2;
        } else if (word == "{") {
            if (pending == -1)
                return fail(errorMessage, n, QStringLiteral("'{' without a joint"));
            open.push_back(pending);
            pending = -1;
        } else if (word == "}") {
            if (open.empty())
                return fail(errorMessage, n, QStringLiteral("unbalanced '}'"));
            open.pop_back();
        } else if (word == "OFFSET") {
            if (open.empty() || tokens.size() != 4)
                return fail(errorMessage, n, QStringLiteral("bad OFFSET"));
            Vec3 offset{};
            for (int i = 0; i < 3; ++i) {
                if (!toNumber(tokens.at(i + 1), offset[size_t(i)]))
                    return fail(errorMessage, n, QStringLiteral("bad OFFSET value"));
            }
            // An End Site's OFFSET belongs to the joint that holds it.
            if (open.back() == -2)
                bvh.joints[size_t(open.at(open.size() - 2))].endSiteOffset = offset;
            else
                bvh.joints[size_t(open.back())].offset = offset;
        } else if (word == "CHANNELS") {
            if (open.empty() || open.back() < 0 || tokens.size() < 2)
                return fail(errorMessage, n, QStringLiteral("bad CHANNELS"));
            const int count = tokens.at(1).toInt();
            if (count != tokens.size() - 2)
                return fail(errorMessage, n, QStringLiteral("CHANNELS count does not match the names"));
            TextbookJoint &joint = bvh.joints[size_t(open.back())];
            joint.firstChannel = bvh.channelCount;
            for (int i = 2; i < tokens.size(); ++i) {
                const QString channel = QString::fromLatin1(tokens.at(i));
                const QString kind = channel.mid(1).toLower();
                if (channel.size() < 2 || channelAxis(channel) < 0 || channelAxis(channel) > 2
                    || (kind != QLatin1String("rotation") && kind != QLatin1String("position"))) {
                    return fail(errorMessage, n, QStringLiteral("unknown channel \"%1\"").arg(channel));
                }
                joint.channels.append(channel);
            }
            bvh.channelCount += count;
        } else if (word == "MOTION") {
            if (!open.empty())
                return fail(errorMessage, n, QStringLiteral("MOTION inside the hierarchy"));
            inMotion = true;
        } else {
            return fail(errorMessage, n, QStringLiteral("unexpected \"%1\"").arg(QString::fromLatin1(word)));
        }
    }
    if (!sawFrameTime)
        return fail(errorMessage, int(lines.size()) - 1, QStringLiteral("no motion section"));
    if (int(bvh.frames.size()) != bvh.frameCount)
        return fail(errorMessage, int(lines.size()) - 1, QStringLiteral("frame count differs from Frames:"));
    return true;
}

bool readTextbookBvhFile(const QString &path, TextbookBvh &bvh, QString *errorMessage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (!readTextbookBvh(file.readAll(), bvh, errorMessage)) {
        if (errorMessage)
            *errorMessage = path + QStringLiteral(": ") + *errorMessage;
        return false;
    }
    return true;
}

std::vector<Vec3> restPositions(const TextbookBvh &bvh)
{
    std::vector<Vec3> positions(bvh.joints.size());
    for (size_t i = 0; i < bvh.joints.size(); ++i) {
        const TextbookJoint &joint = bvh.joints[i];
        const Vec3 base = joint.parent < 0 ? Vec3{} : positions[size_t(joint.parent)];
        for (int a = 0; a < 3; ++a)
            positions[i][size_t(a)] = base[size_t(a)] + joint.offset[size_t(a)];
    }
    return positions;
}

QByteArray writeTextbookBvh(const TextbookBvh &bvh)
{
    const auto numbers = [](const auto &values) {
        QByteArrayList text;
        for (double v : values)
            text += QByteArray::number(v, 'g', 12);
        return text.join(' ');
    };
    std::function<QByteArray(size_t)> joint = [&](size_t index) {
        const TextbookJoint &j = bvh.joints[index];
        QByteArray text = (j.parent < 0 ? "ROOT " : "JOINT ") + j.name.toLatin1() + "\n{\nOFFSET " + numbers(j.offset)
                        + "\nCHANNELS " + QByteArray::number(j.channels.size()) + " " + j.channels.join(' ').toLatin1() + "\n";
        for (size_t c = index + 1; c < bvh.joints.size(); ++c) {
            if (bvh.joints[c].parent == int(index))
                text += joint(c);
        }
        if (j.hasEndSite)
            text += "End Site\n{\nOFFSET " + numbers(j.endSiteOffset) + "\n}\n";
        return text + "}\n";
    };
    QByteArray text = "HIERARCHY\n" + joint(0) + "MOTION\nFrames: " + QByteArray::number(bvh.frameCount)
                    + "\nFrame Time: " + QByteArray::number(bvh.frameTime, 'g', 12) + "\n";
    for (const std::vector<double> &row : bvh.frames)
        text += numbers(row) + "\n";
    return text;
}

Vec3 eulerAngles(const Mat3 &m, size_t i, size_t j, size_t k)
{
    const double s = (j == (i + 1) % 3) ? 1.0 : -1.0;
    return {std::atan2(-s * m[j][k], m[k][k]), std::asin(std::clamp(s * m[i][k], -1.0, 1.0)),
            std::atan2(-s * m[i][j], m[i][i])};
}

Mat3 axisRotation(int axis, double angleRad)
{
    const double c = std::cos(angleRad);
    const double s = std::sin(angleRad);
    switch (axis) {
    case 0:
        return {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
    case 1:
        return {{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
    default:
        return {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
    }
}

Mat3 multiply(const Mat3 &a, const Mat3 &b)
{
    Mat3 r{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j)
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    return r;
}

Vec3 multiply(const Mat3 &m, const Vec3 &v)
{
    return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
            m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
            m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

TextbookPose forwardKinematics(const TextbookBvh &bvh, int frame)
{
    const std::vector<double> &row = bvh.frames.at(size_t(frame));
    const Mat3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    TextbookPose pose;
    pose.position.resize(bvh.joints.size());
    pose.rotation.resize(bvh.joints.size());

    for (size_t i = 0; i < bvh.joints.size(); ++i) {
        const TextbookJoint &joint = bvh.joints[i];
        Mat3 local = identity;
        Vec3 translation = joint.offset;
        for (int c = 0; c < joint.channels.size(); ++c) {
            const QString &channel = joint.channels.at(c);
            const int axis = channelAxis(channel);
            const double value = row.at(size_t(joint.firstChannel + c));
            if (channel.endsWith(QLatin1String("rotation"), Qt::CaseInsensitive)) {
                local = multiply(local, axisRotation(axis, value * pi / 180.0));
            } else {
                translation[size_t(axis)] += value;
            }
        }
        if (joint.parent < 0) {
            pose.rotation[i] = local;
            pose.position[i] = translation;
        } else {
            const size_t p = size_t(joint.parent);
            pose.rotation[i] = multiply(pose.rotation[p], local);
            const Vec3 moved = multiply(pose.rotation[p], translation);
            pose.position[i] = {pose.position[p][0] + moved[0], pose.position[p][1] + moved[1],
                                pose.position[p][2] + moved[2]};
        }
    }
    return pose;
}

} // namespace kvtest
