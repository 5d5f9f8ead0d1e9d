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
    if (o.ecm) layout.net.push_back({o.ecmName, 4, ""});
    return tree_.Create(layout, &error_);
}

void ModemRig::Unplug() {
    tree_.Remove();
    modem_.Unplug();
}

}  // namespace zvtest
