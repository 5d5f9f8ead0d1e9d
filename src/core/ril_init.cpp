// The library's entry point: keeps the daemon's callbacks, parses the options, starts the
// long-lived threads, classifies the platform generation and returns the function table.
#include <cutils/properties.h>
#include <errno.h>
#include <getopt.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

#include <zvlog.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "core_internal.h"

namespace {

const char kUsage[] = "zorvik-ril requires: -p <tcp port> or -d /dev/tty_device\n";

RIL_RadioFunctions s_callbacks = {
    12, onRequest, currentState, onSupports, onCancel, getVersion,
};

bool StartDetached(void *(*body)(void *)) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t tid;
    int err = pthread_create(&tid, &attr, body, nullptr);
    pthread_attr_destroy(&attr);
    if (err != 0) errno = err;
    return err == 0;
}

int LeadingNumber(const char *s) {
    if (!s || *s < '0' || *s > '9') return -1;
    return atoi(s);
}

}  // namespace

namespace zv {

PlatformGeneration ClassifyRelease(const char *release) {
    int major = LeadingNumber(release);
    if (strncmp(release, "2.3", 3) == 0) return {1, 4, "RIL_Init Android2.3"};
    if (major == 3) return {2, 4, "RIL_Init Android3.x"};
    if (strncmp(release, "4.0", 3) == 0) return {3, 6, "RIL_Init Android4.0"};
    if (major == 4) return {4, 6, "RIL_Init Android4.x"};
    if (major == 5) return {5, 6, "RIL_Init Android5.x"};
    return {6, 6, "RIL_Init Android6.x"};
}

}  // namespace zv

extern "C" {

const RIL_RadioFunctions *RIL_Init(const struct RIL_Env *env, int argc, char **argv) {
    std::atomic_ref<const RIL_Env *>(s_rilenv).store(env, std::memory_order_release);
    s_device_path = "/dev/ttyUSB2";

    // The daemon may have used getopt itself; start from the first argument.
    optind = 1;
    opterr = 0;
    int opt;
    while (argv && argc > 0 && (opt = getopt(argc, argv, "p:d:s:u:")) != -1) {
        switch (opt) {
            case 'p':
                s_port = atoi(optarg);
                if (s_port == 0) {
                    fputs(kUsage, stderr);
                    return nullptr;
                }
                RLOGD("Opening loopback port %d\n", s_port);
                break;
            case 'd':
                s_device_path = optarg;
                break;
            case 's':
                s_device_path = optarg;
                s_device_socket = 1;
                break;
            case 'u':
                s_modem_path = optarg;
                break;
            default:
                fputs(kUsage, stderr);
                break;
        }
    }

    pthread_mutex_init(&s_readdelmutex, nullptr);
    pthread_mutex_init(&s_zvril_readsms_mutex, nullptr);

    if (del_sms_control[0] < 0 && socketpair(AF_LOCAL, SOCK_STREAM | SOCK_CLOEXEC, 0, del_sms_control) < 0) {
        RLOGD("could not create thread control socket pair: %s", strerror(errno));
        return nullptr;
    }

    // The daemon calls RIL_Init once per process. Should it call again, the threads already
    // running keep serving: a second main loop would fight the first over the modem.
    static std::atomic<bool> threadsStarted{false};
    if (!threadsStarted.load()) {
        if (zv::StoredSmsThreadBody && !StartDetached(zv::StoredSmsThreadBody)) {
            perror("pthread_create");
            return nullptr;
        }
        RLOGD("--->>>new a pthread here<<<---");
        StartDetached(zv::WorkerThreadBody);
        if (zv::MainLoopThreadBody) StartDetached(zv::MainLoopThreadBody);
        if (zv::SarThreadBody) StartDetached(zv::SarThreadBody);
        threadsStarted.store(true);
    }

    property_get("ro.build.version.release", Android_version, "");
    RLOGD("RIL_Init Android version: %s", Android_version);
    zv::PlatformGeneration gen = zv::ClassifyRelease(Android_version);
    RLOGD("%s", gen.logLine);
    zv::Store(ANDROID_VERSION, gen.androidVersion);
    s_callbacks.version = gen.tableVersion;
    return &s_callbacks;
}

int onSupports(int /*request*/) {
    RLOGD("onSupports is called, but not implemented yet\n");
    return 1;
}

void onCancel(RIL_Token /*t*/) { RLOGD("onCancels is called, but not implemented yet\n"); }

const char *getVersion(void) { return "RLX-2.5.003.32-demo"; }

}  // extern "C"
