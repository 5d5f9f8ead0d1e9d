// zv-modemsim: serves a simulated modem until stopped, on a bare pseudo-terminal or behind a
// fake root that the library's port search finds (--root), with a control socket for people
// and scripts.

#include <modemsim/control.h>
#include <modemsim/data_port.h>
#include <modemsim/modemsim.h>
#include <modemsim/replay.h>
#include <modemsim/sysfs_tree.h>

#include "atchannel/at_internal.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

namespace {

const char kUsage[] =
    "usage: zv-modemsim [--profile wcdma|tdscdma|cdma|cdma-nv] [--sim ready|pin|puk|absent]\n"
    "                   [--root DIR [--ecm]] [--control PATH] [options]\n"
    "Serves a simulated modem until SIGINT or SIGTERM. Prints the pseudo-terminal's path (\"/dev/pts/N\")\n"
    "on the first line of standard output, and a new line with the new path after each replug.\n"
    "\n"
    "  --profile P     the module: wcdma (default), tdscdma, cdma (with R-UIM card), cdma-nv (no card,\n"
    "                  subscription in the modem's memory; also accepted as cdma-nocard); --type is the same\n"
    "  --sim S         the card at power-on: ready (default), pin, puk, absent\n"
    "  --root DIR      create a fake sysfs root in DIR whose ports lead to the simulator, for the library\n"
    "                  and zvril (ZORVIK_ROOT=DIR, or zvril --root DIR); removed again on exit\n"
    "  --ecm           with --root: also show the modem's USB network interface (usb0)\n"
    "  --control PATH  serve the control socket at PATH (default with --root: DIR/modemsim.sock)\n"
    "  --echo          power on with command echo (ATE1); default is echo off\n"
    "  --script FILE   apply the directives in FILE after plugging (see docs/modemsim.md)\n"
    "  --link PATH     keep a symbolic link PATH pointing at the current pseudo-terminal\n"
    "  --trace         print the traffic on standard error\n"
    "  --replay FILE   play the modem recorded in the transcript FILE (zvril --record): its module, SIM\n"
    "                  and ports come from the file, each command gets the answer recorded for it\n"
    "  --help          print this text\n"
    "SIGUSR1 unplugs and plugs in again, as the control socket's \"unplug\" and \"plug\" do.\n"
    "Exit codes: 0 stopped by a signal or \"quit\"; 1 cannot serve (pty, root, socket); 2 bad command line;\n"
    "3 (--replay) stopped, but commands came that the recording has no answer for (listed on standard error).\n";

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

// The simulator as the host sees it: the pty, and with --root the sysfs tree and /dev nodes.
// Plug and unplug come from the signal thread and the control socket alike.
class Device {
  public:
    Device(modemsim::Modem &modem, const std::string &root, bool ecm, std::string link)
        : modem_(modem), ecm_(ecm), link_(std::move(link)) {
        if (!root.empty()) tree_ = std::make_unique<modemsim::SysfsTree>(root);
    }

    bool Plug(std::string *error) {
        std::lock_guard<std::mutex> lock(mu_);
        if (modem_.IsPlugged()) return true;
        if (!modem_.Plug()) {
            *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        const std::string path = modem_.SlavePath();
        if (tree_) {
            // The control and MODEM ports lead to the simulator; the diagnostics node is a
            // placeholder, as in the tests.
            modemsim::ModemLayout layout;
            const std::string data = modem_.data_port().SlavePath();
            layout.usb.push_back({0, "01", "ttyUSB0", data.empty() ? "/dev/null" : data, true});
            layout.usb.push_back({1, "02", "ttyUSB1", path, true});
            layout.usb.push_back({2, "03", "ttyUSB2", "/dev/null", true});
            if (ecm_) layout.net.push_back({"usb0", 4, ""});
            if (!tree_->Create(layout, error)) {
                modem_.Unplug();
                return false;
            }
        }
        if (!link_.empty() && !UpdateLink(link_, path))
            std::fprintf(stderr, "zv-modemsim: cannot link %s to %s: %s\n", link_.c_str(), path.c_str(),
                         std::strerror(errno));
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        return true;
    }

    void Unplug() {
        std::lock_guard<std::mutex> lock(mu_);
        if (tree_) tree_->Remove();
        modem_.Unplug();
    }

    void Finish() {
        Unplug();
        if (!link_.empty()) unlink(link_.c_str());
    }

  private:
    std::mutex mu_;
    modemsim::Modem &modem_;
    std::unique_ptr<modemsim::SysfsTree> tree_;
    bool ecm_;
    std::string link_;
};

}  // namespace

int main(int argc, char **argv) {
    modemsim::ModuleType type = modemsim::ModuleType::kWcdma;
    modemsim::SimState sim = modemsim::SimState::kReady;
    bool simGiven = false, echo = false, trace = false, ecm = false;
    std::string script_path, link, root, control_path, replay_path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char *what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zv-modemsim: %s needs a value: %s\n", arg.c_str(), what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--profile" || arg == "--type") {
            std::string p = value("wcdma|tdscdma|cdma|cdma-nv");
            if (p == "cdma-nv") p = "cdma-nocard";
            if (!modemsim::ParseModuleType(p, &type)) {
                std::fprintf(stderr, "zv-modemsim: unknown profile \"%s\"; use wcdma, tdscdma, cdma or cdma-nv\n",
                             argv[i]);
                return 2;
            }
        } else if (arg == "--sim") {
            std::string s = value("ready|pin|puk|absent");
            simGiven = true;
            if (s == "ready") sim = modemsim::SimState::kReady;
            else if (s == "pin") sim = modemsim::SimState::kPin;
            else if (s == "puk") sim = modemsim::SimState::kPuk;
            else if (s == "absent") sim = modemsim::SimState::kAbsent;
            else {
                std::fprintf(stderr, "zv-modemsim: unknown SIM state \"%s\"; use ready, pin, puk or absent\n", s.c_str());
                return 2;
            }
        } else if (arg == "--root") {
            root = value("a directory for the fake root");
        } else if (arg == "--control") {
            control_path = value("a path for the control socket");
        } else if (arg == "--ecm") {
            ecm = true;
        } else if (arg == "--echo") {
            echo = true;
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--script") {
            script_path = value("a script file");
        } else if (arg == "--replay") {
            replay_path = value("a transcript file");
        } else if (arg == "--link") {
            link = value("a path for the link");
        } else {
            std::fprintf(stderr, "zv-modemsim: unknown option \"%s\"; see zv-modemsim --help\n", arg.c_str());
            return 2;
        }
    }
    // A recorded modem is the module, card and ports the transcript says.
    std::unique_ptr<modemsim::Replayer> replayer;
    if (!replay_path.empty()) {
        std::ifstream in(replay_path, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
        modemsim::Transcript transcript;
        std::string why;
        if (size < 0) {
            why = "cannot read it";
        } else if (size > static_cast<std::streamoff>(modemsim::kMaxTranscriptBytes)) {
            why = "larger than " + std::to_string(modemsim::kMaxTranscriptBytes) + " bytes";
        } else {
            std::string text(static_cast<std::size_t>(size), '\0');
            in.seekg(0);
            if (!in.read(text.data(), size)) why = "cannot read it";
            else modemsim::ParseTranscript(text, &transcript, &why);
        }
        std::string profile = transcript.module == "cdma-nv" ? "cdma-nocard" : transcript.module;
        if (why.empty() && !modemsim::ParseModuleType(profile, &type)) why = "unknown module \"" + transcript.module + "\"";
        const std::string &s = transcript.sim;
        if (why.empty()) {
            simGiven = true;
            if (s == "ready") sim = modemsim::SimState::kReady;
            else if (s == "pin") sim = modemsim::SimState::kPin;
            else if (s == "puk") sim = modemsim::SimState::kPuk;
            else if (s == "absent") sim = modemsim::SimState::kAbsent;
            else why = "unknown SIM state \"" + s + "\"";
        }
        if (!why.empty()) {
            std::fprintf(stderr, "zv-modemsim: %s: %s\n", replay_path.c_str(), why.c_str());
            return 2;
        }
        ecm = ecm || (transcript.ecm && !root.empty());
        // The library masks its log line by line; the recording holds the masked text.
        replayer = std::make_unique<modemsim::Replayer>(
            std::move(transcript), [](const std::string &line) { return zv::at::MaskedCopy(line.c_str()); });
    }
    if (ecm && root.empty()) {
        std::fprintf(stderr, "zv-modemsim: --ecm shows the interface in the fake root; give --root DIR too\n");
        return 2;
    }
    if (!root.empty()) {
        if (mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "zv-modemsim: cannot create %s: %s\n", root.c_str(), std::strerror(errno));
            return 1;
        }
        if (control_path.empty()) control_path = root + "/modemsim.sock";
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

    // Signals are taken synchronously by this thread; the modem's and the control socket's
    // threads must not receive them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    modemsim::Modem modem(type);
    modem.SetEchoAtPowerOn(echo);
    if (simGiven) modem.Update([sim](modemsim::ModelState &m) { m.sim = sim; });
    if (trace) {
        modem.SetTrace([](char direction, const std::string &bytes) {
            std::fprintf(stderr, "%c %s\n", direction, Printable(bytes).c_str());
        });
    }
    if (replayer) replayer->Attach(modem);
    Device device(modem, root, ecm, link);
    std::string error;
    if (!device.Plug(&error)) {
        std::fprintf(stderr, "zv-modemsim: %s\n", error.c_str());
        return 1;
    }
    if (replayer) replayer->Start();
    if (!modemsim::LoadScript(modem, script, &error)) {
        std::fprintf(stderr, "zv-modemsim: %s: %s\n", script_path.c_str(), error.c_str());
        device.Finish();
        return 2;
    }

    modemsim::Control control;
    control.AddModemActions(modem);
    control.AddNetworkActions(modem);
    control.Add("unplug", "unplug                pull the modem out (ports and sysfs entries go away)",
                [&device](const std::string &, bool *) {
                    device.Unplug();
                    return std::string();
                });
    control.Add("plug", "plug                  plug the modem in again (a new pty)",
                [&device](const std::string &, bool *failed) {
                    std::string e;
                    if (!device.Plug(&e)) *failed = true;
                    return e;
                });
    if (replayer) {
        control.Add("unexpected", "unexpected            the commands the replayed recording has no answer for",
                    [&replayer](const std::string &, bool *) {
                        std::size_t total = 0;
                        std::string out;
                        for (const std::string &c : replayer->Unexpected(&total)) out += (out.empty() ? "" : " | ") + c;
                        return std::to_string(total) + (out.empty() ? "" : ": " + out);
                    });
    }
    const pthread_t main_thread = pthread_self();
    control.Add("quit", "quit                  stop the simulator", [main_thread](const std::string &, bool *) {
        pthread_kill(main_thread, SIGTERM);
        return std::string();
    });
    if (!control_path.empty() && !control.Serve(control_path, &error)) {
        std::fprintf(stderr, "zv-modemsim: %s\n", error.c_str());
        device.Finish();
        return 1;
    }
    if (!control_path.empty()) {
        std::fprintf(stderr, "zv-modemsim: control socket %s (send \"help\")\n", control_path.c_str());
    }

    for (;;) {
        int received = 0;
        if (sigwait(&signals, &received) != 0) continue;
        if (received != SIGUSR1) break;
        device.Unplug();
        if (!device.Plug(&error)) {
            std::fprintf(stderr, "zv-modemsim: %s\n", error.c_str());
            control.Stop();
            return 1;
        }
    }
    control.Stop();
    int code = 0;
    if (replayer) {
        replayer->Stop();
        std::size_t total = 0;
        for (const std::string &c : replayer->Unexpected(&total))
            std::fprintf(stderr, "zv-modemsim: not in the recording: %s\n", c.c_str());
        if (total > 0) {
            std::fprintf(stderr, "zv-modemsim: %zu command(s) not in the recording, answered ERROR\n", total);
            code = 3;
        }
    }
    device.Finish();
    return code;
}
