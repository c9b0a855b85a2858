#pragma once

#include <QString>

class KvNode;
class QTreeWidgetItem;

// One bone of the target figure, as the mapping dialogs and writers see it.
class CSkelHeader
{
public:
    CSkelHeader();

    // Every field back to its initial value; level only when full.
    void resetRecord(bool full);

    QString name;   // import: the bone's label; export: the bone's own name
    QString label;  // import: a copy of name; export: the name written to the file
    int level = 0;  // 1 for the skeleton's first child bone
    KvNode *bone = nullptr;
    int part = -1;  // import: the body part the bone stands for (bodyparts.h)
    bool exportFlag = true;
    QTreeWidgetItem *listItem = nullptr;
};
