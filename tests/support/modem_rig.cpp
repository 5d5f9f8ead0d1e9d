#include "support/modem_rig.h"

#include <modemsim/data_port.h>

#include <stdio.h>

namespace zvtest {

ModemRig::ModemRig(const std::string &root, modemsim::ModuleType type) : modem_(type), tree_(root) {}

ModemRig::~ModemRig() { Unplug(); }

bool ModemRig::PlugIn(const RigOptions &o) {
    if (!modem_.Plug()) {
        error_ = "cannot open a pseudo-terminal";
        return false;
    }
    // The control and MODEM ports lead to the simulator; the DIAG node is a placeholder.
    modemsim::ModemLayout layout;
    auto tty = [&](int k) { return "ttyUSB" + std::to_string(o.firstTty + k); };
    const std::string data = modem_.data_port().SlavePath();
    layout.usb.push_back({0, "01", tty(0), data.empty() ? "/dev/null" : data, true});
    layout.usb.push_back({1, "02", tty(1), modem_.SlavePath(), true});
    layout.usb.push_back({2, "03", tty(2), "/dev/null", true});
    // The network interface before the ports: the library chooses the data path as soon as it
    // finds the ports, and an interface shown after them would leave that choice to chance.
    if (o.ecm) {
        modemsim::ModemLayout net;
        net.net.push_back({o.ecmName, 4, ""});
        if (!tree_.Create(net, &error_)) return false;
    }
    return tree_.Create(layout, &error_);
}

void ModemRig::Unplug() {
    tree_.Remove();
    modem_.Unplug();
}

}  // namespace zvtest
