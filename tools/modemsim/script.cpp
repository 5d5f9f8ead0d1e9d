// Script files for the simulated modem: one directive a line, so a person can shape the modem
// of zv-modemsim without writing C++. The format is described in docs/modemsim.md.

#include <modemsim/modemsim.h>

#include <charconv>
#include <sstream>
#include <string_view>

namespace modemsim {
namespace {

std::string_view Trim(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// Splits "<word> <rest>" at the first blank.
std::string_view NextWord(std::string_view *text) {
    *text = Trim(*text);
    const std::size_t blank = text->find_first_of(" \t");
    std::string_view word = text->substr(0, blank);
    *text = blank == std::string_view::npos ? std::string_view{} : Trim(text->substr(blank));
    return word;
}

bool ParseMs(std::string_view text, int *ms) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *ms);
    return ec == std::errc() && end == text.data() + text.size() && *ms >= 0;
}

// "<command> => <line> | <line> | ..."
bool ParseAnswer(std::string_view text, std::string *command, Modem::Lines *lines) {
    const std::size_t arrow = text.find("=>");
    if (arrow == std::string_view::npos) return false;
    *command = std::string(Trim(text.substr(0, arrow)));
    std::string_view rest = text.substr(arrow + 2);
    lines->clear();
    while (!Trim(rest).empty()) {
        const std::size_t bar = rest.find('|');
        lines->emplace_back(Trim(rest.substr(0, bar)));
        rest = bar == std::string_view::npos ? std::string_view{} : rest.substr(bar + 1);
    }
    return !command->empty();
}

bool ParseSim(std::string_view text, SimState *sim) {
    static constexpr struct {
        std::string_view name;
        SimState state;
    } kStates[] = {
        {"ready", SimState::kReady},   {"pin", SimState::kPin},   {"puk", SimState::kPuk},
        {"absent", SimState::kAbsent}, {"busy", SimState::kBusy},
    };
    for (const auto &entry : kStates) {
        if (text == entry.name) {
            *sim = entry.state;
            return true;
        }
    }
    return false;
}

bool ApplyLine(Modem &m, std::string_view text) {
    const std::string_view verb = NextWord(&text);
    std::string command;
    Modem::Lines lines;
    int number = 0;
    if (verb == "on" || verb == "prefix") {
        if (!ParseAnswer(text, &command, &lines)) return false;
        verb == "on" ? m.On(command, lines) : m.OnPrefix(command, lines);
    } else if (verb == "withhold") {
        if (text.empty()) return false;
        m.Withhold(std::string(text));
    } else if (verb == "delay") {
        if (!ParseMs(NextWord(&text), &number) || text.empty()) return false;
        m.Delay(std::string(text), number);
    } else if (verb == "inject") {
        if (!ParseMs(NextWord(&text), &number) || text.empty()) return false;
        m.InjectLater(std::string(text), number);
    } else if (verb == "sim") {
        SimState sim;
        if (!ParseSim(text, &sim)) return false;
        m.Update([sim](ModelState &s) { s.sim = sim; });
    } else if (verb == "cfun") {
        if (text != "0" && text != "1" && text != "4") return false;
        number = text[0] - '0';
        m.Update([number](ModelState &s) { s.cfun = number; });
    } else if (verb == "echo") {
        if (text != "on" && text != "off") return false;
        const bool on = text == "on";
        m.SetEchoAtPowerOn(on);
        m.Update([on](ModelState &s) { s.echo = on; });
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool LoadScript(Modem &m, const std::string &text, std::string *error) {
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view directive = Trim(line);
        if (directive.empty() || directive[0] == '#') continue;
        if (!ApplyLine(m, directive)) {
            if (error != nullptr) *error = "line " + std::to_string(number) + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace modemsim
