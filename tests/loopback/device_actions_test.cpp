// SPDX-License-Identifier: MIT
// Device actions, version text and the justification code, at a real listener.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;

namespace {

struct ActionCase {
    const char* name;
    int (QUORVEL_CALL* call)();
    Bytes expected;
};

class DeviceAction : public ::testing::TestWithParam<ActionCase> {
protected:
    void TearDown() override { FechaSocket(); }
};

TEST_P(DeviceAction, SendsExactBytesAndReportsWritten) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(GetParam().call(), 1);
    EXPECT_EQ(hex(printer.wait_for_bytes(GetParam().expected.size())), hex(GetParam().expected));
    EXPECT_EQ(FechaSocket(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Fixed, DeviceAction,
    ::testing::Values(ActionCase{"cut", AcionaGuilhotina, bytes_of({0x1D, 0x56, 0x00})},
                      ActionCase{"drawer", Abre_Gaveta, bytes_of({0x1B, 0x70, 0x00, 0x3C, 0x78})},
                      ActionCase{"self_test", ImprimeAutoTeste, bytes_of({0x1B, 0x40, 0x12, 0x54})}),
    [](const auto& info) { return std::string(info.param.name); });

struct LogoCase {
    int image, justification, mode;
    Bytes expected;
};

class StoredLogo : public ::testing::TestWithParam<LogoCase> {
protected:
    void TearDown() override { FechaSocket(); }
};

TEST_P(StoredLogo, SendsLowBytesUnmapped) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    const auto& c = GetParam();
    EXPECT_EQ(ImprimeLogoNV(c.image, c.justification, c.mode), 1);
    EXPECT_EQ(hex(printer.wait_for_bytes(9)), hex(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredLogo,
    ::testing::Values(LogoCase{1, 1, 0, bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1C, 0x70, 0x01, 0x00})},
                      LogoCase{2, 7, 3, bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x07, 0x1C, 0x70, 0x02, 0x03})},
                      LogoCase{257, 0, 0, bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x00, 0x1C, 0x70, 0x01, 0x00})},
                      LogoCase{-1, -1, 256, bytes_of({0x1B, 0x40, 0x1B, 0x61, 0xFF, 0x1C, 0x70, 0xFF, 0x00})}));

TEST(DeviceActionsWithoutLink, ReportNothingWritten) {
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(Abre_Gaveta(), 0);
    EXPECT_EQ(ImprimeAutoTeste(), 0);
    EXPECT_EQ(ImprimeLogoNV(1, 1, 0), 0);
}

TEST(Version, TextAndStablePointer) {
    const char* first = Le_VersaoDLL();
    const char* second = Le_VersaoDLL();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "1.2.0.0");
}

// The justification code of the command opening: 0 left, 1 centre, anything else right.
TEST(Justification, MapsEveryArgument) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 2}, {5, 2}, {-1, 2}, {INT_MIN, 2}, {INT_MAX, 2}};
    std::size_t expected_size = 0;
    for (auto [argument, code] : cases) {
        ASSERT_EQ(ImprimeTexto("", argument, 0, 0, 0), 1);
        expected_size += 18;
        Bytes all = printer.wait_for_bytes(expected_size);
        ASSERT_EQ(all.size(), expected_size);
        Bytes opening(all.end() - 18, all.end() - 13);
        EXPECT_EQ(hex(opening), hex(bytes_of({0x1B, 0x40, 0x1B, 0x61, code}))) << "argument " << argument;
    }
    FechaSocket();
}

}  // namespace
