// Builds the fake sysfs entries of sysfs_tree.h. Attribute files hold what the kernel prints
// (lower-case hex and a line feed); the option driver's entries are relative symbolic links to
// the USB interfaces, so one set of attribute files serves both views, as in a real tree.
#include "modemsim/sysfs_tree.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace modemsim {
namespace fs = std::filesystem;

namespace {

constexpr char kOptionDir[] = "/sys/bus/usb/drivers/option";
constexpr char kDevicesDir[] = "/sys/bus/usb/devices";
constexpr char kSdioDir[] = "/sys/bus/sdio/drivers/sdio_uart";
constexpr char kNetDir[] = "/sys/class/net";
constexpr char kDevDir[] = "/dev";

std::string Hex2(int v) {
    char buf[16];
    snprintf(buf, sizeof buf, "%02x", v & 0xff);
    return buf;
}

bool Fail(std::string *error, const std::string &what, const std::error_code &ec) {
    if (error) *error = what + ": " + ec.message();
    return false;
}

bool WriteFile(const fs::path &path, const std::string &text, std::string *error) {
    FILE *f = fopen(path.c_str(), "w");
    if (!f) return Fail(error, path.string(), std::error_code(errno, std::generic_category()));
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok) return Fail(error, path.string(), std::error_code(EIO, std::generic_category()));
    return true;
}

bool MakeDirs(const fs::path &path, std::string *error) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return ec ? Fail(error, path.string(), ec) : true;
}

}  // namespace

std::string UsbModalias(const std::string &vendor, const std::string &product, int interfaceClass,
                        int interfaceSubClass, int interfaceProtocol, int number) {
    char buf[128];
    snprintf(buf, sizeof buf, "usb:v%sp%sd0000dc00dsc00dp00ic%02Xisc%02Xip%02Xin%02X", vendor.c_str(), product.c_str(),
             interfaceClass & 0xff, interfaceSubClass & 0xff, interfaceProtocol & 0xff, number & 0xff);
    return buf;
}

SysfsTree::SysfsTree(std::string root) : root_(std::move(root)) {
    while (!root_.empty() && root_.back() == '/') root_.pop_back();
}

SysfsTree::~SysfsTree() {
    Remove();
}

bool SysfsTree::Create(const ModemLayout &layout, std::string *error) {
    return MakeUsb(layout, error) && MakeSdio(layout, error) && MakeNet(layout, error);
}

void SysfsTree::Remove() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
        std::error_code ec;
        fs::remove_all(*it, ec);  // does not follow links: a /dev link's pty stays untouched
    }
    created_.clear();
}

bool SysfsTree::MakeUsb(const ModemLayout &layout, std::string *error) {
    if (layout.usb.empty()) return true;
    const fs::path devices = RealPath(kDevicesDir);
    const fs::path option = RealPath(kOptionDir);
    if (!MakeDirs(devices, error) || !MakeDirs(option, error)) return false;

    const fs::path device = devices / layout.usbDevice;
    if (!fs::exists(device)) {
        if (!MakeDirs(device, error)) return false;
        created_.push_back(device);
        if (!WriteFile(device / "idVendor", layout.vendor + "\n", error) ||
            !WriteFile(device / "idProduct", layout.product + "\n", error))
            return false;
    }

    // A plugged modem appears to a scan of the option driver's directory all at once: its /dev
    // nodes first, then the driver's links, which dangle (a scan meeting one fails) until every
    // interface directory has been moved into place whole from a staging directory. Such a scan
    // running meanwhile finds all of the modem's ports or none, never a partial list. (A search
    // pass reads that directory twice, so a plug between its two reads can still change its
    // result; a test that needs one result plugs between passes.)
    const fs::path staging = RealPath("/sys/bus/usb/.plugging");
    for (const UsbInterface &in : layout.usb) {
        if (!MakeDevLink(in.tty, in.target, error)) return false;
    }
    for (const UsbInterface &in : layout.usb) {
        if (!in.option) continue;
        const std::string name = layout.usbDevice + ":1." + std::to_string(in.number);
        const fs::path link = option / name;
        std::error_code ec;
        fs::remove(link, ec);
        fs::create_directory_symlink(fs::path("../../devices") / name, link, ec);
        if (ec) return Fail(error, link.string(), ec);
        created_.push_back(link);
    }
    for (const UsbInterface &in : layout.usb) {
        const std::string name = layout.usbDevice + ":1." + std::to_string(in.number);
        const fs::path final_dir = devices / name;
        std::error_code existsEc;
        const bool in_place = fs::exists(final_dir, existsEc);  // plugged again without an unplug
        const fs::path dir = in_place ? final_dir : staging / name;
        if (!in_place) {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
        if (!MakeDirs(dir, error)) return false;
        int protocol = static_cast<int>(strtol(in.protocol.c_str(), nullptr, 16));
        if (!WriteFile(dir / "bInterfaceClass", "ff\n", error) ||
            !WriteFile(dir / "bInterfaceSubClass", "ff\n", error) ||
            !WriteFile(dir / "bInterfaceProtocol", in.protocol + "\n", error) ||
            !WriteFile(dir / "bInterfaceNumber", Hex2(in.number) + "\n", error) ||
            !WriteFile(dir / "modalias",
                       UsbModalias(layout.vendor, layout.product, 0xff, 0xff, protocol, in.number) + "\n", error))
            return false;
        if (!in.tty.empty() && !MakeDirs(dir / in.tty, error)) return false;
        if (!in_place) {
            std::error_code ec;
            fs::rename(dir, final_dir, ec);
            if (ec) return Fail(error, final_dir.string(), ec);
        }
        created_.push_back(final_dir);
    }
    return true;
}

bool SysfsTree::MakeSdio(const ModemLayout &layout, std::string *error) {
    for (const SdioFunction &fn : layout.sdio) {
        const fs::path dir = fs::path(RealPath(kSdioDir)) / fn.name;
        if (!MakeDirs(dir / "tty", error)) return false;
        created_.push_back(dir);
        if (!fn.tty.empty() && !MakeDirs(dir / "tty" / fn.tty, error)) return false;
        if (!MakeDevLink(fn.tty, fn.target, error)) return false;
    }
    return true;
}

bool SysfsTree::MakeNet(const ModemLayout &layout, std::string *error) {
    for (const NetInterface &net : layout.net) {
        const fs::path dir = fs::path(RealPath(kNetDir)) / net.name;
        if (!MakeDirs(dir / "device", error)) return false;
        created_.push_back(dir);
        const std::string modalias = net.modalias.empty()
                                         ? UsbModalias(layout.vendor, layout.product, 0x02, 0x06, 0x00, net.number)
                                         : net.modalias;
        if (!WriteFile(dir / "device" / "modalias", modalias + "\n", error)) return false;
    }
    return true;
}

bool SysfsTree::MakeDevLink(const std::string &tty, const std::string &target, std::string *error) {
    if (tty.empty() || target.empty()) return true;
    const fs::path dev = RealPath(kDevDir);
    if (!MakeDirs(dev, error)) return false;
    const fs::path link = dev / tty;
    std::error_code ec;
    fs::remove(link, ec);  // a node left by an earlier enumeration
    fs::create_symlink(target, link, ec);
    if (ec) return Fail(error, link.string(), ec);
    created_.push_back(link);
    return true;
}

}  // namespace modemsim
