// SPDX-License-Identifier: MIT
// Barcodes and 2D symbols: the printer's own Code 128 against zint, data
// validation as a printer does it, and every symbol rendered then read back
// with zxing-cpp.
#include "paper/symbols.h"

#include <gtest/gtest.h>
#include <zint.h>

#include "support.h"

namespace quorvel::printer::test {
namespace {

std::vector<uint8_t> zint_row(int symbology, const std::string& data) {
    zint_symbol* s = ZBarcode_Create();
    s->symbology = symbology;
    s->input_mode = DATA_MODE;
    EXPECT_LT(ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(data.data()),
                              static_cast<int>(data.size())),
              ZINT_ERROR)
        << s->errtxt;
    std::vector<uint8_t> row;
    for (int c = 0; c < s->width; ++c) row.push_back((s->encoded_data[0][c >> 3] >> (c & 7)) & 1);
    ZBarcode_Delete(s);
    return row;
}

TEST(Code128, BarsMatchZintWhereBothApply) {
    struct Case {
        const char* name;
        std::string ours;
        int zint_symbology;
        std::string zint_data;
    };
    const std::vector<Case> cases = {
        {"set B text", "{BHello, World!", BARCODE_CODE128B, "Hello, World!"},
        {"set B printable, first half", "{B !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNO",
         BARCODE_CODE128B, " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNO"},
        {"set B printable, second half", "{BPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz|}~",
         BARCODE_CODE128B, "PQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz|}~"},
        {"set A control characters",
         B("{A\x01\x02"
           "AB\x1f"),
         BARCODE_CODE128,
         B("\x01\x02"
           "AB\x1f")},
        {"set C pairs", B("{C\x0c\x22\x38\x4e"), BARCODE_CODE128, "12345678"},
        {"set C with zero and 99", B("{C\x00\x63\x05\x2a"), BARCODE_CODE128, "00990542"},
        {"set B then C", B("{BAB{C\x0c\x22\x38\x4e"), BARCODE_CODE128, "AB12345678"},
        {"literal brace", "{BA{{B", BARCODE_CODE128B, "A{B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LinearSymbol s = encode_code128(c.ours);
        ASSERT_TRUE(s.ok) << s.error;
        EXPECT_EQ(s.modules, zint_row(c.zint_symbology, c.zint_data));
    }
}

TEST(Code128, InvalidDataIsRefused) {
    for (const std::string& d :
         {std::string("ABC"), std::string("{X12"), B("{C\x64"), std::string("{B"),
          std::string("{BA{"), B("{A\x7f"), B("{B\x01"), std::string("{C{S")}) {
        SCOPED_TRACE(d);
        EXPECT_FALSE(encode_code128(d).ok);
    }
}

TEST(Linear, InvalidDataPrintsNothing) {
    struct Case {
        int m;
        std::string data;
    };
    const std::vector<Case> cases = {
        {65, "1234567890"},     // UPC-A: 10 digits
        {65, "012345678901"},   // UPC-A: wrong check digit
        {65, "01234567890A"},   // letter
        {66, "123456789"},      // UPC-E: 9 digits
        {66, "1123456"},        // UPC-E: number system 1
        {66, "01234500001"},    // UPC-A that has no UPC-E form
        {67, "78912345678"},    // EAN-13: 11 digits
        {67, "7891234567890"},  // EAN-13: wrong check digit
        {68, "123456"},         // EAN-8: 6 digits
        {69, "abc"},            // CODE39: lower case
        {69, "A_B"},            // CODE39: character outside the set
        {70, "12345"},          // ITF: odd length
        {70, "12A4"},           // ITF: letter
        {71, "12345"},          // CODABAR: no start and stop
        {71, "A12E45B"},        // CODABAR: bad data character
        {72, "caf\xe9"},        // CODE93: 8-bit byte
        {73, "NOSET"},          // CODE128: no code set
        {74, "0123"},           // GS1-128: no application identifier
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.m) + " " + c.data);
        StreamRun run;
        run.feed(B("\x1d\x6b") + static_cast<char>(c.m) + static_cast<char>(c.data.size()) + c.data)
            .finish();
        EXPECT_TRUE(run.pages.empty());
        EXPECT_EQ(run.interpreter().counters().rejected, 1u);
        EXPECT_NE(run.journal().find("not printed"), std::string::npos);
    }
}

struct LinearCase {
    int m;  // counted-form number; the NUL form is m - 65 where it exists
    std::string data;
    std::string decoded;
    const char* format;
};

const std::vector<LinearCase>& linear_cases() {
    static const std::vector<LinearCase> cases = {
        {65, "01234567890", "012345678905", "UPC-A"},
        {65, "036000291452", "036000291452", "UPC-A"},
        {66, "123456", "01234565", "UPC-E"},
        {66, "0123456", "01234565", "UPC-E"},
        {66, "01234500006", "01234565", "UPC-E"},
        {67, "789123456789", "7891234567895", "EAN-13"},
        {67, "4006381333931", "4006381333931", "EAN-13"},
        {68, "1234567", "12345670", "EAN-8"},
        {69, "QUORVEL-42", "QUORVEL-42", "Code39"},
        {69, "*AB 12$%*", "AB 12$%", "Code39"},
        {70, "1234567890", "1234567890", "ITF"},
        {71, "A40156B", "A40156B", "Codabar"},
        {71, "c12-34$d", "C12-34$D", "Codabar"},
        {72, "Code 93!", "Code 93!", "Code93"},
        {73, B("{BQuorvel{C\x0c\x22"), "Quorvel1234", "Code128"},
        {73, B("{C\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14"), "1011121314151617181920",
         "Code128"},
        {73, "{Aabc", "", ""},  // lower case is not in code set A: not printed
    };
    return cases;
}

TEST(Linear, RenderedBarcodesDecodeToTheirData) {
    for (const auto& c : linear_cases()) {
        for (bool counted : {true, false}) {
            if (!counted && c.m > 71) continue;
            SCOPED_TRACE(std::to_string(c.m) + (counted ? " counted " : " NUL form ") + c.data);
            std::string s = B("\x1b\x61\x01\x1d\x77\x02\x1d\x68\x50\x1d\x48\x02\x1d\x6b");
            if (counted)
                s += static_cast<char>(c.m) + std::string(1, static_cast<char>(c.data.size())) +
                     c.data;
            else
                s += static_cast<char>(c.m - 65) + c.data + B("\x00");
            StreamRun run;
            run.feed(s + "\n").finish();
            if (c.decoded.empty()) {
                EXPECT_TRUE(run.pages.empty());
                continue;
            }
            const auto found = decode_pages(run.pages);
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found[0].data, c.decoded);
            EXPECT_EQ(found[0].format, c.format);
        }
    }
}

TEST(Linear, ModuleWidthAndHeightAreHonoured) {
    for (int w : {1, 2, 3, 4, 6}) {
        for (int h : {32, 80, 162}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
            StreamRun run;
            run.feed(B("\x1d\x77") + static_cast<char>(w) + B("\x1d\x68") + static_cast<char>(h) +
                     B("\x1d\x6b\x43\x0c"
                       "789123456789"))
                .finish();
            ASSERT_EQ(run.pages.size(), 1u);
            const Box box = ink_box(run.pages[0]);
            EXPECT_EQ(box.width(), 95 * w);  // EAN-13 is 95 modules from bar to bar
            EXPECT_EQ(box.height(), h);
            if (w >= 2) {
                const auto d = decode_page(run.pages[0]);
                ASSERT_EQ(d.size(), 1u);
                EXPECT_EQ(d[0].data, "7891234567895");
            }
        }
    }
}

TEST(Linear, HriIsPrintedAboveBelowOrBoth) {
    struct Case {
        char pos;
        int text_rows;  // number of HRI lines
    };
    for (const auto& c : std::vector<Case>{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {'2', 1}}) {
        SCOPED_TRACE(static_cast<int>(c.pos));
        StreamRun run;
        run.feed(B("\x1d\x68\x28\x1d\x48") + c.pos +
                 B("\x1d\x6b\x45\x04"
                   "AB12"))
            .finish();
        ASSERT_EQ(run.pages.size(), 1u);
        EXPECT_EQ(run.pages[0].height(), 40 + c.text_rows * (24 + 2));
    }
}

TEST(Linear, WiderThanThePaperIsNotPrinted) {
    StreamRun run;
    run.feed(B("\x1d\x77\x06\x1d\x6b\x49\x1a{B") + std::string(24, 'W')).finish();
    EXPECT_TRUE(run.pages.empty());
    EXPECT_NE(run.journal().find("more than the print area"), std::string::npos);
}

std::string esc_z(char type, char p1, char p2, char p3, const std::string& data) {
    return B("\x1d\x5a") + type + B("\x1b\x5a") + p1 + p2 + p3 +
           static_cast<char>(data.size() & 0xff) + static_cast<char>(data.size() >> 8) + data;
}

std::string gs_paren_k(char cn, char fn, const std::string& args) {
    const size_t len = args.size() + 2;
    return B("\x1d\x28\x6b") + static_cast<char>(len & 0xff) + static_cast<char>(len >> 8) + cn +
           fn + args;
}

TEST(Symbols2D, EveryFormDecodesToItsData) {
    const std::string url = "https://quorvel.example/nfce?chave=3519 1234 5678";
    const std::string latin = "A\xe7\xe3o \xe9 \xfanica";  // Windows-1252 bytes
    std::string big;
    for (int i = 0; i < 300; ++i) big += static_cast<char>('A' + i % 26);
    struct Case {
        const char* name;
        std::string stream;
        std::string data;
        const char* format;
    };
    const std::vector<Case> cases = {
        {"QR ESC Z model 2 M", esc_z(2, '2', 'M', 4, url), url, "QRCode"},
        {"QR ESC Z auto L", esc_z(2, 0, 'L', 3, url), url, "QRCode"},
        {"QR ESC Z model 1 H", esc_z(2, '1', 'H', 5, latin), latin, "QRCode"},
        {"QR ESC Z ECC as 0..3", esc_z(2, '2', 2, 3, big), big, "QRCode"},
        {"QR GS ( k",
         gs_paren_k('1', 'A', B("2\x00")) + gs_paren_k('1', 'C', "\x05") +
             gs_paren_k('1', 'E', "3") + gs_paren_k('1', 'P', "0" + url) +
             gs_paren_k('1', 'Q', "0"),
         url, "QRCode"},
        {"QR GS ( k model 1 and 2 dots",
         gs_paren_k('1', 'A', B("1\x00")) + gs_paren_k('1', 'C', "\x02") +
             gs_paren_k('1', 'P', "0" + latin) + gs_paren_k('1', 'Q', "0"),
         latin, "QRCode"},
        {"PDF417 ESC Z", esc_z(0, 4, 2, 3, url), url, "PDF417"},
        {"PDF417 ESC Z automatic columns", esc_z(0, 0, 5, 4, big), big, "PDF417"},
        {"PDF417 ESC Z 30 columns fitted", esc_z(0, 30, 8, 6, latin), latin, "PDF417"},
        {"PDF417 GS ( k",
         gs_paren_k('0', 'A', "\x03") + gs_paren_k('0', 'C', "\x03") +
             gs_paren_k('0', 'D', "\x03") + gs_paren_k('0', 'E', "01") +
             gs_paren_k('0', 'P', "0" + url) + gs_paren_k('0', 'Q', "0"),
         url, "PDF417"},
        {"Data Matrix ESC Z 2 dots", esc_z(1, 0, 0, 2, url), url, "DataMatrix"},
        {"Data Matrix ESC Z 3 dots", esc_z(1, 4, 11, 3, latin), latin, "DataMatrix"},
        {"Data Matrix ESC Z 7 dots", esc_z(1, 0, 0, 7, big), big, "DataMatrix"},
        {"Data Matrix ESC Z 16x16 size", esc_z(1, 16, 16, 4, "12345"), "12345", "DataMatrix"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        run.feed(B("\x1b\x61\x01") + c.stream).finish();
        const auto found = decode_pages(run.pages);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].data, c.data);
        EXPECT_EQ(found[0].format, c.format);
    }
}

TEST(Symbols2D, QrModuleSizeSetsTheSymbolWidth) {
    for (int m = 1; m <= 8; ++m) {
        SCOPED_TRACE(m);
        StreamRun run;
        run.feed(esc_z(2, '2', 'L', static_cast<char>(m), "12345"))
            .finish();  // version 1: 21 modules
        ASSERT_EQ(run.pages.size(), 1u);
        EXPECT_EQ(ink_box(run.pages[0]).width(), 21 * m);
    }
}

TEST(Symbols2D, ModelOneIsPrintedAsModelTwoAndSaidSo) {
    StreamRun run;
    run.feed(esc_z(2, '1', 'M', 3, "abc")).finish();
    EXPECT_NE(run.journal().find("printed as model 2"), std::string::npos);
}

TEST(Symbols2D, EmptyOrOverCapDataIsNotPrinted) {
    StreamRun run;
    run.feed(esc_z(2, '2', 'M', 3, ""))
        .feed(gs_paren_k('1', 'P', "0" + std::string(8000, 'x')))
        .feed(gs_paren_k('1', 'Q', "0"));
    run.finish();
    EXPECT_TRUE(run.pages.empty());
    EXPECT_GE(run.interpreter().counters().rejected, 2u);
}

// GS1-128: the AIs in ( ) or [ ] become FNC1-separated data in the symbol
// (read back as GS1, "]C1") and stay in parentheses in the human-readable text.
TEST(Linear, Gs1128TakesItsApplicationIdentifiersInParentheses) {
    struct Case {
        std::string data;
        std::string decoded;
        std::string hri;
    };
    const std::vector<Case> cases = {
        {"(01)09501101530003(17)250101(10)AB12", "01095011015300031725010110AB12",
         "(01)09501101530003(17)250101(10)AB12"},
        {"(10)LOT7(01)09501101530003",
         "10LOT7\x1d"
         "0109501101530003",
         "(10)LOT7(01)09501101530003"},
        {"[01]09501101530003", "0109501101530003", "(01)09501101530003"},
        // A printer does not check the data of an AI: a wrong check digit still prints.
        {"(01)09501101530004", "0109501101530004", "(01)09501101530004"},
        // Without brackets, as many encoders send it: fixed-length AIs end by
        // their length, variable ones at FNC1 ({1 or GS) or at the end.
        {"010950110153000317250101", "010950110153000317250101", "(01)09501101530003(17)250101"},
        {"{A{10109501101530003"
         "10LOT7{121SER9",
         "010950110153000310LOT7\x1d"
         "21SER9",
         "(01)09501101530003(10)LOT7(21)SER9"},
        {"10LOT7\x1d"
         "3103001234",
         "10LOT7\x1d"
         "3103001234",
         "(10)LOT7(3103)001234"},
        {"0109501101530003(10)LOT7", "010950110153000310LOT7", "(01)09501101530003(10)LOT7"},
        {"{C{1"
         "00123456789012345675",
         "00123456789012345675", "(00)123456789012345675"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        StreamRun run;
        run.feed(B("\x1d\x77\x02\x1d\x68\x50\x1d\x48\x02\x1d\x6b\x4a") +
                 static_cast<char>(c.data.size()) + c.data + "\n")
            .finish();
        const auto found = decode_pages(run.pages);
        ASSERT_EQ(found.size(), 1u) << run.journal();
        EXPECT_EQ(found[0].data, c.decoded);
        EXPECT_EQ(found[0].symbology, "]C1") << "FNC1 in the first position";
        EXPECT_NE(run.journal().find("reads \"" + c.hri + "\""), std::string::npos)
            << run.journal();
    }
}

// What is not a GS1 element string is refused, and the journal says why.
TEST(Linear, Gs1DataThatIsNotAnElementStringIsRefused) {
    struct Case {
        int m;
        std::string data;
        std::string why;
    };
    const std::vector<Case> cases = {
        {74, "0123", "AI (01) takes 14 characters, not 2"},
        {74, "01095011015300AB", "AI (01) takes digits only"},
        {74, "8888123", "no GS1 application identifier starts at \"8888\""},
        {74, "10" + std::string(21, '7'), "AI (10) takes 1 to 20 characters, not 21"},
        {74, "(01", "an AI bracket is not closed"},
        {74, "0109501101530003{121", "AI (21) has no data"},
        {74, "10A B", "AI (10) data holds a byte GS1 does not allow"},
        {78, "(17)2501", "AI (17) takes 6 characters, not 4"},
        {75, "(10)ABC", "GS1 DataBar takes a GTIN"},
        {75, "09501101530004", "GS1 DataBar GTIN check digit is wrong"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        StreamRun run;
        run.feed(B("\x1d\x6b") + static_cast<char>(c.m) + static_cast<char>(c.data.size()) +
                 c.data + "\n")
            .finish();
        EXPECT_TRUE(decode_pages(run.pages).empty());
        EXPECT_NE(run.journal().find(c.why), std::string::npos) << run.journal();
    }
}

// GS1 DataBar takes its data in the same forms. zxing-cpp gives the GTIN
// of DataBar and the AIs in parentheses of DataBar Expanded.
TEST(Linear, Gs1DataBarTakesApplicationIdentifiersRunTogether) {
    struct Case {
        int m;
        std::string data;
        std::string format;
        std::string decoded;
    };
    const std::vector<Case> cases = {
        {75, "0109501101530003", "DataBar", "09501101530003"},
        {76, "0950110153000", "DataBar", "09501101530003"},
        {78,
         "0109501101530003"
         "3103000123"
         "10LOT7",
         "DataBarExpanded", "(01)09501101530003(3103)000123(10)LOT7"},
        {78, "(01)09501101530003(10)AB{121X", "DataBarExpanded", "(01)09501101530003(10)AB(21)X"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        StreamRun run;
        run.feed(B("\x1d\x77\x02\x1d\x68\x50\x1d\x6b") + static_cast<char>(c.m) +
                 static_cast<char>(c.data.size()) + c.data + "\n")
            .finish();
        const auto found = decode_pages(run.pages);
        ASSERT_EQ(found.size(), 1u) << run.journal();
        EXPECT_EQ(found[0].format, c.format);
        EXPECT_EQ(found[0].data, c.decoded);
    }
}

// MaxiCode is only found by zxing-cpp in an image that holds the symbol alone.
std::vector<Decoded> decode_alone(const Bitmap& page) {
    const Box b = ink_box(page);
    if (b.empty()) return {};
    const int pad = 20, w = b.width() + 2 * pad, h = b.height() + 2 * pad;
    std::vector<uint8_t> lum(static_cast<size_t>(w) * h, 255);
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x)
            if (page.get(x, y)) lum[static_cast<size_t>(y - b.y0 + pad) * w + x - b.x0 + pad] = 0;
    ZXing::DecodeHints hints;
    hints.setIsPure(true).setFormats(ZXing::BarcodeFormat::MaxiCode);
    std::vector<Decoded> out;
    const auto r = ZXing::ReadBarcode({lum.data(), w, h, ZXing::ImageFormat::Lum}, hints);
    if (r.isValid())
        out.push_back({ZXing::ToString(r.format()), std::string(r.bytes().begin(), r.bytes().end()),
                       r.symbologyIdentifier()});
    return out;
}

// GS ( k cn 50 and on: each symbol zint can draw prints and reads back.
TEST(Symbols2D, OtherGsParenKSymbolsPrintAndDecode) {
    struct Case {
        const char* name;
        std::string stream;
        std::string decoded;  // empty: printed, no reader for it here
        const char* format;
        bool alone;
    };
    const std::string text = "Quorvel 2026 caixa 7";
    const std::vector<Case> cases = {
        {"MaxiCode mode 4",
         gs_paren_k('2', 'A', "4") + gs_paren_k('2', 'P', "0" + text) + gs_paren_k('2', 'Q', "0"),
         text, "MaxiCode", true},
        {"MaxiCode default mode 2 without a carrier message",
         gs_paren_k('2', 'P', "0" + text) + gs_paren_k('2', 'Q', "0"), text, "MaxiCode", true},
        {"Aztec automatic",
         gs_paren_k('5', 'C', "\x04") + gs_paren_k('5', 'P', "0" + text) +
             gs_paren_k('5', 'Q', "0"),
         text, "Aztec", false},
        {"Aztec compact, 3 layers, 50%",
         gs_paren_k('5', 'B', "1\x03") + gs_paren_k('5', 'E', "\x32") +
             gs_paren_k('5', 'P', "0" + text) + gs_paren_k('5', 'Q', "0"),
         text, "Aztec", false},
        {"Data Matrix",
         gs_paren_k('6', 'C', "\x04") + gs_paren_k('6', 'P', "0" + text) +
             gs_paren_k('6', 'Q', "0"),
         text, "DataMatrix", false},
        {"GS1 DataBar expanded stacked",
         gs_paren_k('3', 'C', "\x03") + gs_paren_k('3', 'P', "0L(01)09501101530003(10)AB") +
             gs_paren_k('3', 'Q', "0"),
         "", "", false},
        {"GS1 DataBar stacked", gs_paren_k('3', 'P', "0H0950110153000") + gs_paren_k('3', 'Q', "0"),
         "", "", false},
        {"GS1 DataBar expanded stacked, AIs run together",
         gs_paren_k('3', 'P', "0L010950110153000310AB") + gs_paren_k('3', 'Q', "0"), "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        run.feed(B("\x1b\x61\x01") + c.stream).finish();
        EXPECT_EQ(run.interpreter().counters().rejected, 0u) << run.journal();
        ASSERT_EQ(run.pages.size(), 1u) << run.journal();
        if (c.decoded.empty()) continue;
        const auto found = c.alone ? decode_alone(run.pages[0]) : decode_pages(run.pages);
        ASSERT_EQ(found.size(), 1u) << run.journal();
        EXPECT_EQ(found[0].data, c.decoded);
        EXPECT_EQ(found[0].format, c.format);
    }
    StreamRun composite;
    composite.feed(gs_paren_k('4', 'P', "0abc") + gs_paren_k('4', 'Q', "0") + "OK\n").finish();
    EXPECT_NE(composite.journal().find("not supported; skipped"), std::string::npos);
    ASSERT_EQ(composite.pages.size(), 1u);
    EXPECT_LT(ink_box(composite.pages[0]).x1, 24) << "only OK prints";
}

TEST(Symbols2D, Pdf417RowsSettingIsHonoured) {
    const std::string data = "Quorvel PDF417 rows 0123456789";
    for (int rows : {0, 10, 24}) {
        SCOPED_TRACE(rows);
        StreamRun run;
        // 3 columns, module 3 dots, rows 3 modules tall: each row is 9 dots.
        run.feed(gs_paren_k('0', 'A', "\x03") +
                 gs_paren_k('0', 'B', std::string(1, static_cast<char>(rows))) +
                 gs_paren_k('0', 'P', "0" + data) + gs_paren_k('0', 'Q', "0"))
            .finish();
        const auto found = decode_pages(run.pages);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].data, data);
        const int height = ink_box(run.pages[0]).height();
        if (rows)
            EXPECT_EQ(height, rows * 9);
        else
            EXPECT_LT(height, 10 * 9) << "automatic rows: as few as the data needs";
    }
}

// A stored symbol is drawn from its cache until something that shapes it changes.
TEST(Symbols2D, StoredSymbolFollowsEveryChangeBetweenPrints) {
    struct Case {
        const char* name;
        std::string first, change;
        std::vector<std::string> decoded;
        bool other_size;  // the second print is a different size
    };
    const auto qr = [](const std::string& d) { return gs_paren_k('1', 'P', "0" + d); };
    const auto pdf = [](const std::string& d) { return gs_paren_k('0', 'P', "0" + d); };
    const std::string qr_print = gs_paren_k('1', 'Q', "0"), pdf_print = gs_paren_k('0', 'Q', "0");
    const std::vector<Case> cases = {
        {"QR new data", qr("first") + qr_print, qr("second"), {"first", "second"}, false},
        {"QR error correction",
         gs_paren_k('1', 'E', "0") + qr("same data") + qr_print,
         gs_paren_k('1', 'E', "3"),
         {"same data", "same data"},
         true},
        {"QR module size",
         qr("size") + qr_print,
         gs_paren_k('1', 'C', "\x05"),
         {"size", "size"},
         true},
        {"PDF417 new data", pdf("one") + pdf_print, pdf("two"), {"one", "two"}, false},
        {"PDF417 columns",
         gs_paren_k('0', 'A', "\x02") + pdf("columns") + pdf_print,
         gs_paren_k('0', 'A', "\x05"),
         {"columns", "columns"},
         true},
        {"Aztec new data",
         gs_paren_k('5', 'C', "\x04") + gs_paren_k('5', 'P', "0alpha 0123456789") +
             gs_paren_k('5', 'Q', "0"),
         gs_paren_k('5', 'P', "0beta 9876543210"),
         {"alpha 0123456789", "beta 9876543210"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        const std::string print = c.first.substr(c.first.size() - 8);
        // Centred: zxing-cpp looks for an Aztec bullseye from the middle of the image.
        run.feed(B("\x1b\x61\x01") + c.first + B("\x1d\x56\x00") + c.change + print +
                 B("\x1d\x56\x00"))
            .finish();
        ASSERT_EQ(run.pages.size(), 2u);
        const auto found = decode_pages(run.pages);
        std::vector<std::string> data;
        for (const auto& f : found) data.push_back(f.data);
        EXPECT_EQ(data, c.decoded);
        EXPECT_EQ(ink_box(run.pages[0]).width() != ink_box(run.pages[1]).width() ||
                      ink_box(run.pages[0]).height() != ink_box(run.pages[1]).height(),
                  c.other_size);
    }
}

}  // namespace
}  // namespace quorvel::printer::test
