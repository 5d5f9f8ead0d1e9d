// The simulated card behind the modem's default answers: codes cost attempts and block, the
// PUK recovers and can be used up, a busy card settles, and each modem has its own card.
#include <gtest/gtest.h>

#include <modemsim/modemsim.h>
#include <modemsim/sim_card.h>

#include <memory>
#include <string>

namespace {

using modemsim::ModelState;
using modemsim::Modem;
using modemsim::ModuleType;
using modemsim::SimCard;
using modemsim::SimState;
using Lines = Modem::Lines;

Lines Ask(Modem &m, const std::string &command) {
    Lines lines;
    if (!modemsim::DefaultAnswer(m, command, &lines)) return {"<unknown>"};
    return lines;
}

TEST(SimCard, PinPukAndTheirCounters) {
    Modem m(ModuleType::kWcdma);
    m.Update([](ModelState &s) { s.sim = SimState::kPin; });
    EXPECT_EQ(Ask(m, "AT^CPIN?"), (Lines{"^CPIN: SIM PIN,3,10,3,10,3", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"SC\",2"), (Lines{"+CME ERROR: 11"}));
    EXPECT_EQ(Ask(m, "AT+CPIN=\"1234\""), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT^CPIN?"), (Lines{"^CPIN: READY,,10,3,10,3", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"SC\",2"), (Lines{"+CLCK: 1", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CPIN=\"1234\""), (Lines{"+CME ERROR: 3"})) << "no code pending";

    // Three wrong PINs block the card, whichever command tried them.
    EXPECT_EQ(Ask(m, "AT+CPWD=\"SC\",\"0000\",\"4321\""), (Lines{"+CME ERROR: 16"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"SC\",0,\"0000\""), (Lines{"+CME ERROR: 16"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"SC\",0,\"0000\""), (Lines{"+CME ERROR: 16"}));
    EXPECT_EQ(Ask(m, "AT+CPIN?"), (Lines{"+CPIN: SIM PUK", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CIMI"), (Lines{"+CME ERROR: 12"}));
    EXPECT_EQ(Ask(m, "AT+CPIN=\"12345678\""), (Lines{"+CME ERROR: 50"})) << "a PUK needs a new PIN";
    EXPECT_EQ(Ask(m, "AT+CPIN=\"12345678\",\"4321\""), (Lines{"OK"}));
    EXPECT_EQ(modemsim::CardOf(m).pin, "4321");

    // A PIN change needs the PIN lock on and a well-formed new PIN.
    EXPECT_EQ(Ask(m, "AT+CPWD=\"SC\",\"4321\",\"12a4\""), (Lines{"+CME ERROR: 50"}));
    EXPECT_EQ(Ask(m, "AT+CPWD=\"SC\",\"4321\",\"2468\""), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"SC\",0,\"2468\""), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CPWD=\"SC\",\"2468\",\"1357\""), (Lines{"+CME ERROR: 3"}));

    // A used-up PUK kills the card.
    m.Update([](ModelState &s) { s.sim = SimState::kPuk; });
    for (int i = 0; i < 10; ++i) Ask(m, "AT+CPIN=\"00000000\",\"1111\"");
    EXPECT_EQ(Ask(m, "AT+CPIN?"), (Lines{"+CME ERROR: 13"}));
    EXPECT_EQ(Ask(m, "AT^CARDMODE"), (Lines{"^CARDMODE: 0", "OK"}));
}

TEST(SimCard, SecondPinNetworkLockAndBarring) {
    Modem m(ModuleType::kTdscdma);
    EXPECT_EQ(Ask(m, "AT+CLCK=\"FD\",1,\"0000\""), (Lines{"+CME ERROR: 16"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"FD\",1,\"5678\""), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"FD\",2"), (Lines{"+CLCK: 1", "OK"}));
    for (int i = 0; i < 3; ++i) Ask(m, "AT+CPWD=\"P2\",\"0000\",\"1111\"");
    EXPECT_EQ(Ask(m, "AT+CPIN?"), (Lines{"+CPIN: SIM PUK2", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"FD\",0,\"5678\""), (Lines{"+CME ERROR: 18"}));
    EXPECT_EQ(Ask(m, "AT+CPIN=\"87654321\",\"2222\""), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"FD\",0,\"2222\""), (Lines{"OK"}));

    // The network lock, lifted by its key; shown as PH-NET PIN where the modem does so.
    modemsim::UpdateCard(m, [](ModelState &s, SimCard &c) {
        s.cardlock = 1;
        s.cardlock_attempts = 2;
        c.ph_net_pin = true;
    });
    EXPECT_EQ(Ask(m, "AT+CPIN?"), (Lines{"+CPIN: PH-NET PIN", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"PN\",2"), (Lines{"+CLCK: 1", "OK"}));
    EXPECT_EQ(Ask(m, "AT^CARDLOCK=\"1\""), (Lines{"+CME ERROR: 16"}));
    EXPECT_EQ(Ask(m, "AT^CARDLOCK?"), (Lines{"^CARDLOCK: 1,1,0", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CPIN=\"1122334455667788\""), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CPIN?"), (Lines{"+CPIN: READY", "OK"}));
    m.Update([](ModelState &s) { s.cardlock = 1; });
    Ask(m, "AT^CARDLOCK=\"1\"");
    Ask(m, "AT^CARDLOCK=\"2\"");
    EXPECT_EQ(m.State().cardlock, 1) << "a right key gave ten attempts again";
    for (int i = 0; i < 8; ++i) Ask(m, "AT^CARDLOCK=\"1\"");
    EXPECT_EQ(m.State().cardlock, 3);
    EXPECT_EQ(Ask(m, "AT^CARDLOCK=\"1122334455667788\""), (Lines{"+CME ERROR: 16"})) << "locked for good";

    // Barring is per class, behind its own password.
    EXPECT_EQ(Ask(m, "AT+CLCK=\"AO\",1,\"1234\""), (Lines{"+CME ERROR: 16"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"AO\",1,\"0000\",1"), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"AO\",1,\"0000\",4"), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"AO\",2"), (Lines{"+CLCK: 1,1", "+CLCK: 1,4", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"AG\",0,\"0000\""), (Lines{"OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"AO\",2"), (Lines{"+CLCK: 0", "OK"}));
    EXPECT_EQ(Ask(m, "AT+CLCK=\"ZZ\",2"), (Lines{"+CME ERROR: 4"}));
}

TEST(SimCard, BusyCardsModuleTypesAndFreshCards) {
    auto m = std::make_unique<Modem>(ModuleType::kCdma);
    modemsim::UpdateCard(*m, [](ModelState &s, SimCard &c) {
        s.sim = SimState::kBusy;
        c.busy_answers = 2;
        c.pin_enabled = true;
        c.pin_attempts = 1;
    });
    EXPECT_EQ(Ask(*m, "AT+CPIN?"), (Lines{"+CME ERROR: 14"}));
    EXPECT_EQ(Ask(*m, "AT^CPIN?"), (Lines{"+CME ERROR: 14"}));
    EXPECT_EQ(Ask(*m, "AT+CPIN?"), (Lines{"+CPIN: R-UIM PIN", "OK"}));
    EXPECT_EQ(Ask(*m, "AT^CARDLOCK?"), (Lines{"<unknown>"})) << "a CDMA module has no network lock";

    // A new modem, possibly at the same address, has a card of its own.
    m = std::make_unique<Modem>(ModuleType::kCdmaNoCard);
    EXPECT_EQ(modemsim::CardOf(*m).pin_attempts, 3);
    EXPECT_EQ(Ask(*m, "AT+CPIN?"), (Lines{"+CME ERROR: 10"}));
    EXPECT_EQ(Ask(*m, "AT+CIMI"), (Lines{"460001234567890", "OK"})) << "the IMSI lives in the module";
    EXPECT_EQ(Ask(*m, "AT+CGMR"), (Lines{"+CGMR: 21.110.99.01.00", "OK"}));
    Modem w(ModuleType::kWcdma);
    EXPECT_EQ(Ask(w, "AT^IMEISV?"), (Lines{"^IMEISV: 3512345678901205", "OK"}));
    EXPECT_EQ(Ask(w, "AT^CARDMODE"), (Lines{"^CARDMODE: 2", "OK"}));
    EXPECT_EQ(Ask(w, "AT^MEID"), (Lines{"<unknown>"}));
}

}  // namespace
