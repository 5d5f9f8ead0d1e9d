// zvril: runs libzorvik-ril the way the radio daemon does and drives it from the command line,
// against the built-in simulated modem, a simulator started with zv-modemsim, or a real modem.
// See `zvril --help` and docs/zvril.md.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "session.h"
#include "support/ps_lab.h"
#include "words.h"

namespace {

using zvril::Error;

const char kOptions[] =
    "Where the modem is (default: the built-in simulated modem behind a private fake root):\n"
    "  --module TYPE       the built-in simulator's module: wcdma (default), tdscdma, cdma, cdma-nocard\n"
    "  --sim STATE         the built-in simulator's SIM: ready (default), pin, puk, absent\n"
    "  --ecm               the built-in simulator also shows its USB network interface (NDIS data path)\n"
    "  --root DIR          use the simulator that `zv-modemsim --root DIR` serves\n"
    "  --device            use the real modem attached to this host (real sysfs and /dev; needs\n"
    "                      read and write access to its ttyUSB ports)\n"
    "How the library runs:\n"
    "  --library PATH      the library to load (default: the one built beside zvril)\n"
    "  --release X.Y       the platform release the library is told (default 4.4.4); from 2.3 on;\n"
    "                      8.0 to 13 also set the release's SDK level (11: 30), so the library\n"
    "                      serves the HAL daemon of 8-13\n"
    "  --sdk N             the SDK level the library is told (9 to 33; 26 and above: the HAL\n"
    "                      daemon); alone it also sets the release (30: 11)\n"
    "  --startup-timeout S seconds to wait for the modem's start-up (default 60)\n"
    "  -- ARGS             RIL_Init options for the library, e.g. -- -d /dev/ttyUSB2\n"
    "What zvril shows:\n"
    "  --verbose, -v       also the raw values behind each line\n"
    "  --trace FILE        write the masked AT trace and the request/response journal to FILE\n"
    "                      (one event a line: seconds<TAB>kind<TAB>text; kinds req resp unsol AT> AT<)\n"
    "  --record FILE       write the transcript of the modem's side of the session to FILE: every\n"
    "                      command and line on the control and data ports, masked as the log is\n"
    "  --record-unmasked   with --record: PINs, numbers and messages in clear (the file says so)\n"
    "  --log FILE          the library's log (default: zvril.log beside the build's bin/, written\n"
    "                      fresh each run; $ZORVIK_LOG_FILE, when set, is appended to instead)\n"
    "  --help, -h          this text; `zvril COMMAND --help` for one command\n";

const char kExitCodes[] =
    "Exit codes: 0 done; 1 the library or the modem answered with an error; 2 bad command line;\n"
    "3 not available in this build of the library; 4 no modem (not found, or its start-up did not\n"
    "finish); 5 zvril could not set up (library, simulator, trace or log file); 6 the library broke\n"
    "the radio daemon's contract.\n";

void Usage(FILE *out) {
    std::fprintf(out, "usage: zvril [OPTIONS] [COMMAND [ARGS]]\n"
                      "Runs libzorvik-ril as the platform's radio daemon does and drives it.\n\nCommands:\n");
    for (const auto &c : zvril::Commands()) {
        std::string head = std::string(c.name) + (*c.usage ? " " : "") + c.usage;
        if (head.size() > 30)  // its own line, the summary under it in the column
            std::fprintf(out, "  %s\n  %-30s %s\n", head.c_str(), "", c.summary);
        else
            std::fprintf(out, "  %-30s %s\n", head.c_str(), c.summary);
    }
    std::fprintf(out, "Without a command zvril runs the demo.\n\n%s\n%s", kOptions, kExitCodes);
}

void CommandHelp(const zvril::Command &c) {
    std::printf("usage: zvril [OPTIONS] %s%s%s\n%s.\n%s\nOptions: see zvril --help.\n%s", c.name, *c.usage ? " " : "",
                c.usage, c.summary, c.help, kExitCodes);
}

// A release the library classifies: digits and dots, from 2.3 on.
bool ValidRelease(const std::string &r) {
    if (r.empty() || r.size() > 16 || r.front() == '.' || r.back() == '.') return false;
    for (size_t i = 0; i < r.size(); ++i) {
        if (r[i] == '.' ? r[i - 1] == '.' : (r[i] < '0' || r[i] > '9')) return false;
    }
    int major = std::atoi(r.c_str());
    int minor = r.find('.') == std::string::npos ? 0 : std::atoi(r.c_str() + r.find('.') + 1);
    return major > 2 || (major == 2 && minor == 3);
}

volatile sig_atomic_t g_labChild = 0;
volatile sig_atomic_t g_labSignal = 0;  // a signal that came before the inner run started

void PassSignalOn(int sig) {
    if (g_labChild > 0)
        kill(static_cast<pid_t>(g_labChild), sig);
    else
        g_labSignal = sig;
}

// Runs this very command line again inside the network laboratory (private network
// namespaces, usb0 one end of a veth pair, a DHCP server on the other end), so the built-in
// simulator's data call configures a real interface without touching the host's network.
// Returns the inner run's exit code, or -1 with *why when the laboratory cannot be built here.
int RunInNetworkLab(int argc, char **argv, std::string *why) {
    const char *tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/zvril-net-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        *why = "cannot create a temporary directory for the simulated network; set TMPDIR to a writable directory";
        return -1;
    }
    const std::string dir = buf.data();
    // Ctrl-C and SIGTERM go on to the inner run, which ends its data call; the namespaces are
    // removed once it has gone. Caught from here on, so they are removed in any case.
    struct sigaction pass = {};
    pass.sa_handler = PassSignalOn;
    sigemptyset(&pass.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &pass, nullptr);
    int code = -1;
    {
        zvtest::NetworkLab lab;
        if (lab.Build(dir, "usb0", why, "zvril")) {
            std::vector<std::string> args = {zvtest::NetworkLab::Self()};
            for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
            std::fflush(stdout);
            code = g_labSignal ? 128 + g_labSignal : lab.RunInside(args, &g_labChild);
            if (code < 0) *why = "could not start zvril inside the simulated network (ip netns exec)";
        }
    }
    if (code < 0 && g_labSignal) code = 128 + g_labSignal;
    zvril::RemoveTree(dir);
    return code;
}

}  // namespace

int main(int argc, char **argv) {
    zvril::Options o;
    std::vector<std::string> words;
    std::vector<int> wordAt;  // where each word stands in argv
    bool help = false, moduleGiven = false, simGiven = false, ecmGiven = false, releaseGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char *what) -> const char * {
            if (i + 1 >= argc || (argv[i + 1][0] == '-' && argv[i + 1][1] == '-')) {
                Error(a + " needs a value: " + what);
                std::exit(zvril::kExitUsage);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--module") {
            o.module = value("wcdma|tdscdma|cdma|cdma-nocard");
            moduleGiven = true;
            modemsim::ModuleType type;
            if (!modemsim::ParseModuleType(o.module, &type)) {
                Error("unknown module type \"" + o.module + "\"; use wcdma, tdscdma, cdma or cdma-nocard");
                return zvril::kExitUsage;
            }
        } else if (a == "--sim") {
            o.sim = value("ready|pin|puk|absent");
            simGiven = true;
            if (o.sim != "ready" && o.sim != "pin" && o.sim != "puk" && o.sim != "absent") {
                Error("unknown SIM state \"" + o.sim + "\"; use ready, pin, puk or absent");
                return zvril::kExitUsage;
            }
        } else if (a == "--ecm") {
            o.ecm = ecmGiven = true;
        } else if (a == "--root") {
            o.root = value("the directory zv-modemsim --root serves");
            if (o.target == zvril::Target::kDevice) {
                Error("--device and --root exclude each other; give one");
                return zvril::kExitUsage;
            }
            o.target = zvril::Target::kRoot;
        } else if (a == "--device") {
            if (!o.root.empty()) {
                Error("--device and --root exclude each other; give one");
                return zvril::kExitUsage;
            }
            o.target = zvril::Target::kDevice;
        } else if (a == "--library") {
            o.library = value("the path of libzorvik-ril.so");
        } else if (a == "--release") {
            o.release = value("a platform release such as 4.4 or 5.1");
            if (!ValidRelease(o.release)) {
                Error("--release \"" + o.release +
                      "\" is not a platform release the library knows; give 2.3 or later, such as 4.4, 5.1 or 11");
                return zvril::kExitUsage;
            }
            releaseGiven = true;
        } else if (a == "--sdk") {
            const char *v = value("an SDK level such as 19 or 30");
            char *end = nullptr;
            long level = std::strtol(v, &end, 10);
            if (!*v || !end || *end || level < 9 || level > 33) {
                Error(std::string("--sdk needs an SDK level from 9 (2.3) to 33 (13), got \"") + v + "\"");
                return zvril::kExitUsage;
            }
            o.sdk = std::to_string(level);
        } else if (a == "--startup-timeout") {
            const char *v = value("seconds");
            char *end = nullptr;
            long s = std::strtol(v, &end, 10);
            if (!end || *end || s < 1 || s > 3600) {
                Error(std::string("--startup-timeout needs a number of seconds from 1 to 3600, got \"") + v + "\"");
                return zvril::kExitUsage;
            }
            o.startupSeconds = static_cast<int>(s);
        } else if (a == "--trace") {
            o.trace = value("a file to write");
        } else if (a == "--record") {
            o.record = value("a file to write");
        } else if (a == "--record-unmasked") {
            o.recordUnmasked = true;
        } else if (a == "--log") {
            o.log = value("a file to write");
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else if (a == "--") {
            for (++i; i < argc; ++i) o.rilArgs.push_back(argv[i]);
        } else if (a.size() > 2 && a[0] == '-' && a[1] == '-' && words.empty()) {
            Error("unknown option " + a + "; see zvril --help");
            return zvril::kExitUsage;
        } else {
            words.push_back(a);  // the command, its words and arguments (options of a command too)
            wordAt.push_back(i);
        }
    }
    if (o.target == zvril::Target::kRoot && o.root.empty()) o.target = zvril::Target::kBuiltIn;
    // A device carries both properties: the one not given follows from the other. Below 8 the
    // release alone is what the library has always been told.
    if (o.sdk.empty() && releaseGiven) {
        int level = zvril::SdkLevelOfRelease(o.release);
        if (level > 0) o.sdk = std::to_string(level);
    } else if (!o.sdk.empty() && !releaseGiven) {
        o.release = zvril::ReleaseOfSdkLevel(std::atoi(o.sdk.c_str()));
    }
    if (o.recordUnmasked && o.record.empty()) {
        Error("--record-unmasked goes with --record FILE; give both");
        return zvril::kExitUsage;
    }
    if (o.target != zvril::Target::kBuiltIn && (moduleGiven || simGiven || ecmGiven)) {
        Error("--module, --sim and --ecm set up the built-in simulator; with --root or --device the modem decides");
        return zvril::kExitUsage;
    }

    // The command: the longest name that matches the first words.
    const zvril::Command *command = nullptr;
    size_t used = 0;
    for (const auto &c : zvril::Commands()) {
        std::string name = c.name;
        size_t space = name.find(' ');
        size_t n = space == std::string::npos ? 1 : 2;
        if (words.size() < n) continue;
        if (n == 1 ? words[0] == name : (words[0] == name.substr(0, space) && words[1] == name.substr(space + 1))) {
            if (n > used) command = &c, used = n;
        }
    }
    if (help) {
        if (command)
            CommandHelp(*command);
        else
            Usage(stdout);
        return zvril::kExitOk;
    }
    if (words.empty()) {
        command = &zvril::Commands()[0];  // demo
    } else if (!command) {
        std::string subs;
        for (const auto &c : zvril::Commands())
            if (std::string(c.name).rfind(words[0] + " ", 0) == 0) subs += std::string(subs.empty() ? "" : ", ") + c.name;
        if (!subs.empty())
            Error(words[0] + " needs a subcommand: " + subs + "; see zvril " + words[0] + " --help");
        else
            Error("unknown command \"" + words[0] + "\"; see zvril --help for the commands");
        return zvril::kExitUsage;
    }
    zvril::Args args(words.begin() + static_cast<long>(used), words.end());
    if (static_cast<int>(args.size()) < command->minArgs || static_cast<int>(args.size()) > command->maxArgs) {
        Error(std::string(command->name) + " takes " + (*command->usage ? command->usage : "no arguments") +
              "; see zvril " + command->name + " --help");
        return zvril::kExitUsage;
    }
    // The command line for the transcript's header: the command's arguments (a PIN, a number,
    // a message) hidden unless the transcript is unmasked anyway.
    o.commandLine = "zvril";
    for (int i = 1; i < argc; ++i) {
        std::string w = argv[i];
        const auto at = std::find(wordAt.begin(), wordAt.end(), i);
        if (!o.recordUnmasked && at != wordAt.end() && at - wordAt.begin() >= static_cast<long>(used))
            w.assign(w.size(), '*');
        if (w.find_first_of(" \t'") != std::string::npos || w.empty()) w = "'" + w + "'";
        o.commandLine += " " + w;
    }
    if (o.target == zvril::Target::kDevice && std::string(command->name) == "demo") {
        Error("the demo dials and texts made-up numbers, so it runs against a simulator only; try zvril --device status");
        return zvril::kExitUsage;
    }

    // A data call on the built-in simulator needs a network interface for the library to
    // configure: as root, zvril runs again inside a network laboratory of its own.
    const std::string name = command->name;
    if (o.target == zvril::Target::kBuiltIn && (name == "demo" || name == "data up")) {
        if (zvtest::NetworkLab::Inside()) {
            o.networkLab = true;
        } else if (geteuid() != 0) {
            o.noLabWhy = "configuring the network interface and route needs root (run zvril as root)";
        } else {
            int code = RunInNetworkLab(argc, argv, &o.noLabWhy);
            if (code >= 0) return code;
        }
    }

    // Not destroyed: the library's threads keep using the daemon until the process ends.
    zvril::Session &session = *new zvril::Session(o);
    int code = command->run(session, args);  // checks its arguments, then starts the session
    code = session.Finish(code);
    if (session.started() && (command == &zvril::Commands()[0] || o.verbose)) {
        std::printf("\nlibrary log: %s (%s)\n", session.logPath().c_str(),
                    session.logFresh() ? "written fresh by this run" : "appended to, from $ZORVIK_LOG_FILE");
        if (!o.trace.empty()) std::printf("trace: %s\n", o.trace.c_str());
    }
    session.Cleanup();
    std::fflush(stdout);
    std::fflush(stderr);
    // The library's threads live until the process ends, as under the daemon.
    _exit(code);
}
