// Port discovery over fake sysfs trees: which /dev node ends up in which role, and how the
// search behaves while nothing is plugged in.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <modemsim/sysfs_tree.h>
#include <zorvik/host.h>

#include "ports/ports.h"

namespace {

using modemsim::ModemLayout;
using modemsim::UsbInterface;
using Strings = std::vector<std::string>;

constexpr char kEnumPass[] = "_____Enum ports._____";
constexpr int kTimeScale = 100;  // a pass pauses 10 ms

UsbInterface Port(int number, const char *protocol, const char *tty) {
    UsbInterface in;
    in.number = number;
    in.protocol = protocol;
    in.tty = tty;
    return in;
}

ModemLayout UsbModem(const char *product, std::vector<UsbInterface> usb) {
    ModemLayout m;
    m.product = product;
    m.usb = std::move(usb);
    return m;
}

ModemLayout StandardModem(int first = 0) {
    auto tty = [first](int i) { return "ttyUSB" + std::to_string(first + i); };
    return UsbModem("7F00", {Port(0, "01", tty(0).c_str()), Port(1, "02", tty(1).c_str()),
                             Port(2, "03", tty(2).c_str()), Port(3, "ff", tty(3).c_str())});
}

// A scan meets entries in directory order. tmpfs lists a directory newest entry first, so there
// the cases below that create entries in a chosen order meet them in the order that exposes a
// fault every time; on other filesystems the order, and so the check, is down to chance.
std::string TestRootTemplate() {
    return std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/zvports-XXXXXX";
}

class PortsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = TestRootTemplate();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        setenv("ZORVIK_ROOT", root_.c_str(), 1);
        setenv("ZORVIK_TIME_SCALE", std::to_string(kTimeScale).c_str(), 1);
        zv::ReloadHostEnvironment();
        tree_ = std::make_unique<modemsim::SysfsTree>(root_);
        zv::SetLogCapture(&PortsTest::Capture, this);
    }

    void TearDown() override {
        zv::SetLogCapture(nullptr, nullptr);
        tree_.reset();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
        unsetenv("ZORVIK_ROOT");
        unsetenv("ZORVIK_TIME_SCALE");
        zv::ReloadHostEnvironment();
    }

    static void Capture(int, const char *, const char *text, void *ctx) {
        auto *self = static_cast<PortsTest *>(ctx);
        {
            std::lock_guard<std::mutex> lock(self->log_mutex_);
            self->log_.emplace_back(text);
        }
        if (strcmp(text, kEnumPass) == 0 && self->plug_between_passes_.exchange(false)) self->Plug(self->pending_);
    }

    // Plugs `layout` from the searching thread as it ends a pass, so no pass spans the plug: one
    // that did could find the option driver's ports empty, then match them by interface number
    // from the device root (the fallback for an unknown product) and name other ports.
    void PlugBetweenPasses(const ModemLayout &layout) {
        pending_ = layout;
        plug_between_passes_ = true;
    }

    int Logged(const char *text) {
        std::lock_guard<std::mutex> lock(log_mutex_);
        int n = 0;
        for (const std::string &line : log_) n += line == text;
        return n;
    }

    void Plug(const ModemLayout &layout) {
        std::string error;
        ASSERT_TRUE(tree_->Create(layout, &error)) << error;
    }

    static Strings Find(std::vector<const char *> roles) {
        char **ports = nullptr;
        if (FindPortsbyPath(roles.data(), static_cast<int>(roles.size()), &ports) != 1) return {"<failed>"};
        Strings out;
        for (size_t i = 0; i < roles.size(); ++i) {
            out.emplace_back(ports[i]);
            free(ports[i]);
        }
        free(ports);
        return out;
    }

    std::string root_;
    std::unique_ptr<modemsim::SysfsTree> tree_;
    std::mutex log_mutex_;
    Strings log_;
    ModemLayout pending_;
    std::atomic<bool> plug_between_passes_{false};
};

const std::vector<const char *> kAllRoles = {"MODEM", "PCUI", "DIAG", "GPS", "CTRL"};

TEST_F(PortsTest, OptionProtocolsNameTheRolesFromTheFirstRoot) {
    Plug(StandardModem());
    EXPECT_EQ(Find(kAllRoles), (Strings{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "", ""}));
    EXPECT_EQ(Logged("GetPorts: strstr modalias is OK!"), 0);  // the device root was never needed
    EXPECT_EQ(Logged(kEnumPass), 0);
}

TEST_F(PortsTest, AlternativeProtocolWinsOverMainOne) {
    Plug(UsbModem("7F00", {Port(0, "01", "ttyUSB0"), Port(1, "02", "ttyUSB1"), Port(2, "03", "ttyUSB2"),
                           Port(3, "12", "ttyUSB3"), Port(4, "10", "ttyUSB4"), Port(5, "05", "ttyUSB5"),
                           Port(6, "14", "ttyUSB6"), Port(7, "06", "ttyUSB7")}));
    EXPECT_EQ(Find(kAllRoles),
              (Strings{"/dev/ttyUSB4", "/dev/ttyUSB3", "/dev/ttyUSB2", "/dev/ttyUSB6", "/dev/ttyUSB7"}));
}

TEST_F(PortsTest, ProductRowDecidesByInterfaceNumberWhenProtocolsSayNothing) {
    ModemLayout m = UsbModem("9A03", {Port(4, "ff", ""), Port(0, "ff", "ttyUSB0"), Port(1, "ff", "ttyUSB1"),
                                      Port(2, "ff", "ttyUSB2"), Port(3, "ff", "ttyUSB3")});
    m.usb[0].option = false;  // the network function, not a serial port
    Plug(m);
    // Another device of the vendor without serial ports, scanned first: its modalias must not be
    // paired with the modem's first tty (row 9A04 would put PCUI on interface 00).
    ModemLayout other = UsbModem("9A04", {Port(0, "ff", "")});
    other.usbDevice = "1-2";
    other.usb[0].option = false;
    Plug(other);

    // Row 9A03: MODEM 01, DIAG 00, PCUI 02, GPS 03, no CTRL.
    EXPECT_EQ(Find(kAllRoles), (Strings{"/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB0", "/dev/ttyUSB3", ""}));
    EXPECT_EQ(Logged("GetPorts: strstr modalias is OK!"), 1);
}

TEST_F(PortsTest, UnknownProductIsMatchedByInterfaceNumberLikeProtocols) {
    Plug(UsbModem("7F00", {Port(0, "ff", "ttyUSB0"), Port(1, "ff", "ttyUSB1"), Port(2, "ff", "ttyUSB2"),
                           Port(3, "ff", "ttyUSB3"), Port(0x12, "ff", "ttyUSB4"), Port(6, "ff", "ttyUSB5")}));
    EXPECT_EQ(Find(kAllRoles), (Strings{"/dev/ttyUSB1", "/dev/ttyUSB4", "/dev/ttyUSB3", "", "/dev/ttyUSB5"}));
}

TEST_F(PortsTest, SdioFunctionsAreNamedByTheirTty) {
    ModemLayout m;
    m.sdio = {{"mmc1:0001:1", "ttySDIO1", ""}, {"mmc1:0001:2", "ttySDIO2", ""}, {"mmc1:0001:3", "ttySDIO3", ""}};
    Plug(m);
    EXPECT_EQ(Find(kAllRoles), (Strings{"/dev/ttySDIO1", "/dev/ttySDIO2", "/dev/ttySDIO3", "", ""}));
}

TEST_F(PortsTest, UnknownRoleNameTakesThePreviousRolesSlot) {
    Plug(StandardModem());
    EXPECT_EQ(Find({"AUX", "PCUI", "NMEA", "DIAG", "MODEM"}),
              (Strings{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB0"}));
}

TEST_F(PortsTest, LongNamesAreNeitherCutNorOverflowed) {
    // Six hub tiers make attribute paths longer than a port path buffer; they must still be read.
    ModemLayout m = StandardModem();
    m.usbDevice = "1-1.2.3.4.5.6";
    // A /dev path that cannot fit in 60 bytes would name another node if cut: leave the role empty.
    m.usb[0].tty = "ttyUSB" + std::string(70, '9');
    Plug(m);
    EXPECT_EQ(Find({"MODEM", "PCUI", "DIAG"}), (Strings{"", "/dev/ttyUSB1", "/dev/ttyUSB2"}));
}

TEST_F(PortsTest, UnreadableInterfaceEndsOnlyThatRootAndLeavesNothingBehind) {
    // Created before the good entry, so scanned after it.
    std::filesystem::create_directories(tree_->RealPath("/sys/bus/usb/drivers/option"));
    std::filesystem::create_directory_symlink("../../devices/9-9:1.0",
                                              tree_->RealPath("/sys/bus/usb/drivers/option/9-9:1.0"));
    Plug(UsbModem("7F00", {Port(0, "12", "ttyUSB0")}));
    ModemLayout sdio;
    sdio.sdio = {{"mmc1:0001:1", "ttySDIO1", ""}, {"mmc1:0001:2", "ttySDIO2", ""}};
    Plug(sdio);

    // The option entry with protocol 12 may be read before the broken one: it must not stay as PCUI.
    EXPECT_EQ(Find({"MODEM", "PCUI"}), (Strings{"/dev/ttySDIO1", "/dev/ttySDIO2"}));
    EXPECT_GE(Logged("Open x-x:x.x fail!"), 1);
}

TEST_F(PortsTest, SearchWaitsPassByPassUntilModemAppearsAndFollowsReenumeration) {
    Plug(StandardModem());
    EXPECT_EQ(Find({"MODEM", "PCUI"}), (Strings{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    tree_->Remove();

    std::atomic<bool> done{false};
    Strings result;
    auto start = std::chrono::steady_clock::now();
    std::thread search([&] {
        result = Find({"MODEM", "PCUI"});
        done = true;
    });
    auto deadline = start + std::chrono::seconds(20);
    while (Logged(kEnumPass) < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int passes = Logged(kEnumPass);
    auto elapsed_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(passes, 5);
    EXPECT_FALSE(done);
    // Each pass sleeps its scaled second: a spinning search would log far more passes than fit.
    EXPECT_LE(passes, elapsed_ms / (1000 / kTimeScale) + 1);

    PlugBetweenPasses(StandardModem(3));
    search.join();
    EXPECT_EQ(result, (Strings{"/dev/ttyUSB3", "/dev/ttyUSB4"}));
}

TEST_F(PortsTest, RejectsBadArguments) {
    char **ports = nullptr;
    EXPECT_EQ(FindPortsbyPath(nullptr, 3, &ports), 0);
    EXPECT_EQ(ports, nullptr);
    EXPECT_EQ(Logged("FindPortsbyPath: Pointer(INPUT) is NULL!"), 1);

    char table[ZV_PORT_SLOTS][ZV_PORT_PATH_SIZE] = {};
    char *view[ZV_PORT_SLOTS];
    for (int k = 0; k < ZV_PORT_SLOTS; ++k) view[k] = table[k];
    const char *attribute = nullptr;
    EXPECT_EQ(GetProtocol("/sys/class/tty", &attribute, view), 0);
    EXPECT_EQ(Logged("----The ports_path is not recognized----"), 1);
    EXPECT_EQ(GetProtocol(nullptr, &attribute, view), 0);
    EXPECT_EQ(Logged("GetProtocol: Pointer(INPUT) is NULL!"), 1);
    EXPECT_EQ(GetPorts("/sys/bus/usb/drivers/option", nullptr, view, view), 0);
    EXPECT_EQ(Logged("GetPorts: Pointer(INPUT) is NULL!"), 1);
}

// The table is replaced by integrators; a malformed row would silently match nothing or everything.
TEST(ProductPortTable, RowsAreWellFormed) {
    // Ids are compared with the modalias (upper-case hex), numbers with bInterfaceNumber (lower case).
    auto hex = [](const std::string &s, const char *digits) {
        return !s.empty() && s.find_first_not_of(digits) == std::string::npos;
    };
    int used = 0;
    for (const ProductPortRow &row : ProductPortTable) {
        if (row.product[0] == '\0') continue;
        ++used;
        std::string id(row.product, strnlen(row.product, sizeof row.product));
        EXPECT_TRUE(id.size() == 4 && hex(id, "0123456789ABCDEF")) << id;
        for (const char *field : {row.modem, row.diag, row.pcui, row.gps, row.ctrl}) {
            std::string f(field, strnlen(field, 20));
            EXPECT_TRUE(f == "_" || (f.size() == 2 && hex(f, "0123456789abcdef"))) << id << ": '" << f << "'";
        }
    }
    EXPECT_GT(used, 0);
}

}  // namespace
