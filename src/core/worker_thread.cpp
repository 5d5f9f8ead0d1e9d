// The worker thread: sleeps on s_cmd_cond until another component sets g_csd or g_pspackage
// and signals it, then does the one piece of modem work that must not run on the AT reader.
#include <zvlog.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "core_internal.h"

namespace zv {

// Set by the PPP data path when it is built in: dials "ATA" on the MODEM port and waits for
// the negotiated address. Null until then, and the request is only logged.
void (*PppAnswerHook)() = nullptr;

void *WorkerThreadBody(void *) {
    for (;;) {
        if (pthread_mutex_lock(&s_cmd_mutex) != 0)
            RLOGD("SendATCMDWhenNecessaryForReadThread pthread_mutex_lock FAIL!!");
        RLOGD("--->>>here wait for signal from reader thread by unsolicited cmd report !");
        if (pthread_cond_wait(&s_cmd_cond, &s_cmd_mutex) != 0)
            RLOGD("SendATCMDWhenNecessaryForReadThread pthread_cond_wait FAIL!!");
        if (Load(g_csd) == 1) {
            RLOGD("--->>>RIL don't realize CSD call, send ATH !!!");
            at_send_command("ATH", nullptr);
            Store(g_csd, 0);
        } else if (Load(g_pspackage) == 1) {
            if (PppAnswerHook) PppAnswerHook();
            else RLOGD("SendATCMDWhenNecessaryForReadThread: no PPP data path in this build");
        }
        if (pthread_mutex_unlock(&s_cmd_mutex) != 0)
            RLOGD("SendATCMDWhenNecessaryForReadThread pthread_mutex_unlock FAIL!!");
    }
    return nullptr;
}

}  // namespace zv

ZV_API void *SendATCMDWhenNecessaryForReadThread(void *arg);
extern "C" void *SendATCMDWhenNecessaryForReadThread(void *arg) { return zv::WorkerThreadBody(arg); }
