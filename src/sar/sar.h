/*
 * SAR control: the platform's driver publishes the wanted transmit-power back-off in a sysfs
 * state file; a thread follows it and tells the modem with AT^SARCTRL, except in airplane
 * mode, remembering the level in g_sarctrl so that switching the radio on can apply it again.
 */
#ifndef ZORVIK_SAR_SAR_H
#define ZORVIK_SAR_SAR_H

#include <pthread.h>

#include <zvexport.h>

/* The follower thread's body; the argument is ignored. Runs for the life of the process. */
ZV_API void *processSarCtrlNotification(void *arg);
/* The follower's thread handle, set when the library starts the follower itself. */
ZV_API pthread_t s_tid_processSarCtrlNotification;

#ifdef __cplusplus
#include <stddef.h>

#include <functional>
#include <string>

namespace zv::sar {

inline constexpr const char kStateFile[] = "/sys/power/sar/state";

enum class SarState { kOn, kOff, kSuspend, kUnknown };

/* What one read of the state file gave. */
struct StateText {
    bool empty = false;    // nothing could be read
    bool tooLong = false;  // a line longer than the file's 49 characters: not a state
    std::string line;      // up to the first line end or NUL
};

/* Reads the state line from the start of an open file, bounded whatever the file holds. */
StateText ReadStateText(int fd);
/* The state a line names (its beginning is compared); kUnknown for anything else. */
SarState Classify(const StateText &text);

/*
 * Follows the state file until stop() says so (never, for the library's own thread): reads
 * it, tells the modem when it names a new state (or the kernel signalled a change), then
 * waits for the kernel's change notification on the attribute or, where there is none, reads
 * again after a short interval. A missing file is looked for again every ten seconds.
 */
void Follow(const std::function<bool()> &stop);

/* Thread body RIL_Init starts: follows the state file when there is one on this device. */
void *LibrarySarThread(void *);

}  // namespace zv::sar
#endif

#endif
