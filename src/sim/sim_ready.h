/*
 * What the modem is told once the SIM is ready (OnSIMReady, declared in zvril.h), and the
 * check of the message store that follows it.
 */
#ifndef ZORVIK_SIM_SIM_READY_H
#define ZORVIK_SIM_SIM_READY_H

#include <zvril.h>

/* Checks whether the SIM (IsSIMFull, "SM") or memory (IsNVFull, "ME") message store is full
   and reports it; a store that does not answer is asked again, less and less often, for as
   long as the radio stays ready. */
ZV_API void IsSIMFull(void);
ZV_API void IsNVFull(void);

#ifdef __cplusplus
namespace zv::sim {

/* The longest pause between two storage checks, in seconds; the first pause is one second and
   each failure doubles it up to this. */
inline constexpr long kStorageRetryMaxSec = 60;

/* A store whose used places, less the messages just deleted, fill its total is full. */
constexpr bool StorageFull(int used, int total, int deleted) {
    return used - deleted == total;
}

}  // namespace zv::sim
#endif

#endif
