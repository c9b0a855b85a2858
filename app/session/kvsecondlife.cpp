#include "kvsecondlife.h"

#include "kvbvhscan.h"

#include "kvdefaultfigure.h"

#include <QSet>

namespace {

// A bone of the default figure under its Second Life name, or empty where it
// keeps its own: "l"/"r" + part + segment.
QString secondLifeName(const QString &bone)
{
    if (bone.size() < 3 || (bone.at(0) != QLatin1Char('l') && bone.at(0) != QLatin1Char('r')))
        return QString();
    const QString side = bone.at(0) == QLatin1Char('l') ? QStringLiteral("Left") : QStringLiteral("Right");
    const QString part = bone.mid(1);
    if (part == QLatin1String("Eye"))
        return QLatin1String("mEye") + side;
    if (part == QLatin1String("Toe"))
        return QLatin1String("mToe") + side;
    static const QList<QPair<QString, QString>> fingers = {
        {QStringLiteral("Thumb"), QStringLiteral("Thumb")}, {QStringLiteral("Index"), QStringLiteral("Index")},
        {QStringLiteral("Mid"), QStringLiteral("Middle")},  {QStringLiteral("Ring"), QStringLiteral("Ring")},
        {QStringLiteral("Pinky"), QStringLiteral("Pinky")}};
    for (const auto &finger : fingers) {
        const QString segment = part.mid(finger.first.size());
        if (part.startsWith(finger.first) && segment.size() == 1 && segment.at(0) >= QLatin1Char('1')
            && segment.at(0) <= QLatin1Char('3')) {
            return QLatin1String("mHand") + finger.second + segment + side;
        }
    }
    return QString();
}

QSet<QString> knownNames()
{
    QSet<QString> names;
    // The classic avatar's joints.
    for (const char *name : {"hip", "abdomen", "chest", "neck", "head"})
        names.insert(QString::fromLatin1(name));
    for (const char *side : {"l", "r"}) {
        for (const char *part : {"Collar", "Shldr", "ForeArm", "Hand", "Thigh", "Shin", "Foot"})
            names.insert(QString::fromLatin1(side) + QString::fromLatin1(part));
    }
    // The skeleton's m-names.
    for (const char *name : {"mPelvis", "mTorso", "mChest", "mNeck", "mHead", "mSkull", "mSpine1", "mSpine2",
                             "mSpine3", "mSpine4", "mGroin", "mWingsRoot", "mHindLimbsRoot", "mFaceRoot"}) {
        names.insert(QString::fromLatin1(name));
    }
    for (int i = 1; i <= 6; ++i)
        names.insert(QStringLiteral("mTail%1").arg(i));
    for (const char *side : {"Left", "Right"}) {
        const QString s = QString::fromLatin1(side);
        for (const char *part : {"mEye", "mCollar", "mShoulder", "mElbow", "mWrist", "mHip", "mKnee", "mAnkle",
                                 "mFoot", "mToe", "mWing4Fan"}) {
            names.insert(QString::fromLatin1(part) + s);
        }
        for (const char *finger : {"Thumb", "Index", "Middle", "Ring", "Pinky"}) {
            for (int i = 1; i <= 3; ++i)
                names.insert(QStringLiteral("mHand%1%2").arg(QString::fromLatin1(finger)).arg(i) + s);
        }
        for (int i = 1; i <= 4; ++i) {
            names.insert(QStringLiteral("mWing%1").arg(i) + s);
            names.insert(QStringLiteral("mHindLimb%1").arg(i) + s);
        }
    }
    return names;
}

} // namespace

QString KvSecondLife::exportMapName()
{
    return QStringLiteral("SecondLife");
}

QString KvSecondLife::exportMapData()
{
    // As the export dialog saves a map: one pair per bone, the written name
    // on the left, the bone on the right.
    QString data;
    for (const KvBoneDesc &bone : KvDefaultFigure::desc().bones) {
        const QString renamed = secondLifeName(bone.name);
        data += (renamed.isEmpty() ? bone.name : renamed) + QLatin1Char('=') + bone.name + QLatin1Char(';');
    }
    return data;
}

bool KvSecondLife::isKnownJointName(const QString &name)
{
    static const QSet<QString> names = knownNames();
    // The face has dozens of joints, all under one prefix.
    return names.contains(name) || (name.startsWith(QLatin1String("mFace")) && name.size() > 5);
}

QStringList KvSecondLife::problems(const KvBvhScan &scan)
{
    QStringList lines;
    for (const KvBvhJoint &joint : scan.joints) {
        if (joint.parent < 0 && joint.name != QLatin1String("hip")) {
            lines.append(QStringLiteral("the root joint is \"%1\", not \"hip\" (line %2)").arg(joint.name).arg(joint.line));
        }
    }
    QStringList unknown;
    for (const KvBvhJoint &joint : scan.joints) {
        if (!isKnownJointName(joint.name))
            unknown.append(joint.name);
    }
    if (!unknown.isEmpty()) {
        constexpr int shown = 5;
        QString names = unknown.mid(0, shown).join(QLatin1String(", "));
        if (unknown.size() > shown)
            names += QStringLiteral(" and %1 more").arg(unknown.size() - shown);
        lines.append(QStringLiteral("%1 joint name%2 outside its skeleton: %3")
                         .arg(unknown.size())
                         .arg(unknown.size() == 1 ? QString() : QStringLiteral("s"))
                         .arg(names));
    }
    const double duration = scan.durationSeconds();
    if (duration > maxDurationSeconds) {
        lines.append(QStringLiteral("the motion lasts %1 s, more than %2 s")
                         .arg(duration, 0, 'f', 2)
                         .arg(maxDurationSeconds, 0, 'f', 0));
    }
    return lines;
}
