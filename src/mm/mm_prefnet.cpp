// Preferred network type: ^SYSCFGEX with an acquisition order of two-digit technology codes,
// and the single-number dialects of the older modules (^SYSCFG on WCDMA, ^SYSCONFIG on
// TD-SCDMA, ^PREFMODE on CDMA) as fallbacks.
#include <string.h>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "mm/mm.h"

namespace {

using zv::mm::FirstLine;

enum ModuleType { kCdma = 0, kWcdma = 1, kTdscdma = 2 };

struct SetRow {
    int type;
    const char *order;  // for ^SYSCFGEX
    int mode;           // for ^SYSCFG / ^SYSCONFIG / ^PREFMODE (type 2 depends on the module)
};

// Network types 0..11; anything else is set like type 4.
constexpr SetRow kSetTable[] = {
    {0, "0201", 2}, {1, "01", 13},   {2, "02", 14},       {3, "00", 0},       {4, "00", 8},
    {5, "04", 2},   {6, "07", 4},    {7, "00", 0},        {8, "030407", 0},   {9, "030201", 0},
    {10, "0304070201", 0},           {11, "03", 0},
};
constexpr SetRow kSetOther = {-1, "00", 8};

const SetRow &SetRowFor(int type) {
    for (const SetRow &row : kSetTable) {
        if (row.type == type) return row;
    }
    return kSetOther;
}

int FallbackMode(const SetRow &row, int module) {
    if (row.type != 2) return row.mode;
    switch (module) {
        case kTdscdma: return 15;
        case kWcdma: return 14;
        default: return 0;
    }
}

struct OrderRow {
    const char *order;
    int type;
};
constexpr OrderRow kReadSyscfgex[] = {
    {"0201", 0}, {"01", 1},     {"02", 2},       {"04", 5},           {"07", 6},
    {"030407", 8}, {"030201", 9}, {"0304070201", 10}, {"03", 11},
};

struct ModeRow {
    int mode;
    int type;
};
constexpr ModeRow kReadSyscfg[] = {{13, 1}, {14, 2}, {15, 2}};
constexpr ModeRow kReadPrefmode[] = {{2, 5}, {3, 7}, {4, 6}, {5, 7}, {6, 7}, {7, 7}, {8, 4}};

int TypeByOrder(const char *order) {
    for (const OrderRow &row : kReadSyscfgex) {
        if (strcmp(row.order, order) == 0) return row.type;
    }
    return 7;
}

template <size_t N>
int TypeByMode(const ModeRow (&table)[N], int mode, int otherwise) {
    for (const ModeRow &row : table) {
        if (row.mode == mode) return row.type;
    }
    return otherwise;
}

zv::ATResponsePtr Send(const char *command, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command(command, &raw);
    return zv::ATResponsePtr(raw);
}

zv::ATResponsePtr SendSingleline(const char *command, const char *prefix, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command_singleline(command, prefix, &raw);
    if (!raw) RLOGD("RequestGetPreferredNetworkType p_response is NULL ");
    return zv::ATResponsePtr(raw);
}

// The integer after "^SYSCFG:" or "^PREFMODE:", with the texts both dialects log.
bool FirstInt(char *line, int *out) {
    char *cursor = line;
    int err = at_tok_start(&cursor);
    if (err < 0) {
        RLOGD("GetPreferredNetworkType: syscfg error 4: %d", err);
        return false;
    }
    err = at_tok_nextint(&cursor, out);
    if (err < 0) {
        RLOGD("GetPreferredNetworkType: syscfg error 5: %d", err);
        return false;
    }
    return true;
}

}  // namespace

namespace zv::mm {

void RequestSetPreferredNetworkType(void *data, size_t datalen, RIL_Token t) {
    RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) {
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    const int type = *static_cast<const int *>(data);
    const SetRow &row = SetRowFor(type);
    if (type == 3) RLOGD("Please notify: GSM auto prl not to be treat as LTE auto for test");
    int err = 0;
    ATResponsePtr response =
        Send(Format("AT^SYSCFGEX=\"%s\",40000000,2,4,7FFFFFFFFFFFFFFF,,", row.order).c_str(), &err);
    if (Accepted(err, response.get())) {
        done.Finish(RIL_E_SUCCESS);
        return;
    }
    response.reset();
    const int module = Load(g_module_type);
    const int mode = FallbackMode(row, module);
    std::string command;
    switch (module) {
        case kTdscdma: command = Format("AT^SYSCONFIG=%d,%d,2,4", mode, 2); break;
        case kCdma: command = Format("AT^PREFMODE=%d", mode); break;
        default: command = Format("AT^SYSCFG=%d,%d,40000000,2,4", mode, 2); break;
    }
    response = Send(command.c_str(), &err);
    if (!Accepted(err, response.get())) {
        RLOGD("%s: Format error in this AT response", "RequestSetPreferredNetworkType");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    done.Finish(RIL_E_SUCCESS);
}

void RequestGetPreferredNetworkType(RIL_Token t) {
    RequestCompletion done(t);
    const int state = LoadAcquire(sState);
    if (state == RADIO_STATE_OFF || state == RADIO_STATE_UNAVAILABLE) {
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    int err = 0;
    ATResponsePtr response = SendSingleline("AT^SYSCFGEX?", "^SYSCFGEX:", &err);
    if (!Accepted(err, response.get())) {
        response.reset();
        response = Load(g_module_type) == kCdma ? SendSingleline("AT^PREFMODE?", "^PREFMODE:", &err)
                                                : SendSingleline("AT^SYSCFG?", "^SYSCFG:", &err);
        if (!Accepted(err, response.get())) {
            done.Finish(RIL_E_GENERIC_FAILURE);
            return;
        }
    }
    int type = 0;
    MessagePtr message = ObtainMessage(RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE, nullptr, &type);
    ATResponse *list[] = {response.get(), nullptr};
    if (message && HandleNetworkMessage(message.get(), list) == 1) {
        done.Finish(RIL_E_SUCCESS, &type, sizeof type);
    } else {
        done.Finish(RIL_E_GENERIC_FAILURE);
    }
}

}  // namespace zv::mm

extern "C" {

int GetPreferredNetworkType(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("GetPreferredNetworkType: input p_message is NULL");
        return 0;
    }
    auto *out = static_cast<int *>(message->data);
    char *line = list ? FirstLine(list[0]) : nullptr;
    if (!out || !line) return 0;
    int type = 0;
    int mode = 0;
    if (strstr(line, "^SYSCFGEX:")) {
        char *cursor = line;
        char *order = nullptr;
        if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &order) < 0) return 0;
        type = TypeByOrder(order);
    } else if (strstr(line, "^SYSCFG:")) {
        if (!FirstInt(line, &mode)) return 0;
        type = TypeByMode(kReadSyscfg, mode, 0);
    } else if (strstr(line, "^PREFMODE:")) {
        if (!FirstInt(line, &mode)) return 0;
        type = TypeByMode(kReadPrefmode, mode, 7);
    } else {
        return 0;
    }
    *out = type;
    return 1;
}

}  // extern "C"
