// Building ATResponse records from text lines for the network parsers, and a scope that sets
// the module type and platform generation the parsers read.
#ifndef ZORVIK_TESTS_UNIT_MM_TEST_UTIL_H
#define ZORVIK_TESTS_UNIT_MM_TEST_UTIL_H

#include <zvril.h>
#include <zvshared.h>

#include <memory>
#include <string>
#include <vector>

#include "atchannel/atchannel.h"

namespace zvtest {

// Owns the writable line copies and the records, and gives the null-terminated list.
class Responses {
public:
    // Each inner vector is one response's intermediate lines (empty: a response without one).
    explicit Responses(const std::vector<std::vector<std::string>> &responses) {
        for (const auto &lines : responses) {
            auto r = std::make_unique<ATResponse>();
            r->success = 1;
            r->finalResponse = nullptr;
            r->p_intermediates = nullptr;
            ATLine **tail = &r->p_intermediates;
            for (const auto &text : lines) {
                texts_.push_back(std::make_unique<std::vector<char>>(text.begin(), text.end()));
                texts_.back()->push_back('\0');
                lines_.push_back(std::make_unique<ATLine>());
                lines_.back()->line = texts_.back()->data();
                lines_.back()->p_next = nullptr;
                *tail = lines_.back().get();
                tail = &lines_.back()->p_next;
            }
            list_.push_back(r.get());
            records_.push_back(std::move(r));
        }
        list_.push_back(nullptr);
    }
    ATResponse **list() { return list_.data(); }
    ATResponse *at(size_t i) { return list_[i]; }

private:
    std::vector<std::unique_ptr<std::vector<char>>> texts_;
    std::vector<std::unique_ptr<ATLine>> lines_;
    std::vector<std::unique_ptr<ATResponse>> records_;
    std::vector<ATResponse *> list_;
};

class ModuleScope {
public:
    ModuleScope(int moduleType, int androidVersion)
        : savedType_(zv::Load(g_module_type)), savedVersion_(zv::Load(ANDROID_VERSION)) {
        zv::Store(g_module_type, moduleType);
        zv::Store(ANDROID_VERSION, androidVersion);
    }
    ~ModuleScope() {
        zv::Store(g_module_type, savedType_);
        zv::Store(ANDROID_VERSION, savedVersion_);
    }

private:
    int savedType_, savedVersion_;
};

}  // namespace zvtest

#endif
