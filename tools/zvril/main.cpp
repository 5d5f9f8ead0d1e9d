// zvril: loads libzorvik-ril the way the radio daemon does and shows what it does.
//
//   zvril [--library PATH] [--release X.Y] [--] [RIL_Init options...]
//
// It prints the library's version and function table, then walks the radio-state gate:
// for each radio state it issues a few typical requests and prints how each was answered.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "support/fake_daemon.h"

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

void Usage() {
    printf(
        "usage: zvril [--library PATH] [--release X.Y] [-- RIL_Init options]\n"
        "Loads the library as the radio daemon does, prints its version and walks the\n"
        "radio-state gate. The log goes to $ZORVIK_LOG_FILE (default: zvril.log here).\n");
}

}  // namespace

int main(int argc, char **argv) {
    std::string library, release = "4.4.4";
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
        } else if (a == "--") {
            for (++i; i < argc; ++i) rilArgs.push_back(argv[i]);
        } else {
            rilArgs.push_back(a);
        }
    }

    // A private property store so the release can be chosen, and a log file to keep the
    // terminal readable.
    char tmpl[] = "/tmp/zvril-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        return 1;
    }
    std::string dir = tmpl;
    std::string props = dir + "/props";
    mkdir(props.c_str(), 0755);
    std::ofstream(props + "/ro.build.version.release") << release << "\n";
    setenv("ZORVIK_PROPERTY_DIR", props.c_str(), 1);
    if (!getenv("ZORVIK_LOG_FILE")) setenv("ZORVIK_LOG_FILE", "zvril.log", 1);

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
    printf("radio state     : %d\n", f->onStateRequest());

    auto setState = reinterpret_cast<void (*)(RIL_RadioState)>(daemon.Symbol("SetRadioState"));
    auto requestName = reinterpret_cast<const char *(*)(int)>(daemon.Symbol("requestToString"));
    const int requests[] = {RIL_REQUEST_GET_SIM_STATUS, RIL_REQUEST_RADIO_POWER,      RIL_REQUEST_GET_IMEI,
                            RIL_REQUEST_DIAL,           RIL_REQUEST_SIGNAL_STRENGTH,  RIL_REQUEST_SCREEN_STATE,
                            RIL_REQUEST_SET_TTY_MODE,   120};
    printf("\nradio-state gate (request -> answer):\n");
    for (int state : {RADIO_STATE_UNAVAILABLE, RADIO_STATE_OFF, RADIO_STATE_SIM_READY}) {
        if (state != RADIO_STATE_UNAVAILABLE && setState) setState(static_cast<RIL_RadioState>(state));
        printf("  state %d:\n", f->onStateRequest());
        for (int r : requests) {
            RIL_Token t = daemon.Request(r);
            zvtest::Completion c;
            if (daemon.WaitForCompletion(t, 5s, &c))
                printf("    %-24s -> %s\n", requestName ? requestName(r) : "?", ErrorName(c.error));
            else
                printf("    %-24s -> (no answer)\n", requestName ? requestName(r) : "?");
        }
    }
    if (setState) setState(RADIO_STATE_OFF);
    for (const auto &v : daemon.Violations()) printf("contract violation: %s\n", v.c_str());
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {
    }
    fflush(stdout);
    // The library's threads live until the process ends, as under the daemon.
    _exit(daemon.Violations().empty() ? 0 : 1);
}
