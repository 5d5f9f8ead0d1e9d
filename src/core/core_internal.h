// Pieces of the core shared between its own files (not exported).
#ifndef ZORVIK_CORE_INTERNAL_H
#define ZORVIK_CORE_INTERNAL_H

namespace zv {

struct PlatformGeneration {
    int androidVersion;  // value of ANDROID_VERSION
    int tableVersion;    // RIL_RadioFunctions.version
    const char *logLine;
};

// Platform generation from the release text of "ro.build.version.release".
PlatformGeneration ClassifyRelease(const char *release);
// The radio daemon's generation (ZV_GENERATION_*) from "ro.build.version.sdk" and, when that
// is absent or unreadable, the release text.
int ClassifyGeneration(const char *sdk, const char *release);

// Thread bodies started by RIL_Init; a null body is a part of the library not built in.
using ThreadBody = void *(*)(void *);
extern const ThreadBody StoredSmsThreadBody;
extern const ThreadBody MainLoopThreadBody;
extern const ThreadBody SarThreadBody;
void *WorkerThreadBody(void *);

}  // namespace zv

#endif
