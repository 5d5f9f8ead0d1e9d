// Messages the modem stored instead of delivering: the thread that takes the two-byte commands
// of the indications from the socket pair and reads, reports and deletes each message, and the
// scan that empties the store of unread messages once the SIM is ready.
//
// The thread never ends: a failure to set up or to wait is logged and tried again after a
// pause, so a passing shortage does not cost the stored messages for the life of the process.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <string>

#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"

namespace zv::sms {
namespace {

constexpr long long kRetryPauseMs = 1000;

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool UseCdmaCommands() { return zv::Load(g_module_type) == 0 || zv::Load(bims_cdmamsg) != 0; }

void DeleteStored(int index) {
    ATResponse *raw = nullptr;
    at_send_command(Format("AT+CMGD=%d", index).c_str(), &raw);
    ATResponsePtr response(raw);
}

// The length reported with a stored GSM PDU (checked hex, even, non-empty). The socket daemon
// read the string to its end and let us pass the TPDU's octet count as the modem gave it; the
// 8-13 daemon decodes exactly the given number of hex characters, so there it is the whole string.
size_t StoredPduLength(const char *pdu, int octets) {
    return HidlGeneration() ? strlen(pdu) : static_cast<size_t>(octets);
}

class ReadSmsLock {
public:
    ReadSmsLock() {
        if (pthread_mutex_lock(&s_zvril_readsms_mutex) != 0)
            RLOGD("GetNewSIMSmsOrSmsReportAndDeleted pthread_mutex_lock FAIL");
    }
    ~ReadSmsLock() {
        if (pthread_mutex_unlock(&s_zvril_readsms_mutex) != 0)
            RLOGD("GetNewSIMSmsOrSmsReportAndDeleted pthread_mutex_unlock FAIL");
    }
    ReadSmsLock(const ReadSmsLock &) = delete;
    ReadSmsLock &operator=(const ReadSmsLock &) = delete;
};

// Waits on the control descriptor and runs every complete command; returns when the epoll
// instance is no longer usable, so the caller sets up a new one.
void Serve(int ep, int fd) {
    unsigned char command[2];
    size_t have = 0;  // a command split over two reads is joined again
    for (;;) {
        struct epoll_event events[2];
        int ne = epoll_wait(ep, events, 2, -1);
        if (ne < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            RLOGD("epoll_wait() unexpected error: %s", strerror(e));
            sleepMsec(kRetryPauseMs);  // an error that persists must not spin
            if (e == EBADF || e == EINVAL) return;
            continue;
        }
        RLOGD("read msg thread received %d events", ne);
        for (int i = 0; i < ne; ++i) {
            if (events[i].events & (EPOLLERR | EPOLLHUP)) {
                RLOGD("EPOLLERR or EPOLLHUP after epoll_wait() !?");
                sleepMsec(kRetryPauseMs);
                continue;
            }
            if (!(events[i].events & EPOLLIN)) continue;
            RLOGD("-------ne=%d,nevents=%d---------", i, ne);
            if (events[i].data.fd != fd) continue;
            RLOGD("read_sms_control fd event");
            for (;;) {
                ssize_t n = read(fd, command + have, sizeof command - have);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                have += static_cast<size_t>(n);
                if (have < sizeof command) continue;
                have = 0;
                RLOGD("--------READ CMD 0x%x,0x%x---------", command[0], command[1]);
                GetNewSIMSmsOrSmsReportAndDeleted(reinterpret_cast<const char *>(command));
            }
        }
    }
}

}  // namespace
}  // namespace zv::sms

extern "C" {

void *ZvRilReadSmsThenDeleteSms(void *) {
    for (;;) {
        const int fd = del_sms_control[1];
        int ep = fd >= 0 ? epoll_create1(EPOLL_CLOEXEC) : -1;
        if (ep < 0) {
            RLOGD("ZvRilReadSmsThenDeleteSms: no epoll instance: %s", strerror(errno));
            sleepMsec(zv::sms::kRetryPauseMs);
            continue;
        }
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        struct epoll_event ev;
        memset(&ev, 0, sizeof ev);
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        int rc;
        do {
            rc = epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
        } while (rc < 0 && errno == EINTR);
        if (rc == 0) {
            zv::sms::Serve(ep, fd);
        } else {
            RLOGD("ZvRilReadSmsThenDeleteSms: epoll_ctl: %s", strerror(errno));
        }
        close(ep);
        sleepMsec(zv::sms::kRetryPauseMs);
    }
    return nullptr;
}

int GetNewSIMSmsOrSmsReportAndDeleted(const char *command) {
    if (!command) return 1;
    zv::sms::ReadSmsLock lock;
    const auto *bytes = reinterpret_cast<const unsigned char *>(command);
    ReadSmsOnSIMandUnsolicitedResponse(bytes[1], bytes[0]);
    return 1;
}

int ReadSmsOnSIMandUnsolicitedResponse(int index, int kind) {
    const bool cdma = zv::sms::UseCdmaCommands();
    const std::string command = zv::Format(cdma ? "AT^HCMGR=%d" : "AT+CMGR=%d", index);
    ATResponse *raw = nullptr;
    int err = at_send_command_multiline(command.c_str(), cdma ? "^HCMGR:" : "+CMGR:", &raw);
    zv::ATResponsePtr response(raw);
    if (!response) RLOGD("ReadSmsOnSIMandUnsolicitedResponse p_response is NULL");
    if (!zv::AcceptedWithLine(err, response.get())) {
        zv::Store(bims_cdmamsg, 0);
        return -1;
    }
    SmsReadResult read = {0, nullptr};
    zv::MessagePtr message = zv::ObtainMessage(RIL_UNSOL_RESPONSE_NEW_SMS, nullptr, &read);
    if (message && zv::sms::RouteAnswer(message.get(), response.get()) == 1) {
        if (cdma) {
            RecievePduSms(read.pdu, kind);
        } else {
            const bool isMessage = kind == zv::sms::kStoredMessage;
            RLOGD(isMessage ? " ___________There has a new message ______________"
                            : " ___________There has a new cdsi ______________");
            zv::ReportUnsolicited(isMessage ? RIL_UNSOL_RESPONSE_NEW_SMS : RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT,
                                  read.pdu, zv::sms::StoredPduLength(read.pdu, read.length));
        }
    }
    // Deleted even when unreadable: an entry we cannot parse would otherwise stay and fill the store.
    zv::sms::DeleteStored(index);
    zv::Store(bims_cdmamsg, 0);
    return 1;
}

void RecievePduSms(const char *pdu, int kind) {
    auto *record = static_cast<RIL_CDMA_SMS_Message *>(calloc(1, sizeof(RIL_CDMA_SMS_Message)));
    if (!record) {
        RLOGD("RecievePduSms() malloc()=NULL, there is something wrong!");
        return;
    }
    if (zv::sms::DecodeMessage(record, pdu)) {
        // The 8-13 daemon takes only GSM hex as a status report; there a CDMA one goes out as the
        // message it is, and the framework tells the delivery acknowledgement by its bearer data.
        const bool asMessage = kind == zv::sms::kStoredMessage || zv::HidlGeneration();
        zv::ReportUnsolicited(asMessage ? RIL_UNSOL_RESPONSE_CDMA_NEW_SMS : RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT,
                              record, sizeof *record);
    } else {
        RLOGD("RecievePduSms: PDU cannot be decoded, not reported");
    }
    free(record);
}

int str2hex(const char *hex, char *out) {
    if (!hex || !out) return -1;
    const int hi = zv::sms::Nibble(hex[0]);
    const int lo = hi < 0 ? -1 : zv::sms::Nibble(hex[1]);
    if (hi < 0 || lo < 0) return -1;
    *out = static_cast<char>(hi << 4 | lo);
    return 0;
}

int GetPDUType(const char *pdu) {
    char smscLength = 0;
    char firstOctet = 0;
    if (str2hex(pdu, &smscLength) < 0) {
        RLOGD("str2hex error!");
        return -1;
    }
    const size_t offset = 2 * static_cast<size_t>(static_cast<unsigned char>(smscLength)) + 2;
    if (strnlen(pdu, offset + 2) < offset + 2 || str2hex(pdu + offset, &firstOctet) < 0) {
        RLOGD("str2hex error!");
        return -1;
    }
    // TP-MTI of TS 23.040: 2 is SMS-STATUS-REPORT towards the phone.
    return (firstOctet & 0x03) == 2 ? 0 : 1;
}

int GetUnreadSMSandDeletedWhenRilInit(void) {
    int count = 0;
    if (zv::Load(g_module_type) != 0) {
        if (zv::Load(g_sms_project) != 0) {
            RLOGD("New sms project, don't get unread sms when ril init !");
            return 0;
        }
        ATResponse *raw = nullptr;
        int err = at_send_command_multiline("AT+CMGL=0", "+CMGL:", &raw);
        zv::ATResponsePtr response(raw);
        if (!zv::Accepted(err, response.get())) {
            RLOGD("AT+CMGL ERR!");
            return 0;
        }
        for (ATLine *line = response->p_intermediates; line;) {
            char *cursor = line->line;
            int index = 0, status = 0, reserved = 0, length = 0;
            char *pdu = nullptr;
            if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &index) < 0 ||
                at_tok_nextint(&cursor, &status) < 0)
                break;
            if (at_tok_nextint(&cursor, &reserved) < 0) RLOGD("reserved is empty!");
            if (!zv::sms::ReadLengthAndInlinePdu(&cursor, &length, &pdu)) break;
            ATLine *next = line->p_next;
            if (!pdu) {
                // A header followed by another header (or nothing) has lost its PDU.
                if (!next || !next->line || strStartsWith(next->line, "+CMGL:")) break;
                pdu = next->line;
                next = next->p_next;
            }
            ATResponse *deleted = nullptr;
            int derr = at_send_command(zv::Format("AT+CMGD=%d", index).c_str(), &deleted);
            zv::ATResponsePtr deletedOwner(deleted);
            if (derr < 0) {
                RLOGD("AT+CMGD ERR!");
                break;
            }
            const int type = zv::sms::IsHexPdu(pdu, 2 * ZV_CDMA_PDU_BYTES) ? GetPDUType(pdu) : -1;
            if (type < 0) {
                // Already deleted; it still counts, and the scan stops at the unreadable entry.
                RLOGD("sms flag is not MESSAGE_STATUS_REPORT or NEW_MESSAGE ");
                ++count;
                break;
            }
            zv::ReportUnsolicited(type == 0 ? RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT : RIL_UNSOL_RESPONSE_NEW_SMS,
                                  pdu, zv::sms::StoredPduLength(pdu, length));
            ++count;
            line = next;
        }
    } else {
        ATResponse *raw = nullptr;
        int err = at_send_command_multiline("AT^HCMGL=0", "^HCMGL:", &raw);
        zv::ATResponsePtr response(raw);
        if (!zv::Accepted(err, response.get())) {
            RLOGD("AT^HCMGL ERROR !!");
            return 0;
        }
        for (ATLine *line = response->p_intermediates; line; line = line->p_next) {
            // The PDU lines between the headers are read again, one by one, with AT^HCMGR.
            if (!strStartsWith(line->line, "^HCMGL:")) continue;
            char *cursor = line->line;
            int index = 0;
            if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &index) < 0) break;
            ReadSmsOnSIMandUnsolicitedResponse(index & 0xFF, zv::sms::kStoredMessage);
            ++count;
        }
    }
    RLOGD("delete number = %d..........", count);
    return count;
}

}  // extern "C"
