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
#include <mutex>

#include <zvlog.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>
#include <zvthread.h>

#include "core_internal.h"

namespace {

const char kUsage[] = "zorvik-ril requires: -p <tcp port> or -d /dev/tty_device\n";

// One table per interface version: a repeated RIL_Init hands out another table rather than
// rewriting the one the daemon may be reading.
const RIL_RadioFunctions kCallbacksV4 = {
    4, onRequest, currentState, onSupports, onCancel, getVersion,
};
const RIL_RadioFunctions kCallbacksV6 = {
    6, onRequest, currentState, onSupports, onCancel, getVersion,
};

// RIL_Init runs its option parsing (getopt keeps global state) and its one-time start-up under
// this lock, so two concurrent calls cannot interleave.
std::mutex g_initMutex;
bool g_threadsStarted = false;  // guarded by g_initMutex

void StoreDevicePath(const char *path) {
    std::atomic_ref<const char *>(s_device_path).store(path, std::memory_order_relaxed);
}

bool StartDetached(void *(*body)(void *)) {
    const int err = zv::StartDetachedThread(body, nullptr);
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

int ClassifyGeneration(const char *sdk, const char *release) {
    const int level = LeadingNumber(sdk);
    if (level > 0) return level >= 26 ? ZV_GENERATION_HIDL : ZV_GENERATION_SOCKET;
    return LeadingNumber(release) >= 8 ? ZV_GENERATION_HIDL : ZV_GENERATION_SOCKET;
}

}  // namespace zv

extern "C" {

const RIL_RadioFunctions *RIL_Init(const struct RIL_Env *env, int argc, char **argv) {
    std::lock_guard<std::mutex> initLock(g_initMutex);
    std::atomic_ref<const RIL_Env *>(s_rilenv).store(env, std::memory_order_release);
    StoreDevicePath("/dev/ttyUSB2");

    // The daemon may have used getopt itself; start from the first argument.
    optind = 1;
    opterr = 0;
    int opt;
    while (argv && argc > 0 && (opt = getopt(argc, argv, "p:d:s:u:c:")) != -1) {
        switch (opt) {
            case 'p':
                zv::Store(s_port, atoi(optarg));
                if (zv::Load(s_port) == 0) {
                    fputs(kUsage, stderr);
                    return nullptr;
                }
                RLOGD("Opening loopback port %d\n", s_port);
                break;
            case 'd':
                StoreDevicePath(optarg);
                break;
            case 's':
                StoreDevicePath(optarg);
                zv::Store(s_device_socket, 1);
                break;
            case 'u':
                std::atomic_ref<const char *>(s_modem_path).store(optarg, std::memory_order_relaxed);
                break;
            case 'c':
                // The daemon appends its client id ("-c 0"); one library serves one slot.
                break;
            default:
                fputs(kUsage, stderr);
                break;
        }
    }

    // s_readdelmutex and s_zvril_readsms_mutex are initialised statically: initialising them
    // here again would break them for a thread that holds or waits for them.

    if (del_sms_control[0] < 0 && socketpair(AF_LOCAL, SOCK_STREAM | SOCK_CLOEXEC, 0, del_sms_control) < 0) {
        RLOGD("could not create thread control socket pair: %s", strerror(errno));
        return nullptr;
    }

    // The daemon calls RIL_Init once per process. Should it call again, the threads already
    // running keep serving: a second main loop would fight the first over the modem.
    if (!g_threadsStarted) {
        if (zv::StoredSmsThreadBody && !StartDetached(zv::StoredSmsThreadBody)) {
            perror("pthread_create");
            return nullptr;
        }
        RLOGD("--->>>new a pthread here<<<---");
        StartDetached(zv::WorkerThreadBody);
        if (zv::MainLoopThreadBody) StartDetached(zv::MainLoopThreadBody);
        if (zv::SarThreadBody) StartDetached(zv::SarThreadBody);
        g_threadsStarted = true;
    }

    property_get("ro.build.version.release", Android_version, "");
    RLOGD("RIL_Init Android version: %s", Android_version);
    zv::PlatformGeneration gen = zv::ClassifyRelease(Android_version);
    RLOGD("%s", gen.logLine);
    zv::Store(ANDROID_VERSION, gen.androidVersion);
    char sdk[PROPERTY_VALUE_MAX];
    property_get("ro.build.version.sdk", sdk, "");
    const int generation = zv::ClassifyGeneration(sdk, Android_version);
    zv::Store(PLATFORM_GENERATION, generation);
    RLOGD("RIL_Init platform generation: %s", generation == ZV_GENERATION_HIDL ? "HAL daemon (Android 8-13)"
                                                                                : "socket daemon (Android 2.3-7.x)");
    // The HAL daemon refuses any table older than version 6.
    if (generation == ZV_GENERATION_HIDL) return &kCallbacksV6;
    return gen.tableVersion == 4 ? &kCallbacksV4 : &kCallbacksV6;
}

int onSupports(int /*request*/) {
    RLOGD("onSupports is called, but not implemented yet\n");
    return 1;
}

void onCancel(RIL_Token /*t*/) { RLOGD("onCancels is called, but not implemented yet\n"); }

const char *getVersion(void) { return "RLX-2.5.003.32-demo"; }

}  // extern "C"
