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

}  // namespace zv
#endif

#endif
