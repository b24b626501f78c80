// SPDX-License-Identifier: MIT
// The library's companion calls against the virtual printer over loopback TCP:
// images as the printer renders them, dot for dot, and the full status in
// every state the printer can be put in.
#include <gtest/gtest.h>

#include "links/server.h"
#include "live_printer.h"
#include "paper/png_io.h"
#include "quorvel.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

// The virtual printer on a loopback address of its own and a port other than
// 9100, reached with quorvel_open_tcp.
class CompanionPrinter {
  public:
    explicit CompanionPrinter(PrinterState state = {}) : printer_(state) {
        address_ = printer_.listen_tcp(93, port);
    }
    bool open() { return quorvel_open_tcp(address_.c_str(), port, 0) == 1; }
    // Pages once `sessions` connections have ended and the printer stopped.
    std::vector<Bitmap> pages(int sessions = 1) {
        FechaSocket();
        return printer_.pages(sessions);
    }

    static constexpr int port = 9123;

  private:
    LivePrinter printer_;
    std::string address_;
};

struct Gray {
    int width, height;
    std::vector<unsigned char> pixels;
    int at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// Rings and a gradient inside a one-dot black frame, so the frame marks where
// the image landed on the page.
Gray framed_pattern(int width, int height) {
    Gray g{width, height, std::vector<unsigned char>(static_cast<size_t>(width * height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 2, dy = y - height / 2;
            const bool frame = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            const int ring = ((dx * dx + dy * dy) / 97) % 2 ? 40 : 215;
            g.pixels[static_cast<size_t>(y * width + x)] =
                static_cast<unsigned char>(frame ? 0 : (ring + x) % 256);
        }
    return g;
}

struct Placement {
    int width, height, justification;
    int left;  // where the image's first dot lands in the 576-dot print area
};

class ImageOnPaper : public ::testing::TestWithParam<Placement> {};

// Thresholded, every dot of the page matches the image, placed by its
// justification, and nothing else is printed.
TEST_P(ImageOnPaper, DotForDot) {
    const Placement p = GetParam();
    const Gray g = framed_pattern(p.width, p.height);
    CompanionPrinter printer;
    ASSERT_TRUE(printer.open());
    ASSERT_EQ(quorvel_print_image(g.pixels.data(), g.width, g.height, g.width, p.justification, 0),
              1);
    const auto pages = printer.pages();
    ASSERT_EQ(pages.size(), 1u);
    const Bitmap& page = pages[0];
    const int x0 = PaperMargins{}.left + p.left, y0 = PaperMargins{}.top;
    const Box box = ink_box(page);
    EXPECT_EQ(box.x0, x0);
    EXPECT_EQ(box.y0, y0);
    EXPECT_EQ(box.width(), p.width);
    EXPECT_EQ(box.height(), p.height);
    int wrong = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) wrong += page.get(x0 + x, y0 + y) != (g.at(x, y) < 128);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Justified, ImageOnPaper,
                         ::testing::Values(Placement{576, 300, 0, 0}, Placement{100, 40, 0, 0},
                                           Placement{104, 40, 1, (576 - 104) / 2},
                                           Placement{200, 131, 2, 576 - 200}));

// Dithered, each 24 x 24 block of the page is as dark as the image there.
TEST(ImageOnPaperDithered, BlocksKeepTheirGreyLevel) {
    Gray g{576, 400, std::vector<unsigned char>(576 * 400)};
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 576; ++x)
            g.pixels[static_cast<size_t>(y * 576 + x)] = static_cast<unsigned char>(
                x * 255 / 575 * (y < 200 ? 1 : 0) + (y >= 200 ? (y - 200) : 0));
    CompanionPrinter printer;
    ASSERT_TRUE(printer.open());
    ASSERT_EQ(quorvel_print_image(g.pixels.data(), 576, 400, 576, 0, 1), 1);
    const auto pages = printer.pages();
    ASSERT_EQ(pages.size(), 1u);
    const int x0 = PaperMargins{}.left, y0 = PaperMargins{}.top;
    double worst = 0;
    for (int by = 0; by < 400; by += 25)
        for (int bx = 0; bx < 576; bx += 24) {
            double grey = 0, black = 0;
            for (int y = by; y < by + 24 && y < 400; ++y)
                for (int x = bx; x < bx + 24; ++x) {
                    grey += g.at(x, y);
                    black += pages[0].get(x0 + x, y0 + y);
                }
            const double n = 24.0 * std::min(24, 400 - by);
            worst = std::max(worst, std::abs(black / n - (1.0 - grey / n / 255.0)));
        }
    EXPECT_LT(worst, 0.08);
}

class StoredLogoOnPaper : public ::testing::TestWithParam<Placement> {};

// Stored with FS q, then printed by ImprimeLogoNV (FS p) on a later
// connection: every dot as sent, the blank placeholders before it print nothing.
TEST_P(StoredLogoOnPaper, DefinedThenPrintedDotForDot) {
    const Placement p = GetParam();
    const Gray g = framed_pattern(p.width, p.height);
    CompanionPrinter printer;
    ASSERT_TRUE(printer.open());
    ASSERT_EQ(quorvel_store_logo(3, g.pixels.data(), g.width, g.height, g.width, 0), 1);
    FechaSocket();
    ASSERT_TRUE(printer.open());
    EXPECT_EQ(ImprimeLogoNV(1, p.justification, 0), 1);
    EXPECT_EQ(ImprimeLogoNV(3, p.justification, 0), 1);
    const auto pages = printer.pages(2);
    ASSERT_EQ(pages.size(), 1u) << "the storing connection prints nothing";
    const Bitmap& page = pages.back();
    const Box box = ink_box(page);
    const int x0 = PaperMargins{}.left + p.left;
    EXPECT_EQ(box.x0, x0);
    EXPECT_EQ(box.width(), p.width);
    EXPECT_EQ(box.height(), p.height);
    int wrong = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            wrong += page.get(x0 + x, box.y0 + y) != (g.at(x, y) < 128);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Justified, StoredLogoOnPaper,
                         ::testing::Values(Placement{200, 60, 0, 0}, Placement{576, 90, 0, 0},
                                           Placement{104, 33, 1, (576 - 104) / 2}));

struct StateCase {
    const char* name;
    std::function<void(PrinterState&)> set;
    int result;
    // online, drawer pin 3, cover open, paper being fed, stopped by paper end,
    // error, paper near end, paper out
    std::array<int, 8> fields;
};

class StatusOfState : public ::testing::TestWithParam<StateCase> {};

TEST_P(StatusOfState, NamedFields) {
    const StateCase& c = GetParam();
    PrinterState state;
    c.set(state);
    CompanionPrinter printer(state);
    ASSERT_TRUE(printer.open());
    quorvel_status s;
    EXPECT_EQ(quorvel_read_status(&s), c.result);
    const std::array<int, 8> got = {s.online,         s.drawer_pin3,       s.cover_open,
                                    s.paper_feeding,  s.stopped_paper_end, s.error,
                                    s.paper_near_end, s.paper_out};
    EXPECT_EQ(got, c.fields);
    if (c.result == 1) {
        // The emulation has no mechanical faults.
        EXPECT_EQ(s.recoverable_error + s.autocutter_error + s.unrecoverable_error, 0);
        EXPECT_EQ(s.feed_button, 0);
    } else {
        EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_REPLY);
    }
    FechaSocket();
}

INSTANTIATE_TEST_SUITE_P(
    States, StatusOfState,
    ::testing::Values(
        StateCase{"Ready", [](PrinterState&) {}, 1, {1, 0, 0, 0, 0, 0, 0, 0}},
        StateCase{"DrawerOpen",
                  [](PrinterState& s) { s.drawer_open = true; },
                  1,
                  {1, 1, 0, 0, 0, 0, 0, 0}},
        StateCase{
            "Offline", [](PrinterState& s) { s.offline = true; }, 1, {0, 0, 0, 0, 0, 0, 0, 0}},
        StateCase{
            "CoverOpen", [](PrinterState& s) { s.cover_open = true; }, 1, {0, 0, 1, 0, 0, 1, 0, 0}},
        StateCase{"PaperNearEnd",
                  [](PrinterState& s) { s.paper = Paper::NEAR_END; },
                  1,
                  {1, 0, 0, 0, 0, 0, 1, 0}},
        StateCase{
            "PaperOut", [](PrinterState& s) { s.paper = Paper::OUT; }, 1, {0, 0, 0, 0, 1, 1, 1, 1}},
        StateCase{"OfflineDrawerOpenPaperOut",
                  [](PrinterState& s) {
                      s.offline = s.drawer_open = true;
                      s.paper = Paper::OUT;
                  },
                  1,
                  {0, 1, 0, 0, 1, 1, 1, 1}},
        StateCase{"Silent",
                  [](PrinterState& s) { s.silent = true; },
                  0,
                  {-1, -1, -1, -1, -1, -1, -1, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::printer::test
