// Which optional long-lived threads this build starts from RIL_Init.
#include "core_internal.h"
#include "sar/sar.h"

namespace zv {
const ThreadBody StoredSmsThreadBody = nullptr;  // stored-SMS read-and-delete thread: not built in yet
// SAR state follower: ends at once on a device without the SAR state file.
const ThreadBody SarThreadBody = sar::LibrarySarThread;
}  // namespace zv
