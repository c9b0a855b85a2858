#pragma once

#include "kvplugin.h"

// The host creates the importer and the exporter through these. Each one
// registers itself with the plug-in definition when it is constructed, so
// they exist only as the library's static objects.
class CBvhInFactory : public KvClassFactory
{
public:
    CBvhInFactory();
    ~CBvhInFactory() override;

    // A new CBvhIn owned by the caller, or null when allocation fails.
    KvBase *createInstance() override;
    // Always null: the importer takes no construction argument.
    KvBase *createFromArgument(void *argument) override;
};

class CBvhOutFactory : public KvClassFactory
{
public:
    CBvhOutFactory();
    ~CBvhOutFactory() override;

    // A new CBvhOut owned by the caller, or null when allocation fails.
    KvBase *createInstance() override;
    // Always null: the exporter takes no construction argument.
    KvBase *createFromArgument(void *argument) override;
};
