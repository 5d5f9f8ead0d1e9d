// modemsim: Band lists and settings, SAR state.
//
// ^SYSCFGEX=? / ^SYSCFG=? answer the band list of the firmware (band.h); ^SYSCFGEX= and
// ^SYSCFG= take a band mask made of offered bands (or 3FFFFFFF, any band; 40000000, no
// change) and keep it; ^SARCTRL=<0|1> keeps the SAR level. CDMA modules know none of them.
#include <modemsim/band.h>
#include <modemsim/features.h>

#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

namespace modemsim {
namespace {

using Lines = Modem::Lines;

constexpr std::uint64_t kAnyBand = 0x3FFFFFFF;
constexpr std::uint64_t kNoChange = 0x40000000;

std::vector<std::string> Fields(std::string_view args) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = args.find(',', start);
        out.emplace_back(args.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) return out;
        start = comma + 1;
    }
}

bool Hex(const std::string &text, std::uint64_t *value) {
    if (text.empty() || text.size() > 16) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = v << 4 | static_cast<std::uint64_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
    }
    *value = v;
    return true;
}

bool InRange(const std::string &text, int low, int high) {
    if (text.size() != 1 || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    return text[0] - '0' >= low && text[0] - '0' <= high;
}

bool IsOneOf(const std::string &text, std::initializer_list<const char *> values) {
    for (const char *v : values)
        if (text == v) return true;
    return false;
}

// A band mask the firmware takes: bands it has, any band, or no change.
bool Acceptable(const BandModel &band, const std::string &text) {
    std::uint64_t mask = 0;
    if (!Hex(text, &mask)) return false;
    if (mask == kAnyBand || mask == kNoChange) return true;
    return mask != 0 && (mask & ~band.supported) == 0;
}

Lines SetBand(Modem &m, const std::string &mask) {
    const ModelState s = m.State();
    if (!Acceptable(s.band, mask)) return {"+CME ERROR: 50"};
    std::uint64_t value = 0;
    Hex(mask, &value);
    if (value != kNoChange) m.Update([&](ModelState &state) { state.band.band = mask; });
    return {"OK"};
}

// AT^SYSCFGEX=<acqorder>,<band>,<roam>,<srvdomain>,<lteband>,,
Lines SetSyscfgex(Modem &m, std::string_view args) {
    const std::vector<std::string> f = Fields(args);
    if (f.size() != 7 || f[0].size() < 4 || f[0].front() != '"' || f[0].back() != '"') return {"+CME ERROR: 50"};
    std::uint64_t lte = 0;
    if (!InRange(f[2], 0, 2) || !InRange(f[3], 0, 4) || (!f[4].empty() && !Hex(f[4], &lte)))
        return {"+CME ERROR: 50"};
    return SetBand(m, f[1]);
}

// AT^SYSCFG=<mode>,<acqorder>,<band>,<roam>,<srvdomain>
Lines SetSyscfg(Modem &m, std::string_view args) {
    const std::vector<std::string> f = Fields(args);
    if (f.size() != 5 || !IsOneOf(f[0], {"2", "13", "14", "16"}) || !InRange(f[1], 0, 3) || !InRange(f[3], 0, 2) ||
        !InRange(f[4], 0, 4))
        return {"+CME ERROR: 50"};
    return SetBand(m, f[2]);
}

Lines SetSarControl(Modem &m, const std::string &arg) {
    if (arg != "0" && arg != "1") return {"+CME ERROR: 50"};
    m.Update([&](ModelState &s) {
        s.band.sarctrl = arg[0] - '0';
        ++s.band.sarctrl_commands;
    });
    return {"OK"};
}

bool StartsWith(const std::string &text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

void UseBandList(BandModel &band, BandList list) {
    switch (list) {
        case BandList::kSyscfgexLte:
            band = BandModel{};
            return;
        case BandList::kSyscfgexNoLte:
            band.syscfgex = true;
            band.syscfgex_test =
                "^SYSCFGEX: (\"00\",\"01\",\"02\",\"0102\",\"0201\"),((3fffffff,\"All Bands\"),(2000000400180,"
                "\"GSM900/GSM1800/WCDMA900/WCDMA2100\"),(6A80000,\"GSM850/GSM1900/WCDMA850/AWS/WCDMA1900\")),"
                "(0-2),(0-4),,";
            band.syscfg_test =
                "^SYSCFG:(2,13,14,16),(0-3),((2000000400180,\"GSM900/GSM1800/WCDMA900/WCDMA2100\"),(6A80000,"
                "\"GSM850/GSM1900/WCDMA850/AWS/WCDMA1900\"),(3fffffff,\"All bands\")),(0-2),(0-4)";
            band.supported = 0x2000006e80180ULL;
            return;
        case BandList::kSyscfgPresets:
            band.syscfgex = false;
            band.syscfg_test =
                "^SYSCFG:(2,13,14,16),(0),((2000000400380,\"GSM900/GSM1800/WCDMA900/WCDMA2100\"),(280000,"
                "\"GSM850/GSM1900\"),(3fffffff,\"All bands\")),(0-2),(0-4)";
            band.supported = 0x2000000680380ULL;
            return;
        case BandList::kSyscfgSingle:
            band.syscfgex = false;
            band.syscfg_test = "^SYSCFG:(2,13,14,16),(0-3),((400000,\"WCDMA2100\")),(0-2),(0-4)";
            band.supported = 0x400000ULL;
            return;
    }
}

bool BandAnswer(Modem &m, const std::string &command, Modem::Lines *lines) {
    if (m.type() == ModuleType::kCdma || m.type() == ModuleType::kCdmaNoCard) return false;
    const BandModel band = m.State().band;
    if (StartsWith(command, "AT^SYSCFGEX")) {
        if (!band.syscfgex) return false;
        if (command == "AT^SYSCFGEX=?") {
            *lines = {band.syscfgex_test, "OK"};
        } else if (command == "AT^SYSCFGEX?") {
            *lines = {"^SYSCFGEX: \"00\"," + band.band + ",1,2,7FFFFFFFFFFFFFFF", "OK"};
        } else if (StartsWith(command, "AT^SYSCFGEX=")) {
            *lines = SetSyscfgex(m, std::string_view(command).substr(sizeof("AT^SYSCFGEX=") - 1));
        } else {
            return false;
        }
        return true;
    }
    if (command == "AT^SYSCFG=?") {
        *lines = {band.syscfg_test, "OK"};
    } else if (command == "AT^SYSCFG?") {
        *lines = {"^SYSCFG: 2,0," + band.band + ",1,2", "OK"};
    } else if (StartsWith(command, "AT^SYSCFG=")) {
        *lines = SetSyscfg(m, std::string_view(command).substr(sizeof("AT^SYSCFG=") - 1));
    } else if (StartsWith(command, "AT^SARCTRL=")) {
        *lines = SetSarControl(m, command.substr(sizeof("AT^SARCTRL=") - 1));
    } else if (command == "AT^SARCTRL?") {
        *lines = {"^SARCTRL: " + std::to_string(band.sarctrl < 0 ? 0 : band.sarctrl), "OK"};
    } else {
        return false;
    }
    return true;
}

}  // namespace modemsim
