// Unit-test helpers for request handlers driven directly over the library's AT channel: the
// channel opened on the slave side of a simulated modem, and a guard that puts the library's
// global words back as they were.
#ifndef ZORVIK_TESTS_UNIT_SUPPORT_MODEM_CHANNEL_H
#define ZORVIK_TESTS_UNIT_SUPPORT_MODEM_CHANNEL_H

#include <modemsim/modemsim.h>

#include <initializer_list>
#include <utility>
#include <vector>

namespace zvtest {

// Plugs the modem in and opens the channel on its slave side in raw mode, as the port search
// leaves a port, with an unsolicited handler that drops everything. False when either fails.
bool OpenChannelOn(modemsim::Modem &modem);
// Closes the channel, then pulls the modem.
void CloseChannelOn(modemsim::Modem &modem);

// Remembers the words at construction and stores them back at destruction, so a fixture that
// changes module type, platform or project flags leaves the next test the library it found.
class SavedWords {
public:
    SavedWords(std::initializer_list<int *> words);
    ~SavedWords();
    SavedWords(const SavedWords &) = delete;
    SavedWords &operator=(const SavedWords &) = delete;

private:
    std::vector<std::pair<int *, int>> saved_;
};

}  // namespace zvtest

#endif
