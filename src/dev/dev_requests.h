// The device requests without a name of their own in the library's interface.
#ifndef ZORVIK_DEV_DEV_REQUESTS_H
#define ZORVIK_DEV_DEV_REQUESTS_H

#include <stddef.h>

#include <zvril.h>

namespace zv::dev {

void RequestQueryFacilityLock(void *data, size_t datalen, RIL_Token t);
void RequestSetFacilityLock(void *data, size_t datalen, RIL_Token t);
void RequestCdmaSubscription(void *data, size_t datalen, RIL_Token t);
void RequestDeviceIdentity(void *data, size_t datalen, RIL_Token t);

}  // namespace zv::dev

#endif
