#pragma once

#include "kvplugin.h"

// The library's two entry points, exported with C linkage under these plain
// names; the host resolves them right after loading the library.
extern "C" {
// The host SDK version the library is built for: kvSDKVersion.
Q_DECL_EXPORT quint32 getSDKVersion();
// The library's one plug-in definition, complete with both class factories as
// soon as the library is loaded. Owned by the library.
Q_DECL_EXPORT KvPlugin *getPluginDefinition();
}
