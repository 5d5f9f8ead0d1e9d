// The modem connection thread, the start-up sequence and the channel hooks.
#ifndef ZORVIK_CORE_MAIN_LOOP_H
#define ZORVIK_CORE_MAIN_LOOP_H

#include <zvril.h>

ZV_API void *MainLoop(void *arg);
ZV_API void InitializeCallback(void *param);
ZV_API void OnATChannelClosed(void);
ZV_API void ATTimeout(void);

#endif
