#include "kvfigurefile.h"

#include "kvsavefile.h"

#include "kvnode.h"
#include "kvproperty.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

const QString formatTag = QStringLiteral("kvfigure");
constexpr int formatVersion = 1;
constexpr float infinity = std::numeric_limits<float>::infinity();

class Reader
{
public:
    explicit Reader(const QString &sourceName) : source(sourceName) {}

    bool readFigure(const QJsonObject &object, KvFigureDesc &desc);

    QString error;

private:
    bool fail(const QString &where, const QString &what)
    {
        error = where.isEmpty() ? QStringLiteral("%1: %2").arg(source, what)
                                : QStringLiteral("%1: %2: %3").arg(source, where, what);
        return false;
    }
    bool checkKeys(const QJsonObject &object, const QStringList &known, const QString &where);
    bool readString(const QJsonObject &object, const QString &key, bool required, const QString &where, QString &out);
    bool readBone(const QJsonObject &object, int index, KvBoneDesc &bone);
    // Three numbers; a null item stands for nullValue, or is refused without one.
    bool readVector(const QJsonValue &value, const QString &where, const QString &field,
                    std::optional<float> nullValue, KvVec3 &out);

    QString source;
    QHash<QString, int> boneIndex;
};

bool Reader::checkKeys(const QJsonObject &object, const QStringList &known, const QString &where)
{
    // A misspelt optional field would otherwise vanish without a word.
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()))
            return fail(where, QStringLiteral("unknown field \"%1\"").arg(it.key()));
    }
    return true;
}

bool Reader::readString(const QJsonObject &object, const QString &key, bool required, const QString &where,
                        QString &out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        if (required)
            return fail(where, QStringLiteral("%1: missing").arg(key));
        out.clear();
        return true;
    }
    if (!value.isString())
        return fail(where, QStringLiteral("%1: expected a string").arg(key));
    out = value.toString();
    return true;
}

bool Reader::readVector(const QJsonValue &value, const QString &where, const QString &field,
                        std::optional<float> nullValue, KvVec3 &out)
{
    if (value.isUndefined())
        return fail(where, QStringLiteral("%1: missing").arg(field));
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != 3)
        return fail(where, QStringLiteral("%1: expected an array of 3 numbers").arg(field));
    float xyz[3];
    for (int i = 0; i < 3; ++i) {
        const QJsonValue item = array.at(i);
        if (item.isNull() && nullValue) {
            xyz[i] = *nullValue;
            continue;
        }
        if (!item.isDouble())
            return fail(where, QStringLiteral("%1: item %2 is not a number").arg(field).arg(i));
        xyz[i] = float(item.toDouble());
        if (!std::isfinite(xyz[i]))
            return fail(where, QStringLiteral("%1: item %2 is out of range").arg(field).arg(i));
    }
    out = KvVec3(xyz[0], xyz[1], xyz[2]);
    return true;
}

bool Reader::readBone(const QJsonObject &object, int index, KvBoneDesc &bone)
{
    QString where = QStringLiteral("bone %1").arg(index);
    if (!readString(object, QStringLiteral("name"), true, where, bone.name))
        return false;
    if (bone.name.isEmpty())
        return fail(where, QStringLiteral("name: empty"));
    where = QStringLiteral("bone %1 \"%2\"").arg(index).arg(bone.name);
    if (boneIndex.contains(bone.name))
        return fail(where, QStringLiteral("name: already used by bone %1").arg(boneIndex.value(bone.name)));

    static const QStringList known = {QStringLiteral("name"),   QStringLiteral("label"), QStringLiteral("parent"),
                                      QStringLiteral("origin"), QStringLiteral("end"),   QStringLiteral("order"),
                                      QStringLiteral("limits")};
    if (!checkKeys(object, known, where))
        return false;
    if (!readString(object, QStringLiteral("label"), false, where, bone.label)
        || !readString(object, QStringLiteral("parent"), false, where, bone.parent)) {
        return false;
    }
    if (!bone.parent.isEmpty() && !boneIndex.contains(bone.parent))
        return fail(where, QStringLiteral("parent: \"%1\" is not a bone described before it").arg(bone.parent));
    if (!readVector(object.value(QLatin1String("origin")), where, QStringLiteral("origin"), std::nullopt, bone.origin)
        || !readVector(object.value(QLatin1String("end")), where, QStringLiteral("end"), std::nullopt, bone.endPoint)) {
        return false;
    }

    QString orderName;
    if (!readString(object, QStringLiteral("order"), true, where, orderName))
        return false;
    bone.order = KvRotationOrder::fromName(orderName.toLatin1().constData());
    if (orderName.size() != 3 || !bone.order.isValid())
        return fail(where, QStringLiteral("order: \"%1\" is not one of XYZ, XZY, YXZ, YZX, ZXY, ZYX").arg(orderName));

    const QJsonValue limitsValue = object.value(QLatin1String("limits"));
    bone.limits.reset();
    if (!limitsValue.isUndefined()) {
        if (!limitsValue.isObject())
            return fail(where, QStringLiteral("limits: expected an object with min and max"));
        const QJsonObject limits = limitsValue.toObject();
        if (!checkKeys(limits, {QStringLiteral("min"), QStringLiteral("max")}, where + QStringLiteral(": limits")))
            return false;
        KvRotationLimits range;
        if (!readVector(limits.value(QLatin1String("min")), where, QStringLiteral("limits: min"), -infinity,
                        range.minDeg)
            || !readVector(limits.value(QLatin1String("max")), where, QStringLiteral("limits: max"), infinity,
                           range.maxDeg)) {
            return false;
        }
        const float los[3] = {range.minDeg.x, range.minDeg.y, range.minDeg.z};
        const float his[3] = {range.maxDeg.x, range.maxDeg.y, range.maxDeg.z};
        for (int axis = 0; axis < 3; ++axis) {
            if (los[axis] > his[axis]) {
                return fail(where, QStringLiteral("limits: %1 minimum %2 is above maximum %3")
                                       .arg(QChar(char16_t(u'X' + axis)))
                                       .arg(double(los[axis]))
                                       .arg(double(his[axis])));
            }
        }
        bone.limits = range;
    }
    boneIndex.insert(bone.name, index);
    return true;
}

bool Reader::readFigure(const QJsonObject &object, KvFigureDesc &desc)
{
    if (!checkKeys(object,
                   {QStringLiteral("format"), QStringLiteral("version"), QStringLiteral("name"),
                    QStringLiteral("label"), QStringLiteral("bones")},
                   QString())) {
        return false;
    }
    if (object.value(QLatin1String("format")).toString() != formatTag)
        return fail(QString(), QStringLiteral("format: expected \"%1\"").arg(formatTag));
    const QJsonValue version = object.value(QLatin1String("version"));
    if (!version.isDouble())
        return fail(QString(), QStringLiteral("version: expected the number %1").arg(formatVersion));
    if (version.toDouble() != formatVersion) {
        return fail(QString(), QStringLiteral("version: %1 is not supported (this host reads %2)")
                                   .arg(version.toDouble())
                                   .arg(formatVersion));
    }
    if (!readString(object, QStringLiteral("name"), true, QString(), desc.name)
        || !readString(object, QStringLiteral("label"), false, QString(), desc.label)) {
        return false;
    }
    const QJsonValue bones = object.value(QLatin1String("bones"));
    if (!bones.isArray())
        return fail(QString(), QStringLiteral("bones: expected an array"));
    const QJsonArray array = bones.toArray();
    desc.bones.clear();
    desc.bones.reserve(size_t(array.size()));
    for (int i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject())
            return fail(QStringLiteral("bone %1").arg(i), QStringLiteral("expected an object"));
        KvBoneDesc bone;
        if (!readBone(array.at(i).toObject(), i, bone))
            return false;
        desc.bones.push_back(std::move(bone));
    }
    return true;
}

void appendString(QByteArray &out, const QString &text)
{
    QByteArray quoted = "\"";
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\t': quoted += "\\t"; break;
        case '\r': quoted += "\\r"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                quoted += "\\u00" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                quoted += c;
        }
    }
    // Qt's reader drops a byte order mark that opens a string.
    out += quoted.replace("\xEF\xBB\xBF", "\\ufeff") + '"';
}

// The reader parses a double and narrows it to float. The shortest float
// text nearly always survives that double rounding; where it would not, the
// exact double value of the float is written instead.
void appendNumber(QByteArray &out, float v)
{
    if (std::isinf(v)) {
        out += "null";
        return;
    }
    if (v == 0.0f) {
        out += '0';  // the JSON reader drops the sign of zero, so the file does too
        return;
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    double readBack = 0.0;
    std::from_chars(buffer, result.ptr, readBack);
    if (float(readBack) != v)
        result = std::to_chars(buffer, buffer + sizeof buffer, double(v));
    out.append(buffer, int(result.ptr - buffer));
}

void appendVector(QByteArray &out, const KvVec3 &v)
{
    out += '[';
    appendNumber(out, v.x);
    out += ", ";
    appendNumber(out, v.y);
    out += ", ";
    appendNumber(out, v.z);
    out += ']';
}

bool isFinite(const KvVec3 &v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// An infinite bound is written as null, which reads back as "unbounded" on
// its own side; one on the wrong side could not come back.
bool isWritable(const KvRotationLimits &limits)
{
    const float values[6] = {limits.minDeg.x, limits.minDeg.y, limits.minDeg.z,
                             -limits.maxDeg.x, -limits.maxDeg.y, -limits.maxDeg.z};
    for (const float v : values) {
        if (std::isnan(v) || v == infinity)
            return false;
    }
    return true;
}

bool writeFile(const QString &path, const QByteArray &text, QString *errorMessage)
{
    QString reason;
    if (!kvWriteFile(path, text, &reason)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: cannot write: %2").arg(path, reason);
        return false;
    }
    return true;
}

} // namespace

std::optional<KvFigureDesc> KvFigureFile::fromJson(const QByteArray &json, const QString &sourceName,
                                                   QString *errorMessage)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (errorMessage) {
            const int line = int(json.left(parseError.offset).count('\n')) + 1;
            *errorMessage = QStringLiteral("%1:%2: %3").arg(sourceName).arg(line).arg(parseError.errorString());
        }
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: expected a JSON object").arg(sourceName);
        return std::nullopt;
    }
    Reader reader(sourceName);
    KvFigureDesc desc;
    if (!reader.readFigure(document.object(), desc)) {
        if (errorMessage)
            *errorMessage = reader.error;
        return std::nullopt;
    }
    return desc;
}

std::optional<KvFigureDesc> KvFigureFile::load(const QString &path, QString *errorMessage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return fromJson(file.readAll(), path, errorMessage);
}

QByteArray KvFigureFile::toJson(const KvFigureDesc &desc, QString *errorMessage)
{
    QByteArray out;
    out.reserve(256 + int(desc.bones.size()) * 200);
    out += "{\n    \"format\": ";
    appendString(out, formatTag);
    out += ",\n    \"version\": " + QByteArray::number(formatVersion) + ",\n    \"name\": ";
    appendString(out, desc.name);
    if (!desc.label.isEmpty()) {
        out += ",\n    \"label\": ";
        appendString(out, desc.label);
    }
    out += ",\n    \"bones\": [";
    for (size_t i = 0; i < desc.bones.size(); ++i) {
        const KvBoneDesc &bone = desc.bones[i];
        if (!isFinite(bone.origin) || !isFinite(bone.endPoint)
            || (bone.limits && !isWritable(*bone.limits))) {
            if (errorMessage) {
                *errorMessage = QStringLiteral("bone %1 \"%2\": a coordinate or limit is not a number")
                                    .arg(i)
                                    .arg(bone.name);
            }
            return QByteArray();
        }
        out += i == 0 ? "\n        {\"name\": " : ",\n        {\"name\": ";
        appendString(out, bone.name);
        if (!bone.label.isEmpty()) {
            out += ", \"label\": ";
            appendString(out, bone.label);
        }
        if (!bone.parent.isEmpty()) {
            out += ", \"parent\": ";
            appendString(out, bone.parent);
        }
        out += ", \"origin\": ";
        appendVector(out, bone.origin);
        out += ", \"end\": ";
        appendVector(out, bone.endPoint);
        out += ", \"order\": ";
        appendString(out, QString::fromLatin1(bone.order.name()));
        if (bone.limits) {
            out += ", \"limits\": {\"min\": ";
            appendVector(out, bone.limits->minDeg);
            out += ", \"max\": ";
            appendVector(out, bone.limits->maxDeg);
            out += '}';
        }
        out += '}';
    }
    out += desc.bones.empty() ? "]\n}\n" : "\n    ]\n}\n";
    return out;
}

bool KvFigureFile::save(const KvFigureDesc &desc, const QString &path, QString *errorMessage)
{
    QString error;
    const QByteArray text = toJson(desc, &error);
    // Reading the text back applies every rule of load, so nothing is written
    // that could not be loaded again.
    if (text.isEmpty() || !fromJson(text, path, &error)) {
        if (errorMessage)
            *errorMessage = error.startsWith(path) ? error : QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    return writeFile(path, text, errorMessage);
}

bool KvFigureFile::save(const KvSkeleton &skeleton, const QString &path, QString *errorMessage)
{
    return save(describe(skeleton), path, errorMessage);
}

KvFigureDesc KvFigureFile::describe(const KvSkeleton &skeleton)
{
    const auto labelOf = [](const KvNode &node) {
        return node.getLabel() == node.getName() ? QString() : node.getLabel();
    };
    KvFigureDesc desc;
    desc.name = skeleton.getName();
    desc.label = labelOf(skeleton);

    QList<KvBone *> bones;
    skeleton.getAllBones(bones);
    desc.bones.reserve(size_t(bones.size()));
    for (const KvBone *bone : std::as_const(bones)) {
        KvBoneDesc boneDesc;
        boneDesc.name = bone->getName();
        boneDesc.label = labelOf(*bone);
        for (const KvNode *up = bone->getNodeParent(); up && up != &skeleton; up = up->getNodeParent()) {
            if (up->inherits("KvBone")) {
                boneDesc.parent = up->getName();
                break;
            }
        }
        boneDesc.origin = bone->getOrigin();
        boneDesc.endPoint = bone->getEndPoint();
        boneDesc.order = bone->getRotationOrder();

        const KvFloatProperty *controls[3] = {bone->getXRotControl(), bone->getYRotControl(), bone->getZRotControl()};
        if (controls[0]->isClamped() || controls[1]->isClamped() || controls[2]->isClamped()) {
            float los[3];
            float his[3];
            for (int axis = 0; axis < 3; ++axis) {
                const bool clamped = controls[axis]->isClamped();
                los[axis] = clamped ? float(controls[axis]->getMinLimit()) : -infinity;
                his[axis] = clamped ? float(controls[axis]->getMaxLimit()) : infinity;
            }
            boneDesc.limits = KvRotationLimits{{los[0], los[1], los[2]}, {his[0], his[1], his[2]}};
        }
        desc.bones.push_back(std::move(boneDesc));
    }
    return desc;
}
