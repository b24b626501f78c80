#include "interpreter.h"

#include <algorithm>
#include <cstdio>

#include "codepage.h"

// Journal a command; the meaning text is only built when a journal is kept.
#define LOG_COMMAND(p, len, mnemonic, meaning)                                          \
    do {                                                                                \
        ++counters_.commands;                                                           \
        if (journal_.enabled()) journal_.command(offset_, {p, len}, mnemonic, meaning); \
    } while (0)

namespace quorvel::printer {
namespace {

constexpr uint8_t DLE = 0x10, DC2 = 0x12, ESC = 0x1B, FS = 0x1C, GS = 0x1D;
constexpr size_t NEED_MORE = 0;

std::string num(int v) {
    return std::to_string(v);
}
int u16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
const char* on_off(int n) {
    return (n & 1) ? "on" : "off";
}

// Parameter bytes given as ASCII digits ('0'..'9') mean the same as 0..9.
int digit(int n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}

const char* just_name(int j) {
    switch (digit(j)) {
        case 0:
            return "left";
        case 1:
            return "centre";
        case 2:
            return "right";
        default:
            return "invalid (ignored)";
    }
}

std::string quoted(const uint8_t* p, size_t n, size_t max_chars = 40) {
    std::string s = "\"";
    for (size_t i = 0; i < n && i < max_chars; ++i) {
        const uint8_t c = p[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            s += static_cast<char>(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            s += b;
        }
    }
    s += n > max_chars ? "\"…" : "\"";
    return s;
}

}  // namespace

Interpreter::Interpreter(Renderer& renderer, StatusModel& status, Journal& journal, Reply reply,
                         InterpreterLimits limits)
    : r_(renderer), status_(status), journal_(journal), reply_(std::move(reply)), limits_(limits) {}

void Interpreter::log(const uint8_t* p, size_t len, std::string_view mnemonic,
                      std::string_view meaning) {
    ++counters_.commands;
    journal_.command(offset_, {p, len}, mnemonic, meaning);
}

void Interpreter::note(std::string_view text) {
    journal_.note(text);
}

void Interpreter::unknown(const uint8_t* p, size_t len, std::string_view what) {
    ++counters_.unknown;
    log(p, len, "?",
        std::string("unknown ") + std::string(what) + ", skipped " + num(static_cast<int>(len)) +
            (len == 1 ? " byte" : " bytes"));
}

void Interpreter::send(std::initializer_list<uint8_t> bytes) {
    if (status_.silent()) {
        note("silent: query not answered");
        return;
    }
    ++counters_.replies;
    if (reply_) reply_({bytes.begin(), bytes.size()});
}

size_t Interpreter::skip_payload(const uint8_t* p, size_t header, uint64_t payload,
                                 std::string_view mnemonic, std::string_view why) {
    LOG_COMMAND(p, header, mnemonic,
                std::string(why) + "; " + std::to_string(payload) + " data bytes skipped");
    skip_ = payload;
    counters_.skipped_bytes += payload;
    return header;
}

void Interpreter::feed(std::span<const uint8_t> data) {
    if (pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    }
    buf_.insert(buf_.end(), data.begin(), data.end());
    for (;;) {
        const uint8_t* p = buf_.data() + pos_;
        const size_t n = buf_.size() - pos_;
        if (n == 0) break;
        size_t used;
        if (skip_ > 0) {
            used = static_cast<size_t>(std::min<uint64_t>(skip_, n));
            skip_ -= used;
        } else if (escv_param_) {
            // Some hosts follow ESC v with a parameter byte; it belongs to the query.
            escv_param_ = false;
            if (p[0] > 0x01) continue;
            LOG_COMMAND(p, 1, "(ESC v)", "parameter byte of the paper sensor query");
            used = 1;
        } else if (fsq_left_ > 0 || userchar_left_ > 0) {
            used = step_substate(p, n);
        } else {
            used = step(p, n);
        }
        if (used == NEED_MORE) break;
        pos_ += used;
        offset_ += used;
    }
    if (pos_ > 0 && pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    } else if (pos_ > 4096) {
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<ptrdiff_t>(pos_));
        pos_ = 0;
    }
}

void Interpreter::finish() {
    if (buffered() == 1 && buf_[pos_] == 0x0D) {
        LOG_COMMAND(buf_.data() + pos_, 1, "CR", "carriage return (no effect without LF)");
        ++pos_;
        ++offset_;
    }
    const size_t left = buffered();
    if (left > 0 || skip_ > 0 || fsq_left_ > 0 || userchar_left_ > 0) {
        counters_.truncated = true;
        const uint8_t* p = buf_.data() + pos_;
        if (left > 0)
            LOG_COMMAND(
                p, left, "TRUNCATED",
                "stream ended inside a command; " + num(static_cast<int>(left)) + " bytes dropped");
        else
            note("stream ended inside a command's data (" + std::to_string(skip_) +
                 " bytes short)");
        pos_ = buf_.size();
        offset_ += left;
        skip_ = 0;
        fsq_left_ = userchar_left_ = 0;
    }
    r_.finish();
}

size_t Interpreter::step_substate(const uint8_t* p, size_t n) {
    if (fsq_left_ > 0) {
        if (n < 4) return NEED_MORE;
        const int x = u16(p), y = u16(p + 2);
        --fsq_left_;
        if (x < 1 || x > 1023 || y < 1 || y > 288) {
            fsq_left_ = 0;
            unknown(p, 4, "FS q image size (out of range; definition abandoned)");
            return 4;
        }
        LOG_COMMAND(p, 4, "(FS q)",
                    "stored image " + num(x * 8) + "x" + num(y * 8) + " dots (not kept)");
        skip_ = static_cast<uint64_t>(x) * y * 8;
        return 4;
    }
    // ESC & : one byte width, then y*x bytes per character
    const int x = p[0];
    --userchar_left_;
    if (x > 12) {
        userchar_left_ = 0;
        unknown(p, 1, "ESC & character width (above 12; definition abandoned)");
        return 1;
    }
    LOG_COMMAND(p, 1, "(ESC &)", "user character, " + num(x) + " dots wide (not kept)");
    skip_ = static_cast<uint64_t>(userchar_y_) * x;
    return 1;
}

size_t Interpreter::text(const uint8_t* p, size_t n) {
    size_t k = 0;
    while (k < n && p[k] >= 0x20) ++k;
    for (size_t i = 0; i < k; ++i) r_.put_char(p[i]);
    LOG_COMMAND(p, k, "TEXT", quoted(p, k) + " (" + num(static_cast<int>(k)) + " bytes)");
    return k;
}

size_t Interpreter::step(const uint8_t* p, size_t n) {
    const uint8_t c = p[0];
    if (c >= 0x20) return text(p, n);
    switch (c) {
        case 0x0A:
            r_.print_line();
            LOG_COMMAND(p, 1, "LF", "print and line feed");
            return 1;
        case 0x0D:
            if (n >= 2 && p[1] == 0x0A) {
                r_.print_line();
                LOG_COMMAND(p, 2, "CR LF", "print and line feed");
                return 2;
            }
            if (n < 2) return NEED_MORE;  // CR LF may be split across reads
            LOG_COMMAND(p, 1, "CR", "carriage return (no effect without LF)");
            return 1;
        case 0x09:
            r_.tab();
            LOG_COMMAND(p, 1, "HT", "horizontal tab");
            return 1;
        case 0x0C:
            r_.print_line();
            LOG_COMMAND(p, 1, "FF", "print and return to the line start");
            return 1;
        case 0x18:
            LOG_COMMAND(p, 1, "CAN", "cancel page-mode data (no page mode; ignored)");
            return 1;
        case 0x00:
            LOG_COMMAND(p, 1, "NUL", "ignored");
            return 1;
        case DLE:
            return step_dle(p, n);
        case DC2:
            if (n < 2) return NEED_MORE;
            if (p[1] == 'T') {
                LOG_COMMAND(p, 2, "DC2 T", "print the self-test page");
                self_test();
                return 2;
            }
            unknown(p, 2, "DC2 command");
            return 2;
        case ESC:
            return step_esc(p, n);
        case FS:
            return step_fs(p, n);
        case GS:
            return step_gs(p, n);
        default:
            unknown(p, 1, "control byte");
            return 1;
    }
}

size_t Interpreter::step_dle(const uint8_t* p, size_t n) {
    if (n < 2) return NEED_MORE;
    if (p[1] == 0x04) {  // DLE EOT n: real-time status
        if (n < 3) return NEED_MORE;
        const int q = p[2];
        if (q >= 1 && q <= 4) {
            static constexpr const char* WHAT[] = {"", "printer", "offline cause", "error cause",
                                                   "roll paper sensor"};
            const uint8_t b = status_.dle_eot(q);
            char meaning[96];
            std::snprintf(meaning, sizeof meaning, "transmit %s status -> %02X%s", WHAT[q], b,
                          status_.silent() ? " (silent)" : "");
            LOG_COMMAND(p, 3, "DLE EOT " + num(q), meaning);
            send({b});
            return 3;
        }
        if (q == 7 || q == 8) {
            if (n < 4) return NEED_MORE;
            LOG_COMMAND(p, 4, "DLE EOT " + num(q), "extended status (not answered)");
            return 4;
        }
        unknown(p, 3, "DLE EOT function");
        return 3;
    }
    if (p[1] == 0x05) {
        if (n < 3) return NEED_MORE;
        LOG_COMMAND(p, 3, "DLE ENQ", "real-time request (ignored)");
        return 3;
    }
    if (p[1] == 0x14) {  // DLE DC4 fn ...
        if (n < 3) return NEED_MORE;
        const int fn = p[2];
        const size_t len = fn == 8 ? 10 : 5;
        if (n < len) return NEED_MORE;
        if (fn == 1) {
            status_.pulse_drawer();
            LOG_COMMAND(p, len, "DLE DC4 1", "real-time drawer pulse: drawer opened");
        } else {
            LOG_COMMAND(p, len, "DLE DC4 " + num(fn), "real-time request (ignored)");
        }
        return len;
    }
    unknown(p, 2, "DLE command");
    return 2;
}

size_t Interpreter::step_esc(const uint8_t* p, size_t n) {
    if (n < 2) return NEED_MORE;
    const uint8_t f = p[1];
    // Commands of a fixed length with one parameter byte.
    auto need = [&](size_t len) { return n >= len; };
    switch (f) {
        case ' ':
            if (!need(3)) return NEED_MORE;
            r_.set_char_spacing(std::min<int>(p[2], 255));
            LOG_COMMAND(p, 3, "ESC SP " + num(p[2]),
                        "right-side character spacing: " + num(p[2]) + " dots");
            return 3;
        case '!': {
            if (!need(3)) return NEED_MORE;
            const int m = p[2];
            r_.set_font(m & 1);
            r_.set_bold(m & 0x08);
            r_.set_size(m & 0x20 ? 2 : 1, m & 0x10 ? 2 : 1);
            r_.set_underline(m & 0x80 ? 1 : 0);
            std::string what = std::string("print mode: font ") + (m & 1 ? "B" : "A");
            if (m & 0x08) what += ", emphasized";
            if (m & 0x10) what += ", double height";
            if (m & 0x20) what += ", double width";
            if (m & 0x80) what += ", underline";
            if (m & 0x46) what += " (undefined bits ignored)";
            LOG_COMMAND(p, 3, "ESC ! " + num(m), what);
            return 3;
        }
        case '$':
            if (!need(4)) return NEED_MORE;
            r_.set_absolute_position(u16(p + 2));
            LOG_COMMAND(p, 4, "ESC $", "absolute position: " + num(u16(p + 2)) + " dots");
            return 4;
        case '%':
            if (!need(3)) return NEED_MORE;
            LOG_COMMAND(p, 3, "ESC % " + num(p[2]),
                        "user-defined characters (not kept; resident font used)");
            return 3;
        case '&': {
            if (!need(5)) return NEED_MORE;
            const int y = p[2], c1 = p[3], c2 = p[4];
            if (y < 1 || y > 3 || c1 < 32 || c2 > 126 || c1 > c2) {
                unknown(p, 5, "ESC & parameters");
                return 5;
            }
            userchar_y_ = y;
            userchar_left_ = c2 - c1 + 1;
            LOG_COMMAND(p, 5, "ESC &",
                        "define user characters " + num(c1) + " to " + num(c2) + " (not kept)");
            return 5;
        }
        case '*': {
            if (!need(5)) return NEED_MORE;
            const int m = p[2], cols = u16(p + 3);
            const bool tall = m == 32 || m == 33;
            if (m != 0 && m != 1 && !tall) {
                unknown(p, 5, "ESC * mode");
                return 5;
            }
            const size_t bytes = static_cast<size_t>(cols) * (tall ? 3 : 1);
            if (bytes > limits_.max_raster_bytes)
                return skip_payload(p, 5, bytes, "ESC *", "bit image over the size cap");
            if (n < 5 + bytes) return NEED_MORE;
            // Column-major: each column is 1 or 3 bytes, most significant bit on top.
            // At 203 dpi the single-density modes print each dot twice as wide, and
            // the 8-dot modes three times as tall.
            const int xs = (m == 0 || m == 32) ? 2 : 1, ys = tall ? 1 : 3;
            const int dots = tall ? 24 : 8;
            Bitmap img(cols * xs, dots * ys);
            const uint8_t* d = p + 5;
            for (int x = 0; x < cols; ++x)
                for (int k = 0; k < dots; ++k) {
                    const uint8_t b = d[static_cast<size_t>(x) * (dots / 8) + k / 8];
                    if ((b >> (7 - (k & 7))) & 1) img.fill_rect(x * xs, k * ys, xs, ys, true);
                }
            r_.put_image(std::move(img));
            LOG_COMMAND(p, 5 + bytes, "ESC * " + num(m),
                        "bit image, " + num(cols) + " columns of " + num(dots) + " dots");
            return 5 + bytes;
        }
        case '-': {
            if (!need(3)) return NEED_MORE;
            const int u = digit(p[2]);
            if (u <= 2) r_.set_underline(u);
            LOG_COMMAND(p, 3, "ESC - " + num(p[2]),
                        u <= 2 ? "underline: " + num(u) + " dots" : "underline: invalid (ignored)");
            return 3;
        }
        case '2':
            r_.set_line_spacing(DEFAULT_LINE_SPACING);
            LOG_COMMAND(p, 2, "ESC 2",
                        "default line spacing (" + num(DEFAULT_LINE_SPACING) + " dots)");
            return 2;
        case '3':
            if (!need(3)) return NEED_MORE;
            r_.set_line_spacing(p[2]);
            LOG_COMMAND(p, 3, "ESC 3 " + num(p[2]), "line spacing: " + num(p[2]) + " dots");
            return 3;
        case '=':
        case '?':
        case 'R':
        case 'T':
        case 'U':
        case 'V':
        case 'r':
        case 'e':
        case 'u': {
            if (!need(3)) return NEED_MORE;
            std::string what;
            switch (f) {
                case '=':
                    what = "select peripheral device";
                    break;
                case '?':
                    what = "cancel user-defined character";
                    break;
                case 'R':
                    what = "international character set " + num(p[2]) + " (ignored)";
                    break;
                case 'T':
                    what = "page-mode print direction (no page mode; ignored)";
                    break;
                case 'U':
                    what = std::string("unidirectional printing ") + on_off(p[2]);
                    break;
                case 'V':
                    what = std::string("90 degree rotation ") + on_off(p[2]) + " (not emulated)";
                    break;
                case 'r':
                    what = "print colour " + num(p[2]) + " (one colour only)";
                    break;
                case 'e':
                    what = "reverse feed " + num(p[2]) + " lines (ignored)";
                    break;
                case 'u': {
                    what = "transmit drawer status";
                    send({static_cast<uint8_t>(status_.drawer_open() ? 1 : 0)});
                    break;
                }
            }
            LOG_COMMAND(p, 3, std::string("ESC ") + static_cast<char>(f) + " " + num(p[2]), what);
            return 3;
        }
        case '@':
            r_.initialize();
            LOG_COMMAND(p, 2, "ESC @", "initialise printer");
            return 2;
        case 'D': {
            // ESC D n1 .. nk NUL, at most 32 stops
            size_t k = 2;
            while (k < n && k < 2 + 33 && p[k] != 0) ++k;
            if (k == n && k < 2 + 33) return NEED_MORE;
            std::vector<int> stops;
            for (size_t i = 2; i < k && stops.size() < 32; ++i)
                if (stops.empty() || p[i] > stops.back()) stops.push_back(p[i]);
            r_.set_tab_stops(stops);
            const size_t len = (k < n && p[k] == 0) ? k + 1 : k;
            LOG_COMMAND(p, len, "ESC D",
                        "horizontal tab stops: " + num(static_cast<int>(stops.size())) + " set");
            return len;
        }
        case 'E':
        case 'G':
            if (!need(3)) return NEED_MORE;
            r_.set_bold(p[2] & 1);
            LOG_COMMAND(p, 3, std::string("ESC ") + static_cast<char>(f) + " " + num(p[2]),
                        std::string(f == 'E' ? "emphasized: " : "double-strike: ") + on_off(p[2]));
            return 3;
        case 'J':
            if (!need(3)) return NEED_MORE;
            r_.print_and_feed_dots(p[2]);
            LOG_COMMAND(p, 3, "ESC J " + num(p[2]), "print and feed " + num(p[2]) + " dots");
            return 3;
        case 'L':
            LOG_COMMAND(p, 2, "ESC L", "page mode (not emulated; standard mode kept)");
            return 2;
        case 'S':
            LOG_COMMAND(p, 2, "ESC S", "standard mode");
            return 2;
        case 'W':
            if (!need(10)) return NEED_MORE;
            LOG_COMMAND(p, 10, "ESC W", "page-mode print area (ignored)");
            return 10;
        case 'M': {
            if (!need(3)) return NEED_MORE;
            const int v = digit(p[2]);
            r_.set_font(v == 1 ? 1 : 0);
            LOG_COMMAND(p, 3, "ESC M " + num(p[2]),
                        v == 1   ? "font B (9x17)"
                        : v == 0 ? "font A (12x24)"
                                 : "font " + num(v) + " not fitted; font A");
            return 3;
        }
        case '\\': {
            if (!need(4)) return NEED_MORE;
            const int d = static_cast<int16_t>(u16(p + 2));
            r_.set_relative_position(d);
            LOG_COMMAND(p, 4, "ESC \\", "relative position: " + num(d) + " dots");
            return 4;
        }
        case 'a': {
            if (!need(3)) return NEED_MORE;
            const int j = digit(p[2]);
            if (j <= 2) r_.set_justification(j);
            LOG_COMMAND(p, 3, "ESC a " + num(p[2]),
                        std::string("justification: ") + just_name(p[2]));
            return 3;
        }
        case 'c':
            if (!need(4)) return NEED_MORE;
            LOG_COMMAND(p, 4, std::string("ESC c ") + static_cast<char>(p[2]),
                        "panel and sensor settings (ignored)");
            return 4;
        case 'd':
            if (!need(3)) return NEED_MORE;
            r_.print_and_feed_lines(p[2]);
            LOG_COMMAND(p, 3, "ESC d " + num(p[2]), "print and feed " + num(p[2]) + " lines");
            return 3;
        case 'i':
        case 'm':
            LOG_COMMAND(p, 2, std::string("ESC ") + static_cast<char>(f),
                        f == 'i' ? "full cut" : "partial cut");
            r_.cut();
            return 2;
        case 'p': {
            if (!need(5)) return NEED_MORE;
            status_.pulse_drawer();
            const int pin = digit(p[2]) == 1 ? 5 : 2;
            LOG_COMMAND(p, 5, "ESC p " + num(p[2]),
                        "drawer pulse on pin " + num(pin) + ", on " + num(p[3] * 2) + " ms, off " +
                            num(p[4] * 2) + " ms: drawer opened");
            if (auto_status_) {
                const auto a = status_.auto_status();
                send({a[0], a[1], a[2], a[3]});
            }
            return 5;
        }
        case 't': {
            if (!need(3)) return NEED_MORE;
            r_.set_code_table(p[2]);
            LOG_COMMAND(p, 3, "ESC t " + num(p[2]),
                        std::string("code table: ") + code_table_name(p[2]));
            return 3;
        }
        case 'v': {
            const uint8_t b = status_.esc_v();
            char meaning[64];
            std::snprintf(meaning, sizeof meaning, "transmit paper sensor status -> %02X", b);
            LOG_COMMAND(p, 2, "ESC v", meaning);
            send({b});
            escv_param_ = true;
            return 2;
        }
        case '{':
            if (!need(3)) return NEED_MORE;
            r_.set_upside_down(p[2] & 1);
            LOG_COMMAND(p, 3, "ESC { " + num(p[2]), std::string("upside-down: ") + on_off(p[2]));
            return 3;
        case 'Z': {
            if (!need(7)) return NEED_MORE;
            const size_t len = static_cast<size_t>(u16(p + 5));
            if (len > limits_.max_symbol_data)
                return skip_payload(p, 7, len, "ESC Z",
                                    "2D symbol data over the cap of " +
                                        std::to_string(limits_.max_symbol_data) +
                                        " bytes; not printed");
            if (n < 7 + len) return NEED_MORE;
            esc_z(p, 7 + len);
            return 7 + len;
        }
        case '(': {
            if (!need(5)) return NEED_MORE;
            const size_t len = static_cast<size_t>(u16(p + 3));
            if (n < 5 + len) return NEED_MORE;
            LOG_COMMAND(p, 5 + len, std::string("ESC ( ") + static_cast<char>(p[2]),
                        "extended function (ignored)");
            return 5 + len;
        }
        default:
            unknown(p, 2, "ESC command");
            return 2;
    }
}

size_t Interpreter::step_fs(const uint8_t* p, size_t n) {
    if (n < 2) return NEED_MORE;
    const uint8_t f = p[1];
    switch (f) {
        case 'p': {
            if (n < 4) return NEED_MORE;
            const int img = p[2], m = p[3] & 3;
            const int xs = (m & 1) ? 2 : 1, ys = (m & 2) ? 2 : 1;
            r_.placeholder("NV IMAGE " + num(img), 192 * xs, 96 * ys);
            LOG_COMMAND(p, 4, "FS p " + num(img) + " " + num(p[3]),
                        "print stored image " + num(img) + ": not defined here, placeholder drawn");
            return 4;
        }
        case 'q':
            if (n < 3) return NEED_MORE;
            fsq_left_ = p[2];
            LOG_COMMAND(p, 3, "FS q " + num(p[2]),
                        "define " + num(p[2]) + " stored images (not kept)");
            return 3;
        case '!':
        case '-':
        case 'C':
        case 'W':
            if (n < 3) return NEED_MORE;
            LOG_COMMAND(p, 3, std::string("FS ") + static_cast<char>(f),
                        "Kanji mode setting (ignored)");
            return 3;
        case '&':
        case '.':
            LOG_COMMAND(p, 2, std::string("FS ") + static_cast<char>(f),
                        "Kanji mode on/off (ignored)");
            return 2;
        case 'S':
        case '?':
            if (n < 4) return NEED_MORE;
            LOG_COMMAND(p, 4, std::string("FS ") + static_cast<char>(f), "Kanji setting (ignored)");
            return 4;
        case '2':
            if (n < 4 + 72) return NEED_MORE;
            LOG_COMMAND(p, 4 + 72, "FS 2", "define Kanji character (ignored)");
            return 4 + 72;
        case '(': {
            if (n < 5) return NEED_MORE;
            const size_t len = static_cast<size_t>(u16(p + 3));
            if (n < 5 + len) return NEED_MORE;
            LOG_COMMAND(p, 5 + len, std::string("FS ( ") + static_cast<char>(p[2]),
                        "extended function (ignored)");
            return 5 + len;
        }
        default:
            unknown(p, 2, "FS command");
            return 2;
    }
}

size_t Interpreter::step_gs(const uint8_t* p, size_t n) {
    if (n < 2) return NEED_MORE;
    const uint8_t f = p[1];
    auto need = [&](size_t len) { return n >= len; };
    switch (f) {
        case '!': {
            if (!need(3)) return NEED_MORE;
            const int w = ((p[2] >> 4) & 7) + 1, h = (p[2] & 7) + 1;
            r_.set_size(w, h);
            LOG_COMMAND(p, 3, "GS ! " + num(p[2]),
                        "character size: width x" + num(w) + ", height x" + num(h));
            return 3;
        }
        case '$':
        case '\\':
        case 'P':
            if (!need(4)) return NEED_MORE;
            LOG_COMMAND(p, 4, std::string("GS ") + static_cast<char>(f),
                        "page-mode position / motion units (ignored)");
            return 4;
        case '(': {
            if (!need(5)) return NEED_MORE;
            const size_t len = static_cast<size_t>(u16(p + 3));
            if (len > limits_.max_command_bytes)
                return skip_payload(p, 5, len, std::string("GS ( ") + static_cast<char>(p[2]),
                                    "function over the size cap");
            if (n < 5 + len) return NEED_MORE;
            gs_paren(p, 5 + len);
            return 5 + len;
        }
        case '8': {
            if (!need(7)) return NEED_MORE;
            const uint64_t len = static_cast<uint64_t>(p[3]) | (static_cast<uint64_t>(p[4]) << 8) |
                                 (static_cast<uint64_t>(p[5]) << 16) |
                                 (static_cast<uint64_t>(p[6]) << 24);
            return skip_payload(p, 7, len, std::string("GS 8 ") + static_cast<char>(p[2]),
                                "graphics function (not emulated)");
        }
        case '*': {
            if (!need(4)) return NEED_MORE;
            const uint64_t len = static_cast<uint64_t>(p[2]) * p[3] * 8;
            return skip_payload(p, 4, len, "GS *", "define downloaded image (not kept)");
        }
        case '/':
            if (!need(3)) return NEED_MORE;
            r_.placeholder("DOWNLOADED IMAGE", 288, 72);
            LOG_COMMAND(p, 3, "GS / " + num(p[2]),
                        "print downloaded image: not kept, placeholder drawn");
            return 3;
        case ':':
            LOG_COMMAND(p, 2, "GS :", "macro definition start/end (ignored)");
            return 2;
        case '^':
            if (!need(5)) return NEED_MORE;
            LOG_COMMAND(p, 5, "GS ^", "run macro (ignored)");
            return 5;
        case 'B':
            if (!need(3)) return NEED_MORE;
            r_.set_reverse(p[2] & 1);
            LOG_COMMAND(p, 3, "GS B " + num(p[2]),
                        std::string("white/black reverse: ") + on_off(p[2]));
            return 3;
        case 'E':
        case 'T':
        case 'b':
            if (!need(3)) return NEED_MORE;
            LOG_COMMAND(p, 3, std::string("GS ") + static_cast<char>(f) + " " + num(p[2]),
                        "print setting (ignored)");
            return 3;
        case 'H': {
            if (!need(3)) return NEED_MORE;
            const int h = digit(p[2]);
            static constexpr const char* POS[] = {"not printed", "above", "below",
                                                  "above and below"};
            if (h <= 3) r_.set_hri_position(h);
            LOG_COMMAND(p, 3, "GS H " + num(p[2]),
                        std::string("HRI characters: ") + (h <= 3 ? POS[h] : "invalid (ignored)"));
            return 3;
        }
        case 'I': {
            if (!need(3)) return NEED_MORE;
            const int q = digit(p[2]);
            LOG_COMMAND(p, 3, "GS I " + num(p[2]), "transmit printer ID");
            if (q == 1)
                send({0x20});
            else if (q == 2)
                send({0x02});
            else if (q == 3)
                send({0x10});
            else if (p[2] >= 0x41 && p[2] <= 0x45) {
                static constexpr const char* ID[] = {"1.2.0", "QUORVEL", "VIRTUAL-80", "0001", ""};
                std::vector<uint8_t> out{0x5F};
                for (const char* s = ID[p[2] - 0x41]; *s; ++s)
                    out.push_back(static_cast<uint8_t>(*s));
                out.push_back(0);
                if (!status_.silent() && reply_) reply_(out), ++counters_.replies;
            }
            return 3;
        }
        case 'L':
            if (!need(4)) return NEED_MORE;
            r_.set_left_margin(u16(p + 2));
            LOG_COMMAND(p, 4, "GS L", "left margin: " + num(u16(p + 2)) + " dots");
            return 4;
        case 'W':
            if (!need(4)) return NEED_MORE;
            r_.set_print_area_width(u16(p + 2));
            LOG_COMMAND(p, 4, "GS W", "print area width: " + num(u16(p + 2)) + " dots");
            return 4;
        case 'V': {
            if (!need(3)) return NEED_MORE;
            const int m = p[2];
            if (m == 0 || m == 1 || m == 48 || m == 49) {
                LOG_COMMAND(p, 3, "GS V " + num(m), (m & 1) ? "partial cut" : "full cut");
                r_.cut();
                return 3;
            }
            if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) {
                if (!need(4)) return NEED_MORE;
                LOG_COMMAND(p, 4, "GS V " + num(m) + " " + num(p[3]),
                            "feed " + num(p[3]) + " dots and cut");
                r_.print_and_feed_dots(p[3]);
                r_.cut();
                return 4;
            }
            unknown(p, 3, "GS V cut mode");
            return 3;
        }
        case 'Z': {
            if (!need(3)) return NEED_MORE;
            const int t = digit(p[2]);
            static constexpr const char* SYM[] = {"PDF417", "Data Matrix", "QR Code"};
            if (t <= 2) gsz_ = t;
            LOG_COMMAND(
                p, 3, "GS Z " + num(p[2]),
                std::string("2D symbol for ESC Z: ") + (t <= 2 ? SYM[t] : "invalid (ignored)"));
            return 3;
        }
        case 'a': {
            if (!need(3)) return NEED_MORE;
            auto_status_ = p[2] != 0;
            LOG_COMMAND(p, 3, "GS a " + num(p[2]),
                        std::string("automatic status back: ") + (auto_status_ ? "on" : "off"));
            if (auto_status_) {
                const auto a = status_.auto_status();
                send({a[0], a[1], a[2], a[3]});
            }
            return 3;
        }
        case 'c':
            LOG_COMMAND(p, 2, "GS c", "print counter (ignored)");
            return 2;
        case 'f':
            if (!need(3)) return NEED_MORE;
            r_.set_hri_font(digit(p[2]) == 1 ? 1 : 0);
            LOG_COMMAND(p, 3, "GS f " + num(p[2]), digit(p[2]) == 1 ? "HRI font B" : "HRI font A");
            return 3;
        case 'g':
            if (!need(5)) return NEED_MORE;
            LOG_COMMAND(p, 5, "GS g", "maintenance counter (ignored)");
            return 5;
        case 'h':
            if (!need(3)) return NEED_MORE;
            if (p[2] >= 1) r_.set_bar_height(p[2]);
            LOG_COMMAND(p, 3, "GS h " + num(p[2]), "bar height: " + num(p[2]) + " dots");
            return 3;
        case 'w':
            if (!need(3)) return NEED_MORE;
            if (p[2] >= 1 && p[2] <= 6) r_.set_module_width(p[2]);
            LOG_COMMAND(p, 3, "GS w " + num(p[2]),
                        p[2] >= 1 && p[2] <= 6 ? "module width: " + num(p[2]) + " dots"
                                               : "module width: invalid (ignored)");
            return 3;
        case 'r': {
            if (!need(3)) return NEED_MORE;
            const int q = digit(p[2]);
            if (q != 1 && q != 2) {
                unknown(p, 3, "GS r query");
                return 3;
            }
            const uint8_t b = status_.gs_r(q);
            char meaning[80];
            std::snprintf(meaning, sizeof meaning, "transmit %s status -> %02X",
                          q == 1 ? "paper sensor" : "drawer", b);
            LOG_COMMAND(p, 3, "GS r " + num(p[2]), meaning);
            send({b});
            return 3;
        }
        case 'k': {
            if (!need(3)) return NEED_MORE;
            const int m = p[2];
            size_t len, data_at, data_len;
            if (m <= 6) {
                // Form A: data ends with NUL, at most 255 bytes.
                size_t k = 3;
                while (k < n && k < 3 + 256 && p[k] != 0) ++k;
                if (k == n && k < 3 + 256) return NEED_MORE;
                if (k == 3 + 256) {
                    ++counters_.rejected;
                    LOG_COMMAND(p, 3, "GS k " + num(m),
                                "no NUL within 255 data bytes; barcode dropped");
                    return 3;
                }
                data_at = 3, data_len = k - 3, len = k + 1;
            } else if (m >= 65 && m <= 78) {
                if (!need(4)) return NEED_MORE;
                data_at = 4, data_len = p[3], len = 4 + data_len;
                if (n < len) return NEED_MORE;
            } else {
                unknown(p, 3, "GS k symbology");
                return 3;
            }
            const std::string_view data(reinterpret_cast<const char*>(p + data_at), data_len);
            LinearSymbol s = encode_linear(m, data);
            std::string meaning =
                std::string(symbology_name(m)) + " " + quoted(p + data_at, data_len);
            if (s.ok) {
                meaning += ", " + num(static_cast<int>(s.modules.size())) + " modules, reads \"" +
                           s.hri + "\"";
            } else {
                ++counters_.rejected;
                meaning += ": not printed, " + s.error;
            }
            LOG_COMMAND(p, len, "GS k " + num(m), meaning);
            r_.barcode(s);
            return len;
        }
        case 'v': {
            if (!need(3)) return NEED_MORE;
            if (p[2] != '0') {
                unknown(p, 3, "GS v function");
                return 3;
            }
            if (!need(8)) return NEED_MORE;
            const int m = p[3] & 3, xb = u16(p + 4), h = u16(p + 6);
            const size_t bytes = static_cast<size_t>(xb) * h;
            if (bytes > limits_.max_raster_bytes)
                return skip_payload(p, 8, bytes, "GS v 0",
                                    "raster image over the cap of " +
                                        std::to_string(limits_.max_raster_bytes) +
                                        " bytes; not printed");
            if (n < 8 + bytes) return NEED_MORE;
            r_.raster(p + 8, xb, h, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1);
            LOG_COMMAND(p, 8 + bytes, "GS v 0 " + num(p[3]),
                        "raster image " + num(xb * 8) + "x" + num(h) + " dots");
            return 8 + bytes;
        }
        default:
            unknown(p, 2, "GS command");
            return 2;
    }
}

void Interpreter::gs_paren(const uint8_t* p, size_t len) {
    const uint8_t sub = p[2];
    if (sub == 'k' && len >= 7) {
        const int cn = p[5];
        if (cn == 49) return qr_function(p, len);
        if (cn == 48) return pdf_function(p, len);
        LOG_COMMAND(p, len, "GS ( k", "2D symbol cn " + num(cn) + " (not supported; ignored)");
        return;
    }
    if (sub == 'k') {
        unknown(p, len, "GS ( k (too short)");
        return;
    }
    if (sub == 'A' || sub == 'C' || sub == 'D' || sub == 'E' || sub == 'H' || sub == 'K' ||
        sub == 'L' || sub == 'M' || sub == 'N' || sub == 'P' || sub == 'Q' || sub == 'z') {
        LOG_COMMAND(p, len, std::string("GS ( ") + static_cast<char>(sub),
                    "extended function (ignored)");
        return;
    }
    unknown(p, len, "GS ( function");
}

void Interpreter::qr_function(const uint8_t* p, size_t len) {
    const int fn = p[6];
    const uint8_t* a = p + 7;
    const size_t na = len - 7;
    auto arg = [&](size_t i) { return i < na ? static_cast<int>(a[i]) : -1; };
    switch (fn) {
        case 65: {  // select the model
            const int m = arg(0);
            if (m >= 49 && m <= 51) qr_.model = m;
            LOG_COMMAND(p, len, "GS ( k QR 165",
                        m == 49   ? "QR model 1"
                        : m == 50 ? "QR model 2"
                        : m == 51 ? "Micro QR"
                                  : "QR model: invalid (ignored)");
            return;
        }
        case 67: {
            const int s = arg(0);
            if (s >= 1 && s <= 16) qr_.module = s;
            LOG_COMMAND(p, len, "GS ( k QR 167", "QR module size: " + num(s) + " dots");
            return;
        }
        case 69: {
            const int e = arg(0);
            static constexpr const char* ECC = "LMQH";
            if (e >= 48 && e <= 51) qr_.ecc = e - 48;
            LOG_COMMAND(p, len, "GS ( k QR 169",
                        std::string("QR error correction: ") +
                            (e >= 48 && e <= 51 ? std::string(1, ECC[e - 48]) : "invalid"));
            return;
        }
        case 80: {
            const size_t k = na > 0 ? na - 1 : 0;
            if (k > limits_.max_symbol_data) {
                qr_.data.clear();
                ++counters_.rejected;
                LOG_COMMAND(
                    p, len, "GS ( k QR 180",
                    "store " + num(static_cast<int>(k)) + " bytes: over the cap; store cleared");
                return;
            }
            qr_.data.assign(reinterpret_cast<const char*>(a + 1), k);
            LOG_COMMAND(
                p, len, "GS ( k QR 180",
                "store QR data " + quoted(a + 1, k) + " (" + num(static_cast<int>(k)) + " bytes)");
            return;
        }
        case 81:
            LOG_COMMAND(p, len, "GS ( k QR 181", "print the stored QR Code");
            print_qr(qr_.data, qr_.ecc, qr_.module,
                     qr_.model == 49   ? "model 1 requested"
                     : qr_.model == 51 ? "Micro QR requested"
                                       : nullptr);
            return;
        case 82:
            LOG_COMMAND(p, len, "GS ( k QR 182", "transmit symbol size (not answered)");
            return;
        default:
            LOG_COMMAND(p, len, "GS ( k QR " + num(fn + 100),
                        "QR function not supported (ignored)");
    }
}

void Interpreter::pdf_function(const uint8_t* p, size_t len) {
    const int fn = p[6];
    const uint8_t* a = p + 7;
    const size_t na = len - 7;
    auto arg = [&](size_t i) { return i < na ? static_cast<int>(a[i]) : -1; };
    switch (fn) {
        case 65:
            if (arg(0) >= 0 && arg(0) <= 30) pdf_.columns = arg(0);
            LOG_COMMAND(
                p, len, "GS ( k PDF 065",
                "PDF417 columns: " + (arg(0) == 0 ? std::string("automatic") : num(arg(0))));
            return;
        case 66:
            if (arg(0) == 0 || (arg(0) >= 3 && arg(0) <= 90)) pdf_.rows = arg(0);
            LOG_COMMAND(p, len, "GS ( k PDF 066",
                        "PDF417 rows: " + (arg(0) == 0 ? std::string("automatic") : num(arg(0))));
            return;
        case 67:
            if (arg(0) >= 1 && arg(0) <= 8) pdf_.module = arg(0);
            LOG_COMMAND(p, len, "GS ( k PDF 067", "PDF417 module width: " + num(arg(0)) + " dots");
            return;
        case 68:
            if (arg(0) >= 2 && arg(0) <= 8) pdf_.row_height = arg(0);
            LOG_COMMAND(p, len, "GS ( k PDF 068",
                        "PDF417 row height: " + num(arg(0)) + " x module width");
            return;
        case 69:
            if (arg(0) == 48 && arg(1) >= 48 && arg(1) <= 56)
                pdf_.ecc = arg(1) - 48;
            else if (arg(0) == 49)
                pdf_.ecc = -1;
            LOG_COMMAND(p, len, "GS ( k PDF 069",
                        arg(0) == 48 ? "PDF417 error correction level " + num(arg(1) - 48)
                                     : "PDF417 error correction by ratio (automatic level)");
            return;
        case 70:
            pdf_.truncated = arg(0) == 1;
            LOG_COMMAND(p, len, "GS ( k PDF 070",
                        pdf_.truncated ? "truncated PDF417" : "standard PDF417");
            return;
        case 80: {
            const size_t k = na > 0 ? na - 1 : 0;
            if (k > limits_.max_symbol_data) {
                pdf_.data.clear();
                ++counters_.rejected;
                LOG_COMMAND(
                    p, len, "GS ( k PDF 080",
                    "store " + num(static_cast<int>(k)) + " bytes: over the cap; store cleared");
                return;
            }
            pdf_.data.assign(reinterpret_cast<const char*>(a + 1), k);
            LOG_COMMAND(p, len, "GS ( k PDF 080",
                        "store PDF417 data " + quoted(a + 1, k) + " (" + num(static_cast<int>(k)) +
                            " bytes)");
            return;
        }
        case 81:
            LOG_COMMAND(p, len, "GS ( k PDF 081", "print the stored PDF417 symbol");
            print_pdf417(pdf_.data, pdf_.columns, pdf_.ecc, pdf_.module,
                         pdf_.module * pdf_.row_height, pdf_.truncated);
            return;
        default:
            LOG_COMMAND(p, len, "GS ( k PDF " + num(fn), "PDF417 function not supported (ignored)");
    }
}

void Interpreter::print_qr(std::string_view data, int ecc, int module, const char* via) {
    Matrix m = encode_qr(data, ecc);
    if (!m.ok) {
        ++counters_.rejected;
        note("QR Code not printed: " + m.error);
        return;
    }
    if (via) note(std::string("QR ") + via + ": no encoder for it here; printed as model 2");
    note("QR Code " + num(m.cols) + "x" + num(m.rows) + " modules, " + num(module) +
         " dots per module");
    r_.matrix(m, module, module);
}

void Interpreter::print_pdf417(std::string_view data, int columns, int ecc, int module_w, int row_h,
                               bool truncated) {
    // The widest symbol that fits: 17 modules per column plus start, stop and row indicators.
    const int max_cols = ((PRINT_WIDTH / module_w) - (truncated ? 18 + 17 : 69)) / 17;
    if (max_cols < 1) {
        ++counters_.rejected;
        note("PDF417 not printed: module width too large for the paper");
        return;
    }
    if (columns > max_cols) {
        note("PDF417 columns reduced from " + num(columns) + " to " + num(max_cols) +
             " to fit the print width");
        columns = max_cols;
    }
    Matrix m = encode_pdf417(data, columns, ecc, truncated);
    if (m.ok && m.cols * module_w > PRINT_WIDTH && columns == 0)
        m = encode_pdf417(data, max_cols, ecc, truncated);
    if (!m.ok) {
        ++counters_.rejected;
        note("PDF417 not printed: " + m.error);
        return;
    }
    note("PDF417 " + num(m.cols) + " modules x " + num(m.rows) + " rows, module " + num(module_w) +
         " dots, row " + num(row_h) + " dots");
    r_.matrix(m, module_w, row_h);
}

void Interpreter::esc_z(const uint8_t* p, size_t len) {
    const int p1 = p[2], p2 = p[3], p3 = p[4];
    const std::string_view data(reinterpret_cast<const char*>(p + 7), len - 7);
    const std::string head = "ESC Z " + num(p1) + " " + num(p2) + " " + num(p3);
    const std::string shown =
        quoted(p + 7, len - 7) + " (" + num(static_cast<int>(len - 7)) + " bytes)";
    if (gsz_ == 2) {
        int ecc = 1;
        switch (p2) {
            case 'L':
                ecc = 0;
                break;
            case 'M':
                ecc = 1;
                break;
            case 'Q':
                ecc = 2;
                break;
            case 'H':
                ecc = 3;
                break;
            default:
                ecc = p2 <= 3 ? p2 : 1;
        }
        const int module = p3 >= 1 && p3 <= 16 ? p3 : 3;
        static constexpr const char* ECC[] = {"L", "M", "Q", "H"};
        const char* model = p1 == 0x31   ? "model 1"
                            : p1 == 0x32 ? "model 2"
                            : p1 == 0    ? "automatic model"
                                         : "model byte not 31/32 (automatic)";
        LOG_COMMAND(p, len, head,
                    std::string("QR Code ") + model + ", ECC " + ECC[ecc] + ", module " +
                        num(module) + " dots: " + shown);
        print_qr(data, ecc, module, p1 == 0x31 ? "model 1 requested" : nullptr);
    } else if (gsz_ == 0) {
        const int columns = p1 <= 30 ? p1 : 0;
        const int ecc = p2 <= 8 ? p2 : -1;
        const int ratio = p3 >= 1 && p3 <= 8 ? p3 : 3;
        constexpr int MODULE = 2;
        LOG_COMMAND(p, len, head,
                    "PDF417 " + (columns ? num(columns) : std::string("automatic")) +
                        " columns, ECC level " + (ecc >= 0 ? num(ecc) : std::string("automatic")) +
                        ", row height " + num(ratio) + " x module: " + shown);
        print_pdf417(data, columns, ecc, MODULE, MODULE * ratio, false);
    } else {
        const int module = p3 >= 1 && p3 <= 16 ? p3 : 3;
        LOG_COMMAND(p, len, head,
                    "Data Matrix size " + num(p1) + "x" + num(p2) + ", module " + num(module) +
                        " dots: " + shown);
        Matrix m = encode_data_matrix(data, p1, p2);
        if (!m.ok) {
            ++counters_.rejected;
            note("Data Matrix not printed: " + m.error);
            return;
        }
        if (!m.note.empty()) note("Data Matrix " + m.note);
        r_.matrix(m, module, module);
    }
}

void Interpreter::self_test() {
    r_.initialize();
    Style big;
    big.bold = true;
    big.wmul = big.hmul = 2;
    Style a, b, bold;
    b.font = 1;
    bold.bold = true;
    const auto st = status_.state();
    r_.text_line("SELF-TEST", big, 1);
    r_.text_line("Quorvel virtual receipt printer", bold, 1);
    r_.text_line("80 mm paper, 576 dots, 203 dpi", a, 1);
    r_.text_line("", a, 0);
    r_.text_line("Font A 12x24: ABCDEFGHIJ abcdefghij 0123456789", a, 0);
    r_.text_line("Font B 9x17: ABCDEFGHIJKLM abcdefghijklm 0123456789", b, 0);
    r_.set_code_table(16);
    r_.text_line(
        "WPC1252: \xE0\xE1\xE2\xE3\xE7\xE9\xEA\xED\xF3\xF4\xF5\xFA \xC0\xC1\xC3\xC7\xC9\xD3 \x80",
        a, 0);
    r_.text_line(std::string("Drawer: ") + (status_.drawer_open() ? "open" : "closed") +
                     "   Paper: " +
                     (st.paper == Paper::OK         ? "ok"
                      : st.paper == Paper::NEAR_END ? "near end"
                                                    : "out") +
                     "   Cover: " + (st.cover_open ? "open" : "closed"),
                 a, 0);
    r_.text_line(std::string("Online: ") + (status_.offline() ? "no" : "yes") +
                     (st.silent ? "   Status replies: off" : "   Status replies: on"),
                 a, 0);
    r_.text_line("*** end of self-test ***", a, 1);
    r_.print_and_feed_lines(2);
    r_.initialize();
}

}  // namespace quorvel::printer
