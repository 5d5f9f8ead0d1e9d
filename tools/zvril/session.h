// zvril: one run of the library as the radio daemon runs it, against the built-in simulated
// modem, a simulator started by zv-modemsim, or a real modem.
#ifndef ZORVIK_TOOLS_ZVRIL_SESSION_H
#define ZORVIK_TOOLS_ZVRIL_SESSION_H

#include <modemsim/modemsim.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record.h"
#include "support/fake_daemon.h"
#include "support/modem_rig.h"

namespace zvril {

// Exit codes, documented in --help and docs/zvril.md.
enum Exit {
    kExitOk = 0,
    kExitFailed = 1,        // the library or the modem answered with an error
    kExitUsage = 2,         // bad command line
    kExitNotAvailable = 3,  // the request is not built into this library yet
    kExitNoModem = 4,       // the modem did not come up (not found, or start-up did not finish)
    kExitSetup = 5,         // zvril could not set up: library, simulator, trace or log file
    kExitContract = 6,      // the library broke the daemon's contract (a request completed twice, ...)
};

enum class Target { kBuiltIn, kRoot, kDevice };

struct Options {
    Target target = Target::kBuiltIn;
    std::string module = "wcdma";  // built-in simulator only
    std::string sim = "ready";     // built-in simulator only: ready | pin | puk | absent
    bool ecm = false;              // built-in simulator only
    // Built-in simulator only: zvril runs inside the network laboratory (private network
    // namespaces; usb0 is one end of a veth pair, a DHCP server answers on the other end).
    bool networkLab = false;
    std::string noLabWhy;  // why a data call on the built-in simulator cannot be made here
    std::string root;              // Target::kRoot
    std::string release = "4.4.4";
    // ro.build.version.sdk, "" for none: the library decides the daemon generation from it
    // (26 and above: the HAL daemon of 8-13), and from the release only without it.
    std::string sdk;
    std::string library;
    std::string trace;
    std::string record;          // --record FILE: the transcript of the modem's side
    bool recordUnmasked = false;
    std::string commandLine;     // for the transcript's header, masked unless recordUnmasked
    std::string log;
    bool verbose = false;
    int startupSeconds = 60;
    std::vector<std::string> rilArgs;
};

// Journal lines for --trace: every line is "<seconds>\t<kind>\t<text>", kinds "req", "resp",
// "unsol", "AT>" and "AT<". The AT lines come from the library's log, so they carry its masking.
class Trace {
  public:
    ~Trace();
    bool Open(const std::string &path, const std::string &logPath, std::string *error);
    void Write(const char *kind, const std::string &text);
    void Close();

  private:
    void DrainLogLocked();
    void Poll();
    std::mutex mu_;
    FILE *out_ = nullptr;
    FILE *log_ = nullptr;
    std::string partial_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    bool stop_ = false;
    std::thread poller_;
};

class Session {
  public:
    explicit Session(Options options);
    ~Session();

    // Sets up the target, loads the library, calls RIL_Init and waits for the start-up to
    // settle. Returns kExitOk or the exit code; on failure the error line has been printed.
    // Commands call it once their arguments are checked; a second call returns the first result.
    int Start();
    bool started() const { return startResult_ == kExitOk; }

    struct Answer {
        bool answered = false;
        zvtest::Completion c;
        double seconds = 0;
    };
    Answer Call(int request, void *data = nullptr, size_t length = 0,
                std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Waits for an unsolicited response with this id at or after index from.
    bool WaitUnsolicited(int id, size_t from, std::chrono::milliseconds timeout, zvtest::Unsolicited *out);

    zvtest::FakeDaemon &daemon() { return daemon_; }
    const Options &options() const { return options_; }
    int RadioState() const;
    int Int(const char *symbol) const;           // an exported int of the library, -1 if absent
    std::string Text(const char *symbol) const;  // an exported char array of the library
    std::string RequestName(int request) const;
    double StartupSeconds() const { return startupSeconds_; }
    const std::string &logPath() const { return logPath_; }
    bool logFresh() const { return logFresh_; }
    modemsim::Modem *builtInModem() { return rig_ ? &rig_->modem() : nullptr; }
    bool IsCdma() const { return Int("g_module_type") == 0; }
    // The daemon generation the library serves (PLATFORM_GENERATION): 0 the socket daemon of
    // 2.3-7.x, 1 the HAL daemon of 8-13, -1 for a library that does not say (socket only).
    int Generation() const { return Int("PLATFORM_GENERATION"); }
    bool Hidl() const { return Generation() == 1; }
    int Finish(int code);  // contract check, trace close; returns the exit code to use
    void Cleanup();        // unplugs the built-in simulator and removes the private directory

  private:
    int StartOnce();
    bool PrepareLog();
    void RecordHeader();
    int Fail(int code, const std::string &line);

    Options options_;
    std::string dir_;  // private temporary directory (fake root, properties)
    std::string logPath_;
    bool logFresh_ = true;
    std::unique_ptr<zvtest::ModemRig> rig_;
    zvtest::FakeDaemon daemon_;
    const RIL_RadioFunctions *funcs_ = nullptr;
    Trace trace_;
    bool tracing_ = false;
    Recorder recorder_;
    void (*setRecorder_)(ZvModemRecorder, void *, int) = nullptr;
    double startupSeconds_ = 0;
    int startResult_ = -1;  // -1: not started yet
};

// Removes a directory tree zvril created under /tmp.
void RemoveTree(const std::string &path);

// The one-line error every command prints: "zvril: <what failed>; <what to do>".
void Error(const std::string &line);

}  // namespace zvril

#endif
