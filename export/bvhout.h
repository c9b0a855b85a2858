#pragma once

#include "kvfileio.h"

#include <QString>

// The BVH exporter the host creates through its class factory.
class CBvhOut : public KvExporter
{
    Q_OBJECT
public:
    CBvhOut();
    ~CBvhOut() override;

    QString getDescription() const override;
    bool canExport() const override;
    int write(const QString &path, const KvFileIOSettings &settings) override;

    int savedSceneTime = 0;  // ticks
    int frameCount = 0;
    int frameIndex = 0;
    float frameTime = 0.0f;  // seconds
};
