// The network laboratory's re-run of the current test case (the rest of the laboratory is in
// tests/support/ps_lab.cpp, shared with zvril).
#include <gtest/gtest.h>

#include "support/ps_lab.h"

namespace zvtest {

int NetworkLab::RunCurrentCaseInside() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string self = Self();
    if (self.empty()) return -1;
    return RunInside({self, std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name()});
}

}  // namespace zvtest
