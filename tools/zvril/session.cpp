#include "session.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/ps_lab.h"
#include "words.h"

namespace zvril {

using namespace std::chrono_literals;

void Error(const std::string &line) {
    std::fflush(stdout);
    std::fprintf(stderr, "zvril: %s\n", line.c_str());
}

namespace {

bool IsDirectory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Identities, numbers and codes stay out of the trace file: every run of five or more digits
// keeps its first three.
std::string MaskDigits(const std::string &s) {
    std::string out = s;
    size_t i = 0;
    while (i < out.size()) {
        if (out[i] < '0' || out[i] > '9') {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < out.size() && out[j] >= '0' && out[j] <= '9') ++j;
        if (j - i >= 5)
            for (size_t k = i + 3; k < j; ++k) out[k] = '*';
        i = j;
    }
    return out;
}

std::string DefaultLogPath() {
    // Next to the build's bin/ directory when run from a build tree (build/zvril.log), else
    // in the temporary directory.
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        std::string path = exe;
        size_t slash = path.rfind('/');
        if (slash != std::string::npos) {
            std::string bin = path.substr(0, slash);
            size_t up = bin.rfind('/');
            if (up != std::string::npos && bin.substr(up + 1) == "bin") {
                std::string dir = bin.substr(0, up);
                if (access(dir.c_str(), W_OK) == 0) return dir + "/zvril.log";
            }
        }
    }
    const char *tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/zvril-" + std::to_string(getuid()) + ".log";
}

}  // namespace

// Removes a directory tree this program created, without a shell: the path comes from TMPDIR,
// and zvril runs as root for a data call. Links are removed, never followed.
void RemoveTree(const std::string &path) {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

// ---- Trace

Trace::~Trace() { Close(); }

bool Trace::Open(const std::string &path, const std::string &logPath, std::string *error) {
    out_ = std::fopen(path.c_str(), "w");
    if (!out_) {
        *error = "cannot write the trace file " + path + ": " + std::strerror(errno) + "; give --trace a writable path";
        return false;
    }
    log_ = std::fopen(logPath.c_str(), "r");
    if (log_) std::fseek(log_, 0, SEEK_END);
    std::fprintf(out_, "# zvril trace: seconds<TAB>kind<TAB>text; kinds req, resp, unsol, AT>, AT<\n");
    poller_ = std::thread([this] { Poll(); });
    return true;
}

void Trace::Poll() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_) {
        DrainLogLocked();
        lock.unlock();
        std::this_thread::sleep_for(50ms);
        lock.lock();
    }
}

// Copies the AT lines the library logged since the last call; needs mu_. Only file reads, so
// holding our own lock here blocks nobody but another trace writer.
void Trace::DrainLogLocked() {
    if (!log_ || !out_) return;
    char buf[4096];
    size_t n;
    std::clearerr(log_);
    while ((n = std::fread(buf, 1, sizeof buf, log_)) > 0) partial_.append(buf, n);
    size_t start = 0, end;
    while ((end = partial_.find('\n', start)) != std::string::npos) {
        std::string line = partial_.substr(start, end - start);
        start = end + 1;
        size_t at = line.find("): AT");
        if (at == std::string::npos) continue;
        std::string text = line.substr(at + 3);  // "AT> ..." / "AT< ..."
        if (text.size() < 3 || (text[2] != '>' && text[2] != '<')) continue;
        std::string body = text.size() > 4 ? text.substr(4) : "";
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::fprintf(out_, "%.3f\t%s\t%s\n", s, text.substr(0, 3).c_str(), Printable(body).c_str());
    }
    partial_.erase(0, start);
}

void Trace::Write(const char *kind, const std::string &text) {
    std::lock_guard<std::mutex> lock(mu_);
    if (!out_) return;
    DrainLogLocked();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(out_, "%.3f\t%s\t%s\n", s, kind, MaskDigits(text).c_str());
    std::fflush(out_);
}

void Trace::Close() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
    }
    if (poller_.joinable()) poller_.join();
    std::lock_guard<std::mutex> lock(mu_);
    DrainLogLocked();
    if (out_) std::fclose(out_);
    if (log_) std::fclose(log_);
    out_ = log_ = nullptr;
}

// ---- Session

Session::Session(Options options) : options_(std::move(options)) {}

Session::~Session() { Cleanup(); }

void Session::Cleanup() {
    rig_.reset();
    RemoveTree(dir_);
    dir_.clear();
}

int Session::Fail(int code, const std::string &line) {
    Error(line);
    return code;
}

bool Session::PrepareLog() {
    const char *env = getenv("ZORVIK_LOG_FILE");
    if (options_.log.empty() && env && *env) {
        logPath_ = env;
        logFresh_ = false;  // the caller's file: the library appends to it
        return true;
    }
    logPath_ = options_.log.empty() ? DefaultLogPath() : options_.log;
    std::ofstream truncate(logPath_, std::ios::trunc);
    if (!truncate) return false;
    setenv("ZORVIK_LOG_FILE", logPath_.c_str(), 1);
    return true;
}

int Session::Start() {
    if (startResult_ < 0) {
        startResult_ = StartOnce();
        if (startResult_ == kExitOk && setRecorder_ && options_.target != Target::kBuiltIn) RecordHeader();
    }
    return startResult_;
}

// The modem as the library found it: its family from the library's globals, the network
// interface it uses, and the card's state from the card status it reports.
void Session::RecordHeader() {
    const int type = Int("g_module_type");
    const char *module = type == 0 ? (Int("g_cdma_subtype") == 1 ? "cdma-nv" : "cdma")
                         : type == 1 ? "wcdma"
                         : type == 2 ? "tdscdma"
                                     : nullptr;
    if (module) recorder_.Header("module", module);
    recorder_.Header("ecm", Int("zv_ndis_or_modem") == 1 ? "yes" : "no");
    Answer a = Call(RIL_REQUEST_GET_SIM_STATUS, nullptr, 0, 10s);
    if (a.answered && a.c.error == RIL_E_SUCCESS) {
        const CardStatus cs = ReadCardStatus(a.c.raw, Int("ANDROID_VERSION"), IsCdma());
        const char *sim = !cs.valid                          ? nullptr
                          : cs.card == RIL_CARDSTATE_ABSENT  ? "absent"
                          : cs.appState == RIL_APPSTATE_PIN   ? "pin"
                          : cs.appState == RIL_APPSTATE_PUK   ? "puk"
                          : cs.appState == RIL_APPSTATE_READY ? "ready"
                                                              : nullptr;
        if (sim) recorder_.Header("sim", sim);
    }
    recorder_.Header("command", options_.commandLine);
    recorder_.HeaderDone();
}

int Session::StartOnce() {
    if (!options_.library.empty() && access(options_.library.c_str(), R_OK) != 0)
        return Fail(kExitSetup, "cannot read the library " + options_.library + ": " + std::strerror(errno) +
                                    "; give --library the path of a built libzorvik-ril.so");
    if (options_.target == Target::kRoot && !IsDirectory(options_.root + "/sys"))
        return Fail(kExitNoModem, "no simulated modem under " + options_.root +
                                      " (no sys/ directory); start one with: zv-modemsim --root " + options_.root);
    if (!PrepareLog())
        return Fail(kExitSetup, "cannot write the log file " + logPath_ + ": " + std::strerror(errno) +
                                    "; give --log a writable path");

    const char *tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/zvril-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        return Fail(kExitSetup, "cannot create a temporary directory in " + tmpl.substr(0, tmpl.rfind('/')) + ": " +
                                    std::strerror(errno) + "; set TMPDIR to a writable directory");
    dir_ = buf.data();
    std::string props = dir_ + "/props";
    mkdir(props.c_str(), 0755);
    std::ofstream(props + "/ro.build.version.release") << options_.release << "\n";
    if (!options_.sdk.empty()) std::ofstream(props + "/ro.build.version.sdk") << options_.sdk << "\n";
    setenv("ZORVIK_PROPERTY_DIR", props.c_str(), 1);

    switch (options_.target) {
        case Target::kBuiltIn: {
            modemsim::ModuleType type;
            modemsim::ParseModuleType(options_.module, &type);  // checked by the command line
            std::string root = dir_ + "/root";
            mkdir(root.c_str(), 0755);
            setenv("ZORVIK_ROOT", root.c_str(), 1);
            rig_ = std::make_unique<zvtest::ModemRig>(root, type);
            if (options_.sim != "ready") {
                modemsim::SimState s = options_.sim == "pin"   ? modemsim::SimState::kPin
                                       : options_.sim == "puk" ? modemsim::SimState::kPuk
                                                               : modemsim::SimState::kAbsent;
                rig_->modem().Update([s](modemsim::ModelState &m) { m.sim = s; });
            }
            zvtest::RigOptions rigOptions;
            rigOptions.ecm = options_.ecm || options_.networkLab;
            if (!rig_->PlugIn(rigOptions))
                return Fail(kExitSetup, "cannot start the simulated modem: " + rig_->error() +
                                            "; check that /dev/ptmx is usable and TMPDIR is writable");
            // The programs the library runs to configure the interface (a DHCP client whose
            // hook writes the DNS servers into the private property store, never into the
            // host's resolver configuration).
            std::string why;
            if (options_.networkLab && !zvtest::NetworkLab::InstallPrograms(root, props, &why))
                return Fail(kExitSetup, "cannot prepare the simulated network: " + why + "; check that TMPDIR is writable");
            break;
        }
        case Target::kRoot:
            setenv("ZORVIK_ROOT", options_.root.c_str(), 1);
            break;
        case Target::kDevice:
            unsetenv("ZORVIK_ROOT");
            break;
    }

    if (!options_.trace.empty()) {
        std::string error;
        if (!trace_.Open(options_.trace, logPath_, &error)) return Fail(kExitSetup, error);
        tracing_ = true;
        daemon_.SetObserver([this](const std::string &note) {
            // Completions are written by Call(); only the unsolicited responses come this way.
            if (note.rfind("unsolicited ", 0) != 0) return;
            int id = std::atoi(note.c_str() + 12);
            std::string name = UnsolicitedName(id);
            trace_.Write("unsol", (name.empty() ? "UNSOL" : name) + "\t" + std::to_string(id) + "\t" +
                                      note.substr(note.find(' ', 12) == std::string::npos ? note.size()
                                                                                           : note.find(' ', 12) + 1));
        });
    }

    if (!options_.record.empty()) {
        std::string error;
        if (!recorder_.Open(options_.record, options_.recordUnmasked, &error)) return Fail(kExitSetup, error);
    }

    if (!daemon_.Load(options_.library))
        return Fail(kExitSetup, "cannot load the library: " + daemon_.error() +
                                    "; build it (ninja -C build zorvik-ril) or give --library PATH");
    if (!options_.record.empty()) {
        // In the library's host layer, beside its log: the library reports its own traffic,
        // so the same works for a real modem, where nothing can sit between the two.
        setRecorder_ = reinterpret_cast<void (*)(ZvModemRecorder, void *, int)>(
            daemon_.Symbol("zorvik_set_modem_recorder"));
        if (!setRecorder_)
            return Fail(kExitSetup, "this build of the library cannot record a session (its host layer has no "
                                    "recorder); build the library and libzorvik-host.so from the same tree");
        // The built-in simulator's modem is known before it starts; another is described by
        // what the library finds (RecordHeader, once started).
        if (options_.target == Target::kBuiltIn) {
            recorder_.Header("module", options_.module == "cdma-nocard" ? "cdma-nv" : options_.module);
            recorder_.Header("ecm", options_.ecm || options_.networkLab ? "yes" : "no");
            recorder_.Header("sim", options_.sim);
            recorder_.Header("command", options_.commandLine);
            recorder_.HeaderDone();
        }
        setRecorder_(&Recorder::Receive, &recorder_, options_.recordUnmasked ? 1 : 0);
    }
    funcs_ = daemon_.Init(options_.rilArgs);
    if (!funcs_) return Fail(kExitSetup, "RIL_Init refused the options after --; see the log " + logPath_);

    // The start-up has settled when the radio state is neither unavailable nor "not ready"
    // and has stayed so for a moment; "off" is also where the start-up passes through, so it
    // must hold longer before it counts. The 8-13 daemon sees only off, unavailable and on:
    // there the card status tells whether the SIM has settled, read as the framework reads it.
    auto transient = [](int s) {
        return s == RADIO_STATE_UNAVAILABLE || s == RADIO_STATE_SIM_NOT_READY || s == RADIO_STATE_RUIM_NOT_READY ||
               s == RADIO_STATE_NV_NOT_READY;
    };
    const bool hidl = Hidl();
    const auto t0 = std::chrono::steady_clock::now();
    const auto deadline = t0 + std::chrono::seconds(options_.startupSeconds);
    int last = -1;
    bool cardSettling = false;  // the last card status read showed a card still settling
    auto since = t0, cardReadAt = t0;
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        int s = funcs_->onStateRequest();
        // The 8-13 daemon sees every SIM state as on. The library's own word still tells "not
        // ready" from "ready", and only after "ready" has its SIM set-up switched the modem's
        // reports on: events a command sends before then would never be seen.
        if (const int own = Int("sState"); hidl && s == RADIO_STATE_ON && own >= 2 && own <= 9) s = own;
        if (s != last) last = s, since = now, cardSettling = false;
        auto quiet = s == RADIO_STATE_OFF ? 2000ms : 700ms;
        if (!transient(s) && now - since >= quiet) {
            if (!hidl || s != RADIO_STATE_ON) {
                startupSeconds_ = std::chrono::duration<double>(since - t0).count();
                break;
            }
            if (!cardSettling || now - cardReadAt >= 200ms) {
                Answer a = Call(RIL_REQUEST_GET_SIM_STATUS, nullptr, 0, 10s);
                const bool wasSettling = cardSettling;
                cardReadAt = std::chrono::steady_clock::now();
                // A card status the library cannot give is shown by the SIM row, not waited for.
                cardSettling = a.answered && a.c.error == RIL_E_SUCCESS &&
                               CardSettling(ReadCardStatus(a.c.raw, Int("ANDROID_VERSION"), IsCdma()));
                if (!cardSettling) {
                    startupSeconds_ = std::chrono::duration<double>((wasSettling ? cardReadAt : since) - t0).count();
                    break;
                }
            }
        }
        if (now >= deadline) {
            std::string what = last == RADIO_STATE_UNAVAILABLE ? "no modem found" : "the modem's start-up did not finish";
            std::string hint = options_.target == Target::kDevice
                                   ? "check that the modem is plugged in and its ttyUSB ports are readable"
                               : options_.target == Target::kRoot ? "check that zv-modemsim --root " + options_.root + " is running"
                                                                  : "see the log";
            std::string state = RadioStateName(last);
            if (cardSettling) state += ", SIM not ready";
            return Fail(kExitNoModem, what + " within " + std::to_string(options_.startupSeconds) + " s (radio state " +
                                          state + "); " + hint + " (log: " + logPath_ + ")");
        }
        std::this_thread::sleep_for(50ms);
    }
    return kExitOk;
}

Session::Answer Session::Call(int request, void *data, size_t length, std::chrono::milliseconds timeout) {
    Answer a;
    if (tracing_) trace_.Write("req", RequestName(request) + "\t" + std::to_string(request));
    auto t0 = std::chrono::steady_clock::now();
    a.answered = daemon_.WaitForCompletion(daemon_.Request(request, data, length), timeout, &a.c);
    a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (tracing_) {
        std::string text = RequestName(request) + "\t" + std::to_string(request) + "\t";
        if (!a.answered) {
            text += "NO_ANSWER";
        } else {
            text += ErrorName(a.c.error);
            for (auto &s : a.c.strings) text += "\t\"" + Printable(s) + "\"";
            for (int v : a.c.ints) text += "\t" + std::to_string(v);
            if (a.c.strings.empty() && a.c.ints.empty() && a.c.length) text += "\t" + std::to_string(a.c.length) + " bytes";
        }
        trace_.Write("resp", text);
    }
    return a;
}

bool Session::WaitUnsolicited(int id, size_t from, std::chrono::milliseconds timeout, zvtest::Unsolicited *out) {
    return daemon_.WaitForUnsolicited(id, timeout, from, out);
}

int Session::RadioState() const { return funcs_ ? funcs_->onStateRequest() : RADIO_STATE_UNAVAILABLE; }

int Session::Int(const char *symbol) const {
    auto *p = static_cast<int *>(daemon_.Symbol(symbol));
    return p ? __atomic_load_n(p, __ATOMIC_RELAXED) : -1;
}

std::string Session::Text(const char *symbol) const {
    auto *p = static_cast<const char *>(daemon_.Symbol(symbol));
    return p ? std::string(p, strnlen(p, 60)) : std::string();
}

std::string Session::RequestName(int request) const {
    auto name = reinterpret_cast<const char *(*)(int)>(daemon_.Symbol("requestToString"));
    return name ? name(request) : std::to_string(request);
}

int Session::Finish(int code) {
    auto violations = daemon_.Violations();
    for (const auto &v : violations) Error("the library broke the daemon's contract: " + v);
    if (tracing_) trace_.Close();
    tracing_ = false;
    if (setRecorder_) {
        // The library may still be inside the receiver: the recorder stays, it only stops.
        setRecorder_(nullptr, nullptr, 0);
        setRecorder_ = nullptr;
    }
    // A modem that never came up still leaves a file that says which command looked for it.
    recorder_.Header("command", options_.commandLine);
    recorder_.HeaderDone();
    recorder_.Close();
    return violations.empty() ? code : kExitContract;
}

}  // namespace zvril
