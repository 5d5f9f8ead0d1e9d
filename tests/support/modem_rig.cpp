#include "support/modem_rig.h"

#include <stdio.h>

namespace zvtest {

ModemRig::ModemRig(const std::string &root, modemsim::ModuleType type) : modem_(type), tree_(root) {}

ModemRig::~ModemRig() { Unplug(); }

bool ModemRig::PlugIn(const RigOptions &o) {
    if (!modem_.Plug()) {
        error_ = "cannot open a pseudo-terminal";
        return false;
    }
    // Only the control port leads to the simulator; the MODEM and DIAG nodes are placeholders.
    modemsim::ModemLayout layout;
    auto tty = [&](int k) { return "ttyUSB" + std::to_string(o.firstTty + k); };
    layout.usb.push_back({0, "01", tty(0), "/dev/null", true});
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
