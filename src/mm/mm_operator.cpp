// Operator and network selection with +COPS: the registered operator in its three formats,
// the selection mode, automatic selection polled once a second, manual selection and the scan.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "codec/codec.h"
#include "mm/mm.h"

namespace {

using zv::mm::FirstLine;

constexpr int kMaxAutomaticPolls = 120;

bool IsUcs2Name(const char *name) {
    return name && (strncmp(name, "80", 2) == 0 || strncmp(name, "81", 2) == 0 || strncmp(name, "82", 2) == 0);
}

bool Empty(const char *s) {
    return !s || *s == '\0';
}

// A numeric operator goes inside quotes: only the 5 or 6 digits of MCC and MNC are taken.
bool ValidNumericOperator(const char *text) {
    if (!text) return false;
    const size_t length = strnlen(text, 7);
    if (length < 5 || length > 6) return false;
    for (size_t i = 0; i < length; ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

const char *StatusWord(const char *status) {
    while (*status == ' ') ++status;
    switch (*status) {
        case '3': return "forbidden";
        case '2': return "current";
        case '1': return "available";
        default: return "unknown";
    }
}

bool IsNumber(const char *s) {
    if (*s == '\0') return false;
    for (; *s; ++s) {
        if (!isdigit(static_cast<unsigned char>(*s))) return false;
    }
    return true;
}

char *Trim(char *begin, char *end) {
    while (begin < end && isspace(static_cast<unsigned char>(*begin))) ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(end[-1]))) --end;
    *end = '\0';
    return begin;
}

// One network group "(stat,"long","short","numeric"[,act])" split in place. Returns the
// position after the group, or nullptr when the group is not closed. *fields counts what was
// found; *quoted tells whether any field was a quoted string (the trailing lists of supported
// modes and formats have none).
char *SplitGroup(char *p, char *out[5], int *fields, bool *quoted) {
    *fields = 0;
    *quoted = false;
    char *start = p;
    char *quoteEnd = nullptr;
    bool inQuotes = false;
    for (;; ++p) {
        const char c = *p;
        if (c == '\0') return nullptr;
        if (inQuotes) {
            if (c == '"') {
                inQuotes = false;
                quoteEnd = p;
            }
            continue;
        }
        if (c == '"') {
            inQuotes = true;
            *quoted = true;
            start = p + 1;
            continue;
        }
        if (c != ',' && c != ')') continue;
        char *value = quoteEnd ? (*quoteEnd = '\0', start) : Trim(start, p);
        if (*fields < 5) out[(*fields)++] = value;
        quoteEnd = nullptr;
        *p = '\0';
        start = p + 1;
        if (c == ')') return p + 1;
    }
}

// Adds the networks of one answer line to the array; false when the array is full.
bool ScanLine(char *line, char **networks, int *count) {
    char *p = line;
    if (at_tok_start(&p) < 0) return true;
    bool inQuotes = false;
    while (*p) {
        if (*p == '"') inQuotes = !inQuotes;
        if (*p != '(' || inQuotes) {
            ++p;
            continue;
        }
        char *fields[5] = {};
        int n = 0;
        bool quoted = false;
        char *next = SplitGroup(p + 1, fields, &n, &quoted);
        if (!next || !quoted) return true;  // an open group, or the lists after the networks
        if (n >= 4 && IsNumber(fields[0])) {
            if (*count >= zv::mm::kMaxNetworks) {
                RLOGD("QueryAvailableNetworks: more than %d networks, the rest dropped", zv::mm::kMaxNetworks);
                return false;
            }
            char **slot = networks + 4 * *count;
            RLOGD("state:%s", StatusWord(fields[0]));
            slot[0] = fields[1];
            slot[1] = fields[2];
            slot[2] = fields[3];
            slot[3] = const_cast<char *>(StatusWord(fields[0]));
            ++*count;
        }
        p = next;
    }
    return true;
}

zv::ATResponsePtr Send(const char *command, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command(command, &raw);
    return zv::ATResponsePtr(raw);
}

zv::ATResponsePtr SendSingleline(const char *command, const char *prefix, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command_singleline(command, prefix, &raw);
    return zv::ATResponsePtr(raw);
}

zv::ATResponsePtr SendMultiline(const char *command, const char *prefix, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command_multiline(command, prefix, &raw);
    return zv::ATResponsePtr(raw);
}

bool Cdma() {
    return zv::Load(g_module_type) == 0;
}

}  // namespace

namespace zv::mm {

void RequestOperator(RIL_Token t) {
    RequestCompletion done(t);
    if (Cdma()) {
        const char *triple[3] = {"CDMA", "CDMA", "46003"};
        RLOGD("RequestOperatorCdma: this is requestOperator's success\n");
        done.Finish(RIL_E_SUCCESS, triple, sizeof triple);
        return;
    }
    int err = 0;
    ATResponsePtr response = SendMultiline("AT+COPS=3,0;+COPS?;+COPS=3,1;+COPS?;+COPS=3,2;+COPS?", "+COPS:", &err);
    char *names[3] = {};
    char decoded[2 * codec::kSimAlphaUtf8Max] = {};
    bool ok = err == 0 && response && response->success > 0;
    if (ok) {
        MessagePtr message = ObtainMessage(RIL_REQUEST_OPERATOR, decoded, names);
        ATResponse *list[] = {response.get(), nullptr};
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD("this is requestOperator's err \n");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    RLOGD("this is RequestOperator's success\n");
    done.Finish(RIL_E_SUCCESS, names, sizeof names);
}

void RequestQueryNetworkSelectionMode(RIL_Token t) {
    RequestCompletion done(t);
    int mode = 0;
    if (Cdma()) {
        done.Finish(RIL_E_SUCCESS, &mode, sizeof mode);
        return;
    }
    int err = 0;
    ATResponsePtr response = SendSingleline("AT+COPS?", "+COPS:", &err);
    bool ok = err == 0 && response && response->success > 0;
    if (ok) {
        MessagePtr message = ObtainMessage(RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE, nullptr, &mode);
        ATResponse *list[] = {response.get(), nullptr};
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD("RequestQueryNetworkSelectionMode must never return error when radio is on");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    RLOGD("RequestQueryNetworkSelectionMode response = %d\n", mode);
    done.Finish(RIL_E_SUCCESS, &mode, sizeof mode);
}

void RequestSetNetworkSelectionAutomatic(RIL_Token t) {
    if (Cdma()) {
        CompleteRequest(t, RIL_E_SUCCESS);
        return;
    }
    auto *context = static_cast<SearchContext *>(calloc(1, sizeof(SearchContext)));
    if (!context) {
        RLOGD("%s: Format error in this AT response", "RequestSetNetworkSelectionAutomatic");
        CompleteRequest(t, RIL_E_GENERIC_FAILURE);
        return;
    }
    context->token = t;
    int err = 0;
    ATResponsePtr response = Send("AT+COPS=0", &err);
    if (!Accepted(err, response.get())) {
        RLOGD("%s: Format error in this AT response", "RequestSetNetworkSelectionAutomatic");
        free(context);
        CompleteRequest(t, RIL_E_GENERIC_FAILURE);
        return;
    }
    // The answer comes once the modem has found an operator: search_automatic completes it.
    ScheduleCallback(search_automatic, context, 1, 0);
}

void RequestSetNetworkSelectionManual(void *data, size_t /*datalen*/, RIL_Token t) {
    RequestCompletion done(t);
    if (Cdma()) {
        done.Finish(RIL_E_SUCCESS);
        return;
    }
    const char *numeric = static_cast<const char *>(data);
    if (!ValidNumericOperator(numeric)) {
        RLOGD("%s: operator is not 5 or 6 digits", "RequestSetNetworkSelectionManual");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    int err = 0;
    ATResponsePtr response = Send(Format("AT+COPS=1,2,\"%s\"", numeric).c_str(), &err);
    if (err == 0 && response && response->success > 0) {
        done.Finish(RIL_E_SUCCESS);
    } else {
        RLOGD("%s: Format error in this AT response", "RequestSetNetworkSelectionManual");
        done.Finish(RIL_E_GENERIC_FAILURE);
    }
}

void RequestAvailableNetworks(RIL_Token t) {
    RequestCompletion done(t);
    int err = 0;
    // Some modules give one "+COPS:" line per network: take them all.
    ATResponsePtr response = SendMultiline("AT+COPS=?", "+COPS:", &err);
    NetworkList record = {0, nullptr};
    bool ok = Accepted(err, response.get());
    if (ok) {
        MessagePtr message = ObtainMessage(RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, nullptr, &record);
        ATResponse *list[] = {response.get(), nullptr};
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD("%s: Format error in this AT response", "RequestAvailableNetworks");
        free(record.networks);
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    done.Finish(RIL_E_SUCCESS, record.networks, record.length);
    free(record.networks);
}

}  // namespace zv::mm

extern "C" {

int GetOperator(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("GetOperator: input p_message is NULL");
        return 0;
    }
    char **names = static_cast<char **>(message->data);
    if (!names || !list || !list[0]) return 0;
    int lines = 0;
    for (ATLine *l = list[0]->p_intermediates; l; l = l->p_next, ++lines) {
        if (lines >= 3) continue;
        char *cursor = l->line;
        int mode = 0, format = 0;
        if (at_tok_start(&cursor) < 0) {
            RLOGD("at_tok_start  line  = %p ", static_cast<void *>(l->line));
            return 0;
        }
        if (at_tok_nextint(&cursor, &mode) < 0) {
            RLOGD("at_tok_nextint  line  = %p ", static_cast<void *>(l->line));
            return 0;
        }
        if (!at_tok_hasmore(&cursor)) continue;
        if (at_tok_nextint(&cursor, &format) < 0) return 0;
        if (!at_tok_hasmore(&cursor)) continue;
        if (at_tok_nextstr(&cursor, &names[lines]) < 0) return 0;
    }
    if (lines != 3) return 0;

    char *&longName = names[0];
    char *&shortName = names[1];
    if (Empty(longName) && shortName) {
        RLOGD("long_name is NULL and short_name is not NULL");
        longName = shortName;
    }
    if (!longName && !shortName) return 1;
    if (longName && Empty(shortName)) {
        RLOGD("long_name is not NULL and short_name is NULL");
        shortName = longName;
    }
    // Names the modem gives in the SIM's UCS-2 coding; the decoding room comes with the message.
    const bool sameName = longName == shortName;
    for (int i = 0; i < 2; ++i) {
        if (!IsUcs2Name(names[i])) continue;
        if (i == 1 && sameName) {
            shortName = longName;
            continue;
        }
        if (!message->text) return 0;
        char *buffer = message->text + i * zv::codec::kSimAlphaUtf8Max;
        memset(buffer, 0, zv::codec::kSimAlphaUtf8Max);
        if (zv::codec::UCS2_to_UTF8(names[i], buffer, zv::codec::kSimAlphaUtf8Max) == -1) return 0;
        names[i] = buffer;
    }
    return 1;
}

int GetQueryNetworkSelectionMode(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("GetQueryNetworkSelectionMode: input p_message is NULL");
        return 0;
    }
    auto *mode = static_cast<int *>(message->data);
    char *cursor = list ? FirstLine(list[0]) : nullptr;
    if (!mode || !cursor) return 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, mode) < 0) return 0;
    RLOGD("GetQueryNetworkSelectionMode response = %d\n", *mode);
    return 1;
}

int QueryAvailableNetworks(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("QueryAvailableNetworks: input p_message is NULL");
        return 0;
    }
    auto *record = static_cast<NetworkList *>(message->data);
    if (!record || !list || !list[0]) return 0;
    auto **networks = static_cast<char **>(calloc(4 * zv::mm::kMaxNetworks, sizeof(char *)));
    if (!networks) return 0;
    int count = 0;
    for (ATLine *l = list[0]->p_intermediates; l; l = l->p_next) {
        if (!ScanLine(l->line, networks, &count)) break;
    }
    RLOGD("%s: available operator number is ********:%d", "QueryAvailableNetworks", count);
    free(record->networks);
    record->networks = networks;
    record->length = 4 * static_cast<size_t>(count) * sizeof(char *);
    return 1;
}

void search_automatic(void *param) {
    auto *context = static_cast<SearchContext *>(param);
    if (!context) return;
    zv::ATResponsePtr response;
    bool failed = context->count >= kMaxAutomaticPolls;
    if (!failed) {
        int err = 0;
        response = SendSingleline("AT+COPS?", "+COPS:", &err);
        char *cursor = FirstLine(response.get());
        failed = err < 0 || !response || response->success <= 0 || !cursor || at_tok_start(&cursor) < 0;
        if (!failed) {
            if (strchr(cursor, ',')) {
                zv::CompleteRequest(context->token, RIL_E_SUCCESS);
                free(context);
                return;
            }
            ++context->count;
            zv::ScheduleCallback(search_automatic, context, 1, 0);
            return;
        }
    }
    zv::CompleteRequest(context->token, RIL_E_GENERIC_FAILURE);
    free(context);
}

}  // extern "C"
