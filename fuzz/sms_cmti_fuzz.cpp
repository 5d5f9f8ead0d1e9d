// The SMS indications with arbitrary text: "+CMTI:", "+CDSI:", "^HCMTI:" announcements (the
// storage and index fields), and "+CMT:", "+CDS:", "+CBM:" with an arbitrary PDU line. The
// first byte picks the indication and the module settings; the input up to a line feed is the
// rest of the indication line, after it the PDU line. Commands go to a real socket pair.
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include <zvril.h>

#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace {

void OnUnsol(int, const void *, size_t) {}
void OnComplete(RIL_Token, RIL_Errno, void *, size_t) {}
const struct RIL_Env kEnv = {OnComplete, OnUnsol, nullptr};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = [] {
        socketpair(AF_LOCAL, SOCK_STREAM, 0, del_sms_control);
        fcntl(del_sms_control[0], F_SETFL, O_NONBLOCK);
        fcntl(del_sms_control[1], F_SETFL, O_NONBLOCK);
        s_rilenv = &kEnv;
        return true;
    }();
    (void)ready;
    if (size == 0) return 0;
    static const char *const kPrefixes[] = {"+CMTI: ", "+CDSI: ", "^HCMTI: ", "+CMT: ", "+CDS: ", "+CBM: ",
                                            "^SMMEMFULL", "+CMTI:"};
    const uint8_t pick = data[0];
    g_module_type = (pick >> 3) & 1;
    g_sms_project = (pick >> 4) & 1;
    g_provider = (pick >> 5) & 1;
    std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    const size_t lf = rest.find('\n');
    std::string line = kPrefixes[pick & 7] + rest.substr(0, lf);
    std::string pdu = lf == std::string::npos ? std::string() : rest.substr(lf + 1);
    line = line.c_str();
    pdu = pdu.c_str();
    ZvRilSmsUnsolicited(line.c_str(), lf == std::string::npos ? nullptr : pdu.c_str());
    // Acknowledge now and then, and keep the socket drained, so every path stays reachable.
    if (pick & 0x40) ZvRilSmsRequest(RIL_REQUEST_SMS_ACKNOWLEDGE, nullptr, 0, nullptr);
    unsigned char drain[256];
    while (read(del_sms_control[1], drain, sizeof drain) > 0) {
    }
    if (zv::sms::QueuedDeliveries() > zv::sms::kMaxQueuedDeliveries) abort();
    return 0;
}
