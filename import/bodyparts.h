#pragma once

#include "namepattern.h"

#include <QString>

#include <vector>

// What the importer knows about body parts and how figures and files name
// them. A part is a row of the body-part table (the host's own naming); a
// name stands for the part whose row it fits, or that a known naming gives it.
namespace bodyparts {

// Rows of the body-part table that other steps refer to.
enum Part {
    NoPart = -1,
    Hip = 0,
    LeftThigh = 3,
    RightThigh = 4,
    LeftShin = 5,
    RightShin = 6,
    LeftFoot = 7,
    RightFoot = 8,
    LeftCollar = 13,
    RightCollar = 14,
    LeftShoulder = 15,
    RightShoulder = 16,
    Head = 53,
};

// The body-part table, in order. Unsided words (hip, chest, head ...) fit
// only as whole words, so that lHip or Hips are no hip.
const std::vector<CNamePattern> &rows();

// Joints named after the joint a bone turns at (knee, ankle, wrist, elbow)
// rather than the bone: a key pattern and the row of the bone it stands for.
struct JointEndRow
{
    CNamePattern key;
    int part;
};
const std::vector<JointEndRow> &jointEndRows();

// The part of a name that is matched. A colon either numbers a copy (hip:1,
// matched as hip) or ends a namespace (mixamorig:Hips, matched as Hips); with
// several colons only the last one counts.
QString matchKey(const QString &name);

// The part that other common namings (game-engine and capture-studio rigs,
// CMU's original and ASF names, Second Life's m-names, MotionBuilder-style
// Left/Right names) give the name, matched whole, ignoring case, separators
// and a namespace; NoPart when none does.
int knownNamingPart(const QString &name);

// Whether part is one of a side's (a limb, a finger, an eye), not of the
// trunk.
bool isSided(int part);

// Settles the parts of a tree listed in pre-order (levels give the depths):
// a shoulder above another shoulder of its side is the collar (a rig's
// LeftShoulder above its LeftArm), and any other limb part met again below
// itself counts only where it is met first (a wrist's hand above the hand).
void settleParts(const std::vector<int> &levels, std::vector<int> &parts);

// The part a name stands for: the last row of the table it fits, a joint-end
// row over it, a known naming over both; NoPart for none.
int partOf(const QString &name);

} // namespace bodyparts
