// modemsim: a simulated modem control port on a pseudo-terminal.
//
// A Modem owns the master side of a pty and answers AT commands written to the slave side
// ("/dev/pts/N") the way a real modem of the chosen module type does. Tests script it: override
// any answer, answer through a handler with state, hold answers back or delay them, inject
// unsolicited lines at any moment, send arbitrary bytes, and unplug it (close the master, so a
// reader of the slave sees EIO/EOF) and plug it in again on a new pty.
//
// Every method may be called from any thread, including from a Handler while it runs on the
// serving thread. The simulator is a test tool: it is robust against garbage input but makes no
// attempt to be fast.

#ifndef ZORVIK_TOOLS_MODEMSIM_MODEMSIM_H
#define ZORVIK_TOOLS_MODEMSIM_MODEMSIM_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <modemsim/model_band.h>
#include <modemsim/model_calls.h>
#include <modemsim/model_data.h>
#include <modemsim/model_network.h>
#include <modemsim/model_simfiles.h>
#include <modemsim/model_sms.h>

namespace modemsim {

class DataPort;  // modemsim/data_port.h

enum class ModuleType { kWcdma, kTdscdma, kCdma, kCdmaNoCard };

// Parses "wcdma", "tdscdma", "cdma", "cdma-nocard"; false for anything else.
bool ParseModuleType(const std::string &name, ModuleType *type);
const char *ModuleTypeName(ModuleType type);

enum class SimState { kReady, kPin, kPuk, kAbsent, kBusy };

// What the modem "is": everything the default answers depend on. One struct under one lock, so a
// feature (SIM PIN handling, USSD, SMS store) is a handler that reads and changes it.
struct ModelState {
    bool echo = false;                // ATE<n>; reset to the power-on value by every Plug()
    int cfun = 1;                     // AT+CFUN=<n>: 0 off, 1 on, 4 flight mode
    SimState sim = SimState::kReady;  // kAbsent by default for a CDMA module without card
    int cardlock = 2;                 // ^CARDLOCK status: 1 or 3 = network-locked, 2 = not locked
    int cardlock_attempts = 10;
    int rssi = 20;  // +CSQ while the radio is on
    int platform = 1;
    std::string imei = "351234567890123";
    std::string imsi = "460001234567890";
    std::string revision = "21.110.99.01.00";
    int message_reference = 0;  // last "+CMGS:"/"^HCMGS:" reference given
    int store_index = -1;       // last "+CMGW:"/"^HCMGW:" index given
    std::map<int, int> s_registers;
    // The features, each answered from its own file (features.h).
    CallModel calls;
    NetworkModel network;
    SmsModel sms;
    SimFilesModel simfiles;
    DataModel data;
    BandModel band;
};

// One message collected at the "> " prompt.
struct SubmittedPdu {
    std::string command;  // the command that opened the prompt, e.g. "AT+CMGS=23"
    std::string pdu;      // the text before Ctrl-Z
};

class Modem {
  public:
    using Lines = std::vector<std::string>;
    // Answers a command dynamically. Each returned line is framed "\r\n<line>\r\n"; include the
    // final result ("OK", "ERROR", "+CME ERROR: 10") yourself. An empty result answers nothing.
    using Handler = std::function<Lines(Modem &, const std::string &command)>;
    // Answers the PDU that followed a prompting command (the prompt itself is always sent).
    using PduHandler = std::function<Lines(Modem &, const std::string &command, const std::string &pdu)>;
    // Traffic trace: direction '<' for bytes received from the slave side, '>' for bytes sent.
    using Trace = std::function<void(char direction, const std::string &bytes)>;

    explicit Modem(ModuleType type = ModuleType::kWcdma);
    ~Modem();  // unplugs
    Modem(const Modem &) = delete;
    Modem &operator=(const Modem &) = delete;

    // Opens a new pty and starts serving it; true also when already plugged. The model state is
    // kept across plugs, the line state (echo, half-read command, prompt) is not.
    bool Plug();
    // Closes the master: a read on the slave fails (EIO, later 0), unread bytes are lost.
    // Called from a handler it takes effect once the handler returns.
    void Unplug();
    bool IsPlugged() const;
    std::string SlavePath() const;  // "/dev/pts/N" of the current plug, "" when unplugged
    ModuleType type() const { return type_; }
    // The MODEM port, a second pty plugged and unplugged with this one (modemsim/data_port.h).
    DataPort &data_port() { return *data_port_; }

    // ---- scripting; the rule registered last wins when several match
    void On(const std::string &command, Lines lines);       // exact command text (without CR)
    void OnPrefix(const std::string &prefix, Lines lines);  // any command starting with prefix
    void OnHandler(const std::string &prefix, Handler handler);
    void OnPdu(const std::string &prefix, PduHandler handler);  // for the prompting commands only
    void Withhold(const std::string &prefix);                   // never answer (nor prompt)
    void Delay(const std::string &prefix, int ms);              // answer (after the PDU) ms later
    void ClearOverrides();                                      // back to the default answers
    // Answers every command no rule takes instead of the default table (a recorded modem);
    // the prompting commands still prompt and go to OnPdu. Kept across ClearOverrides().
    void SetFallback(Handler handler);
    void SetEchoAtPowerOn(bool on);                             // echo state after Plug(), default off
    // A slow line: all output goes out at most `bytes` per write with `gap_ms` between writes,
    // so the reader on the slave gets it in pieces. SetPace(0, 0) is full speed again (the
    // default); the setting is kept across plugs.
    void SetPace(std::size_t bytes, int gap_ms);

    // ---- unsolicited output; dropped while unplugged
    void Inject(const std::string &line);    // "\r\n<line>\r\n" as soon as possible
    void SendRaw(const std::string &bytes);  // the bytes as they are
    // Sends the line ms from now. From a handler it is never sent before that handler's answer,
    // so InjectLater(line, 0) is "right after the final result".
    void InjectLater(const std::string &line, int ms);

    // ---- what the modem received
    std::vector<std::string> Commands() const;  // every command line, in order, without CR
    void ClearCommands();                       // also forgets the collected PDUs
    std::size_t CountCommands(const std::string &prefix) const;
    // True when a command starting with prefix has arrived (earlier ones count).
    bool WaitForCommand(const std::string &prefix, int timeout_ms);
    // True when commands starting with these prefixes arrived in this order (others may interleave).
    bool ExpectCommands(const std::vector<std::string> &in_order, int timeout_ms);
    std::vector<std::string> Pdus() const;
    std::vector<SubmittedPdu> Submissions() const;

    // ---- the model
    ModelState State() const;
    void Update(const std::function<void(ModelState &)> &change);

    void SetTrace(Trace trace);

  private:
    enum class RuleKind { kExact, kPrefix, kHandler, kWithhold };
    struct Rule {
        RuleKind kind;
        std::string text;
        Lines lines;
        Handler handler;
    };
    struct DelayRule {
        std::string prefix;
        int ms;
    };
    struct PduRule {
        std::string prefix;
        PduHandler handler;
    };
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };
    struct Connection;  // the fds and line state of one plug, owned by the serving thread

    void Serve(Connection *conn);
    bool Pump(Connection *conn);  // one poll round; false when the plug must end
    void OnBytes(Connection *conn, const char *data, std::size_t n);
    void OnCommand(Connection *conn, const std::string &command);
    void OnPduComplete(Connection *conn);
    void Answer(std::string bytes, int delay_ms);
    void Enqueue(Clock::time_point due, std::string bytes);  // needs mu_
    void Wake();                                             // needs mu_
    int DelayFor(const std::string &command) const;          // needs mu_
    bool OnServingThread() const;                            // needs mu_
    bool Live() const;                                       // needs mu_: plugged and not ending
    void TraceBytes(char direction, const std::string &bytes);

    const ModuleType type_;

    mutable std::mutex mu_;
    std::condition_variable received_;  // a command arrived
    ModelState state_;
    bool echo_at_power_on_ = false;
    std::size_t pace_bytes_ = 0;  // 0: no pacing
    int pace_gap_ms_ = 0;
    std::vector<Rule> rules_;
    std::vector<DelayRule> delays_;
    std::vector<PduRule> pdu_rules_;
    Handler fallback_;
    std::vector<std::string> commands_;
    std::vector<SubmittedPdu> pdus_;
    Trace trace_;

    // Output waiting to be written, ordered by due time. Answers never overtake each other.
    std::vector<Pending> out_;
    Clock::time_point last_answer_due_{};
    // InjectLater() calls made by the running handler, sent after its answer.
    std::vector<std::pair<int, std::string>> after_answer_;

    // Serialises Plug() and Unplug() of other threads; never taken by the serving thread.
    std::mutex plug_mu_;
    // The current plug. The serving thread owns conn_'s fds and closes them when it ends;
    // Unplug() asks it to end (stop_ and the wake-up fd) and joins it.
    Connection *conn_ = nullptr;
    std::string slave_path_;
    int wake_fd_ = -1;
    bool stop_ = false;
    std::thread thread_;
    std::thread::id serving_id_;
    std::unique_ptr<DataPort> data_port_;
};

// The answer of a freshly powered modem of m.type() to one command, from the default table and
// the basic command parser ("ATE0V1", "ATS0=0"). Reads and changes m's model state. Returns false
// for a command this module does not know (the modem then answers "ERROR").
bool DefaultAnswer(Modem &m, const std::string &command, Modem::Lines *lines);

// The default answer after a PDU at the prompt: "+CMGS: <ref>" / "+CMGW: <index>" (and the "^H"
// forms for the CDMA commands), then OK; "+CMS ERROR: 304" for a PDU that is not hex.
Modem::Lines DefaultPduAnswer(Modem &m, const std::string &command, const std::string &pdu);

// True for the commands that answer with the "> " prompt and then read a PDU up to Ctrl-Z.
bool IsPromptingCommand(const std::string &command);

// Applies a script (see docs/modemsim.md) to m. Returns false with a message naming the line for
// the first line it cannot read; lines before it have been applied.
bool LoadScript(Modem &m, const std::string &text, std::string *error);

}  // namespace modemsim

#endif  // ZORVIK_TOOLS_MODEMSIM_MODEMSIM_H
