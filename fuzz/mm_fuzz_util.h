// Shared by the network parser targets: turns the fuzz input into AT responses. The first byte
// picks the module type (bits 0-1), the platform generation (bits 2-4) and one-response-per-line
// or all-lines-in-one-response (bit 5); the rest is the text, one line per '\n'.
#ifndef ZORVIK_FUZZ_MM_FUZZ_UTIL_H
#define ZORVIK_FUZZ_MM_FUZZ_UTIL_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include <zvril.h>
#include <zvshared.h>

#include "atchannel/atchannel.h"

namespace zvfuzz {

class Input {
public:
    Input(const uint8_t *data, size_t size) {
        const uint8_t plan = size ? data[0] : 0;
        zv::Store(g_module_type, (plan & 3) % 3);
        zv::Store(ANDROID_VERSION, 1 + ((plan >> 2) & 7) % 6);
        const bool oneResponse = plan & 0x20;
        std::string text(reinterpret_cast<const char *>(data) + (size ? 1 : 0), size ? size - 1 : 0);
        size_t start = 0;
        while (start <= text.size() && lines_.size() < 64) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            line = line.c_str();  // a NUL ends a C string
            texts_.push_back(std::make_unique<std::vector<char>>(line.begin(), line.end()));
            texts_.back()->push_back('\0');
            lines_.push_back(std::make_unique<ATLine>(ATLine{nullptr, texts_.back()->data()}));
            start = end + 1;
        }
        if (oneResponse) {
            for (size_t i = 0; i + 1 < lines_.size(); ++i) lines_[i]->p_next = lines_[i + 1].get();
            responses_.push_back(std::make_unique<ATResponse>(ATResponse{1, nullptr, lines_.empty() ? nullptr : lines_[0].get()}));
        } else {
            for (auto &l : lines_) responses_.push_back(std::make_unique<ATResponse>(ATResponse{1, nullptr, l.get()}));
        }
        for (auto &r : responses_) list_.push_back(r.get());
        list_.push_back(nullptr);
    }
    ATResponse **list() { return list_.data(); }
    const std::vector<std::unique_ptr<std::vector<char>>> &texts() const { return texts_; }

private:
    std::vector<std::unique_ptr<std::vector<char>>> texts_;
    std::vector<std::unique_ptr<ATLine>> lines_;
    std::vector<std::unique_ptr<ATResponse>> responses_;
    std::vector<ATResponse *> list_;
};

}  // namespace zvfuzz

#endif
