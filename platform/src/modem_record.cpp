// The receiver of the library's modem traffic for a recording. Nobody records almost always,
// so the library's question costs one relaxed load; the receiver and its context are swapped
// only while zvril sets up or ends a recording.
#include <atomic>

#include <zorvik/host.h>

namespace zv {
namespace {

std::atomic<int> g_mode{kModemRecordOff};
std::atomic<ZvModemRecorder> g_recorder{nullptr};
std::atomic<void *> g_recorderCtx{nullptr};

}  // namespace

int ModemRecording() { return g_mode.load(std::memory_order_relaxed); }

void RecordModemEvent(const char *port, int event, const char *text, size_t len) {
    ZvModemRecorder fn = g_recorder.load(std::memory_order_acquire);
    if (fn) fn(port, event, text ? text : "", text ? len : 0, g_recorderCtx.load(std::memory_order_acquire));
}

}  // namespace zv

extern "C" void zorvik_set_modem_recorder(ZvModemRecorder fn, void *ctx, int unmasked) {
    // The context is in place before the receiver that uses it, and the receiver is gone
    // before the library is told to stop asking.
    if (fn) {
        zv::g_recorderCtx.store(ctx, std::memory_order_release);
        zv::g_recorder.store(fn, std::memory_order_release);
        zv::g_mode.store(unmasked ? zv::kModemRecordUnmasked : zv::kModemRecordMasked, std::memory_order_relaxed);
    } else {
        zv::g_mode.store(zv::kModemRecordOff, std::memory_order_relaxed);
        zv::g_recorder.store(nullptr, std::memory_order_release);
    }
}
