// zvril: runs libzorvik-ril the way the radio daemon does, against the built-in simulated
// modem, and shows what the library does.
//
//   zvril [--module wcdma|tdscdma|cdma|cdma-nocard] [--release X.Y] [--library PATH]
//         [--ecm] [--no-modem] [-- RIL_Init options]
//
// With --ecm the modem also shows its network interface and, when run as root, zvril runs
// inside a private network namespace of its own and sets up a data call over that interface.
//
// It creates a private root with a fake sysfs tree that leads the library's port search to
// the simulator, starts the library, waits for the start-up to settle, prints the module the
// library identified and the radio state it reached, then issues a few typical requests.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_daemon.h"
#include "support/modem_rig.h"

namespace {

using namespace std::chrono_literals;

const char *ErrorName(RIL_Errno e) {
    switch (e) {
        case RIL_E_SUCCESS: return "SUCCESS";
        case RIL_E_RADIO_NOT_AVAILABLE: return "RADIO_NOT_AVAILABLE";
        case RIL_E_GENERIC_FAILURE: return "GENERIC_FAILURE";
        case RIL_E_PASSWORD_INCORRECT: return "PASSWORD_INCORRECT";
        case RIL_E_REQUEST_NOT_SUPPORTED: return "REQUEST_NOT_SUPPORTED";
        default: return "OTHER";
    }
}

const char *StateName(int s) {
    static const char *const kNames[] = {"OFF",           "UNAVAILABLE",    "SIM_NOT_READY",          "SIM_LOCKED_OR_ABSENT",
                                         "SIM_READY",     "RUIM_NOT_READY", "RUIM_READY",             "RUIM_LOCKED_OR_ABSENT",
                                         "NV_NOT_READY",  "NV_READY"};
    return (s >= 0 && s <= 9) ? kNames[s] : "?";
}

// The card status record: the newer layout from platform generation 2 on, else the older one.
std::string DescribeCardStatus(const std::vector<uint8_t> &raw, int androidVersion) {
    static const char *const kCard[] = {"ABSENT", "PRESENT", "ERROR"};
    static const char *const kApp[] = {"UNKNOWN", "DETECTED", "PIN", "PUK", "SUBSCRIPTION_PERSO", "READY"};
    static const char *const kType[] = {"UNKNOWN", "SIM", "USIM", "RUIM", "CSIM", "ISIM"};
    int card, apps;
    RIL_AppStatus first{};
    if (androidVersion >= 2 && raw.size() == sizeof(RIL_CardStatus_v6)) {
        RIL_CardStatus_v6 s;
        memcpy(&s, raw.data(), sizeof s);
        card = s.card_state, apps = s.num_applications, first = s.applications[0];
    } else if (raw.size() == sizeof(RIL_CardStatus_v5)) {
        RIL_CardStatus_v5 s;
        memcpy(&s, raw.data(), sizeof s);
        card = s.card_state, apps = s.num_applications, first = s.applications[0];
    } else {
        return "(unexpected record size " + std::to_string(raw.size()) + ")";
    }
    std::string out = std::string("card ") + (card >= 0 && card <= 2 ? kCard[card] : "?");
    if (apps > 0) {
        int st = first.app_state, ty = first.app_type;
        out += std::string(", application ") + (ty >= 0 && ty <= 5 ? kType[ty] : "?") + " " +
               (st >= 0 && st <= 5 ? kApp[st] : "?");
    }
    return out;
}

void Usage() {
    printf(
        "usage: zvril [--module wcdma|tdscdma|cdma|cdma-nocard] [--release X.Y] [--library PATH]\n"
        "             [--ecm] [--no-modem] [-- RIL_Init options]\n"
        "Runs the library as the radio daemon does against the simulated modem, prints the\n"
        "module it identified, the radio state it reached and the answers to a few requests.\n"
        "The library's log goes to $ZORVIK_LOG_FILE (default: zvril.log in this directory).\n");
}

template <typename T>
T *Sym(zvtest::FakeDaemon &d, const char *name) {
    return static_cast<T *>(d.Symbol(name));
}

// --ecm as root: run again inside a fresh network namespace where "usb0" (one end of a veth
// pair) stands for the modem's interface. Returns the inner run's status, or -1 when zvril
// cannot (then *why says why) or is already inside.
int RunInsideNetworkNamespace(int argc, char **argv, std::string *why) {
    if (getenv("ZVRIL_NETNS")) return -1;
    if (geteuid() != 0) {
        *why = "needs root for a private network namespace";
        return -1;
    }
    const std::string ns = "zvril-" + std::to_string(getpid());
    if (system(("ip netns add " + ns + " && ip -n " + ns + " link add usb0 type veth peer name modem0 && ip -n " + ns +
                " link set modem0 up && ip -n " + ns + " link set lo up")
                   .c_str()) != 0) {
        *why = "could not create a network namespace with ip";
        if (system(("ip netns delete " + ns + " 2>/dev/null").c_str()) != 0) {
        }
        return -1;
    }
    std::string cmd = "ZVRIL_NETNS=1 ip netns exec " + ns;
    for (int i = 0; i < argc; ++i) cmd += " '" + std::string(argv[i]) + "'";
    fflush(stdout);
    int status = system(cmd.c_str());
    if (system(("ip netns delete " + ns).c_str()) != 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char **argv) {
    std::string library, release = "4.4.4", module = "wcdma";
    bool ecm = false, withModem = true;
    std::vector<std::string> rilArgs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else if (a == "--library" && i + 1 < argc) {
            library = argv[++i];
        } else if (a == "--release" && i + 1 < argc) {
            release = argv[++i];
        } else if (a == "--module" && i + 1 < argc) {
            module = argv[++i];
        } else if (a == "--ecm") {
            ecm = true;
        } else if (a == "--no-modem") {
            withModem = false;
        } else if (a == "--") {
            for (++i; i < argc; ++i) rilArgs.push_back(argv[i]);
        } else {
            fprintf(stderr, "zvril: unknown argument %s\n", a.c_str());
            Usage();
            return 2;
        }
    }
    modemsim::ModuleType type;
    if (!modemsim::ParseModuleType(module, &type)) {
        fprintf(stderr, "zvril: unknown module type %s\n", module.c_str());
        return 2;
    }

    std::string dataWhy;
    if (ecm && withModem) {
        int inner = RunInsideNetworkNamespace(argc, argv, &dataWhy);
        if (inner >= 0) return inner;
    }
    const bool dataCall = ecm && withModem && getenv("ZVRIL_NETNS");

    char tmpl[] = "/tmp/zvril-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        return 1;
    }
    std::string dir = tmpl, root = dir + "/root", props = dir + "/props";
    mkdir(root.c_str(), 0755);
    mkdir(props.c_str(), 0755);
    std::ofstream(props + "/ro.build.version.release") << release << "\n";
    setenv("ZORVIK_ROOT", root.c_str(), 1);
    setenv("ZORVIK_PROPERTY_DIR", props.c_str(), 1);
    if (!getenv("ZORVIK_LOG_FILE")) setenv("ZORVIK_LOG_FILE", "zvril.log", 1);

    auto rig = std::make_unique<zvtest::ModemRig>(root, type);
    if (withModem) {
        zvtest::RigOptions options;
        options.ecm = ecm;
        // Inside the namespace there is no DHCP server: the modem asks for its own addresses.
        if (dataCall) rig->modem().On("AT^NDISCAP?", {"^NDISCAP: 1,0", "OK"});
        if (!rig->PlugIn(options)) {
            fprintf(stderr, "zvril: cannot plug in the simulated modem: %s\n", rig->error().c_str());
            return 1;
        }
        printf("simulated modem : %s on %s\n", modemsim::ModuleTypeName(type), rig->modem().SlavePath().c_str());
    }

    zvtest::FakeDaemon daemon;
    if (!daemon.Load(library)) {
        fprintf(stderr, "zvril: cannot load the library: %s\n", daemon.error().c_str());
        return 1;
    }
    const RIL_RadioFunctions *f = daemon.Init(rilArgs);
    if (!f) {
        fprintf(stderr, "zvril: RIL_Init refused the options\n");
        return 1;
    }
    printf("library version : %s\n", f->getVersion());
    printf("table version   : %d (release \"%s\")\n", f->version, release.c_str());

    // Wait for the start-up to settle: a state that is neither unavailable nor "not ready"
    // (or off), unchanged for a while.
    int state = f->onStateRequest();
    if (withModem) {
        auto settled = [&] {
            int s = f->onStateRequest();
            return s != RADIO_STATE_UNAVAILABLE && s != RADIO_STATE_SIM_NOT_READY && s != RADIO_STATE_RUIM_NOT_READY &&
                   s != RADIO_STATE_NV_NOT_READY;
        };
        daemon.WaitUntil(settled, 60s);
        std::this_thread::sleep_for(300ms);
        state = f->onStateRequest();
        int mt = *Sym<int>(daemon, "g_module_type");
        static const char *const kModules[] = {"CDMA", "WCDMA", "TDSCDMA"};
        printf("ports           : PCUI %s, MODEM %s, DIAG %s\n", Sym<char>(daemon, "SERIAL_PORT_PCUI_KEYNAME"),
               Sym<char>(daemon, "SERIAL_PORT_MODEM_KEYNAME"), Sym<char>(daemon, "SERIAL_PORT_DIAG_KEYNAME"));
        printf("module          : %s (g_module_type %d, g_cdma_subtype 0x%x, g_provider %d)\n",
               (mt >= 0 && mt <= 2) ? kModules[mt] : "UNKNOWN", mt, *Sym<int>(daemon, "g_cdma_subtype"),
               *Sym<int>(daemon, "g_provider"));
        printf("data path       : %s on %s, ARP %s\n", *Sym<int>(daemon, "zv_ndis_or_modem") == 1 ? "NDIS" : "PPP",
               Sym<char>(daemon, "PORT_ECM_KEYNAME"), *Sym<int>(daemon, "zv_arp_support") == 1 ? "allowed" : "off");
    }
    printf("radio state     : %d %s\n", state, StateName(state));
    if (withModem) {
        zvtest::Completion sim;
        if (daemon.WaitForCompletion(daemon.Request(RIL_REQUEST_GET_SIM_STATUS), 60s, &sim) &&
            sim.error == RIL_E_SUCCESS)
            printf("SIM             : %s\n", DescribeCardStatus(sim.raw, *Sym<int>(daemon, "ANDROID_VERSION")).c_str());
        else
            printf("SIM             : (no card status)\n");
    }

    auto requestName = reinterpret_cast<const char *(*)(int)>(daemon.Symbol("requestToString"));
    // Registration answers: state, LAC, cell, radio technology (CDMA: 14 fields); signal: the
    // record's values (GSM/WCDMA rssi and ber first, LTE from the eighth on).
    daemon.SetResponseKind(RIL_REQUEST_SIGNAL_STRENGTH, zvtest::PayloadKind::kInts);
    const int requests[] = {RIL_REQUEST_GET_IMEI,
                            RIL_REQUEST_BASEBAND_VERSION,
                            RIL_REQUEST_GET_IMSI,
                            RIL_REQUEST_DEVICE_IDENTITY,
                            RIL_REQUEST_VOICE_REGISTRATION_STATE,
                            RIL_REQUEST_DATA_REGISTRATION_STATE,
                            RIL_REQUEST_OPERATOR,
                            RIL_REQUEST_SIGNAL_STRENGTH,
                            RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE,
                            RIL_REQUEST_SET_TTY_MODE};
    printf("\nrequests:\n");
    for (int r : requests) {
        zvtest::Completion c;
        if (daemon.WaitForCompletion(daemon.Request(r), 60s, &c)) {
            printf("  %-24s -> %s", requestName ? requestName(r) : "?", ErrorName(c.error));
            for (auto &s : c.strings) printf(" \"%s\"", s.c_str());
            for (int v : c.ints) printf(" %d", v);
            printf("\n");
        } else {
            printf("  %-24s -> (no answer)\n", requestName ? requestName(r) : "?");
        }
    }
    if (dataCall) {
        const char *setup[] = {"1", "0", "internet", "", "", "0", "IP"};
        zvtest::Completion c;
        if (daemon.WaitForCompletion(daemon.Request(RIL_REQUEST_SETUP_DATA_CALL, setup, sizeof setup), 60s, &c)) {
            printf("  %-24s -> %s", "SETUP_DATA_CALL", ErrorName(c.error));
            for (auto &s : c.strings) printf(" \"%s\"", s.c_str());
            printf("\n");
            fflush(stdout);
            if (system("ip -4 -o addr show dev usb0; ip route show default") != 0) {
            }
        } else {
            printf("  %-24s -> (no answer)\n", "SETUP_DATA_CALL");
        }
    } else if (ecm && withModem) {
        printf("  %-24s -> not tried: %s\n", "SETUP_DATA_CALL", dataWhy.c_str());
    }
    for (const auto &v : daemon.Violations()) printf("contract violation: %s\n", v.c_str());
    bool clean = daemon.Violations().empty();
    rig.reset();
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {
    }
    fflush(stdout);
    // The library's threads live until the process ends, as under the daemon.
    _exit(clean ? 0 : 1);
}
