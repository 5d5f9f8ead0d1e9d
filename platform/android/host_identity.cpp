// Device build: the host environment helpers are the identity. No environment variable is
// read; paths are the real ones and time runs at its own pace.
#include <zorvik/host.h>

namespace zv {
std::string RootPath(const char *logical) { return logical ? logical : ""; }
long long ScaleMs(long long ms) { return ms; }
struct timeval ScaleTimeval(const struct timeval &tv) { return tv; }
int TimeScale() { return 1; }
void SetLogCapture(LogCapture, void *) {}
void KeepLogInMemory(bool) {}
void ReloadHostEnvironment() {}
// Nobody records on a device: the library never builds a recorded line there.
int ModemRecording() { return kModemRecordOff; }
void RecordModemEvent(const char *, int, const char *, size_t) {}
}  // namespace zv
