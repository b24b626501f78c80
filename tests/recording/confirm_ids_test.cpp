// SPDX-License-Identifier: MIT
// The process ID requests of confirm as written, one per confirm: the first of
// a link with its GS r 1 fence, then the ID alone, "0001" to "9999" and on to
// "0001" again; a new link starts its own sequence.
#include <gtest/gtest.h>

#include <cstdio>

#include "capture.h"

using namespace quorvel::testing;

namespace {

Bytes id_request(int id) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", id % 10000);
    return concat_bytes({bytes_of({0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30}), bytes_of(digits)});
}

Bytes id_answer(int id) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", id % 10000);
    return concat_bytes({bytes_of({0x37, 0x22}), bytes_of(digits), bytes_of({0x00})});
}

TEST_F(RecordingLink, ConfirmIdsRunTo9999ThenWrapTo0001) {
    for (int call = 1; call <= 10001; ++call) {
        const int id = (call - 1) % 9999 + 1;
        // The idle printer's answer, there as soon as asked (GS r 1's 00 for the first).
        recording::queue_reply_after_write(
            call == 1 ? concat_bytes({id_answer(id), bytes_of({0x00})}) : id_answer(id));
        const Capture c = capture([] { return quorvel_confirm(1000); });
        ASSERT_EQ(c.result, 1) << "call " << call;
        ASSERT_EQ(c.writes.size(), 1u) << "call " << call;
        const Bytes expected = call == 1
                                   ? concat_bytes({id_request(id), bytes_of({0x1D, 0x72, 0x01})})
                                   : id_request(id);
        ASSERT_EQ(hex(c.writes[0]), hex(expected)) << "call " << call;
    }
    // A new link, a new sequence (and the printer's support learned again).
    open_recording_link();
    recording::queue_reply_after_write(concat_bytes({id_answer(1), bytes_of({0x00})}));
    const Capture again = capture([] { return quorvel_confirm(1000); });
    EXPECT_EQ(again.result, 1);
    ASSERT_EQ(again.writes.size(), 1u);
    EXPECT_EQ(hex(again.writes[0]),
              hex(concat_bytes({id_request(1), bytes_of({0x1D, 0x72, 0x01})})));
    FechaSocket();
}

}  // namespace
