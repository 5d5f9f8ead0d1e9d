// A fake sysfs and /dev for a simulated modem, built under a directory that stands for "/"
// (a test's ZORVIK_ROOT). It shows what the option, USB core, sdio_uart and network drivers
// would show for the described interfaces, and can unplug them or re-enumerate under new names.
#ifndef MODEMSIM_SYSFS_TREE_H
#define MODEMSIM_SYSFS_TREE_H

#include <string>
#include <vector>

namespace modemsim {

// One USB interface, <ModemLayout::usbDevice>:1.<number>.
struct UsbInterface {
    int number = 0;               // bInterfaceNumber
    std::string protocol = "ff";  // bInterfaceProtocol, two hex digits
    std::string tty;              // serial child such as "ttyUSB0"; empty for none
    std::string target;           // what /dev/<tty> links to (a pty slave); empty: no /dev node
    bool option = true;           // bound to the option driver (listed under its directory)
};

// One SDIO function bound to sdio_uart, e.g. "mmc0:0001:1" with tty "ttySDIO1".
struct SdioFunction {
    std::string name;
    std::string tty;
    std::string target;  // as for UsbInterface
};

// A network interface with /sys/class/net/<name>/device/modalias.
struct NetInterface {
    std::string name;      // "usb0", "eth1"
    int number = 4;        // USB interface number used in the default modalias
    std::string modalias;  // empty: the modem's ECM function (class 02, subclass 06)
};

// What one modem shows. Build it field by field; every list may be empty.
struct ModemLayout {
    std::string usbDevice = "1-1";  // bus-port
    std::string vendor = "5E1A";    // upper-case hex, as in a modalias
    std::string product = "9A01";
    std::vector<UsbInterface> usb;
    std::vector<SdioFunction> sdio;
    std::vector<NetInterface> net;
};

// The modalias the USB core writes for an interface ("usb:v5E1Ap9A01d0000...ipFFin00").
std::string UsbModalias(const std::string &vendor, const std::string &product, int interfaceClass,
                        int interfaceSubClass, int interfaceProtocol, int number);

class SysfsTree {
  public:
    explicit SysfsTree(std::string root);
    ~SysfsTree();  // unplugs whatever is still there
    SysfsTree(const SysfsTree &) = delete;
    SysfsTree &operator=(const SysfsTree &) = delete;

    // Adds the layout's entries (call again to add another device). On failure returns false
    // and sets *error; what was made so far still goes with Remove().
    bool Create(const ModemLayout &layout, std::string *error = nullptr);

    // Unplug: deletes every entry Create made, /dev links included. The driver directories
    // stay, as they do when the module remains loaded.
    void Remove();

    const std::string &root() const { return root_; }
    std::string RealPath(const std::string &logical) const { return root_ + logical; }

  private:
    bool MakeUsb(const ModemLayout &layout, std::string *error);
    bool MakeSdio(const ModemLayout &layout, std::string *error);
    bool MakeNet(const ModemLayout &layout, std::string *error);
    bool MakeDevLink(const std::string &tty, const std::string &target, std::string *error);

    std::string root_;
    std::vector<std::string> created_;  // real paths, removed newest first
};

}  // namespace modemsim

#endif
