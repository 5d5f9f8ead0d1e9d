// zv-modemsim: serves a simulated modem on a pseudo-terminal until killed.

#include <modemsim/modemsim.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

const char kUsage[] =
    "Usage: zv-modemsim [options]\n"
    "Serves a simulated modem control port on a pseudo-terminal and prints the slave's path\n"
    "(\"/dev/pts/N\") on the first line of standard output. Runs until SIGINT or SIGTERM.\n"
    "SIGUSR1 unplugs the modem and plugs it in again on a new pty; the new path is printed.\n"
    "\n"
    "Options:\n"
    "  --type TYPE     module type: wcdma (default), tdscdma, cdma, cdma-nocard\n"
    "  --echo          power on with command echo (ATE1); default is echo off\n"
    "  --script FILE   apply the directives in FILE after plugging (see docs/modemsim.md)\n"
    "  --link PATH     keep a symbolic link PATH pointing at the current slave\n"
    "  --trace         print the traffic on standard error\n"
    "  --help          print this text\n";

std::string Printable(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Points link at target atomically, so a reader never finds the link missing.
bool UpdateLink(const std::string &link, const std::string &target) {
    const std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool PlugAndAnnounce(modemsim::Modem &modem, const std::string &link) {
    if (!modem.Plug()) {
        std::fprintf(stderr, "zv-modemsim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    const std::string path = modem.SlavePath();
    if (!link.empty() && !UpdateLink(link, path)) {
        std::fprintf(stderr, "zv-modemsim: cannot link %s to %s: %s\n", link.c_str(), path.c_str(),
                     std::strerror(errno));
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    modemsim::ModuleType type = modemsim::ModuleType::kWcdma;
    bool echo = false;
    bool trace = false;
    std::string script_path;
    std::string link;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--type" && has_value) {
            if (!modemsim::ParseModuleType(argv[++i], &type)) {
                std::fprintf(stderr, "zv-modemsim: unknown module type \"%s\"\n", argv[i]);
                return 2;
            }
        } else if (arg == "--echo") {
            echo = true;
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--script" && has_value) {
            script_path = argv[++i];
        } else if (arg == "--link" && has_value) {
            link = argv[++i];
        } else {
            std::fprintf(stderr, "zv-modemsim: bad argument \"%s\"\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }

    std::string script;
    if (!script_path.empty()) {
        std::ifstream in(script_path);
        if (!in) {
            std::fprintf(stderr, "zv-modemsim: cannot read %s\n", script_path.c_str());
            return 2;
        }
        std::ostringstream text;
        text << in.rdbuf();
        script = text.str();
    }

    // Signals are taken synchronously by this thread; the modem's thread must not receive them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    modemsim::Modem modem(type);
    modem.SetEchoAtPowerOn(echo);
    if (trace) {
        modem.SetTrace([](char direction, const std::string &bytes) {
            std::fprintf(stderr, "%c %s\n", direction, Printable(bytes).c_str());
        });
    }
    if (!PlugAndAnnounce(modem, link)) return 1;
    std::string error;
    if (!modemsim::LoadScript(modem, script, &error)) {
        std::fprintf(stderr, "zv-modemsim: %s: %s\n", script_path.c_str(), error.c_str());
        return 2;
    }

    for (;;) {
        int received = 0;
        if (sigwait(&signals, &received) != 0) continue;
        if (received != SIGUSR1) break;
        modem.Unplug();
        if (!PlugAndAnnounce(modem, link)) return 1;
    }
    modem.Unplug();
    if (!link.empty()) unlink(link.c_str());
    return 0;
}
