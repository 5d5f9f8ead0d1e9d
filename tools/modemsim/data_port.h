// modemsim: the modem's second port, the MODEM tty, on a pseudo-terminal of its own.
//
// In command mode it reads lines up to CR (anything before "AT" on a line is dropped, as a modem
// hunting for "AT" does) and answers them through ModemPortAnswer (features.h) from the
// modem's DataModel: dials get "CONNECT", "NO CARRIER" or nothing (DataModel::dial_reply). After
// "CONNECT" the line is online and carries PPP: the port no longer reads commands, it counts the
// bytes and only watches for the escape "+++" and for "ATH<CR>" (standing in for the drop of
// DTR that hangs up a real modem when its port is closed and opened again), which end the call
// with "OK" and "NO CARRIER". A taker (SetTaker) may instead hand the online line to a real program,
// e.g. a pppd serving the network's side; the port then leaves the line alone until that
// program ends, and sends "NO CARRIER".
//
// Owned by its Modem, which plugs and unplugs it with the control port.
#ifndef ZORVIK_TOOLS_MODEMSIM_DATA_PORT_H
#define ZORVIK_TOOLS_MODEMSIM_DATA_PORT_H

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace modemsim {

class Modem;

class DataPort {
  public:
    // Runs on the port's thread right after "CONNECT" went out. `master` is a descriptor of the
    // pty's master that the taker owns (and must close); it shares the port's non-blocking
    // open file, so leave its flags alone. Returns the process id of the program
    // that now serves the line (the port waits for it, and terminates it at unplug), or -1 to
    // leave the line to the simulator.
    using Taker = std::function<pid_t(int master)>;

    explicit DataPort(Modem &modem);
    ~DataPort();
    DataPort(const DataPort &) = delete;
    DataPort &operator=(const DataPort &) = delete;

    bool Plug();    // a new pty, in command mode; true also when already plugged
    void Unplug();  // closes the master (and ends a taker's program)
    bool IsPlugged() const;
    std::string SlavePath() const;  // "" when unplugged

    void SetTaker(Taker taker);
    // Answers the command lines instead of the simulator's own rules (a recorded modem); false
    // for "ERROR". The line still goes online after an answer starting with "CONNECT".
    using Answerer = std::function<bool(const std::string &command, std::vector<std::string> *lines)>;
    void SetAnswerer(Answerer answerer);

    // Command lines received, without CR; "+++" is listed as the escape arrives.
    std::vector<std::string> Commands() const;
    void ClearCommands();
    bool WaitForCommand(const std::string &prefix, int timeout_ms);

  private:
    struct Line;  // the fds and line state of one plug, owned by the serving thread

    void Serve(Line *line);
    bool OnBytes(Line *line, const char *data, std::size_t n);  // false: the line was taken
    void OnCommand(Line *line, const std::string &command);
    void Record(const std::string &command);
    void EndCall(Line *line, const char *reply, bool escape);

    Modem &modem_;
    mutable std::mutex mu_;
    std::condition_variable received_;
    std::vector<std::string> commands_;
    Taker taker_;
    Answerer answerer_;
    std::mutex plug_mu_;
    std::thread thread_;
    std::string slave_path_;
    int wake_fd_ = -1;
    bool stop_ = false;
    bool live_ = false;
};

}  // namespace modemsim

#endif
