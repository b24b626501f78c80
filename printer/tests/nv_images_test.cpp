// SPDX-License-Identifier: MIT
// Stored images: every way of defining one prints its dots, definitions
// outlive the connection, and deletions take effect.
#include "nv_images.h"

#include <gtest/gtest.h>

#include "support.h"

namespace quorvel::printer::test {
namespace {

struct DefineCase {
    const char* name;
    std::string define;
    std::string print;
    int xs, ys;  // the scale the print asks for
};

TEST(NvImages, DefineThenPrintGivesTheImagesDots) {
    const TestImage img;  // 40 x 24 dots
    const std::vector<DefineCase> cases = {
        {"FS q, FS p", fs_q({img}), B("\x1c\x70\x01\x00"), 1, 1},
        {"FS q, FS p quadruple", fs_q({img}), B("\x1c\x70\x01\x03"), 2, 2},
        {"GS ( L NV raster", gs_l_define(0x43, 'A', 'B', img), gs_l_print(0x45, 'A', 'B', 1, 1), 1,
         1},
        {"GS ( L NV columns, double width", gs_l_define(0x44, 'A', 'C', img),
         gs_l_print(0x45, 'A', 'C', 2, 1), 2, 1},
        {"GS 8 L NV raster", gs_l_define(0x43, ' ', '1', img, true),
         gs_l_print(0x45, ' ', '1', 1, 2), 1, 2},
        {"GS ( L download raster", gs_l_define(0x53, 'D', 'L', img),
         gs_l_print(0x55, 'D', 'L', 1, 1), 1, 1},
        {"GS ( L print buffer", gs_l_buffer(0x70, img), B("\x1d\x28\x4c\x02\x00\x30\x32"), 1, 1},
        {"GS ( L print buffer, columns", gs_l_buffer(0x71, img), B("\x1d\x28\x4c\x02\x00\x30\x02"),
         1, 1},
    };
    for (const auto& c : cases) {
        for (size_t chunk : {0u, 5u}) {
            SCOPED_TRACE(std::string(c.name) + (chunk ? ", in pieces" : ""));
            StreamRun run({}, chunk);
            run.feed(c.define).feed(c.print).feed(B("\x1d\x56\x00")).finish();
            EXPECT_EQ(run.interpreter().counters().unknown, 0u) << run.journal();
            ASSERT_EQ(run.pages.size(), 1u) << run.journal();
            EXPECT_TRUE(img.printed_at(run.pages[0], 0, 0, c.xs, c.ys)) << run.journal();
        }
    }
}

TEST(NvImages, DefinitionsOutliveTheConnectionUntilDeleted) {
    const TestImage img;
    auto store = std::make_shared<NvStore>();
    {
        StreamRun define({}, 0, store);
        define.feed(fs_q({img, img})).feed(gs_l_define(0x43, 'A', 'B', img)).finish();
        EXPECT_TRUE(define.pages.empty()) << "defining prints nothing";
    }
    {
        StreamRun print({}, 0, store);
        print.feed(B("\x1c\x70\x02\x00")).feed(gs_l_print(0x45, 'A', 'B', 1, 1)).finish();
        ASSERT_EQ(print.pages.size(), 1u);
        EXPECT_TRUE(img.printed_at(print.pages[0], 0, 0, 1, 1));
        EXPECT_TRUE(img.printed_at(print.pages[0], 0, img.height, 1, 1));
    }
    {
        StreamRun remove({}, 0, store);
        remove.feed(B("\x1d\x28\x4c\x04\x00\x30\x42\x41\x42")).finish();  // delete "AB"
    }
    StreamRun after({}, 0, store);
    after.feed(gs_l_print(0x45, 'A', 'B', 1, 1)).feed(B("\x1c\x70\x01\x00")).finish();
    ASSERT_EQ(after.pages.size(), 1u);
    EXPECT_EQ(after.pages[0].height(), img.height) << "only the FS q image is left";
    EXPECT_TRUE(img.printed_at(after.pages[0], 0, 0, 1, 1));
}

}  // namespace
}  // namespace quorvel::printer::test
