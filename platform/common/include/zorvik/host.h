/*
 * The few things that differ between a host build and a device build: where absolute paths
 * really live (ZORVIK_ROOT), how fast time runs (ZORVIK_TIME_SCALE), where the log goes
 * (ZORVIK_LOG_FILE) and where properties are kept (ZORVIK_PROPERTY_DIR). The environment
 * is read in one place (platform/src/host_env.cpp, part of the host stand-in library); on a
 * device every helper is the identity.
 */
#ifndef ZORVIK_PLATFORM_HOST_H
#define ZORVIK_PLATFORM_HOST_H

#include <stddef.h>
#include <sys/time.h>

#ifdef __cplusplus
#include <string>

/* In a host build these live in the stand-in library (libzorvik-host.so), which exports them
   to the library; in a device build they are the library's own and its version script keeps
   them inside. */
#define ZV_HOST_API __attribute__((visibility("default")))

namespace zv {

/* The real path of a logical absolute path ("/dev/ttyUSB1" -> "$ZORVIK_ROOT/dev/ttyUSB1"). */
ZV_HOST_API std::string RootPath(const char *logical);

/* Divides a duration by ZORVIK_TIME_SCALE (never below 1 ms for a non-zero duration). */
ZV_HOST_API long long ScaleMs(long long ms);
ZV_HOST_API struct timeval ScaleTimeval(const struct timeval &tv);
ZV_HOST_API int TimeScale();

/* Test hook: receives every log line (priority, tag, text without trailing line end). */
using LogCapture = void (*)(int prio, const char *tag, const char *text, void *ctx);
ZV_HOST_API void SetLogCapture(LogCapture fn, void *ctx);

/* Fuzzing hook: every line is still formatted in full (the masking and the formats run as
   always) but stays in memory instead of being written out; false writes again. */
ZV_HOST_API void KeepLogInMemory(bool on);

/* Re-reads the environment (tests change it between cases). */
ZV_HOST_API void ReloadHostEnvironment();

/* Recording of the modem's side of a session (zvril --record): the library reports every line
   it writes to a modem port or reads from one. ModemRecording() is what the library asks
   before it does any work for a recording: kModemRecordOff when nobody records (always, on a
   device), else whether the text is to be masked first. RecordModemEvent hands one event on;
   the text need not be NUL-terminated. */
enum ModemRecordMode { kModemRecordOff = 0, kModemRecordMasked = 1, kModemRecordUnmasked = 2 };
ZV_HOST_API int ModemRecording();
ZV_HOST_API void RecordModemEvent(const char *port, int event, const char *text, size_t len);

}  // namespace zv
#endif

/* What a recorded event is; the port is "control" (the AT channel) or "modem" (the MODEM port
   of the PPP data path). */
enum {
    ZV_MODEM_OPEN = 0,  /* the library opened the port (no text) */
    ZV_MODEM_CLOSE = 1, /* ... closed it (no text) */
    ZV_MODEM_CMD = 2,   /* a command line written, without its CR */
    ZV_MODEM_PDU = 3,   /* the text written after the "> " prompt, without the Ctrl-Z */
    ZV_MODEM_ANS = 4,   /* a line read while a command waited for its answer */
    ZV_MODEM_UNSOL = 5, /* a line the modem sent on its own */
};

/* Host build only (libzorvik-host.so): installs the receiver of the events, or none with a
   null fn. The receiver runs on the library's threads, some of them holding the channel's
   senders' lock, so it must only copy the event and return. zvril finds it with dlsym. */
#ifdef __cplusplus
extern "C" {
#endif
typedef void (*ZvModemRecorder)(const char *port, int event, const char *text, size_t len, void *ctx);
__attribute__((visibility("default"))) void zorvik_set_modem_recorder(ZvModemRecorder fn, void *ctx, int unmasked);
#ifdef __cplusplus
}
#endif

#endif
