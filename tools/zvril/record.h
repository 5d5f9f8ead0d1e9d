// zvril --record: the transcript of the modem's side of a session, as the library reports it
// (docs/zvril.md, "Recording a session").
#ifndef ZORVIK_TOOLS_ZVRIL_RECORD_H
#define ZORVIK_TOOLS_ZVRIL_RECORD_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <zorvik/host.h>

namespace zvril {

// The library's threads hand events in (Receive, some of them holding the channel's senders'
// lock): they only copy them into a bounded queue. A thread of our own writes the file, after
// the header, which may be completed only once the library has found the modem.
class Recorder {
  public:
    ~Recorder();
    bool Open(const std::string &path, bool unmasked, std::string *error);
    void Header(const std::string &key, const std::string &value);  // until HeaderDone
    void HeaderDone();
    // The receiver the library's host layer calls (zorvik_set_modem_recorder).
    static void Receive(const char *port, int event, const char *text, size_t len, void *self);
    void Close();  // writes what is queued; later events are dropped

    // One event line without its time: "port<TAB>kind[<TAB>text]", the text escaped.
    static std::string EventLine(const char *port, int event, const char *text, size_t len);

  private:
    struct Event {
        double seconds;
        std::string line;
    };
    void Write();
    static constexpr size_t kMaxQueuedBytes = 4 << 20;

    std::mutex mu_;
    std::condition_variable cv_;
    FILE *out_ = nullptr;
    bool unmasked_ = false;
    std::vector<std::string> header_;
    bool headerDone_ = false;
    bool stop_ = false;
    std::deque<Event> queue_;
    size_t queuedBytes_ = 0;
    unsigned long long dropped_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::thread writer_;
};

}  // namespace zvril

#endif
