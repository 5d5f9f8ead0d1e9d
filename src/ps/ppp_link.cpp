// The data call over PPP: the context is defined on the control port, the call dialled on the
// MODEM tty, and pppd started there. One detached thread runs pppd for the life of the call,
// another waits for ppp0's address and answers the setup request.
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include <cutils/properties.h>
#include <netutils/ifc.h>
#include <zorvik/host.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvshared.h>
#include <zvstr.h>
#include <zvthread.h>

#include "mm/mm.h"
#include "ps/ppp_internal.h"
#include "ps/ps.h"
#include "ps/ps_internal.h"

extern "C" {
char g_apn[129] = "";
char shell[1024] = "";
}

namespace zv {
extern void (*PppAnswerHook)();
}

namespace {

constexpr int kCid = 1;
constexpr int kAddressAttempts = 59;  // counted down to 0: sixty looks, one second apart
constexpr int kKillProbes = 5;
constexpr size_t kShellMax = 1022;
// ps answers at once on any device: a bound on its time and on what it may write.
constexpr long long kPsDeadlineMs = 5000;
constexpr size_t kPsOutputMax = 64 * 1024;
constexpr size_t kPsLineMax = 255;

// g_apn and the argument vector are written by the request thread and read by the two
// detached threads; the lock is only ever held for a copy.
std::mutex g_pppMutex;
std::vector<std::string> g_pppArgs;
// Counts the calls: a setup takes a new number before it kills the running pppd, and every
// pppd run another. A PPP thread or an address thread whose number is no longer the newest was
// superseded: its pppd's end is not the newer call's, and its clean-up would tear that call
// down (pppd is found by name, the hang-ups reach whatever the modem carries).
unsigned g_pppRun = 0;
// The newest run's pppd has not ended: on the PPP path that is the call.
bool g_pppRunning = false;

void SetApn(const char *apn) {
    std::lock_guard<std::mutex> lock(g_pppMutex);
    zv::CopyBounded(g_apn, sizeof g_apn, apn ? apn : "");
}

bool ApnIs(const char *apn) {
    std::lock_guard<std::mutex> lock(g_pppMutex);
    return g_apn[0] && apn && strcmp(g_apn, apn) == 0;
}

std::string ModemTty() {
    pthread_mutex_lock(&s_state_mutex);
    std::string path(SERIAL_PORT_MODEM_KEYNAME[0] ? SERIAL_PORT_MODEM_KEYNAME : "/dev/ttyUSB0");
    pthread_mutex_unlock(&s_state_mutex);
    return path;
}

void SplitInto(std::vector<std::string> &out, const char *text) {
    if (!text) return;
    std::string word;
    for (const char *p = text;; ++p) {
        if (*p == ' ' || *p == '\0') {
            if (!word.empty()) out.push_back(word);
            word.clear();
            if (!*p) break;
        } else {
            word.push_back(*p);
        }
    }
}

void AppendWords(std::vector<std::string> &out, const char *words) { SplitInto(out, words); }

// The line shown in the log and kept in `shell`: credentials are not written out.
std::string DisplayLine(const std::vector<std::string> &args) {
    std::string line;
    bool hide = false;
    for (const std::string &a : args) {
        if (!line.empty()) line.push_back(' ');
        line += hide ? "***" : a;
        hide = a == "user" || a == "password";
    }
    if (line.size() > kShellMax) line.resize(kShellMax);
    return line;
}

bool Superseded(unsigned run) {
    std::lock_guard<std::mutex> lock(g_pppMutex);
    return run != g_pppRun;
}

// A new number for a setup about to replace whatever call there is: from here on the old
// call's threads leave the modem alone, and no call is up until the new pppd runs.
void Supersede() {
    std::lock_guard<std::mutex> lock(g_pppMutex);
    ++g_pppRun;
    g_pppRunning = false;
}

// Starts the PPP thread of a new run; the run's number, *err the thread call's result.
unsigned StartPppRun(int *err) {
    unsigned run;
    {
        std::lock_guard<std::mutex> lock(g_pppMutex);
        run = ++g_pppRun;
        // Cleared before pppd can end: an end before the address thread starts is not lost.
        zv::Store(terminal_connect, 0);
        g_pppRunning = true;
    }
    *err = zv::StartDetachedThread(ModemRunPPPScript, reinterpret_cast<void *>(static_cast<uintptr_t>(run)));
    if (*err != 0) {
        std::lock_guard<std::mutex> lock(g_pppMutex);
        if (run == g_pppRun) g_pppRunning = false;
    }
    return run;
}

}  // namespace

extern "C" void *ModemRunPPPScript(void *param) {
    const unsigned run = static_cast<unsigned>(reinterpret_cast<uintptr_t>(param));
    std::vector<std::string> args;
    {
        std::lock_guard<std::mutex> lock(g_pppMutex);
        args = g_pppArgs;
    }
    std::vector<const char *> argv;
    for (const std::string &a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    int ret = ril_exec_argv(argv.data());
    RLOGD("ModemRunPPPScript return ret %d!\n", ret);
    {
        std::lock_guard<std::mutex> lock(g_pppMutex);
        if (run == g_pppRun) {
            zv::Store(terminal_connect, 1);
            g_apn[0] = '\0';
            g_pppRunning = false;
        }
    }
    zv::ReportUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED);
    return nullptr;
}

namespace {

// What an address thread waits for: its request and its pppd's run.
struct AddressWait {
    RIL_Token token;
    unsigned run;
};

void *AddressThread(void *param) {
    const AddressWait wait = *static_cast<AddressWait *>(param);
    delete static_cast<AddressWait *>(param);
    const RIL_Token t = wait.token;
    ifc_init();
    bool superseded = false;
    for (int count = kAddressAttempts;; --count) {
        // A newer setup took over (it killed this call's pppd): what ppp0 holds is not ours.
        if ((superseded = Superseded(wait.run))) break;
        if (GetAddressInfobyAdapter() == 1) {
            ifc_close();
            if (zv::Load(g_pspackage) == 1) {
                zv::ReportUnsolicited(RIL_UNSOL_DATA_CALL_LIST_CHANGED);
                zv::Store(g_pspackage, 0);
            } else if (t) {
                SetupDataCallResponse(t);
            }
            return nullptr;
        }
        RLOGD("count is %d\n", count);
        sleepMsec(1000);
        if (count == 0) {
            RLOGD("ppp get address timeout!\n");
            break;
        }
        if (zv::Load(terminal_connect) == 1) break;
    }
    ifc_close();
    if (superseded || Superseded(wait.run)) {
        // Only the own request is answered: the tear-down belongs to the call now dialling.
        RLOGD("ppp address wait superseded by a newer setup");
        if (t) zv::ps::FailSetup(t, RIL_E_GENERIC_FAILURE, PDP_FAIL_ERROR_UNSPECIFIED);
        return nullptr;
    }
    ModemDeactivatePdpLink();
    SetApn("");
    if (t) zv::ps::FailSetupWithModemCause(t);
    return nullptr;
}

int StartAddressWait(RIL_Token t, unsigned run) {
    auto *wait = new AddressWait{t, run};
    int err = zv::StartDetachedThread(AddressThread, wait);
    if (err != 0) delete wait;
    return err;
}

// The worker thread's answer to a network-initiated packet call.
void AnswerNetworkCall() {
    if (dial_at_modem("ATA") == -4) {
        RLOGD("--->>>Read CONNECT from modem port TIMEOUT!!!");
        return;
    }
    RLOGD("--->>>go to setup data connection after receiving the signal--");
    if (ModemNegotiatedAddress(nullptr, 1, "", "", "") <= 0)
        RLOGD("SendATCMDWhenNecessaryForReadThread ModemNegotiatedAddress FAIL");
}

[[maybe_unused]] const bool g_hooked = [] {
    zv::PppAnswerHook = AnswerNetworkCall;
    return true;
}();

// The first line of the command's output that holds the name gives the process: the number
// after the line's first blank. Lines are taken as a 256-byte line buffer would take them.
// -2 when ps did not answer in time.
int FindPid(const std::string &command, const char *name) {
    RLOGD("ModemGetProcessId: %s", command.c_str());
    std::string out;
    if (!zv::ps::ReadCommandOutput(command.c_str(), kPsDeadlineMs, kPsOutputMax, &out)) return -2;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        end = end == std::string::npos ? out.size() : end + 1;
        end = std::min(end, at + kPsLineMax);
        const std::string line = out.substr(at, end - at);
        at = end;
        if (strstr(line.c_str(), name)) {
            const char *blank = strchr(line.c_str(), ' ');
            int pid = blank ? atoi(blank) : 0;
            return pid == 0 ? -1 : pid;  // matched, but no number: stop looking, report 0 below
        }
    }
    return 0;
}

}  // namespace

namespace zv::ps {

bool PppCallUp() {
    std::lock_guard<std::mutex> lock(g_pppMutex);
    return g_pppRunning;
}

bool SafeProcessName(const char *name) {
    if (!name || !*name || strlen(name) > 64) return false;
    for (const char *p = name; *p; ++p)
        if (!((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '_' ||
              *p == '-' || *p == '.'))
            return false;
    return true;
}

std::vector<std::string> PppdArguments(int moduleType, const std::string &tty, const char *options, const char *user,
                                       const char *password) {
    std::vector<std::string> a;
    const bool cdma = moduleType == 0;
    const bool credentials = user && *user && password && *password;
    a.push_back("/system/bin/pppd");
    a.push_back(tty);
    if (!credentials) {
        AppendWords(a, "115200 mru 1280 nodetach debug dump defaultroute usepeerdns novj");
        AppendWords(a, options);
        AppendWords(a, "novjccomp noipdefault ipcp-accept-local ipcp-accept-remote connect-delay 5000 "
                       "ipcp-max-failure 60 ipcp-max-configure 60");
        if (!cdma) a.push_back("-am");
    } else if (!cdma) {
        AppendWords(a, "115200 mru 1280 nodetach debug dump");
        AppendWords(a, options);
        AppendWords(a, "defaultroute usepeerdns novj user");
        a.push_back(user);
        a.push_back("password");
        a.push_back(password);
        AppendWords(a, "novjccomp noipdefault ipcp-accept-local ipcp-accept-remote connect-delay 5000 "
                       "ipcp-max-failure 60 ipcp-max-configure 60 -am");
    } else {
        AppendWords(a, "115200 crtscts debug dump");
        AppendWords(a, options);
        AppendWords(a, "nodetach modem noipdefault defaultroute usepeerdns user");
        a.push_back(user);
        a.push_back("password");
        a.push_back(password);
    }
    return a;
}

}  // namespace zv::ps

extern "C" {

int ObtainNetworkRegistation(RilMessage *message, ATResponse **responses) {
    if (!message || !message->data || !responses) return 0;
    SysinfoState *last = nullptr;
    for (ATResponse **r = responses; *r; ++r) {
        ATResponse *one = *r;
        if (!one->p_intermediates || !one->p_intermediates->line) continue;
        SysinfoState *parsed = nullptr;
        const char *line = one->p_intermediates->line;
        if (strstr(line, "^SYSINFOEX:")) parsed = GetSubmodeBySysinfoex(message, one);
        else if (strstr(line, "^SYSINFO:")) parsed = GetSubmodeBySysinfo(message, one);
        if (parsed) {
            free(last);
            last = parsed;
        }
    }
    if (!last) {
        RLOGD("GetDataRegistrationState malloc FAIL");
        return 0;
    }
    *static_cast<int *>(message->data) = last->psAttached;
    free(last);
    return 1;
}

int NetworkRegistation(void) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^SYSINFOEX", "^SYSINFOEX:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) {
        raw = nullptr;
        err = at_send_command_singleline("AT^SYSINFO", "^SYSINFO:", &raw);
        response.reset(raw);
        if (!zv::Accepted(err, response.get())) return -1;
    }
    int attached = 0;
    ATResponse *list[] = {response.get(), nullptr};
    zv::MessagePtr message = zv::ObtainMessage(21, nullptr, &attached);
    if (message) HandlePSMessage(message.get(), list);
    return attached;
}

int ModemGetProcessId(const char *name) {
    if (!zv::ps::SafeProcessName(name)) return 0;
    // On a device the shell's ps filters by name. A host test root may bring its own ps with
    // that behaviour under ZORVIK_ROOT; the host's own ps does not filter.
    std::string ps = "ps";
    const char *root = getenv("ZORVIK_ROOT");
    if (root && *root) {
        ps = zv::RootPath("/system/bin/ps");
        if (access(ps.c_str(), X_OK) != 0) {
            RLOGD("pppd process is not found.\n");
            return 0;
        }
    }
    // The error output goes elsewhere by the runner, not by the command line.
    int pid = FindPid(zv::Format("%s %s", ps.c_str(), name), name);
    if (pid == 0) {
        RLOGD("the pppd path is appointed.\n");
        pid = FindPid(zv::Format("%s /system/bin/%s", ps.c_str(), name), name);
    }
    if (pid <= 0) {
        RLOGD("pppd process is not found.\n");
        return 0;
    }
    RLOGD("--- PPPD PID = %d ---", pid);
    return pid;
}

void ModemKillPPPD(void) {
    int pid = ModemGetProcessId("pppd");
    if (pid <= 1) return;
    kill(pid, SIGKILL);
    for (int i = 0; i < kKillProbes; ++i) {
        if (kill(pid, 0) < 0 && errno == ESRCH) break;
        sleepMsec(1000);
    }
}

void ModemShutDownModemPort(void) {
    switch (zv::Load(g_module_type)) {
        case 1: dial_at_modem("+++"); break;
        case 0: dial_at_modem("ATH"); break;
        default: at_send_command("ATH", nullptr); break;
    }
}

void ModemDeactivatePdpLink(void) {
    ModemKillPPPD();
    if (zv::Load(g_module_type) == 1) at_send_command("AT+CGACT=0, 1", nullptr);
    at_send_command("ATH", nullptr);
    ModemShutDownModemPort();
    property_set("net.ppp0.dns1", "");
}

int ModemStartPPPThread(void) {
    int err = 0;
    StartPppRun(&err);
    return err;
}

// Waits for the newest run's address.
int ModemStartAddressThread(RIL_Token t) {
    unsigned run;
    {
        std::lock_guard<std::mutex> lock(g_pppMutex);
        run = g_pppRun;
    }
    return StartAddressWait(t, run);
}

int ModemNegotiatedAddress(RIL_Token t, int cid, const char *user, const char *password, const char *options) {
    if (cid <= 0) {
        RLOGD("%s: invalid cid:%d\n", "ModemNegotiatedAddress", cid);
        return -1;
    }
    const int type = zv::Load(g_module_type);
    const bool credentials = user && *user && password && *password;
    if (credentials && (!zv::ps::SafeField(user, true) || !zv::ps::SafeField(password, true))) {
        RLOGD("%s: refused credentials that cannot be a pppd argument", "ModemNegotiatedAddress");
        return -1;
    }
    if (!credentials) RLOGD("user & passwd is NULL,pppd");
    else RLOGD(type == 0 ? "CDMA pppd" : "WCDMA pppd");
    std::vector<std::string> args = zv::ps::PppdArguments(type, ModemTty(), options, user, password);
    {
        std::lock_guard<std::mutex> lock(g_pppMutex);
        g_pppArgs = args;
        zv::CopyBounded(shell, sizeof shell, DisplayLine(args).c_str());
    }
    int err = 0;
    const unsigned run = StartPppRun(&err);
    if (err != 0) {
        RLOGD("%s: ModemStartPPPThread() failed: %s", "ModemNegotiatedAddress", strerror(err));
        return -1;
    }
    err = StartAddressWait(t, run);
    if (err != 0) {
        RLOGD("%s: ModemStartAddressThread() failed: %s", "ModemNegotiatedAddress", strerror(err));
        return -1;
    }
    return 1;
}

int ModemActivatePdpLink(NdisCallInfo *record, const char *options) {
    RLOGD("--->>>ModemActivatePdpLink<<<---");
    if (!record) return -1;
    if (ApnIs(record->apn) && GetAddressInfobyAdapter() == 1) {
        SetupDataCallResponse(record->token);
        return 1;
    }
    const int type = zv::Load(g_module_type);
    if (type != 0 && NetworkRegistation() <= 0) {
        RLOGD("can not setup data call\n");
        return -1;
    }
    // Nothing the framework gave may end a quoted field: refused before any command.
    if (!zv::ps::SafeField(record->apn, false) || !zv::ps::SafeField(record->pdptype, false) ||
        !zv::ps::SafeField(record->user, true) || !zv::ps::SafeField(record->password, true)) {
        RLOGD("ModemActivatePdpLink: refused a field that cannot go into the command");
        SetApn("");
        return -1;
    }
    Supersede();
    ModemKillPPPD();
    at_send_command(type == 1 ? "AT+CGACT=0, 1" : "ATH", nullptr);
    RLOGD("ModemActivatePdpLink : Step 1");

    std::string define =
        type != 0 ? zv::Format("AT+CGDCONT=%s,\"%s\",\"%s\"", "1", record->pdptype, record->apn)
                  : zv::Format("AT^PPPCFG = \"%s\", \"%s\"", record->user, record->password);
    ATResponse *raw = nullptr;
    int err = at_send_command(define.c_str(), &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) {
        RLOGW("Fail to define the PDP context1: %s", "1");
        SetApn("");
        return -1;
    }

    RLOGD("ModemActivatePdpLink : Step 2");
    bool ok = true;
    if (type == 2) {
        raw = nullptr;
        err = at_send_command("ATD*99#", &raw);
        response.reset(raw);
        if (zv::Accepted(err, response.get())) sleepMsec(3000);
        else ok = false;
    } else {
        int r = type == 0 ? dial_at_modem("atd#777")
                          : dial_at_modem(zv::Load(g_provider) == 1 ? "ATD*99#" : "AT+CGDATA=\"PPP\",1");
        if (r == -4) {
            RLOGD("Read CONNECT or NO CARRIER from modem port TIMEOUT!!!");
            ok = false;
        } else if (r != 0) {
            RLOGD("Fail to activate the PDP context: %s", "1");
            ok = false;
        }
    }
    if (ok) {
        RLOGD("ModemActivatePdpLink : Step 3");
        // The APN is noted before the threads start: a pppd that ends at once clears it again.
        SetApn(record->apn);
        if (ModemNegotiatedAddress(record->token, kCid, record->user, record->password, options) == 1) return 1;
    }
    SetApn("");
    ModemDeactivatePdpLink();
    return -1;
}

}  // extern "C"
