// MainLoop owns the modem connection: find the ports, open the control port, choose NDIS or
// PPP, put the tty in raw mode, open the AT channel, schedule the start-up sequence, then
// sleep until a channel hook reports the modem gone, and start over.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include <zorvik/host.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_internal.h"
#include "atchannel/atchannel.h"
#include "core/core_internal.h"
#include "core/main_loop.h"
#include "ports/ports.h"
#include "ps/ps.h"
#include "ps/ps_internal.h"

namespace {

// Pause before searching again when the ports were found but the control port is unusable:
// without it a port that exists but cannot be opened would spin a core.
constexpr long long kRetryPauseMs = 1000;

const char *kRoles[] = {"MODEM", "PCUI", "DIAG"};

struct StateLock {
    StateLock() { pthread_mutex_lock(&s_state_mutex); }
    ~StateLock() { pthread_mutex_unlock(&s_state_mutex); }
    StateLock(const StateLock &) = delete;
    StateLock &operator=(const StateLock &) = delete;
};

// Searches until the control port is found and opened; returns its descriptor.
int FindAndOpenControlPort() {
    for (;;) {
        RLOGD("_____Searching Ports..._____");
        char **ports = nullptr;
        if (FindPortsbyPath(kRoles, 3, &ports) != 1 || !ports) {
            sleepMsec(kRetryPauseMs);
            continue;
        }
        {
            // Embedders read the port names; they may take s_state_mutex to read them whole.
            StateLock lock;
            zv::CopyBounded(SERIAL_PORT_MODEM_KEYNAME, sizeof SERIAL_PORT_MODEM_KEYNAME, ports[0]);
            zv::CopyBounded(SERIAL_PORT_PCUI_KEYNAME, sizeof SERIAL_PORT_PCUI_KEYNAME, ports[1]);
            zv::CopyBounded(SERIAL_PORT_DIAG_KEYNAME, sizeof SERIAL_PORT_DIAG_KEYNAME, ports[2]);
        }
        for (int i = 0; i < 3; ++i) free(ports[i]);
        free(ports);
        RLOGD("modem port is %s\n", SERIAL_PORT_MODEM_KEYNAME);
        RLOGD("pcui port is %s\n", SERIAL_PORT_PCUI_KEYNAME);
        RLOGD("diag port is %s\n", SERIAL_PORT_DIAG_KEYNAME);

        if (!strstr(SERIAL_PORT_PCUI_KEYNAME, "tty")) {
            sleepMsec(kRetryPauseMs);
            continue;
        }
        std::atomic_ref<const char *>(s_device_path).store(SERIAL_PORT_PCUI_KEYNAME, std::memory_order_relaxed);
        // Non-blocking: neither the open (a tty without CLOCAL waits for carrier) nor any
        // later write may hang on a port that does not drain.
        int fd = open(zv::RootPath(SERIAL_PORT_PCUI_KEYNAME).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) return fd;
        sleepMsec(kRetryPauseMs);
    }
}

// NDIS when the modem shows a USB network interface of ours, else PPP on the MODEM port.
void ChooseDataPath() {
    RLOGD("_____Enum ECM ports..._____");
    bool found = false;
    if (DIR *dir = opendir(zv::RootPath("/sys/class/net").c_str())) {
        while (struct dirent *e = readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            std::string path = zv::RootPath(zv::Format("/sys/class/net/%s/device/modalias", e->d_name).c_str());
            FILE *f = fopen(path.c_str(), "re");
            if (!f) continue;
            char line[1024];
            if (!fgets(line, sizeof line, f)) {
                RLOGD("GetECMPort fgets FAIL!!");
            } else if (strstr(line, "v5E1A")) {
                StateLock lock;
                zv::CopyBounded(PORT_ECM_KEYNAME, sizeof PORT_ECM_KEYNAME, e->d_name);
                RLOGD("ECM port is %s\n", PORT_ECM_KEYNAME);
                found = true;
            }
            fclose(f);
        }
        closedir(dir);
    }
    if (found) {
        zv::Store(zv_ndis_or_modem, 1);
        RLOGD("_____Open ECM ports success(NDIS)_____");
    } else {
        zv::Store(zv_ndis_or_modem, 2);
        StateLock lock;
        zv::CopyBounded(PORT_ECM_KEYNAME, sizeof PORT_ECM_KEYNAME, "ppp0");
        RLOGD("ECM port is %s\n", PORT_ECM_KEYNAME);
        RLOGD("_____Opening MODEM ports(MODEM)..._____");
    }
}

// Raw 8-bit mode; false when the tty cannot be read at all (the modem went away meanwhile).
bool ConfigureTty(int fd) {
    struct termios ios;
    if (tcgetattr(fd, &ios) < 0) {
        if (errno != EIO) RLOGD("%s: tcgetattr: (line %d)", "MainLoop", 1244);
        return false;
    }
    ios.c_iflag = IGNBRK | IGNPAR;
    ios.c_oflag = 0;
    ios.c_lflag = 0;
    // No hardware flow control: a modem that never raises CTS would hold every write.
    ios.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CREAD | PARENB | HUPCL | CLOCAL | CRTSCTS);
    ios.c_cflag |= CS8 | CREAD | CLOCAL;
    ios.c_cc[VMIN] = 1;
    ios.c_cc[VTIME] = 0;
    const char *path = std::atomic_ref<const char *>(s_device_path).load(std::memory_order_relaxed);
    int when = (path && strstr(path, "ACM")) ? TCSANOW : TCSAFLUSH;
    int r = tcsetattr(fd, when, &ios);
    int saved = errno;
    RLOGD("tcsetattr tmp=%d,error is %s", r, r < 0 ? strerror(saved) : "Success");
    // A failure other than EIO is only logged: the port may still work with its old settings,
    // and if it does not, the reader's end of file brings the loop back here.
    if (r < 0 && saved != EIO) RLOGD("tcsetattr: (line %d)", 1267);
    tcflush(fd, TCIOFLUSH);
    return true;
}

void WaitForClose() {
    if (pthread_mutex_lock(&s_state_mutex) != 0) RLOGD("WaitForClose pthread_mutex_lock FAIL!!");
    while (zv::Load(s_closed) == 0) {
        if (pthread_cond_wait(&s_state_cond, &s_state_mutex) != 0) RLOGD("WaitForClose pthread_cond_wait FAIL!!");
    }
    if (pthread_mutex_unlock(&s_state_mutex) != 0) RLOGD("WaitForClose pthread_mutex_unlock FAIL!!");
}

void *MainLoopBody(void *) {
    at_set_on_reader_closed(OnATChannelClosed);
    at_set_on_timeout(ATTimeout);
    for (;;) {
        zv::Store(bCRSM, 1);
        zv::Store(bSPN, 1);
        zv::Store(bims_cdmamsg, 0);
        zv::Store(zv_arp_support, 1);

        int fd = FindAndOpenControlPort();
        RLOGD("____Open success____");
        ChooseDataPath();
        if (!ConfigureTty(fd)) {
            // The port vanished between open and configuration: search again after a pause
            // instead of leaving the radio unavailable for the life of the process.
            close(fd);
            sleepMsec(kRetryPauseMs);
            continue;
        }

        zv::Store(s_closed, 0);
        int err = at_open(fd, ZvRilUnsolicited);
        if (err < 0) {
            // A passing shortage (no descriptor for the wake-up, no thread): like the other
            // start-up failures, search again after a pause.
            RLOGD("AT error %d on at_open\n", err);
            close(fd);
            sleepMsec(kRetryPauseMs);
            continue;
        }
        zv::ScheduleCallback(InitializeCallback, nullptr, 0, 0);
        sleepMsec(1000);
        WaitForClose();
        RLOGD("Re-opening after close");
    }
    return nullptr;
}

// Losing the channel, to its end or to a time-out, loses the modem and the data call with it:
// an interface left configured (its default route above all) would fail the first setup once
// the modem is back.
void ChannelLost() {
    zv::Store(s_closed, 1);
    zv::ps::DropDataCall();
    SetRadioState(RADIO_STATE_UNAVAILABLE);
}

}  // namespace

namespace zv {
const ThreadBody MainLoopThreadBody = MainLoopBody;
}

extern "C" {

void *MainLoop(void *arg) { return MainLoopBody(arg); }

void OnATChannelClosed(void) {
    RLOGD("AT channel closed\n");
    at_close();
    ChannelLost();
}

void ATTimeout(void) {
    // The hook runs after the timed-out exchange let go of the channel; if the channel was
    // reopened meanwhile, the new one is healthy and stays.
    if (!zv::at::CloseTimedOutChannel()) {
        RLOGD("AT channel timeout on a channel already replaced\n");
        return;
    }
    RLOGD("AT channel timeout; closing\n");
    ChannelLost();
}

}  // extern "C"
