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
    part = -1;
    exportFlag = true;
    listItem = nullptr;
}
