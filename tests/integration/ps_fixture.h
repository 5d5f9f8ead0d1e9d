// What the packet data cases share: a failed setup's answer in this run's daemon generation. The
// socket daemon gets the error and asks for the cause itself; the 8-13 daemon never asks, so it
// gets a success whose one _v11 record holds the cause.
#ifndef ZORVIK_TESTS_INTEGRATION_PS_FIXTURE_H
#define ZORVIK_TESTS_INTEGRATION_PS_FIXTURE_H

#include "support/library_fixture.h"

namespace zvtest {

class PsTest : public LibraryTest {
protected:
    static ::testing::AssertionResult SetupFailed(const Completion &c, int cause,
                                                  RIL_Errno socketError = RIL_E_GENERIC_FAILURE) {
        const bool ok = Hidl() ? c.error == RIL_E_SUCCESS && c.length == sizeof(RIL_Data_Call_Response_v11) &&
                                     c.ints == std::vector<int>{cause, -1, 0, 0, 0} &&
                                     c.strings == std::vector<std::string>(5, "")
                               : c.error == socketError && c.length == 0;
        if (ok) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "cause " << cause << ": " << FakeDaemon::Describe(c);
    }
};

}  // namespace zvtest

#endif
