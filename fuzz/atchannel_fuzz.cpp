// Arbitrary modem output through the line splitter, the SMS indication pairing, the line
// classifier, the response building and the log masking, as the reader thread drives them
// but without a thread or a descriptor. The first bytes choose the read sizes and the
// exchange that is waiting; the rest is the byte stream.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include <zorvik/host.h>

#include "atchannel/at_internal.h"
#include "atchannel/atchannel.h"

namespace {

constexpr const char *kPrefixes[] = {"+CSQ:", "+CLCC:", "+CMGS:", "", "+COPS:", "^SYSINFO:", "+CPIN:", nullptr};

void CheckMasking(const char *line, size_t len) {
    std::string copy(line, len);
    zv::at::MaskLine(copy.data(), copy.size());
    if (copy.size() != len) abort();
    for (size_t i = 0; i < len; ++i) {
        if (copy[i] != line[i] && copy[i] != '*') abort();
    }
    // No digit survives behind a secret prefix (no prefix holds a digit itself), nor in a line
    // that starts with one.
    size_t from = len;
    if (len > 0 && line[0] >= '0' && line[0] <= '9') from = 0;
    char *prefix = nullptr;
    if (from == len && MatchATCommandbyPrefix(copy.c_str(), &prefix)) {
        if (const char *at = zv::at::FindNoCase(copy.c_str(), prefix)) from = (at - copy.c_str()) + strlen(prefix);
        free(prefix);
    }
    for (size_t i = from; i < len && copy[i]; ++i) {
        if (copy[i] >= '0' && copy[i] <= '9') abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("ZORVIK_LOG_FILE", "/dev/null", 1);
    zv::ReloadHostEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    uint32_t rng = data[0] | (data[1] << 8) | 1u;
    const uint8_t mode = data[2];
    data += 3;
    size -= 3;

    zv::at::ExchangeView view;
    view.pending = (mode & 0x80) == 0;
    view.type = static_cast<ATCommandType>(mode % 6);  // 5: a type the channel does not know
    view.prefix = kPrefixes[(mode >> 3) % (sizeof kPrefixes / sizeof kPrefixes[0])];
    view.pduStored = (mode & 0x40) != 0;
    view.atType = (mode >> 5) & 1;

    ATResponse *response = static_cast<ATResponse *>(calloc(1, sizeof(ATResponse)));
    auto owner = std::make_unique<zv::at::LineSplitter>();
    zv::at::LineSplitter &splitter = *owner;
    std::string pairHead;
    bool wantPdu = false;

    size_t off = 0;
    while (off < size) {
        rng = rng * 1103515245u + 12345u;
        size_t room = 0;
        char *space = splitter.ReadSpace(&room);
        size_t n = 1 + (rng >> 16) % 600;
        if (n > room) n = room;
        if (n > size - off) n = size - off;
        memcpy(space, data + off, n);
        splitter.Commit(n);
        off += n;

        size_t len = 0;
        while (const char *line = splitter.Next(&len)) {
            if (strlen(line) != len || len > zv::at::kLineBufferSize || strpbrk(line, "\r\n")) abort();
            CheckMasking(line, len);
            PrintATCommand(line, static_cast<int>(len), 0);
            if (wantPdu) {
                wantPdu = false;
                pairHead.clear();
                continue;
            }
            if (zv::at::IsSmsPairLine(line)) {
                pairHead = line;
                wantPdu = true;
                continue;
            }
            switch (zv::at::ClassifyLine(line, view)) {
                case zv::at::LineClass::kSuccess:
                case zv::at::LineClass::kError:
                    response->finalResponse = strdup(line);
                    view.pending = false;
                    break;
                case zv::at::LineClass::kPrompt:
                    view.pduStored = false;
                    break;
                case zv::at::LineClass::kIntermediate:
                    zv::at::AddIntermediate(response, line);
                    view.hasIntermediate = true;
                    break;
                case zv::at::LineClass::kUnsolicited:
                    break;
            }
        }
    }
    zv::at::ReverseIntermediates(response);
    (void)at_get_cme_error(response);
    at_response_free(response);
    return 0;
}
