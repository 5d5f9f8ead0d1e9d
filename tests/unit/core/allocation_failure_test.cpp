// Memory running out where the library checks it (zvalloc.h): every request that owns such a
// buffer, entered as the daemon enters it, logs its line and answers RIL_E_GENERIC_FAILURE.
#include <gtest/gtest.h>

#include <zvalloc.h>
#include <zvril.h>

#include "unit/support/modem_channel.h"

namespace {

class AllocationFailure : public zvtest::ChannelTest<> {
protected:
    AllocationFailure() : ChannelTest({{&sState, ZV_RADIO_STATE_SIM_READY}, {&g_module_type, 1}}) {}
    ~AllocationFailure() override { zv::FailNextAllocations(0); }
};

TEST_F(AllocationFailure, RequestsLogAndAnswerGenericFailure) {
    char tone[] = "5", flash[] = "123";
    int one = 1, two[2] = {1, 1};
    RIL_CallForwardInfo forward = {};
    const char *burst[3] = {"1", "0", "0"};
    // A mask the known-mask table lacks: its regional groups need records of their own.
    modem_.On("AT^SYSCFGEX=?", {"^SYSCFGEX: (\"00\"),((2000004000380,\"x\")),(0-3),(0-4),,", "OK"});
    // failures: one buffer, or every attempt of a retried one.
    struct Row { int request; const void *data; size_t datalen; int failures; const char *log; } rows[] = {
        {RIL_REQUEST_DTMF, tone, sizeof tone, 1, "RequestDtmf FAIL!!!"},
        {RIL_REQUEST_DTMF_START, tone, sizeof tone, 1, "RequestDtmf FAIL!!!"},
        {RIL_REQUEST_SET_CLIR, &one, sizeof one, 1, "RequestSetClir FAIL!!"},
        {RIL_REQUEST_QUERY_CALL_FORWARD_STATUS, &forward, sizeof forward, 1, "RequestQueryCallForwardStatus FAIL!!"},
        {RIL_REQUEST_QUERY_CALL_WAITING, &one, sizeof one, 1, "RequestQueryCallWaiting FAIL"},
        {RIL_REQUEST_SET_CALL_WAITING, two, sizeof two, 1, "RequestSetCallWaiting must never return error"},
        {RIL_REQUEST_SET_MUTE, &one, sizeof one, 1, "RequestSetMute FAIL"},
        {RIL_REQUEST_CDMA_FLASH, flash, sizeof flash, 1, "RequestCdmaFlash FAIL!!"},
        {RIL_REQUEST_CDMA_BURST_DTMF, burst, sizeof burst, 1, "RequestCdmaDtmf FAIL!!!"},
        {RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, nullptr, 0, 10, "QueryAvailableBandMode: band_gp malloc failed."},
    };
    for (const Row &row : rows) {
        zv::FailNextAllocations(row.failures);
        EXPECT_EQ(CompleteOnce(onRequest, row.request, row.data, row.datalen), RIL_E_GENERIC_FAILURE) << row.log;
        EXPECT_TRUE(env_.Logged(row.log)) << row.log;
        // The failure was the injected one: with memory the same request gets past it.
        zv::FailNextAllocations(0);
        CompleteOnce(onRequest, row.request, row.data, row.datalen);
        EXPECT_FALSE(env_.Logged(row.log)) << row.log;
    }
}

}  // namespace
