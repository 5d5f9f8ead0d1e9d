/*
 * A stand-in for the platform's radio daemon: loads the library with dlopen as the daemon
 * does, calls RIL_Init, implements RIL_Env, and keeps a thread-safe journal of every
 * completion and unsolicited response that tests (and the zvril tool) wait on.
 *
 * The daemon enforces the contract the library must keep: a token completed twice, or a
 * completion of a token it never issued, is recorded as a violation. It serves one daemon
 * generation (daemon_rules.h) and records as a violation every answer that generation would
 * refuse, every report it would drop, every radio state the 8-13 daemon cannot pass on, and
 * every request a test issues that the 8-13 daemon never sends. Timed callbacks run one
 * at a time on their own thread after exactly the delay given (the library scales delays
 * itself; the daemon never scales them again).
 */
#ifndef ZORVIK_TESTS_SUPPORT_FAKE_DAEMON_H
#define ZORVIK_TESTS_SUPPORT_FAKE_DAEMON_H

#include <telephony/ril.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/daemon_rules.h"

namespace zvtest {

// What a response or payload carries, so the journal can copy it before the library frees it.
// kSimIo: a RIL_SIM_IO_Response, kept as ints {sw1, sw2} and strings {simResponse}.
// kDataCall: one data call record told apart by its size (_v11, _v6, _v5, _v4) or the old
// string array; its ints and strings are copied in field order.
enum class PayloadKind { kNone, kRaw, kInts, kString, kStrings, kSimIo, kDataCall, kCalls, kCallForwards };

// A copy of one RIL_Call of a call list (kCalls).
struct CallRecord {
    int state = 0, index = 0, toa = 0;
    int isMpty = 0, isMT = 0, als = 0, isVoice = 0, isVoicePrivacy = 0;
    bool hasNumber = false;
    std::string number;
    int numberPresentation = 0;
    bool hasName = false;
    int namePresentation = 0;
    bool hasUusInfo = false;
};

// A copy of one RIL_CallForwardInfo of a forwarding answer (kCallForwards).
struct ForwardRecord {
    int status = 0, reason = 0, serviceClass = 0, toa = 0, timeSeconds = 0;
    bool hasNumber = false;
    std::string number;
};

struct Completion {
    RIL_Token token = nullptr;
    int request = 0;
    RIL_Errno error = RIL_E_SUCCESS;
    size_t length = 0;
    std::vector<uint8_t> raw;          // the response bytes as given (kRaw, kInts)
    std::vector<int> ints;             // kInts
    std::vector<std::string> strings;  // kString (one entry), kStrings; a null pointer reads as "(null)"
    std::vector<CallRecord> calls;        // kCalls: the records behind the pointer array
    std::vector<ForwardRecord> forwards;  // kCallForwards: likewise
};

struct Unsolicited {
    int id = 0;
    size_t length = 0;
    std::vector<uint8_t> raw;
    std::vector<int> ints;
    std::vector<std::string> strings;
};

class FakeDaemon {
public:
    // Only one daemon per process: RIL_Env callbacks carry no context, and the library keeps
    // its globals for the life of the process anyway.
    FakeDaemon();
    ~FakeDaemon();
    FakeDaemon(const FakeDaemon &) = delete;
    FakeDaemon &operator=(const FakeDaemon &) = delete;

    // dlopen(path) and RIL_Init(argv). path defaults to $ZORVIK_RIL_LIBRARY or the built library.
    bool Load(const std::string &path = {});
    // The generation whose rules apply, $ZV_TEST_GENERATION by default. The platform decides it,
    // not the daemon: once RIL_Init returns, the daemon serves the generation the library
    // decided from the platform's properties (its exported PLATFORM_GENERATION), so a test
    // that pins an older release is held to the socket daemon's rules in either run.
    void SetGeneration(Generation g) { generation_.store(g); }
    Generation generation() const { return generation_.load(); }
    const RIL_RadioFunctions *Init(const std::vector<std::string> &args);
    const RIL_RadioFunctions *functions() const { return funcs_; }
    void *Symbol(const char *name) const;
    std::string error() const { return error_; }

    // Issues a request on the calling thread (the daemon's request thread) and returns its token.
    RIL_Token Request(int request, void *data = nullptr, size_t datalen = 0);

    // Journal access. Waits return false when the deadline passes.
    bool WaitForCompletion(RIL_Token t, std::chrono::milliseconds timeout, Completion *out = nullptr);
    std::optional<Completion> CompletionOf(RIL_Token t) const;
    bool WaitForUnsolicited(int id, std::chrono::milliseconds timeout, size_t from = 0, Unsolicited *out = nullptr);
    std::vector<Unsolicited> UnsolicitedSince(size_t from = 0) const;
    size_t UnsolicitedCount() const;
    size_t CompletionCount() const;
    bool WaitUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout);
    std::vector<std::string> Violations() const;
    // Forgets what a long run no longer needs, so that the journal stays flat however long it
    // runs: the answers of answered tokens and the reports so far. An answered token stays
    // known as answered (a second answer is still a violation, a wait for it still succeeds,
    // without the answer); the counts and report positions go on as before.
    void Compact();

    // Optional observer of each journal entry as it arrives (the zvril tool prints them).
    void SetObserver(std::function<void(const std::string &)> fn);

    // How to copy payloads of a request or an unsolicited id (tests may override).
    void SetResponseKind(int request, PayloadKind kind);
    void SetUnsolicitedKind(int id, PayloadKind kind);

    // Timed callbacks scheduled so far (count) and pending now.
    size_t TimedCallbacksScheduled() const;

    static std::string Describe(const Completion &c);
    static std::string Describe(const Unsolicited &u);

private:
    static void OnRequestComplete(RIL_Token t, RIL_Errno e, void *response, size_t responselen);
    static void OnUnsolicitedResponse(int id, const void *data, size_t datalen);
    static void RequestTimedCallback(RIL_TimedCallback cb, void *param, const struct timeval *delay);

    void TimerLoop();
    // With mu_ held.
    void AddViolation(std::string what);
    void CheckRadioState(const char *when);
    bool Forgotten(RIL_Token t) const;
    PayloadKind ResponseKind(int request) const;
    PayloadKind UnsolKind(int id) const;

    struct Timer {
        std::chrono::steady_clock::time_point due;
        uint64_t seq;
        RIL_TimedCallback cb;
        void *param;
    };

    void *handle_ = nullptr;
    const RIL_RadioFunctions *funcs_ = nullptr;
    std::string error_;
    std::atomic<Generation> generation_{GenerationFromEnvironment()};

    mutable std::mutex mu_;
    std::condition_variable cv_;
    static constexpr uintptr_t kFirstToken = 0x1000;
    uintptr_t nextToken_ = kFirstToken;
    std::map<RIL_Token, int> issued_;  // token -> request
    std::map<RIL_Token, Completion> completions_;
    std::vector<Unsolicited> unsolicited_;
    std::vector<bool> forgotten_;  // answered tokens whose answers Compact dropped, by token - first
    size_t forgottenCount_ = 0, unsolicitedBase_ = 0;
    std::vector<std::string> violations_;
    std::map<int, PayloadKind> responseKinds_, unsolKinds_;
    const RIL_RadioFunctions *connected_ = nullptr;  // the table, once RIL_Init has returned it
    std::function<void(const std::string &)> observer_;

    mutable std::mutex timerMu_;
    std::condition_variable timerCv_;
    std::vector<Timer> timers_;
    uint64_t timerSeq_ = 0;
    size_t timersScheduled_ = 0;
    bool stopping_ = false;
    std::thread timerThread_;
};

}  // namespace zvtest

#endif
