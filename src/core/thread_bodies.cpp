// Which optional long-lived threads this build starts from RIL_Init.
#include "core_internal.h"
#include "sar/sar.h"
#include "sms/sms.h"

namespace zv {
const ThreadBody StoredSmsThreadBody = ZvRilReadSmsThenDeleteSms;
// SAR state follower: ends at once on a device without the SAR state file.
const ThreadBody SarThreadBody = sar::LibrarySarThread;
}  // namespace zv
