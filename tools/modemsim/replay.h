// modemsim: a recorded modem. A transcript (one event a line: the commands the library wrote
// and the lines the modem sent, per port) is read once; the Replayer then answers each command
// with what the modem answered to the same command in the recording, and sends the recorded
// unsolicited lines in the order they came (docs/modemsim.md, "Replaying a transcript").
#ifndef ZORVIK_TOOLS_MODEMSIM_REPLAY_H
#define ZORVIK_TOOLS_MODEMSIM_REPLAY_H

#include <modemsim/modemsim.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace modemsim {

// A transcript can come from anywhere; these bound what one can make the simulator hold.
constexpr std::size_t kMaxTranscriptBytes = 64 << 20;
constexpr std::size_t kMaxTranscriptLine = 16384;
constexpr std::size_t kMaxTranscriptEvents = 200000;
constexpr std::size_t kMaxUnexpectedKept = 256;

struct TranscriptEvent {
    long long ms = 0;  // since the start of the session
    std::string port;  // "control", "modem", ...
    std::string kind;  // open, close, cmd, pdu, ans, unsol (others are kept and ignored)
    std::string text;  // unescaped
};

struct Transcript {
    bool masked = true;
    std::string module = "wcdma";  // as --profile takes it
    bool ecm = false;
    std::string sim = "ready";
    std::string command;  // the zvril command line that made it, may be empty
    std::vector<TranscriptEvent> events;
};

// Reads a whole transcript; false with a message naming the line for one it cannot read.
bool ParseTranscript(const std::string &text, Transcript *out, std::string *error);

class Replayer {
  public:
    // How the library's log masks a line; applied to every incoming command of a masked
    // transcript, so that it compares with the masked text recorded.
    using Mask = std::function<std::string(const std::string &)>;

    Replayer(Transcript transcript, Mask mask);
    ~Replayer();  // Stop()
    Replayer(const Replayer &) = delete;
    Replayer &operator=(const Replayer &) = delete;

    // Takes over the modem's answers; call before its first plug.
    void Attach(Modem &modem);
    // Once the modem is plugged: sends the lines recorded before the first command at their
    // recorded times after the port was opened, and every later timed line as it falls due.
    void Start();
    void Stop();

    // Commands the recording has no answer for, in arrival order (masked as matched), and how
    // many there were in all (only the first kMaxUnexpectedKept are kept).
    std::vector<std::string> Unexpected(std::size_t *total = nullptr) const;

  private:
    struct Exchange {
        std::string command;
        Modem::Lines answer;           // up to the last answer line, unsolicited lines in place
        bool prompt = false;
        Modem::Lines after_pdu;        // a prompting command's answer to the PDU
        std::vector<std::pair<long long, std::string>> later;  // ms after the answer, line
        bool used = false;
    };
    struct Port {
        std::vector<Exchange> exchanges;
        std::vector<std::pair<long long, std::string>> leading;  // ms after open, line
    };
    using Clock = std::chrono::steady_clock;
    struct Due {
        Clock::time_point at;
        std::string line;
    };

    static Port Build(const Transcript &t, const std::string &port);
    Exchange *Match(Port &port, const std::string &command);  // needs mu_
    Modem::Lines Answer(const std::string &command, bool pdu);
    void Schedule(const std::vector<std::pair<long long, std::string>> &lines);  // needs mu_
    void Pump();

    Mask mask_;
    bool masked_;
    Modem *modem_ = nullptr;
    mutable std::mutex mu_;
    std::condition_variable changed_;
    Port control_;
    Port data_;
    bool serve_data_ = false;
    std::vector<Due> due_;  // ordered by time, then by recording
    std::vector<std::string> unexpected_;
    std::size_t unexpected_total_ = 0;
    bool stop_ = false;
    std::thread pump_;
};

}  // namespace modemsim

#endif
