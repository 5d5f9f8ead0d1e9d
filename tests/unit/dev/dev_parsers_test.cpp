// The device service's parsers behind HandleDEVMessage, fed with responses built from lines:
// they read only inside the lines, fail on what is missing, and never touch a null record.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zvril.h>

#include "atchannel/atchannel.h"
#include "dev/dev.h"
#include "unit/support/library_env.h"
#include "unit/support/responses.h"

namespace {

using zvtest::Response;

std::string Imeisv(const std::string &line) {
    char out[3] = {'x', 'x', 'x'};
    RilMessage m = {RIL_REQUEST_GET_IMEISV, nullptr, out};
    auto r = Response({line});
    return HandleDEVMessage(&m, r.get()) == 1 ? std::string(out) : "<fail>";
}

int Classes(const std::vector<std::string> &lines) {
    int classes = -1;
    RilMessage m = {RIL_REQUEST_QUERY_FACILITY_LOCK, nullptr, &classes};
    auto r = Response(lines);
    return HandleDEVMessage(&m, r.get()) == 1 ? classes : -100;
}

// What the end-to-end cases do not reach: quoted values, odd classes, partial records.
TEST(DevParsers, EdgesOfTheAnswers) {
    EXPECT_EQ(Imeisv("^IMEISV:\"3543210987654399\""), "99");
    EXPECT_EQ(Imeisv("^IMEISV: 12"), "12");
    EXPECT_EQ(Imeisv("3543210987654321"), "<fail>") << "no prefix";

    EXPECT_EQ(Classes({}), 0);
    EXPECT_EQ(Classes({"+CLCK: 0,1", "+CLCK: 1,16"}), 16);
    EXPECT_EQ(Classes({"+CLCK: 1,-4"}), 0) << "a negative class is no class";
    EXPECT_EQ(Classes({"+CLCK: 1,"}), 7);
    EXPECT_EQ(Classes({"1,1"}), -100);

    auto mdn = Response({"^MDN: \"15550100123\""});
    auto sid = Response({"^CURRSID: 13824,65535"});
    auto imsi = Response({"460030912121001"});
    auto none = Response({});
    ATResponse *list[4] = {mdn.get(), sid.get(), imsi.get(), none.get()};
    char *answer[5] = {};
    RilMessage m = {RIL_REQUEST_CDMA_SUBSCRIPTION, nullptr, answer};
    EXPECT_EQ(HandleDEVMessage(&m, list), 0) << "no PRL version line";

    auto gsn = Response({"+GSN: 80C98A1"});
    ATResponse *gsnOnly[2] = {gsn.get(), none.get()};
    char *identity[4] = {};
    RilMessage d = {RIL_REQUEST_DEVICE_IDENTITY, nullptr, identity};
    EXPECT_EQ(HandleDEVMessage(&d, gsnOnly), 0) << "an identity without its MEID";
}

TEST(DevParsers, NullMessagesAndUnknownIds) {
    zvtest::RecordingEnv env;
    EXPECT_EQ(HandleDEVMessage(nullptr), 0);
    EXPECT_TRUE(env.Logged("HandleDEVMessage  p_message  is  NULL"));
    auto r = Response({"+CLCK: 1"});
    EXPECT_EQ(GetIMEISV(nullptr, r.get()), 0);
    EXPECT_EQ(QueryFacilityLock(nullptr, r.get()), 0);
    EXPECT_EQ(CdmaSubScription(nullptr, nullptr), 0);
    EXPECT_EQ(DeviceIdentity(nullptr, nullptr), 0);
    for (const char *name : {"GetIMEISV", "QueryFacilityLock", "CdmaSubScription", "DeviceIdentity"})
        EXPECT_TRUE(env.Logged(std::string(name) + ": input p_message is NULL.")) << name;
    RilMessage noRecord = {RIL_REQUEST_QUERY_FACILITY_LOCK, nullptr, nullptr};
    EXPECT_EQ(HandleDEVMessage(&noRecord, r.get()), 0);
    RilMessage noResponse = {RIL_REQUEST_GET_IMEISV, nullptr, nullptr};
    EXPECT_EQ(HandleDEVMessage(&noResponse, nullptr), 0);
    int out = 0;
    RilMessage other = {RIL_REQUEST_QUERY_AVAILABLE_BAND_MODE, nullptr, &out};
    EXPECT_EQ(HandleDEVMessage(&other, r.get()), 0);
    EXPECT_EQ(HandleSIMMessage(nullptr), 0);
    EXPECT_TRUE(env.Logged("HandleSIMMessage p_message is NULL"));
}

}  // namespace
