#include "kvbase.h"

#include "kvproperty.h"

KvBase::KvBase(QObject *parent)
    : QObject(parent)
{
}

KvBase::~KvBase() = default;

void KvBase::setName(const QString &name)
{
    setObjectName(name);
}

bool KvBase::startLoad()
{
    return true;
}

bool KvBase::loadSection(const QString &)
{
    return true;
}

bool KvBase::finishLoad()
{
    return true;
}

void KvBase::postLoadFile()
{
}

void KvBase::setPointer(int, KvBase *)
{
}

void KvBase::setStorablePaths(const QString &)
{
}

bool KvBase::save() const
{
    return true;
}

void KvBase::makePersistent(bool)
{
}

int KvBase::userVersion() const
{
    return 0;
}

void KvBase::notifyChanged(int)
{
}

KvElement::KvElement(QObject *parent)
    : KvBase(parent)
{
}

void KvElement::clearAnimData(const KvTimeRange &range)
{
    // An element's animatable properties are its direct QObject children.
    const auto properties = findChildren<KvFloatProperty *>(QString(), Qt::FindDirectChildrenOnly);
    for (KvFloatProperty *property : properties)
        property->removeKeys(range);
}
