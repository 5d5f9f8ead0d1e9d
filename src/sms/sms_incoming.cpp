// New messages from the modem: direct deliveries ("+CMT:", "+CDS:") go to the framework one
// at a time, the rest wait in a bounded queue for its acknowledgement; stored-message
// announcements ("+CMTI:", "+CDSI:", "^HCMTI:") go to the stored-message thread as two-byte
// commands, or to the framework as an index; a full store and cell broadcasts are relayed.
//
// Everything here runs on the AT reader thread (the acknowledgement on the request thread),
// so nothing here sends an AT command.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "codec/codec.h"
#include "sms/sms.h"
#include "sms/sms_internal.h"

extern "C" {
int g_outstanding_sms = 0;
PduNode *g_wait_pdu = nullptr;
pthread_mutex_t s_pdu_queue_mutex = PTHREAD_MUTEX_INITIALIZER;
}

namespace zv::sms {
namespace {

size_t g_queued = 0;  // nodes in g_wait_pdu; guarded by s_pdu_queue_mutex

// A PDU line as relayed: the SMSC part and the longest TPDU, with room to spare for the
// modems that add a byte or two.
constexpr size_t kMaxDeliveredHex = 2 * ZV_CDMA_PDU_BYTES;

class QueueLock {
public:
    QueueLock() {
        if (pthread_mutex_lock(&s_pdu_queue_mutex) != 0) RLOGD("s_pdu_queue_mutex pthread_mutex_lock FAIL");
    }
    ~QueueLock() {
        if (pthread_mutex_unlock(&s_pdu_queue_mutex) != 0) RLOGD("s_pdu_queue_mutex pthread_mutex_unlock FAIL");
    }
    QueueLock(const QueueLock &) = delete;
    QueueLock &operator=(const QueueLock &) = delete;
};

int ReportIdFor(int kind) {
    return kind == 0 ? RIL_UNSOL_RESPONSE_NEW_SMS : RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT;
}

void Report(int kind, const char *text) {
    zv::ReportUnsolicited(ReportIdFor(kind), text, strlen(text));
}

// The test-and-set of the outstanding flag and the queueing are one step under the queue's
// mutex; the report itself is made after it is released, so a slow daemon never holds up the
// acknowledgement. Order is still kept: deliveries come from the one reader thread, and a
// queued one is released only by the acknowledgement of the one reported before it.
int Deliver(int kind, const char *pdu, const char *who) {
    if (!pdu || !IsHexPdu(pdu, kMaxDeliveredHex)) {
        RLOGD("%s: delivery without a hex PDU dropped", who);
        return 0;
    }
    {
        QueueLock lock;
        if (zv::Load(g_outstanding_sms)) {
            RLOGD("Waiting for acknowledge for previous sms, enqueueing PDU");
            EnqueuePdu(kind, pdu);
            return 1;
        }
        zv::Store(g_outstanding_sms, 1);
    }
    Report(kind, pdu);
    return 1;
}

}  // namespace

bool IsHexPdu(const char *text, size_t max) {
    if (!text) return false;
    const size_t len = strnlen(text, max + 1);
    if (len == 0 || len > max || len % 2 != 0) return false;
    for (size_t i = 0; i < len; ++i) {
        const char c = text[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!hex) return false;
    }
    return true;
}

bool SendStoredCommand(unsigned char kind, int index, const char *who) {
    const unsigned char command[2] = {kind, static_cast<unsigned char>(index & 0xff)};
    const int fd = del_sms_control[0];
    // Never blocks: this runs on the reader thread, and a thread that is slow to read must not
    // stop the reader. A command that finds the socket full is lost; its message stays stored.
    ssize_t n;
    do {
        n = send(fd, command, sizeof command, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof command)) {
        const int e = n < 0 ? errno : 0;
        RLOGD("%s: could not send  command: err=%d: %s", who, static_cast<int>(n), strerror(e));
        return false;
    }
    return true;
}

void ResetDeliveryQueue() {
    QueueLock lock;
    while (PduNode *node = DequeuePdu()) {
        free(node->text);
        free(node);
    }
    zv::Store(g_outstanding_sms, 0);
}

size_t QueuedDeliveries() {
    QueueLock lock;
    return g_queued;
}

void AcknowledgeSms(RIL_Token t) {
    zv::CompleteRequest(t, RIL_E_SUCCESS);
    PduNode *node = nullptr;
    {
        QueueLock lock;
        node = DequeuePdu();
        if (!node) zv::Store(g_outstanding_sms, 0);
    }
    if (node) {
        Report(node->kind, node->text);
        free(node->text);
        free(node);
    }
}

}  // namespace zv::sms

extern "C" {

// Callers hold s_pdu_queue_mutex.
void EnqueuePdu(int kind, const char *pdu) {
    if (!pdu) return;
    if (zv::sms::g_queued >= zv::sms::kMaxQueuedDeliveries) {
        RLOGD("EnqueuePdu: %zu deliveries wait for acknowledgement, this one is dropped", zv::sms::g_queued);
        return;
    }
    auto *node = static_cast<PduNode *>(calloc(1, sizeof(PduNode)));
    if (!node) {
        RLOGD("%s() malloc failed", "EnqueuePdu");
        return;
    }
    node->kind = kind;
    node->text = strdup(pdu);
    if (!node->text) {
        RLOGD("%s() strdup sms pdu failed", "EnqueuePdu");
        free(node);
        return;
    }
    PduNode **tail = &g_wait_pdu;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    ++zv::sms::g_queued;
}

// Callers hold s_pdu_queue_mutex and free the node and its text.
PduNode *DequeuePdu(void) {
    PduNode *node = g_wait_pdu;
    if (!node) return nullptr;
    g_wait_pdu = node->next;
    node->next = nullptr;
    if (zv::sms::g_queued > 0) --zv::sms::g_queued;
    return node;
}

int CMTSmsReport(const char *pdu) { return zv::sms::Deliver(0, pdu, "CMTSmsReport"); }

int CDSSmsReport(const char *pdu) { return zv::sms::Deliver(1, pdu, "CDSSmsReport"); }

void CMTISmsReport(const char *line) {
    if (!line) return;
    char *copy = strdup(line);
    if (!copy) {
        RLOGD("CMTISmsReport: strdup line FAIL.");
        return;
    }
    std::unique_ptr<char, decltype(&free)> owner(copy, free);
    char *cursor = copy;
    char *storage = nullptr;
    int index = -1;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &storage) < 0 || at_tok_nextint(&cursor, &index) < 0)
        return;
    if (!strStartsWith(storage, "SM")) return;
    // The command carries one byte: a larger index would read, and then delete, another message.
    if (index < 0 || index > 255) {
        RLOGD("CMTISmsReport: index out of range, ignored");
        return;
    }
    if (strStartsWith(line, "+CDSI:")) {
        zv::sms::SendStoredCommand(zv::sms::kStoredStatusReport, index, "CMTISmsReport");
        return;
    }
    if (zv::Load(g_module_type) == 0 || zv::Load(bims_cdmamsg)) {
        zv::sms::SendStoredCommand(zv::sms::kStoredMessage, index, "CMTISmsReport");
    } else if (zv::Load(g_sms_project) == 1) {
        int reported = zv::Load(g_provider) == 0 ? index + 1 : index;
        zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM, &reported, sizeof reported);
    } else {
        zv::sms::SendStoredCommand(zv::sms::kStoredMessage, index, "CMTISmsReport");
    }
}

void ZvRilSmsUnsolicited(const char *line, const char *pdu) {
    if (!line) return;
    if (strStartsWith(line, "+CMT:")) {
        CMTSmsReport(pdu);
    } else if (strStartsWith(line, "+CMTI:") || strStartsWith(line, "+CDSI:") || strStartsWith(line, "^HCMTI:")) {
        if (strStartsWith(line, "^HCMTI:")) {
            RLOGD("unsol ims cdma sms!!!");
            zv::Store(bims_cdmamsg, 1);
        }
        CMTISmsReport(line);
    } else if (strStartsWith(line, "+CDS:")) {
        CDSSmsReport(pdu);
    } else if (strStartsWith(line, "^SMMEMFULL")) {
        zv::ReportUnsolicited(zv::Load(g_module_type) != 0 ? RIL_UNSOL_SIM_SMS_STORAGE_FULL
                                                           : RIL_UNSOL_CDMA_RUIM_SMS_STORAGE_FULL);
    } else if (strStartsWith(line, "+CBM:")) {
        RLOGD("unsol_response_new_broadcase_sms ---------");
        if (!pdu || !zv::sms::IsHexPdu(pdu, zv::sms::kMaxDeliveredHex)) {
            RLOGD("ZvRilSmsUnsolicited: broadcast without a hex PDU dropped");
            return;
        }
        // Both daemons pass this report's bytes on as they are, and the framework reads them as
        // the page itself (88 octets for GSM): the modem's hex is decoded here.
        uint8_t page[zv::sms::kMaxDeliveredHex / 2];
        const int octets = hexStringToBytes(pdu, page, static_cast<int>(sizeof page));
        if (octets <= 0) return;
        zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_NEW_BROADCAST_SMS, page, static_cast<size_t>(octets));
    }
}

}  // extern "C"
