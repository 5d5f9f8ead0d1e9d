/* The exported functions whose C types an embedder relies on, checked as C against the
   interface header: a changed parameter or result type fails the build. */
#include <zvril.h>

#define ZV_HAS_TYPE(f, type) _Generic(&(f), type: 1, default: 0)

_Static_assert(ZV_HAS_TYPE(ZvRilSmsRequest, int (*)(int, void *, size_t, RIL_Token)), "ZvRilSmsRequest");
_Static_assert(ZV_HAS_TYPE(HandleSMSMessage, int (*)(RilMessage *, ATResponse **)), "HandleSMSMessage");
_Static_assert(ZV_HAS_TYPE(UnsolicitedResponseNewSms, int (*)(RilMessage *, ATResponse **)),
               "UnsolicitedResponseNewSms");
