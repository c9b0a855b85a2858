#pragma once

#include "kvcore_global.h"
#include "kvfigurebuilder.h"

#include <memory>

class KvSkeleton;

// The figure the host offers when there is no other: a human in T-pose, in
// inches, Y up, facing +Z with its left arm along +X and its feet at y = 0.
// Bones: hip (the skeleton's first child) with abdomen, chest, neck, head,
// lEye/rEye, l/r Collar, Shldr, ForeArm, Hand, three-segment Thumb, Index, Mid,
// Ring and Pinky, and l/r Thigh, Shin, Foot, Toe. Each bone twists about its
// own length; all but hip have rotation limits in degrees that contain 0.
class KVCORE_EXPORT KvDefaultFigure
{
public:
    // Parsed once from the figure file compiled into kvcore.
    static const KvFigureDesc &desc();
    // A new skeleton built from desc().
    static std::unique_ptr<KvSkeleton> build();
};
