#include "skelheader.h"

CSkelHeader::CSkelHeader()
{
    resetRecord(true);
}

void CSkelHeader::resetRecord(bool full)
{
    name.clear();
    label.clear();
    if (full)
        level = 0;
    bone = nullptr;
    exportFlag = true;
    listItem = nullptr;
}
