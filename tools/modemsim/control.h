// modemsim: the control interface of a running simulator. A Unix stream socket takes one
// command a line and answers each with one line, "ok[ <text>]" or "error: <text>", so a person
// (`socat - UNIX-CONNECT:<path>`) and a script can both drive it. Actions are named and added
// by whoever owns what they change, so a feature adds its own ("ring", "sms", ...) beside the
// generic ones (docs/modemsim.md).
#ifndef ZORVIK_TOOLS_MODEMSIM_CONTROL_H
#define ZORVIK_TOOLS_MODEMSIM_CONTROL_H

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace modemsim {

class Modem;

class Control {
  public:
    // Gets the text after the action's name; returns the reply without the leading "ok " /
    // "error: ". Set *failed for an error reply.
    using Action = std::function<std::string(const std::string &args, bool *failed)>;

    Control() = default;
    ~Control();  // stops serving
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    void Add(const std::string &name, const std::string &usage, Action action);
    // The generic actions on a modem: inject, sim, ussd, script, status (plug and unplug are
    // the program's, since they also change the sysfs tree).
    void AddModemActions(Modem &modem);
    // The network side: incoming and remote call steps, a delivered SMS, registration,
    // signal and technology changes.
    void AddNetworkActions(Modem &modem);

    // Runs one command line and returns the reply line (without line end).
    std::string Execute(const std::string &line);

    // Serves the socket at path (an old socket file there is replaced) until Stop().
    bool Serve(const std::string &path, std::string *error);
    void Stop();

    static constexpr std::size_t kMaxLine = 4096;

  private:
    void Loop(int listener);

    struct Entry {
        std::string usage;
        Action action;
    };
    std::mutex mu_;  // the action table; never held while an action runs
    std::map<std::string, Entry> actions_;
    std::string path_;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

// The hex text and coding scheme of a USSD string as a network sends it: UCS-2 (scheme 72),
// which carries any text the simulator is given.
std::string UssdUcs2Hex(const std::string &utf8);

}  // namespace modemsim

#endif
