#include "kvscenefile.h"

#include "kvfigurefile.h"
#include "kvnode.h"
#include "kvproperty.h"
#include "kvsavefile.h"
#include "kvscene.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <charconv>
#include <climits>
#include <cmath>
#include <memory>

namespace {

const QString formatTag = QStringLiteral("kvscene");
constexpr int formatVersion = 1;

const char *const controlNames[9] = {"xPos", "yPos", "zPos", "xRot", "yRot", "zRot", "xScale", "yScale", "zScale"};

void appendString(QByteArray &out, const QString &text)
{
    // The figure text is made by the figure writer; this only has to quote
    // bone names the same way, byte order marks too (Qt's reader drops one
    // that opens a string).
    out += QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).chopped(1).mid(1).replace("\xEF\xBB\xBF", "\\ufeff");
}

// The reader parses a double and narrows it to float; where the shortest
// float text would not survive that, the float's exact double is written.
void appendNumber(QByteArray &out, float v)
{
    if (v == 0.0f) {
        out += '0';
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

// Whether times rise by one fixed step (two keys or more).
bool isEvenlySpaced(const std::vector<int> &times)
{
    if (times.size() < 2)
        return false;
    const qint64 step = qint64(times[1]) - times[0];
    for (size_t i = 2; i < times.size(); ++i) {
        if (qint64(times[i]) - times[i - 1] != step)
            return false;
    }
    return true;
}

class Reader
{
public:
    explicit Reader(const QString &sourceName) : source(sourceName) {}

    bool fail(const QString &text)
    {
        error = source + QLatin1String(": ") + text;
        return false;
    }
    bool checkKeys(const QJsonObject &object, const QStringList &known, const QString &where);
    bool readInt(const QJsonValue &value, const QString &where, int &out);
    bool readRange(const QJsonObject &object, const QString &key, KvTimeRange &range);
    bool readTrack(const QJsonValue &value, int index, const QSet<QString> &bones, KvKeyTrack &track);

    QString source;
    QString error;
};

bool Reader::checkKeys(const QJsonObject &object, const QStringList &known, const QString &where)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()))
            return fail(QStringLiteral("%1unknown field \"%2\"").arg(where, it.key()));
    }
    return true;
}

bool Reader::readInt(const QJsonValue &value, const QString &where, int &out)
{
    const double d = value.toDouble(std::nan(""));
    if (!value.isDouble() || d != std::floor(d) || d < double(INT_MIN) || d > double(INT_MAX))
        return fail(where + QLatin1String(": expected a whole number of ticks"));
    out = int(d);
    return true;
}

bool Reader::readRange(const QJsonObject &object, const QString &key, KvTimeRange &range)
{
    const QJsonArray array = object.value(key).toArray();
    if (!object.value(key).isArray() || array.size() != 2)
        return fail(key + QLatin1String(": expected [start, end] in ticks"));
    return readInt(array.at(0), key, range.start) && readInt(array.at(1), key, range.end);
}

bool Reader::readTrack(const QJsonValue &value, int index, const QSet<QString> &bones, KvKeyTrack &track)
{
    QString where = QStringLiteral("keys %1").arg(index);
    if (!value.isObject())
        return fail(where + QLatin1String(": expected an object"));
    const QJsonObject object = value.toObject();
    static const QStringList known = {QStringLiteral("bone"), QStringLiteral("control"), QStringLiteral("times"),
                                      QStringLiteral("start"), QStringLiteral("step"), QStringLiteral("values")};
    if (!checkKeys(object, known, where + QLatin1String(": ")))
        return false;

    track.bone = object.value(QLatin1String("bone")).toString();
    if (!bones.contains(track.bone))
        return fail(QStringLiteral("%1: bone \"%2\" is not in the figure").arg(where, track.bone));
    where += QStringLiteral(" \"%1\"").arg(track.bone);
    const QString controlText = object.value(QLatin1String("control")).toString();
    track.control = KvSceneFile::controlIndex(controlText);
    if (track.control < 0)
        return fail(QStringLiteral("%1: unknown control \"%2\"").arg(where, controlText));
    where += QLatin1Char(' ') + controlText;

    const QJsonValue valuesValue = object.value(QLatin1String("values"));
    if (!valuesValue.isArray())
        return fail(where + QLatin1String(": values: expected an array of numbers"));
    const QJsonArray values = valuesValue.toArray();
    track.values.reserve(size_t(values.size()));
    for (const QJsonValue &v : values) {
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || !std::isfinite(float(d)))
            return fail(where + QLatin1String(": values: expected an array of numbers"));
        track.values.push_back(float(d));
    }

    const bool hasTimes = object.contains(QLatin1String("times"));
    const bool hasStart = object.contains(QLatin1String("start"));
    const bool hasStep = object.contains(QLatin1String("step"));
    if (hasTimes == (hasStart || hasStep) || hasStart != hasStep)
        return fail(where + QLatin1String(": give either times or start and step"));
    if (hasTimes) {
        const QJsonValue timesValue = object.value(QLatin1String("times"));
        if (!timesValue.isArray())
            return fail(where + QLatin1String(": times: expected an array of ticks"));
        for (const QJsonValue &t : timesValue.toArray()) {
            int ticks = 0;
            if (!readInt(t, where + QLatin1String(": times"), ticks))
                return false;
            track.times.push_back(ticks);
        }
        if (track.times.size() != track.values.size()) {
            return fail(QStringLiteral("%1: %2 times but %3 values")
                            .arg(where)
                            .arg(track.times.size())
                            .arg(track.values.size()));
        }
    } else {
        int start = 0;
        int step = 0;
        if (!readInt(object.value(QLatin1String("start")), where + QLatin1String(": start"), start)
            || !readInt(object.value(QLatin1String("step")), where + QLatin1String(": step"), step)) {
            return false;
        }
        if (step < 1)
            return fail(where + QLatin1String(": step: must be at least one tick"));
        const qint64 last = qint64(start) + qint64(step) * qint64(track.values.size() > 0 ? track.values.size() - 1 : 0);
        if (last > INT_MAX)
            return fail(where + QLatin1String(": the keys run past the last tick"));
        for (size_t i = 0; i < track.values.size(); ++i)
            track.times.push_back(int(start + qint64(step) * qint64(i)));
    }
    for (size_t i = 1; i < track.times.size(); ++i) {
        if (track.times[i] <= track.times[i - 1])
            return fail(QStringLiteral("%1: times must rise (key %2)").arg(where).arg(i));
    }
    return true;
}

} // namespace

QString KvSceneFile::controlName(int control)
{
    return control >= 0 && control < 9 ? QString::fromLatin1(controlNames[control]) : QString();
}

int KvSceneFile::controlIndex(const QString &name)
{
    for (int i = 0; i < 9; ++i) {
        if (name == QLatin1String(controlNames[i]))
            return i;
    }
    return -1;
}

KvSceneDesc KvSceneFile::describe(const KvScene &scene, const KvSkeleton &skeleton)
{
    KvSceneDesc desc;
    desc.figure = KvFigureFile::describe(skeleton);
    desc.timeStep = scene.getTimeStep();
    desc.time = scene.getTime();
    desc.animRange = scene.getAnimRange();
    desc.playRange = scene.getPlayRange();

    QList<KvBone *> bones;
    skeleton.getAllBones(bones);
    for (const KvBone *bone : bones) {
        for (int control = 0; control < 9; ++control) {
            const KvFloatProperty *property = bone->getControl(control);
            if (property->getNumKeys() == 0)
                continue;
            KvKeyTrack track;
            track.bone = bone->getName();
            track.control = control;
            track.times.reserve(size_t(property->getNumKeys()));
            track.values.reserve(size_t(property->getNumKeys()));
            for (int i = 0; i < property->getNumKeys(); ++i) {
                track.times.push_back(property->getKeyTime(i));
                track.values.push_back(float(property->getKeyValue(i)));
            }
            desc.tracks.push_back(std::move(track));
        }
    }
    return desc;
}

QByteArray KvSceneFile::toJson(const KvSceneDesc &desc, QString *errorMessage)
{
    const QByteArray figure = KvFigureFile::toJson(desc.figure, errorMessage);
    if (figure.isEmpty())
        return QByteArray();

    size_t valueCount = 0;
    for (const KvKeyTrack &track : desc.tracks) {
        valueCount += track.values.size();
        for (const float v : track.values) {
            if (!std::isfinite(v)) {
                if (errorMessage) {
                    *errorMessage = QStringLiteral("bone \"%1\" %2: a key value is not a number")
                                        .arg(track.bone, controlName(track.control));
                }
                return QByteArray();
            }
        }
    }

    QByteArray out;
    out.reserve(figure.size() + 512 + int(valueCount) * 12);
    out += "{\n    \"format\": \"" + formatTag.toLatin1() + "\",\n    \"version\": "
           + QByteArray::number(formatVersion) + ",\n    \"timeStep\": " + QByteArray::number(desc.timeStep)
           + ",\n    \"time\": " + QByteArray::number(desc.time) + ",\n    \"animRange\": ["
           + QByteArray::number(desc.animRange.start) + ", " + QByteArray::number(desc.animRange.end)
           + "],\n    \"playRange\": [" + QByteArray::number(desc.playRange.start) + ", "
           + QByteArray::number(desc.playRange.end) + "],\n    \"figure\": ";
    // The figure as its own file has it, one level deeper.
    QByteArray indented = figure.trimmed();
    indented.replace("\n", "\n    ");
    out += indented;
    out += ",\n    \"keys\": [";
    for (size_t i = 0; i < desc.tracks.size(); ++i) {
        const KvKeyTrack &track = desc.tracks[i];
        out += i == 0 ? "\n        {\"bone\": " : ",\n        {\"bone\": ";
        appendString(out, track.bone);
        out += ", \"control\": \"" + controlName(track.control).toLatin1() + "\", ";
        if (isEvenlySpaced(track.times)) {
            out += "\"start\": " + QByteArray::number(track.times[0]) + ", \"step\": "
                   + QByteArray::number(qint64(track.times[1]) - track.times[0]);
        } else {
            out += "\"times\": [";
            for (size_t k = 0; k < track.times.size(); ++k) {
                if (k > 0)
                    out += ", ";
                out += QByteArray::number(track.times[k]);
            }
            out += ']';
        }
        out += ", \"values\": [";
        for (size_t k = 0; k < track.values.size(); ++k) {
            if (k > 0)
                out += ", ";
            appendNumber(out, track.values[k]);
        }
        out += "]}";
    }
    out += desc.tracks.empty() ? "]\n}\n" : "\n    ]\n}\n";
    return out;
}

std::optional<KvSceneDesc> KvSceneFile::fromJson(const QByteArray &json, const QString &sourceName,
                                                 QString *errorMessage)
{
    Reader reader(sourceName);
    const auto failed = [&]() -> std::optional<KvSceneDesc> {
        if (errorMessage)
            *errorMessage = reader.error;
        return std::nullopt;
    };

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const int line = int(json.left(parseError.offset).count('\n')) + 1;
        reader.error = QStringLiteral("%1:%2: %3").arg(sourceName).arg(line).arg(parseError.errorString());
        return failed();
    }
    if (!document.isObject()) {
        reader.fail(QStringLiteral("expected a JSON object"));
        return failed();
    }
    const QJsonObject root = document.object();
    static const QStringList known = {QStringLiteral("format"),    QStringLiteral("version"),
                                      QStringLiteral("timeStep"),  QStringLiteral("time"),
                                      QStringLiteral("animRange"), QStringLiteral("playRange"),
                                      QStringLiteral("figure"),    QStringLiteral("keys")};
    if (!reader.checkKeys(root, known, QString()))
        return failed();
    if (root.value(QLatin1String("format")).toString() != formatTag) {
        reader.fail(QStringLiteral("format: expected \"%1\"").arg(formatTag));
        return failed();
    }
    if (root.value(QLatin1String("version")).toDouble() != formatVersion) {
        reader.fail(QStringLiteral("version: expected %1").arg(formatVersion));
        return failed();
    }

    KvSceneDesc desc;
    if (!reader.readInt(root.value(QLatin1String("timeStep")), QStringLiteral("timeStep"), desc.timeStep)
        || !reader.readInt(root.value(QLatin1String("time")), QStringLiteral("time"), desc.time)
        || !reader.readRange(root, QStringLiteral("animRange"), desc.animRange)
        || !reader.readRange(root, QStringLiteral("playRange"), desc.playRange)) {
        return failed();
    }
    if (desc.timeStep < 1) {
        reader.fail(QStringLiteral("timeStep: must be at least one tick"));
        return failed();
    }

    if (!root.value(QLatin1String("figure")).isObject()) {
        reader.fail(QStringLiteral("figure: expected an object"));
        return failed();
    }
    // Escaped, a byte order mark opening a name survives the figure reader.
    const QByteArray figureText =
        QJsonDocument(root.value(QLatin1String("figure")).toObject()).toJson().replace("\xEF\xBB\xBF", "\\ufeff");
    std::optional<KvFigureDesc> figure =
        KvFigureFile::fromJson(figureText, sourceName + QLatin1String(": figure"), &reader.error);
    if (!figure)
        return failed();
    desc.figure = *std::move(figure);

    QSet<QString> bones;
    for (const KvBoneDesc &bone : desc.figure.bones)
        bones.insert(bone.name);
    const QJsonValue keys = root.value(QLatin1String("keys"));
    if (!keys.isUndefined() && !keys.isArray()) {
        reader.fail(QStringLiteral("keys: expected an array"));
        return failed();
    }
    QSet<QString> seen;
    const QJsonArray tracks = keys.toArray();
    for (int i = 0; i < tracks.size(); ++i) {
        KvKeyTrack track;
        if (!reader.readTrack(tracks.at(i), i, bones, track))
            return failed();
        const QString id = track.bone + QLatin1Char('/') + controlName(track.control);
        if (seen.contains(id)) {
            reader.fail(QStringLiteral("keys %1 \"%2\" %3: the control is keyed twice")
                            .arg(i)
                            .arg(track.bone, controlName(track.control)));
            return failed();
        }
        seen.insert(id);
        desc.tracks.push_back(std::move(track));
    }
    return desc;
}

std::optional<KvSceneDesc> KvSceneFile::load(const QString &path, QString *errorMessage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return fromJson(file.readAll(), path, errorMessage);
}

bool KvSceneFile::save(const KvSceneDesc &desc, const QString &path, QString *errorMessage)
{
    QString error;
    const QByteArray text = toJson(desc, &error);
    if (text.isEmpty()) {
        if (errorMessage)
            *errorMessage = path + QLatin1String(": ") + error;
        return false;
    }
    QString reason;
    if (!kvWriteFile(path, text, &reason)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: cannot write: %2").arg(path, reason);
        return false;
    }
    return true;
}

KvSkeleton *KvSceneFile::build(const KvSceneDesc &desc, KvScene *scene, QString *errorMessage)
{
    Q_ASSERT(scene);
    std::unique_ptr<KvSkeleton> skeleton = KvFigureBuilder::build(desc.figure, errorMessage);
    if (!skeleton)
        return nullptr;
    for (const KvKeyTrack &track : desc.tracks) {
        KvBone *bone = skeleton->findBone(track.bone);
        if (!bone || track.control < 0 || track.control > 8)
            continue;
        KvFloatProperty *property = bone->getControl(track.control);
        // Keys hold what was animated, also beyond limits set afterwards.
        const bool clamped = property->isClamped();
        property->setIsClamped(false);
        property->clearKeys();
        for (size_t i = 0; i < track.times.size() && i < track.values.size(); ++i)
            property->setKey(track.times[i], track.values[i]);
        property->setIsClamped(clamped);
    }
    scene->setTimeStep(desc.timeStep);
    scene->setAnimRange(desc.animRange);
    scene->setPlayRange(desc.playRange);
    scene->setTime(desc.time);
    KvSkeleton *built = skeleton.release();
    scene->addNode(built);
    return built;
}
