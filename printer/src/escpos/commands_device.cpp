// SPDX-License-Identifier: MIT
// Status and device: real-time status, drawer, cut, initialise, printer ID,
// automatic status back, the self-test page.
#include <cstdio>
#include <vector>

#include "escpos/commands.h"
#include "machine/machine_link.h"

namespace quorvel::printer {

// A real-time command the mechanism already acted on when it arrived, ahead
// of the data queued before it: journaled here, in stream order, and not
// acted on twice.
static bool done_on_arrival(CommandContext& c, const uint8_t* p, size_t len,
                            const std::string& mnemonic) {
    if (!c.machine || !c.machine->done_on_arrival(c.offset)) return false;
    JOURNAL_COMMAND(c, p, len, mnemonic, "real-time command, acted on when it arrived");
    return true;
}

// DLE EOT n: 3 bytes for n 1..4, 4 bytes for the extended n 7 and 8.
QVP_MEASURE(measure_dle_status) {
    (void)limits;
    if (n < 3) return {};
    if (p[2] == 7 || p[2] == 8) return {n < 4 ? size_t{0} : size_t{4}, 0, nullptr};
    return {3, 0, nullptr};
}
QVP_HANDLER(dle_status) {
    const int q = p[2];
    if (q >= 1 && q <= 4 && done_on_arrival(c, p, len, "DLE EOT " + num(q))) return;
    if (q >= 1 && q <= 4) {
        static constexpr const char* WHAT[] = {"", "printer", "offline cause", "error cause",
                                               "roll paper sensor"};
        const uint8_t b = c.status.dle_eot(q);
        char meaning[96];
        std::snprintf(meaning, sizeof meaning, "transmit %s status -> %02X%s", WHAT[q], b,
                      c.status.silent() ? " (silent)" : "");
        JOURNAL_COMMAND(c, p, len, "DLE EOT " + num(q), meaning);
        c.send({b});
        return;
    }
    if (q == 7 || q == 8) {
        JOURNAL_COMMAND(c, p, len, "DLE EOT " + num(q), "extended status (not answered)");
        return;
    }
    c.unknown(p, len, "DLE EOT function");
}

// DLE DC4 fn ...: 10 bytes for fn 8 (clear buffers), 5 for the others.
QVP_MEASURE(measure_dle_realtime_request) {
    (void)limits;
    if (n < 3) return {};
    const size_t len = p[2] == 8 ? 10 : 5;
    return {n < len ? size_t{0} : len, 0, nullptr};
}
QVP_HANDLER(dle_realtime_request) {
    const int fn = p[2];
    if (fn == 8) {
        if (done_on_arrival(c, p, len, "DLE DC4 8")) return;
        JOURNAL_COMMAND(c, p, len, "DLE DC4 8", "clear the receive and print buffers");
        c.r.clear_line();
        if (c.machine) c.machine->clear_buffers();
        return;
    }
    if (fn == 1) {
        if (c.profile.drawer) c.status.pulse_drawer();
        JOURNAL_COMMAND(c, p, len, "DLE DC4 1",
                        c.profile.drawer ? "real-time drawer pulse: drawer opened"
                                         : "real-time drawer pulse: this model has no drawer "
                                           "connector (ignored)");
        return;
    }
    JOURNAL_COMMAND(c, p, len, "DLE DC4 " + num(fn), "real-time request (ignored)");
}

// DLE ENQ n: recover from a recoverable error; 1 go on from the line where
// it occurred, 2 clear the buffers first.
QVP_HANDLER(dle_recover) {
    const int n = p[2];
    const std::string mnemonic = "DLE ENQ " + num(n);
    if (n != 1 && n != 2) {
        JOURNAL_COMMAND(c, p, len, mnemonic, "real-time request (ignored)");
        return;
    }
    if (done_on_arrival(c, p, len, mnemonic)) return;
    JOURNAL_COMMAND(c, p, len, mnemonic,
                    n == 1 ? "recover from the error, go on from the line"
                           : "recover from the error after clearing the buffers");
    if (n == 2) c.r.clear_line();
    if (c.machine) c.machine->recover(n);
}

// GS ( H pL pH fn m d1 d2 d3 d4: fn 48 with m 48 ties a 4-character ID to
// the data before it; the answer 37 22 d1..d4 00 goes out once that data
// has printed (at once without a mechanism). Other functions are ignored.
QVP_HANDLER(gs_process_id) {
    if (len != 11 || p[5] != 0x30 || p[6] != 0x30) {
        JOURNAL_COMMAND(c, p, len, "GS ( H", "process ID response: other function (ignored)");
        return;
    }
    const std::span<const uint8_t, 4> id(p + 7, 4);
    if (!c.profile.process_id_response) {
        JOURNAL_COMMAND(c, p, len, "GS ( H 48",
                        "process ID response: not on this model (" + c.profile.name + "; ignored)");
        return;
    }
    JOURNAL_COMMAND(c, p, len, "GS ( H 48",
                    "process ID response " + quoted(p + 7, 4) + " once the data before it prints");
    if (c.machine)
        c.machine->process_id(id);
    else
        c.send({0x37, 0x22, id[0], id[1], id[2], id[3], 0x00});
}

// DC2 T: the self-test slip.
QVP_HANDLER(dc2_self_test) {
    JOURNAL_COMMAND(c, p, len, "DC2 T", "print the self-test page");
    auto& r = c.r;
    r.initialize();
    Style big;
    big.bold = true;
    big.wmul = big.hmul = 2;
    Style a, b, bold;
    b.font = 1;
    bold.bold = true;
    const auto st = c.status.state();
    r.text_line("SELF-TEST", big, 1);
    r.text_line("Quorvel virtual receipt printer", bold, 1);
    r.text_line(c.profile.name + ": " + num(c.profile.paper_mm) + " mm paper, " +
                    num(c.profile.dots) + " dots, 203 dpi",
                a, 1);
    r.text_line("", a, 0);
    r.text_line("Font A 12x24: ABCDEFGHIJ abcdefghij 0123456789", a, 0);
    r.text_line("Font B 9x17: ABCDEFGHIJKLM abcdefghijklm 0123456789", b, 0);
    r.set_code_table(16);
    r.text_line(
        "WPC1252: \xE0\xE1\xE2\xE3\xE7\xE9\xEA\xED\xF3\xF4\xF5\xFA \xC0\xC1\xC3\xC7\xC9\xD3 \x80",
        a, 0);
    r.text_line(std::string("Drawer: ") + (c.status.drawer_open() ? "open" : "closed") +
                    "   Paper: " +
                    (st.paper == Paper::OK         ? "ok"
                     : st.paper == Paper::NEAR_END ? "near end"
                                                   : "out") +
                    "   Cover: " + (st.cover_open ? "open" : "closed"),
                a, 0);
    r.text_line(std::string("Online: ") + (c.status.offline() ? "no" : "yes") +
                    (st.silent ? "   Status replies: off" : "   Status replies: on"),
                a, 0);
    r.text_line("*** end of self-test ***", a, 1);
    r.print_and_feed_lines(2);
    r.initialize();
}

// ESC @: every print mode back to its default; the print buffer is emptied.
QVP_HANDLER(esc_initialize) {
    c.r.initialize();
    c.buffer_graphic = Bitmap();
    JOURNAL_COMMAND(c, p, len, "ESC @", "initialise printer");
}

// ESC p m t1 t2: drawer kick on pin 2 or 5.
QVP_HANDLER(esc_drawer_pulse) {
    if (!c.profile.drawer) {
        JOURNAL_COMMAND(c, p, len, "ESC p",
                        "drawer pulse: this model has no drawer connector (ignored)");
        return;
    }
    c.status.pulse_drawer();
    const int pin = digit(p[2]) == 1 ? 5 : 2;
    JOURNAL_COMMAND(c, p, len, "ESC p " + num(p[2]),
                    "drawer pulse on pin " + num(pin) + ", on " + num(p[3] * 2) + " ms, off " +
                        num(p[4] * 2) + " ms: drawer opened");
}

// ESC u n: drawer status, one byte.
QVP_HANDLER(esc_drawer_status) {
    JOURNAL_COMMAND(c, p, len, "ESC u " + num(p[2]), "transmit drawer status");
    c.send({static_cast<uint8_t>(c.status.drawer_open() ? 1 : 0)});
}

// ESC v: paper sensor status; a parameter byte may follow (see the feed loop).
QVP_HANDLER(esc_paper_status) {
    const uint8_t b = c.status.esc_v();
    char meaning[64];
    std::snprintf(meaning, sizeof meaning, "transmit paper sensor status -> %02X", b);
    JOURNAL_COMMAND(c, p, len, "ESC v", meaning);
    c.send({b});
    c.escv_param = true;
}

// ESC i / ESC m: full and partial cut.
// What a cut does on this model: a model without a cutter leaves the paper
// to be torn off there, one with only a partial cutter cuts partially.
std::string cut_text(const CommandContext& c, bool partial) {
    if (!c.profile.cutter) return "no cutter on this model: the page ends, torn off by hand";
    if (!partial && !c.profile.full_cut) return "full cut asked; this model cuts partially";
    return partial ? "partial cut" : "full cut";
}

QVP_HANDLER(esc_cut) {
    JOURNAL_COMMAND(c, p, len, std::string("ESC ") + static_cast<char>(p[1]),
                    cut_text(c, p[1] == 'm'));
    c.r.cut();
}

// GS V m [n]: cut; m 65/66 (and 97/98, 103/104) feed n dots first.
QVP_MEASURE(measure_gs_cut) {
    (void)limits;
    if (n < 3) return {};
    const int m = p[2];
    if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104)
        return {n < 4 ? size_t{0} : size_t{4}, 0, nullptr};
    return {3, 0, nullptr};
}
QVP_HANDLER(gs_cut) {
    const int m = p[2];
    if (len == 4) {
        JOURNAL_COMMAND(c, p, len, "GS V " + num(m) + " " + num(p[3]),
                        "feed " + num(p[3]) + " dots and " + cut_text(c, m & 1));
        c.r.print_and_feed_dots(p[3]);
        c.r.cut();
        return;
    }
    if (m == 0 || m == 1 || m == 48 || m == 49) {
        JOURNAL_COMMAND(c, p, len, "GS V " + num(m), cut_text(c, m & 1));
        c.r.cut();
        return;
    }
    c.unknown(p, len, "GS V cut mode");
}

// GS I n: printer ID, one byte for n 1..3, a NUL-ended text for n 0x41..0x45.
QVP_HANDLER(gs_printer_id) {
    const int q = digit(p[2]);
    JOURNAL_COMMAND(c, p, len, "GS I " + num(p[2]), "transmit printer ID");
    // The answers are the model's; a query it has no answer for gets none.
    if (const auto b = c.profile.id_bytes.find(q); q <= 3 && b != c.profile.id_bytes.end())
        c.send({static_cast<uint8_t>(b->second)});
    else if (const auto t = c.profile.id_texts.find(p[2]); t != c.profile.id_texts.end()) {
        std::vector<uint8_t> out{0x5F};
        out.insert(out.end(), t->second.begin(), t->second.end());
        out.push_back(0);
        c.send(out);
    }
}

// GS ( E pL pH fn ...: user setup. The queries the model answers (its
// capacities and settings) are answered as its profile gives them; the rest
// of user setup changes nothing here and is journaled as ignored.
QVP_HANDLER(gs_user_setup) {
    const std::string query(reinterpret_cast<const char*>(p) + 5, len - 5);
    const auto answer = c.profile.user_setup_answers.find(query);
    if (answer == c.profile.user_setup_answers.end()) {
        JOURNAL_COMMAND(c, p, len, "GS ( E", "user setup (ignored)");
        return;
    }
    JOURNAL_COMMAND(c, p, len, "GS ( E " + num(p[5]),
                    "user setup query: " + num(static_cast<int>(answer->second.size())) +
                        " bytes answered from the profile");
    c.send({reinterpret_cast<const uint8_t*>(answer->second.data()), answer->second.size()});
}

// GS r n: paper sensor (1) or drawer (2) status.
QVP_HANDLER(gs_status) {
    const int q = digit(p[2]);
    if (q != 1 && q != 2) {
        c.unknown(p, len, "GS r query");
        return;
    }
    const uint8_t b = c.status.gs_r(q);
    char meaning[80];
    std::snprintf(meaning, sizeof meaning, "transmit %s status -> %02X",
                  q == 1 ? "paper sensor" : "drawer", b);
    JOURNAL_COMMAND(c, p, len, "GS r " + num(p[2]), meaning);
    c.send({b});
}

// GS a n: automatic status back. n picks what is watched: bit 0 the drawer,
// bit 1 online/offline, bit 2 errors, bit 3 the paper sensors. With any bit
// set the printer sends its 4-byte group at once, then on every change of a
// watched status.
QVP_HANDLER(gs_auto_status) {
    c.auto_status = p[2] & 0x0F;
    JOURNAL_COMMAND(c, p, len, "GS a " + num(p[2]),
                    std::string("automatic status back: ") +
                        (c.auto_status ? "on, mask " + num(c.auto_status) : std::string("off")));
    if (c.auto_status) {
        c.auto_status_sent = c.status.auto_status();
        const auto& a = c.auto_status_sent;
        c.send({a[0], a[1], a[2], a[3]});
    }
}

}  // namespace quorvel::printer
