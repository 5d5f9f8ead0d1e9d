// The line splitter fed chunk by chunk, as the reader thread feeds it from read().
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "atchannel/at_internal.h"

namespace {

// Feeds the chunks in order and collects every line handed out.
std::vector<std::string> Split(zv::at::LineSplitter &s, const std::vector<std::string> &chunks) {
    std::vector<std::string> lines;
    for (const std::string &chunk : chunks) {
        size_t off = 0;
        while (off < chunk.size()) {
            size_t room = 0;
            char *space = s.ReadSpace(&room);
            const size_t n = std::min(room, chunk.size() - off);
            memcpy(space, chunk.data() + off, n);
            s.Commit(n);
            off += n;
            size_t len = 0;
            while (const char *line = s.Next(&len)) {
                EXPECT_EQ(strlen(line), len);
                lines.emplace_back(line, len);
            }
        }
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineSplitter, LinesEndAtAnyCrOrLfAndMaySpanReads) {
    zv::at::LineSplitter s;
    EXPECT_EQ(Split(s, {"\r\n+CSQ: 1", "7,99\r", "\n\r\nOK\r\n", "A\rB\nC\r\n\r\n", "\n", "\r"}),
              (Lines{"+CSQ: 17,99", "OK", "A", "B", "C"}));
    std::vector<std::string> bytes;
    for (char c : std::string("\r\n+CREG: 1,\"00C3\"\r\n")) bytes.emplace_back(1, c);
    EXPECT_EQ(Split(s, bytes), Lines{"+CREG: 1,\"00C3\""});
}

TEST(LineSplitter, PromptWithoutLineEndOnlyAtTheEndOfTheBytes) {
    zv::at::LineSplitter s;
    EXPECT_EQ(Split(s, {"\r\n> "}), Lines{"> "});
    EXPECT_EQ(Split(s, {"\r\n>", " "}), Lines{"> "});
    EXPECT_EQ(Split(s, {"\r\n> x"}), Lines{});  // a partial line, not a prompt
    EXPECT_EQ(Split(s, {"\r\n"}), Lines{"> x"});
    EXPECT_EQ(Split(s, {"\r\n>  "}), Lines{});
}

TEST(LineSplitter, NulBytesAreDropped) {
    zv::at::LineSplitter s;
    EXPECT_EQ(Split(s, {std::string("\0O\0K\r\n\0\0", 8), std::string(10000, '\0'), std::string("+CM\0TI: 1\r\n", 11)}),
              (Lines{"OK", "+CMTI: 1"}));
}

TEST(LineSplitter, OverlongLineIsDroppedUpToItsLineEnd) {
    zv::at::LineSplitter s;
    const std::string fits(zv::at::kLineBufferSize - 1, 'F');
    EXPECT_EQ(Split(s, {fits + "\r\nOK\r\n"}), (Lines{fits, "OK"}));
    EXPECT_EQ(Split(s, {std::string(zv::at::kLineBufferSize, 'X'), "XXXXOK", "\r\nERROR\r\n"}), Lines{"ERROR"});
    EXPECT_EQ(Split(s, {std::string(3 * zv::at::kLineBufferSize + 5, 'Y'), "\n> "}), Lines{"> "});
}

}  // namespace
