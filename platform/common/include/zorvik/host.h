/*
 * The few things that differ between a host build and a device build: where absolute paths
 * really live (ZORVIK_ROOT), how fast time runs (ZORVIK_TIME_SCALE), where the log goes
 * (ZORVIK_LOG_FILE) and where properties are kept (ZORVIK_PROPERTY_DIR). The environment
 * is read here and nowhere else; on a device every helper is the identity.
 */
#ifndef ZORVIK_PLATFORM_HOST_H
#define ZORVIK_PLATFORM_HOST_H

#include <stddef.h>
#include <sys/time.h>

#ifdef __cplusplus
#include <string>

namespace zv {

/* The real path of a logical absolute path ("/dev/ttyUSB1" -> "$ZORVIK_ROOT/dev/ttyUSB1"). */
std::string RootPath(const char *logical);

/* Divides a duration by ZORVIK_TIME_SCALE (never below 1 ms for a non-zero duration). */
long long ScaleMs(long long ms);
struct timeval ScaleTimeval(const struct timeval &tv);
int TimeScale();

/* Test hook: receives every log line (priority, tag, text without trailing line end). */
using LogCapture = void (*)(int prio, const char *tag, const char *text, void *ctx);
void SetLogCapture(LogCapture fn, void *ctx);

/* Re-reads the environment (tests change it between cases). */
void ReloadHostEnvironment();

}  // namespace zv
#endif

#endif
