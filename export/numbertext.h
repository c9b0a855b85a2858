#pragma once

#include <QByteArray>

// Appends value in fixed notation with six decimals, exactly as
// QString::arg(double(value), 0, 'f', 6) writes it ("12.500000", "-3.000000";
// ties round away from zero, -0 is written "0.000000"), but without building
// a string: the motion writer calls it millions of times.
void appendFixed6(QByteArray &out, float value);

// The same text written at out, which has room for fixed6Room characters;
// returns the end of what was written.
constexpr int fixed6Room = 64;
char *writeFixed6(char *out, float value);
