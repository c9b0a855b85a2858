#pragma once

#include "kvcore_global.h"
#include "kvtimerange.h"

#include <QObject>
#include <QString>

// Root of every host object. Its internal name is the QObject object name.
class KVCORE_EXPORT KvBase : public QObject
{
    Q_OBJECT
public:
    explicit KvBase(QObject *parent = nullptr);
    ~KvBase() override;

    QString getName() const { return objectName(); }
    virtual void setName(const QString &name);

    // Persistence hooks of the host's document format. The stand-in host keeps
    // its documents elsewhere (scene files); the hooks exist so that every
    // host object carries the same interface and do nothing by default.
    virtual bool startLoad();
    virtual bool loadSection(const QString &section);
    virtual bool finishLoad();
    virtual void postLoadFile();
    virtual void setPointer(int slot, KvBase *target);
    virtual void setStorablePaths(const QString &baseDir);
    virtual bool save() const;
    virtual void makePersistent(bool persistent);
    virtual int userVersion() const;
    virtual void notifyChanged(int what);
};

// A named, user-visible scene element whose animation can be cleared.
class KVCORE_EXPORT KvElement : public KvBase
{
    Q_OBJECT
public:
    explicit KvElement(QObject *parent = nullptr);

    QString getLabel() const { return label; }
    void setLabel(const QString &text) { label = text; }

    // Removes the keys of every animatable property of this element in range.
    virtual void clearAnimData(const KvTimeRange &range);

private:
    QString label;
};
