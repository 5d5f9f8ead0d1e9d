// SIM files end to end, as the framework reads them: GET RESPONSE, READ BINARY and READ
// RECORD of EF SPN, EF ICCID and EF ADN from a 2G card and from a USIM, through a modem that
// answers the short GET RESPONSE form with no data. Whatever the card, the framework gets the
// GET RESPONSE layout of TS 51.011 where it needs it: bytes 2-3 file size, 4-5 file id, 6 type
// of file, 13 structure, 14 record length.
#include <gtest/gtest.h>

#include <modemsim/simfiles.h>

#include <string>
#include <vector>

#include "integration/dev_sim_fixture.h"

namespace {

using modemsim::ModuleType;
using zvtest::Completion;
namespace files = modemsim::simfiles;
using namespace std::chrono_literals;

struct Io {
    RIL_Errno error = RIL_E_GENERIC_FAILURE;
    int sw1 = -1, sw2 = -1;
    std::string data;
    int Byte(size_t i) const { return data.size() >= 2 * i + 2 ? std::stoi(data.substr(2 * i, 2), nullptr, 16) : -1; }
    int Word(size_t i) const { return Byte(i) << 8 | Byte(i + 1); }
};

class SimFiles : public zvtest::DevSimTest {
  protected:
    void StartCard(bool usim, const char *release) {
        SetProperty("ro.build.version.release", release);
        Start(ModuleType::kWcdma, [usim](modemsim::Modem &m) {
            m.Update([usim](modemsim::ModelState &s) { s.simfiles.usim = usim; });
            modemsim::UpdateCard(m, [usim](modemsim::ModelState &, modemsim::SimCard &c) { c.app_type = usim ? 2 : 1; });
        });
        ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
        // The SIM-ready configuration ends with this report; after it the channel is ours.
        ASSERT_TRUE(daemon_.WaitForUnsolicited(RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED, 10s));
        modem().ClearCommands();
    }
    Io Request(int command, int fileid, const char *path, int p1, int p2, int p3, const char *data = nullptr) {
        RIL_SIM_IO_v6 io = {command, fileid, const_cast<char *>(path), p1, p2, p3, const_cast<char *>(data), nullptr,
                            nullptr};
        Completion c = Call(RIL_REQUEST_SIM_IO, &io, sizeof io);
        Io r;
        r.error = c.error;
        if (c.ints.size() == 2) {
            r.sw1 = c.ints[0];
            r.sw2 = c.ints[1];
            r.data = c.strings.at(0);
        }
        return r;
    }
    Io GetResponse(int fileid, const char *path) { return Request(192, fileid, path, 0, 0, 15); }
    modemsim::SimFile File(int fid) { return modemsim::DefaultSimFiles()[fid]; }
};

TEST_F(SimFiles, UsimOnAnOlderFrameworkGetsTheGsmLayout) {
    StartCard(true, "4.4.2");
    // EF SPN: empty short form, long form cut at 15 bytes, then the whole FCP, rewritten.
    Io spn = GetResponse(files::kEfSpn, "3F007FFF");
    ASSERT_EQ(spn.error, RIL_E_SUCCESS);
    EXPECT_EQ(spn.sw1, 0x90);
    EXPECT_EQ(spn.Word(2), 17) << spn.data;
    EXPECT_EQ(spn.Byte(6), 0x04) << "EF";
    EXPECT_EQ(spn.Byte(13), 0x00) << "transparent";
    const int fcpLength = static_cast<int>(files::UsimFcp(files::kEfSpn, File(files::kEfSpn)).size() / 2 - 2);
    EXPECT_EQ(modem().Commands(),
              (std::vector<std::string>{"AT+CRSM=192,28486,,,,,\"3F007FFF\"", "AT+CRSM=192,28486,0,0,15,,\"3F007FFF\"",
                                        "AT+CRSM=192,28486,0,0," + std::to_string(fcpLength) + ",,\"3F007FFF\""}));
    Io name = Request(176, files::kEfSpn, "3F007FFF", 0, 0, spn.Word(2));
    EXPECT_EQ(name.data, File(files::kEfSpn).body);

    // EF ADN: a record file, converted on every framework.
    EXPECT_EQ(Global("isUSIMCARD"), 0);
    Io adn = GetResponse(files::kEfAdn, "3F007F10");
    ASSERT_EQ(adn.error, RIL_E_SUCCESS);
    EXPECT_EQ(adn.data.size(), 30u);
    EXPECT_EQ(adn.Word(2), 10 * 28);
    EXPECT_EQ(adn.Word(4), files::kEfAdn);
    EXPECT_EQ(adn.Byte(6), 0x04);
    EXPECT_EQ(adn.Byte(13), 0x01) << "linear fixed";
    EXPECT_EQ(adn.Byte(14), 28);
    EXPECT_EQ(Global("isUSIMCARD"), 1);
    Io record = Request(178, files::kEfAdn, "3F007F10", 2, 4, adn.Byte(14));
    EXPECT_EQ(record.data, File(files::kEfAdn).records[1]);
    EXPECT_EQ(modem().Commands().back(), "AT+CRSM=178,28474,2,4,28,,\"3F007F10\"");

    Io iccid = Request(176, files::kEfIccid, "3F00", 0, 0, 10);
    EXPECT_EQ(iccid.data, "98101430121181157002");
    // Card errors are answers too; writes go in upper case; bad paths never leave.
    Io missing = GetResponse(0x6F99, "3F007FFF");
    EXPECT_EQ(missing.error, RIL_E_SUCCESS);
    EXPECT_EQ(missing.sw1, 0x6A);
    EXPECT_EQ(missing.sw2, 0x82);
    EXPECT_EQ(Request(214, files::kEfSpn, "3F007FFF", 0, 1, 2, "5a5a").error, RIL_E_SUCCESS);
    EXPECT_EQ(modem().Commands().back(), "AT+CRSM=214,28486,0,1,2,\"5A5A\",\"3F007FFF\"");
    EXPECT_EQ(Request(176, files::kEfSpn, "3F007FFF", 0, 0, 3).data, "005A5A");
    const size_t sent = modem().Commands().size();
    EXPECT_EQ(Request(176, files::kEfSpn, "3F007FF", 0, 0, 3).error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(Request(214, files::kEfSpn, "3F007FFF", 0, 0, 1, "5\"").error, RIL_E_GENERIC_FAILURE);
    EXPECT_EQ(modem().Commands().size(), sent);
}

TEST_F(SimFiles, GsmCardAnswersPassAsTheCardGivesThem) {
    StartCard(false, "5.1.1");
    for (int fid : {files::kEfSpn, files::kEfIccid, files::kEfAdn}) {
        Io r = GetResponse(fid, fid == files::kEfIccid ? "3F00" : "3F007F20");
        ASSERT_EQ(r.error, RIL_E_SUCCESS) << fid;
        EXPECT_EQ(r.data, files::GsmGetResponse(fid, File(fid))) << fid;
        EXPECT_EQ(r.Word(4), fid);
        EXPECT_EQ(r.Byte(6), 0x04);
    }
    EXPECT_EQ(modem().CountCommands("AT+CRSM=192,28486,,,,,"), 1u) << "short form only until it came back empty";
    EXPECT_EQ(Request(176, files::kEfSpn, "3F007F20", 0, 0, 17).data, File(files::kEfSpn).body);
    EXPECT_EQ(Request(178, files::kEfMsisdn, "3F007F10", 1, 4, 34).data, File(files::kEfMsisdn).records[0]);
    Io past = Request(178, files::kEfAdn, "3F007F10", 11, 4, 28);
    EXPECT_EQ(past.error, RIL_E_SUCCESS);
    EXPECT_EQ(past.sw1, 0x94);
    EXPECT_EQ(Global("isUSIMCARD"), 0);
}

TEST_F(SimFiles, UsimOnANewerFrameworkKeepsTheSpnFcp) {
    StartCard(true, "5.0");
    Io spn = GetResponse(files::kEfSpn, "3F007FFF");
    ASSERT_EQ(spn.error, RIL_E_SUCCESS);
    EXPECT_EQ(spn.data, files::UsimFcp(files::kEfSpn, File(files::kEfSpn)).substr(0, 30)) << "cut at P3, as asked";
    EXPECT_EQ(GetResponse(files::kEfAdn, "3F007F10").Word(2), 10 * 28);
}

}  // namespace
