#include "plugin.h"

#include "bvhfactories.h"
#include "bvhin.h"
#include "impmapdialog.h"

// Every library-lifetime object of the plug-in frame is defined here, because
// only within one file does C++ fix the order of construction: the definition
// must be complete before the factories register with it, and the importer's
// factory registers first. Destruction runs in reverse.
//
// The texts are heap strings, not QStringLiteral: the host may keep copies
// after the library (and its read-only data) is unloaded.
namespace {

KvPlugin definition(QString::fromLatin1("BioVision (BVH) Importer/Exporter"), QString(), QString(), 0);

struct DefinitionDetails
{
    DefinitionDetails()
    {
        definition.setAuthor(QString::fromLatin1("Korvel Productions"));
        definition.setVersion(0x01030100);
        definition.setDescription(QString::fromLatin1(
            "This plugin provides the ability to import/export BioVision Motion Capture (BVH) formatted files."));
    }
} definitionDetails;

CBvhInFactory importerFactory;
CBvhOutFactory exporterFactory;

// Imports show the import mapping dialog once the hierarchy is read.
struct MappingDialogInstaller
{
    MappingDialogInstaller() { CBvhIn::setMappingDialog(&CImpMapDialog::execForImport); }
    ~MappingDialogInstaller() { CBvhIn::setMappingDialog(nullptr); }
} mappingDialogInstaller;

} // namespace

extern "C" {

quint32 getSDKVersion()
{
    return kvSDKVersion;
}

KvPlugin *getPluginDefinition()
{
    return &definition;
}

} // extern "C"
