// A small USSD network behind the simulated modem: "*100#" opens a menu (type 1, further
// action required), "1" answers in GSM 7-bit and "2" in UCS-2 (type 0, dialogue done), any
// other string ends the dialogue (type 2). Requests arrive as hex text in coding scheme 15
// (packed 7-bit) or 72 (UCS-2); the answers follow the OK like a real network's do.
#include <modemsim/modemsim.h>

#include <cctype>
#include <cstdint>
#include <string>

namespace modemsim {
namespace {

constexpr int kAnswerDelayMs = 20;

std::string Hex(const std::string &bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string Unhex(const std::string &hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        auto nib = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10); };
        if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
            break;
        out += static_cast<char>(nib(hex[i]) << 4 | nib(hex[i + 1]));
    }
    return out;
}

// Packs ASCII text that is also GSM default alphabet (letters, digits, space, * # . :).
// Seven septets in seven octets leave one spare septet: it is filled with CR (TS 23.038).
std::string Pack7(const std::string &text) {
    std::string septets = text;
    if (septets.size() % 8 == 7) septets += '\r';
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (unsigned char c : septets) {
        acc |= (c & 0x7fu) << bits;
        bits += 7;
        while (bits >= 8) {
            out += static_cast<char>(acc & 0xff);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) out += static_cast<char>(acc & 0xff);
    return out;
}

std::string Unpack7(const std::string &octets) {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (unsigned char c : octets) {
        acc |= static_cast<unsigned>(c) << bits;
        bits += 8;
        while (bits >= 7) {
            out += static_cast<char>(acc & 0x7f);
            acc >>= 7;
            bits -= 7;
        }
    }
    if (!out.empty() && out.back() == '\r' && octets.size() % 7 == 0) out.pop_back();
    return out;
}

// UTF-16 big-endian bytes of a UTF-8 text limited to the basic multilingual plane.
std::string Ucs2(const std::u16string &text) {
    std::string out;
    for (char16_t u : text) {
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xff);
    }
    return out;
}

std::string AsciiOfUcs2(const std::string &bytes) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += bytes[i] == 0 ? bytes[i + 1] : '?';
    return out;
}

}  // namespace

// AT+CUSD=<n>[,"<hex>"[,<dcs>]]
Modem::Lines UssdRequest(Modem &m, const std::string &command) {
    std::string args = command.substr(8);  // after "AT+CUSD="
    if (args == "2" || args == "0" || args == "1") return {"OK"};
    if (args.rfind("1,\"", 0) != 0) return {"+CME ERROR: 50"};
    std::size_t close = args.find('"', 3);
    if (close == std::string::npos) return {"+CME ERROR: 50"};
    std::string hex = args.substr(3, close - 3);
    int dcs = 15;
    if (close + 2 < args.size() && args[close + 1] == ',') dcs = std::atoi(args.c_str() + close + 2);
    std::string text = dcs == 72 ? AsciiOfUcs2(Unhex(hex)) : Unpack7(Unhex(hex));

    std::string answer;
    if (text == "*100#") {
        answer = "+CUSD: 1,\"" + Hex(Pack7("Menu: 1 Balance 2 Data")) + "\",15";
    } else if (text == "1") {
        answer = "+CUSD: 0,\"" + Hex(Pack7("Balance 10.00")) + "\",15";
    } else if (text == "2") {
        answer = "+CUSD: 0,\"" + Hex(Ucs2(u"\u6D41\u91CF 500MB")) + "\",72";
    } else {
        answer = "+CUSD: 2";
    }
    m.InjectLater(answer, kAnswerDelayMs);
    return {"OK"};
}

}  // namespace modemsim
