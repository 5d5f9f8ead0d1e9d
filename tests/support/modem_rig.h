// A simulated modem as the library sees it: the simulator on a pseudo-terminal plus the fake
// sysfs tree and /dev links that lead the port search to it, under one ZORVIK_ROOT.
#ifndef ZORVIK_TESTS_SUPPORT_MODEM_RIG_H
#define ZORVIK_TESTS_SUPPORT_MODEM_RIG_H

#include <modemsim/modemsim.h>
#include <modemsim/sysfs_tree.h>

#include <string>

namespace zvtest {

struct RigOptions {
    int firstTty = 0;          // MODEM, PCUI, DIAG become ttyUSB<first>, <first+1>, <first+2>
    bool ecm = false;          // also show the modem's network interface (NDIS data path)
    std::string ecmName = "usb0";
};

class ModemRig {
public:
    ModemRig(const std::string &root, modemsim::ModuleType type);
    ~ModemRig();

    // Plugs the simulator in and creates the tree; false (with error()) on failure.
    bool PlugIn(const RigOptions &options = {});
    // Removes the tree and closes the simulator's master, as pulling the USB cable does.
    void Unplug();

    modemsim::Modem &modem() { return modem_; }
    const std::string &error() const { return error_; }

private:
    modemsim::Modem modem_;
    modemsim::SysfsTree tree_;
    std::string error_;
};

}  // namespace zvtest

#endif
