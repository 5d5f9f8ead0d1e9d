// Which optional long-lived threads this build starts from RIL_Init.
#include "core_internal.h"
#include "sms/sms.h"

namespace zv {
const ThreadBody StoredSmsThreadBody = ZvRilReadSmsThenDeleteSms;
}  // namespace zv
