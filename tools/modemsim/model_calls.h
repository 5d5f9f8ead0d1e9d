// modemsim: Call model: calls with their states, hold, conference, waiting; CLIR/CLIP/CCFC/CCWA/CMUT settings.
// Plain data held in ModelState under the modem's lock; the answers live in calls.cpp, the
// network side a test drives in calls.h.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_CALLS_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_CALLS_H

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace modemsim {

// One call as "+CLCC:" lists it (TS 27.007): stat 0 active, 1 held, 2 dialing, 3 alerting,
// 4 incoming, 5 waiting; mode 0 voice, 1 data, 2 fax.
struct SimCall {
    int id = 1;
    int dir = 0;  // 0 we called, 1 they called
    int stat = 2;
    int mode = 0;
    int mpty = 0;
    std::string number;
    int toa = 129;
    std::chrono::steady_clock::time_point since{};  // when it became active (for ^CEND duration)
    // Scheduled steps of an outgoing call while the network progresses it by itself.
    std::chrono::steady_clock::time_point alert_at{};
    std::chrono::steady_clock::time_point answer_at{};
    bool scheduled = false;
};

// One call forwarding registration (TS 27.007 +CCFC) for one reason and class.
struct SimForward {
    bool active = false;
    std::string number;
    int toa = 129;
    int time = 20;  // no-reply timer, seconds
};

struct CallModel {
    std::vector<SimCall> calls;
    // An outgoing call alerts and is answered after these delays; -1 leaves each step to the
    // test (RemoteAlerting, RemoteAnswer in calls.h).
    int alert_after_ms = 200;
    int answer_after_ms = 1000;
    int clir = 0;      // +CLIR <n>: 0 subscription, 1 invocation, 2 suppression
    int clir_m = 4;    // +CLIR <m>: temporary mode, presentation allowed by default
    int clip = 1;      // +CLIP <n>
    int clip_m = 1;    // +CLIP <m>: provisioned
    int crc = 1;       // +CRC: "+CRING: <type>" instead of "RING"
    int ccwa_classes = 1;  // classes with call waiting on (voice)
    std::map<std::pair<int, int>, SimForward> forwards;  // (reason, class bit) -> registration
    bool ccfc_needs_quotes = true;  // a number outside quotes gets an error, as TS 27.007 says
    int mute = 0;
    std::string tones;            // DTMF tones sent, in order
    std::vector<std::string> flashes;  // CDMA flash strings
    int last_end_cause = -1;      // cc cause of the last call that ended
};

}  // namespace modemsim

#endif
