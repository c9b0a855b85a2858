#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

class KvApp;
class KvPluginLoader;
class KvSkeleton;

// What every fuzz target shares: an offscreen application, a scratch folder
// that holds every file a run writes (the settings file included, so no run
// touches the user's settings) and a non-interactive host with the plug-in
// loaded. Made on first use, kept until the process ends.
namespace kvfuzz {

KvApp *host();
const KvPluginLoader *loader();
// A path inside the scratch folder.
QString scratchFile(const QString &name);
// Writes data to the scratch file name; its path, or empty when it failed.
QString writeScratch(const QString &name, const uint8_t *data, size_t size);
// A small figure (the first bones of the host's default figure) as the only
// figure of the host's scene, with the clock a command line import starts
// from.
KvSkeleton *freshFigure();
// Ends the run when a property the code promises does not hold, so that
// libFuzzer keeps the input.
void check(bool condition, const char *what);

} // namespace kvfuzz
