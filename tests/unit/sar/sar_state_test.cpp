// What a read of the SAR state file means: the three state words by their beginning, and
// everything a broken or hostile driver could leave there (nothing, garbage, NUL bytes, no
// line end, a line far longer than the file's 49 characters) as no state at all.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <string>

#include "sar/sar.h"

namespace {

using zv::sar::SarState;

zv::sar::StateText ReadFrom(const std::string &content) {
    FILE *f = tmpfile();
    EXPECT_NE(f, nullptr);
    if (!content.empty()) fwrite(content.data(), 1, content.size(), f);
    fflush(f);
    int fd = fileno(f);
    lseek(fd, 0, SEEK_SET);
    zv::sar::StateText text = zv::sar::ReadStateText(fd);
    fclose(f);
    return text;
}

TEST(SarStateFile, WhatAReadMeans) {
    const struct {
        std::string content;
        SarState state;
    } cases[] = {
        {"SAR_CONTROL_ON\n", SarState::kOn},
        {"SAR_CONTROL_ON", SarState::kOn},
        {"SAR_CONTROL_OFF\n", SarState::kOff},
        {"SAR_CONTROL_OFF trailing words\n", SarState::kOff},
        {"SAR_CONTROL_SUSPEND\n", SarState::kSuspend},
        {"SAR_CONTROL_ON\nSAR_CONTROL_OFF\n", SarState::kOn},
        {std::string("SAR_CONTROL_OFF\0garbage", 23), SarState::kOff},
        {"SAR_CONTINUE", SarState::kUnknown},
        {"sar_control_on\n", SarState::kUnknown},
        {"SAR_CONTROL_O\n", SarState::kUnknown},
        {"\n", SarState::kUnknown},
        {"", SarState::kUnknown},
        {"\x01\xff\xfe garbage \x1b[0m without a line end", SarState::kUnknown},
        {std::string(10240, 'A'), SarState::kUnknown},
        {"SAR_CONTROL_ON" + std::string(10240, ' '), SarState::kUnknown},
        {"SAR_CONTROL_ON" + std::string(35, '.') + "\n", SarState::kOn},
        {"SAR_CONTROL_ON" + std::string(36, '.') + "\n", SarState::kUnknown},
    };
    for (const auto &c : cases) {
        zv::sar::StateText text = ReadFrom(c.content);
        EXPECT_EQ(zv::sar::Classify(text), c.state) << "content of " << c.content.size() << " bytes: "
                                                   << c.content.substr(0, 40);
        EXPECT_LE(text.line.size(), 49u);
    }
    EXPECT_TRUE(ReadFrom("").empty);
    EXPECT_TRUE(ReadFrom(std::string(10240, 'A')).tooLong);
}

}  // namespace
