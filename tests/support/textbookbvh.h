#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// An independent reference for BVH tests: a plain reader and textbook forward
// kinematics in doubles with 3x3 matrices and column vectors. It shares no
// code with the host's rotation types, so agreement with them means something.
namespace kvtest {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;  // rows

struct TextbookJoint
{
    QString name;
    int parent = -1;           // index in TextbookBvh::joints; -1 for a root
    Vec3 offset{};
    QStringList channels;      // as listed, e.g. "Zrotation"
    int firstChannel = 0;      // column of the first channel in a frame row
    bool hasEndSite = false;
    Vec3 endSiteOffset{};
};

struct TextbookBvh
{
    std::vector<TextbookJoint> joints;  // file order: a parent before its children
    std::vector<std::vector<double>> frames;
    int frameCount = 0;                 // the "Frames:" value
    double frameTime = 0.0;
    int channelCount = 0;
};

// Lines may end in LF, CRLF or a lone CR. Returns false with a message naming
// the line on malformed input.
bool readTextbookBvh(const QByteArray &text, TextbookBvh &bvh, QString *errorMessage);
bool readTextbookBvhFile(const QString &path, TextbookBvh &bvh, QString *errorMessage);

// Rest positions: a root at its OFFSET, every child at parent + OFFSET.
std::vector<Vec3> restPositions(const TextbookBvh &bvh);

struct TextbookPose
{
    std::vector<Vec3> position;  // world position of each joint
    std::vector<Mat3> rotation;  // world rotation of each joint
};

// World pose of every joint at frame: "A B C" turns by R_A(a) R_B(b) R_C(c),
// world rotation = parent world * local, world position = parent world
// position + parent world * (offset + position channels).
TextbookPose forwardKinematics(const TextbookBvh &bvh, int frame);

// The file as text, numbers with 12 significant digits.
QByteArray writeTextbookBvh(const TextbookBvh &bvh);

// Angles (radians) with m == R_i(a) R_j(b) R_k(c) for the axes i, j, k.
Vec3 eulerAngles(const Mat3 &m, size_t i, size_t j, size_t k);

// Right-handed rotation of column vectors about axis 0 (X), 1 (Y) or 2 (Z).
Mat3 axisRotation(int axis, double angleRad);
Mat3 multiply(const Mat3 &a, const Mat3 &b);
Vec3 multiply(const Mat3 &m, const Vec3 &v);

} // namespace kvtest
