// The band mode requests: the query asks the modem which bands it offers (^SYSCFGEX=? on
// newer firmware, ^SYSCFG=? on older) and answers in band mode numbers; the setting sends the
// mask the last query remembered for the mode, in the same two dialects.
#include <string.h>

#include <string>

#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvstr.h>

#include "atchannel/atchannel.h"
#include "dev/band_mode.h"

namespace {

struct BandQuery {
    const char *command;
    const char *prefix;
};

constexpr BandQuery kQueries[] = {
    {"AT^SYSCFGEX=?", "^SYSCFGEX:"},
    {"AT^SYSCFG=?", "^SYSCFG:"},
};

}  // namespace

namespace zv::dev {

void RequestSetBandMode(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) return;
    const int mode = *static_cast<const int *>(data);
    // Only what the last query offered can be set: the table holds the modem's own masks.
    const char *mask = BandTableEntry(mode);
    if (mask[0] == '\0') {
        RLOGD("RequestSetBandMode: band %d was not offered", mode);
        return;
    }
    RLOGD("RequestSetBandMode: syscfgex =  band: %d", mode);
    std::string command = zv::Format("AT^SYSCFGEX=\"99\",%s,2,4,7FFFFFFFFFFFFFFF,,", mask);
    ATResponse *raw = nullptr;
    int err = at_send_command(command.c_str(), &raw);
    zv::ATResponsePtr response(raw);
    if (zv::Accepted(err, response.get())) {
        done.Finish(RIL_E_SUCCESS);
        return;
    }
    RLOGD("RequestSetBandMode: syscfg =  band: %d", mode);
    response.reset();
    command = zv::Format("AT^SYSCFG=16,3,%s,2,4", mask);
    raw = nullptr;
    err = at_send_command(command.c_str(), &raw);
    response.reset(raw);
    if (zv::Accepted(err, response.get())) done.Finish(RIL_E_SUCCESS);
}

}  // namespace zv::dev

extern "C" void RequestQueryAvailableBandMode(int /*request*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    zv::ATResponsePtr response;
    const BandQuery *used = nullptr;
    for (const BandQuery &query : kQueries) {
        ATResponse *raw = nullptr;
        int err = at_send_command_singleline(query.command, query.prefix, &raw);
        response.reset(raw);
        if (err == 0 && response && response->success == 1) {
            used = &query;
            break;
        }
    }
    if (!used) return;
    std::string text = used->command;
    int answer[ZV_BAND_ANSWER_INTS] = {};
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, text.data(), answer);
    if (!message || HandleDEVMessage(message.get(), response.get()) != 1) return;
    if (!zv::HidlGeneration()) return done.Finish(RIL_E_SUCCESS, answer, sizeof answer);
    // The 8-13 daemon reads every int it is given as a band mode: only the modes go, without
    // the leading size (which counts itself) and the padding after them.
    const int size = answer[0] < 1 ? 1 : answer[0] > ZV_BAND_ANSWER_INTS ? ZV_BAND_ANSWER_INTS : answer[0];
    const size_t modes = static_cast<size_t>(size - 1);
    done.Finish(RIL_E_SUCCESS, modes ? answer + 1 : nullptr, modes * sizeof(int));
}
