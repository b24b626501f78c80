// SPDX-License-Identifier: MIT
// Runs one exported call against the recording link and keeps what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorvel.h"
#include "recording_link.h"

namespace quorvel::testing {

struct Capture {
    int result;
    std::vector<Bytes> writes;  // one element per write call
};

template <typename Call>
Capture capture(Call&& call) {
    recording::clear();
    int result = call();
    return {result, recording::writes()};
}

// Opens the TCP path, whose writes the recording platform records (it accepts
// any connection). Closes first, so the suite also runs in one process.
inline void open_recording_link() {
    FechaSocket();
    ASSERT_EQ(AbreSocket("127.0.0.1", 0), 1);
}

class RecordingLink : public ::testing::Test {
  protected:
    void SetUp() override { open_recording_link(); }
};

template <typename Param>
class RecordingLinkWithParam : public ::testing::TestWithParam<Param> {
  protected:
    void SetUp() override { open_recording_link(); }
};

// "10,11,...": count consecutive values from first.
inline std::string consecutive_list(int first, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i) out += ',';  // apart: "," + std::string trips GCC 12 -Wrestrict
        out += std::to_string(first + i);
    }
    return out;
}

}  // namespace quorvel::testing
