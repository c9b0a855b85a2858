#pragma once

#include "bvhin.h"
#include "bvhstate.h"
#include "pickmapdialog.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"

#include <QComboBox>
#include <QHash>
#include <QRegularExpression>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>

// Fixtures for the tests of the importer, the mapping dialogs and the
// exporter. Header only: they need the plug-in's layers, which kv_testsupport
// does not link.
namespace kvtest {

// A non-interactive host whose settings file lives in a folder of its own;
// leaves the shared lists empty and the import options as a loaded library
// has them when it goes.
struct TestHost
{
    QTemporaryDir dir;
    KvApp app{dir.filePath(QStringLiteral("settings.ini")), false};
    ~TestHost()
    {
        bvhState().clearLists();
        bvhState().targetSkeleton = nullptr;
        CBvhIn::setMappingDialog(nullptr);
        frameOption = true;
        inPlaceOption = limitsOption = false;
    }
};

inline KvVec3 vec(const QString &text)
{
    const QStringList v = text.split(QLatin1Char(' '));
    return KvVec3(v.value(0).toFloat(), v.value(1).toFloat(), v.value(2).toFloat());
}

// Figures and files are written as entries "name<parent@x y z:channels"; all
// but the name may be left out. These are name, parent, position and channels.
inline QStringList parts(const QString &entry)
{
    static const QRegularExpression syntax(QStringLiteral("^([^<@:]*)(?:<([^@:]*))?(?:@([^:]*))?(?::(.*))?$"));
    const QRegularExpressionMatch m = syntax.match(entry);
    return {m.captured(1), m.captured(2), m.captured(3), m.captured(4)};
}

// A skeleton called name, bones at their origins (figure space) and end
// points at their first child; a bone without a parent is a child of the
// skeleton.
inline KvSkeleton *figure(const QString &name, const QStringList &bones, int order = KvRotationOrder::XYZ)
{
    KvFigureDesc desc;
    desc.name = name;
    QHash<QString, size_t> index;
    for (const QString &entry : bones) {
        const QStringList e = parts(entry);
        if (const auto parent = index.constFind(e[1]); parent != index.cend()) {
            KvBoneDesc &p = desc.bones[*parent];
            p.endPoint = p.endPoint == p.origin ? vec(e[2]) : p.endPoint;
        }
        index.insert(e[0], desc.bones.size());
        desc.bones.push_back({e[0], {}, e[1], vec(e[2]), vec(e[2]), KvRotationOrder(order), {}});
    }
    return KvFigureBuilder::build(desc).release();
}

// A file's hierarchy up to its MOTION line: joints at offsets from their
// parents (0 10 0 when not given), a six-channel root and three rotations
// (ZXY) elsewhere unless channels are given; leaves end in an End Site.
inline QByteArray hierarchy(const QStringList &joints)
{
    std::function<QByteArray(const QString &)> write = [&](const QString &name) {
        QByteArray text;
        for (const QString &entry : joints) {
            QStringList j = parts(entry);
            if (j[1] != name)
                continue;
            if (j[3].isEmpty())
                j[3] = (name.isEmpty() ? "Xposition Yposition Zposition " : "") + QStringLiteral("Zrotation Xrotation Yrotation");
            const QByteArray inner = write(j[0]);
            text += (name.isEmpty() ? "ROOT " : "JOINT ") + j[0].toLatin1() + "\n{\nOFFSET "
                  + (j[2].isEmpty() ? QByteArray("0 10 0") : j[2].toLatin1()) + "\nCHANNELS "
                  + QByteArray::number(j[3].count(QLatin1Char(' ')) + 1) + " " + j[3].toLatin1() + "\n"
                  + (inner.isEmpty() ? "End Site\n{\nOFFSET 0 1 0\n}\n" : inner) + "}\n";
        }
        return text;
    };
    return "HIERARCHY\n" + write(QString()) + "MOTION\n";
}

// Reads a hierarchy into the joint list and matches it against the bones of
// figure, as an import does before it shows the mapping dialog.
inline void readHierarchy(KvSkeleton *figure, const QByteArray &text)
{
    CBvhIn in;
    in.collectSkeletonBones(figure->getNodeChild(0), 1);
    in.resetParseState();
    for (const QByteArray &line : text.split('\n')) {
        if (in.inHierarchy)
            in.parseLine(QString::fromLatin1(line));
    }
    in.completeMapping();
}

// Writes key under the plug-in's settings path; a bool is stored as a bool.
inline void setStored(const QString &key, const QVariant &value)
{
    KvAppSettingsMgr *settings = kvApp->getAppSettingsMgr();
    settings->pushPath(QStringLiteral("BVHIO"));
    if (value.typeId() == QMetaType::Bool)
        settings->setBoolValue(key, value.toBool());
    else
        settings->setStringValue(key, value.toString());
    settings->popPath();
}

// The text stored under key, read from the file as the host's next run
// would; "-" when absent.
inline QString stored(const QString &key)
{
    const QSettings file(kvApp->getAppSettingsMgr()->fileName(), QSettings::IniFormat);
    return file.value(QStringLiteral("BVHIO/") + key, QStringLiteral("-")).toString();
}

// Scripts the map picker: in save mode it presses "New" and types name, in
// load mode it chooses name; then it presses the accept button.
inline void scriptPicker(const QString &name)
{
    kvApp->setDialogHandler([name](QDialog *dialog) {
        auto *picker = qobject_cast<CPickMapDialog *>(dialog);
        if (!picker)
            return int(QDialog::Rejected);
        if (picker->saveMode) {
            picker->modeButton->click();
            picker->mapCombo->setEditText(name);
        } else {
            picker->mapCombo->setCurrentIndex(picker->mapCombo->findText(name));
        }
        picker->acceptButton->click();
        return picker->result();
    });
}

} // namespace kvtest
