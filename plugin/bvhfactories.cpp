#include "bvhfactories.h"

#include "plugin.h"
#include "bvhin.h"
#include "bvhout.h"

#include <new>

CBvhInFactory::CBvhInFactory()
    : KvClassFactory(&CBvhIn::staticMetaObject, KvGUID::fromLegacyClassID(0x10000006))
{
    getPluginDefinition()->addClassFactory(this);
}

CBvhInFactory::~CBvhInFactory() = default;

KvBase *CBvhInFactory::createInstance()
{
    return new (std::nothrow) CBvhIn;
}

KvBase *CBvhInFactory::createFromArgument(void *)
{
    return nullptr;
}

CBvhOutFactory::CBvhOutFactory()
    : KvClassFactory(&CBvhOut::staticMetaObject, KvGUID::fromLegacyClassID(0x10000007))
{
    getPluginDefinition()->addClassFactory(this);
}

CBvhOutFactory::~CBvhOutFactory() = default;

KvBase *CBvhOutFactory::createInstance()
{
    return new (std::nothrow) CBvhOut;
}

KvBase *CBvhOutFactory::createFromArgument(void *)
{
    return nullptr;
}
