// Which optional long-lived threads this build starts from RIL_Init.
#include "core_internal.h"

namespace zv {
const ThreadBody StoredSmsThreadBody = nullptr;  // stored-SMS read-and-delete thread: not built in yet
}  // namespace zv
