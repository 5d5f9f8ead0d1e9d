// The worker thread: sleeps on s_cmd_cond until another component sets g_csd or g_pspackage
// (under s_cmd_mutex) and signals it, then does the one piece of modem work that must not run
// on the AT reader.
#include <zvlog.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"
#include "core_internal.h"

namespace zv {

// Set by the PPP data path when it is built in: dials "ATA" on the MODEM port and waits for
// the negotiated address. Null until then, and the request is only logged.
void (*PppAnswerHook)() = nullptr;

// The wait has a predicate (a signal that comes while the thread is busy is not lost, a
// spurious wake-up does nothing), and s_cmd_mutex is let go before any modem work: whoever
// signals takes that mutex, and may be the AT reader, which must stay free to deliver the
// answer the work waits for. A packet call is handled once per time g_pspackage becomes 1;
// the data path clears it when the call is up.
void *WorkerThreadBody(void *) {
    bool psHandled = false;
    for (;;) {
        if (pthread_mutex_lock(&s_cmd_mutex) != 0)
            RLOGD("SendATCMDWhenNecessaryForReadThread pthread_mutex_lock FAIL!!");
        RLOGD("--->>>here wait for signal from reader thread by unsolicited cmd report !");
        for (;;) {
            if (Load(g_pspackage) != 1) psHandled = false;
            if (Load(g_csd) == 1 || (Load(g_pspackage) == 1 && !psHandled)) break;
            if (pthread_cond_wait(&s_cmd_cond, &s_cmd_mutex) != 0)
                RLOGD("SendATCMDWhenNecessaryForReadThread pthread_cond_wait FAIL!!");
        }
        const bool csd = Load(g_csd) == 1;
        if (csd) Store(g_csd, 0);
        else psHandled = true;
        if (pthread_mutex_unlock(&s_cmd_mutex) != 0)
            RLOGD("SendATCMDWhenNecessaryForReadThread pthread_mutex_unlock FAIL!!");

        if (csd) {
            RLOGD("--->>>RIL don't realize CSD call, send ATH !!!");
            at_send_command("ATH", nullptr);
        } else if (void (*hook)() = PppAnswerHook) {
            hook();
        } else {
            RLOGD("SendATCMDWhenNecessaryForReadThread: no PPP data path in this build");
        }
    }
    return nullptr;
}

}  // namespace zv

ZV_API void *SendATCMDWhenNecessaryForReadThread(void *arg);
extern "C" void *SendATCMDWhenNecessaryForReadThread(void *arg) { return zv::WorkerThreadBody(arg); }
