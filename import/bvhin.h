#pragma once

#include "bvhheader.h"
#include "kvfileio.h"

#include <QString>
#include <QStringList>

// The BVH importer the host creates through its class factory.
class CBvhIn : public KvImporter
{
    Q_OBJECT
public:
    CBvhIn();
    ~CBvhIn() override;

    bool recognize(const QString &path) override;
    int getNumExtensions() const override;
    QString getExtension(int index) const override;
    QString getDescription() const override;
    int read(const QString &path, const KvFileIOSettings &settings) override;

    // Reader: one HIERARCHY line at a time into the joint list.
    void resetParseState();
    void parseLine(QString line);
    // The rest of the line from tokens[index + 1] on, words joined by single
    // blanks; index is left at the last token read.
    QString readJointName(const QStringList &tokens, int &index) const;
    // Appends a copy of the current record; type 0 keeps the record's type.
    void commitRecord(int type);
    // The last joint record of the joint list at level; null for level 0.
    CBvhHeader *findParentRecord(int level) const;
    static bool isSpecialJointName(const QString &name);

    bool inHierarchy = true;
    bool inEndSite = false;
    float hipTurnAngle = 0.0f;     // radians
    bool armsAlongX = false;
    float positionScale = 1.0f;
    int numFrames = 0;
    int framesApplied = 0;
    float frameTime = 0.0f;        // seconds
    bool applyXPosition = true;
    bool applyYPosition = true;
    bool applyZPosition = true;
    float firstYPosition = 0.0f;
    bool firstYSeen = false;
    int savedSceneTime = 0;        // ticks
    CBvhHeader currentRecord;
};
