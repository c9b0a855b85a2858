#pragma once

#include "bvhin.h"
#include "bvhstate.h"
#include "pickmapdialog.h"

#include "kvapp.h"
#include "kvappsettingsmgr.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"

#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

// Fixtures for the tests of the mapping dialogs and the exporter. Header
// only: they need the plug-in's layers, which kv_testsupport does not link.
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

// A skeleton called name with one bone per "bone:parent" entry, in order; an
// empty parent makes the bone a child of the skeleton.
inline KvSkeleton *figure(const QString &name, const QStringList &bones)
{
    KvFigureDesc desc;
    desc.name = name;
    for (const QString &entry : bones)
        desc.bones.push_back({entry.section(':', 0, 0), {}, entry.section(':', 1), {}, {}, {}, {}});
    return KvFigureBuilder::build(desc).release();
}

// A ROOT (depth 0, six channels) or JOINT block; one without children ends
// in an End Site.
inline QByteArray bvhJoint(const char *name, int depth, const QByteArray &children = {})
{
    return QByteArray(depth == 0 ? "ROOT " : "JOINT ") + name + "\n{\nOFFSET 0 5 0\n"
           + (depth == 0 ? "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                         : "CHANNELS 3 Zrotation Xrotation Yrotation\n")
           + (children.isEmpty() ? QByteArray("End Site\n{\nOFFSET 0 5 0\n}\n") : children) + "}\n";
}

// Reads the hierarchy of root into the joint list and matches it against the
// bones of figure, as an import does before it shows the mapping dialog.
inline void readHierarchy(KvSkeleton *figure, const QByteArray &root)
{
    CBvhIn in;
    in.collectSkeletonBones(figure->getNodeChild(0), 1);
    in.resetParseState();
    for (const QString &line : QString::fromLatin1("HIERARCHY\n" + root + "MOTION\n").split(QLatin1Char('\n'))) {
        if (in.inHierarchy)
            in.parseLine(line);
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
