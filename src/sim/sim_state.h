// SIM state queries shared by the SIM and device services.
#ifndef ZORVIK_SIM_SIM_STATE_H
#define ZORVIK_SIM_SIM_STATE_H

#include <zvril.h>

/* "^CARDLOCK?": lock status and remaining unlock attempts; 0 on success, -1 on failure. */
ZV_API int GetSIMLockStatus(int *status, int *times);

#endif
