/*
 * The AT command channel on the modem's control port: one exchange at a time from any
 * thread, a reader thread that splits the byte stream into lines, final-response detection,
 * per-request time-outs and the SMS "> " prompt. Lines that do not belong to the command in
 * progress go to the unsolicited handler given to at_open.
 */
#ifndef ZORVIK_ATCHANNEL_H
#define ZORVIK_ATCHANNEL_H

#include <pthread.h>

#include <zvexport.h>

#define AT_ERR_GENERIC (-1)
#define AT_ERR_PENDING (-2)
#define AT_ERR_CLOSED (-3)
#define AT_ERR_TIMEOUT (-4)
#define AT_ERR_WRONG_THREAD (-5)
#define AT_ERR_NO_INTERMEDIATE (-6)

typedef enum {
    AT_TYPE_NO_RESULT = 0,
    AT_TYPE_NUMERIC = 1,
    AT_TYPE_SINGLELINE = 2,
    AT_TYPE_MULTILINE = 3,
    AT_TYPE_OEM_STRING = 4
} ATCommandType;

typedef struct ATLine {
    struct ATLine *p_next;
    char *line;
} ATLine;

typedef struct ATResponse {
    int success;
    char *finalResponse;
    ATLine *p_intermediates;
} ATResponse;

typedef void (*ATUnsolHandler)(const char *line, const char *sms_pdu);

/* Senders queue on s_readdelmutex before the channel's own mutex (always in this order).
   at_request is the number of the request being served, which picks its time-out class. */
ZV_API pthread_mutex_t s_readdelmutex;
ZV_API int at_request;
ZV_API int g_at_type;
ZV_API int terminal_connect;

ZV_API int at_open(int fd, ATUnsolHandler unsol_handler);
ZV_API void at_close(void);
ZV_API void at_set_on_timeout(void (*hook)(void));
ZV_API void at_set_on_reader_closed(void (*hook)(void));

ZV_API int at_send_command(const char *command, ATResponse **out);
ZV_API int at_send_command_singleline(const char *command, const char *prefix, ATResponse **out);
ZV_API int at_send_command_numeric(const char *command, ATResponse **out);
ZV_API int at_send_command_sms(const char *command, const char *pdu, const char *prefix, ATResponse **out);
ZV_API int at_send_command_multiline(const char *command, const char *prefix, ATResponse **out);
ZV_API int at_send_command_oem_string(const char *command, ATResponse **out);
ZV_EXTERN_C int at_send_command_full(const char *command, ATCommandType type, const char *prefix, const char *pdu,
                                     ATResponse **out);

ZV_API int at_handshake(void);
ZV_API void at_response_free(ATResponse *r);
ZV_API int at_get_cme_error(const ATResponse *r);
ZV_API void sleepMsec(long long msec);

/* AT log masking */
ZV_API void PrintATCommand(const char *text, int len, int direction);
ZV_API char *MatchATCommandbyPrefix(const char *text, char **prefix);

#ifdef __cplusplus
#include <memory>
namespace zv {
struct ATResponseDeleter {
    void operator()(ATResponse *r) const { at_response_free(r); }
};
/* Owner of a response: the one way the library holds an ATResponse. */
using ATResponsePtr = std::unique_ptr<ATResponse, ATResponseDeleter>;

/* Hands one line of the modem traffic on a port ("control", "modem") to a recording
   (ZV_MODEM_CMD, ... in zorvik/host.h), masked as the AT log masks it unless the recording
   asked for the clear text. Does nothing, at the cost of one load, when nobody records; it
   copies and calls out, so it is never called with the channel's mutex held. */
void RecordModemLine(const char *port, int event, const char *text, size_t len);
}  // namespace zv
#endif

#endif
