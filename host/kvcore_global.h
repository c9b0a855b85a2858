#pragma once

#include <QtCore/qglobal.h>

#if defined(KVCORE_LIBRARY)
#  define KVCORE_EXPORT Q_DECL_EXPORT
#else
#  define KVCORE_EXPORT Q_DECL_IMPORT
#endif

// The host's clock: scene times are integer ticks.
constexpr int kvTicksPerSecond = 4800;
