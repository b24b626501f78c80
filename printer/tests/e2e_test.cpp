// SPDX-License-Identifier: MIT
// End to end: the library's exported functions drive the virtual printer
// over real loopback sockets and a real pseudo-terminal; the PNG pages are
// read back and every symbol is decoded by zxing-cpp.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "links/server.h"
#include "live_printer.h"
#include "nv_images.h"
#include "quorvel.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Opens the TCP link for one test and always closes it.
struct TcpLink {
    TcpLink(const std::string& ip, int model) { EXPECT_EQ(AbreSocket(ip.c_str(), model), 1); }
    ~TcpLink() { FechaSocket(); }
};

std::vector<std::string> data_of(const std::vector<Decoded>& found) {
    std::vector<std::string> out;
    for (const auto& d : found) out.push_back(d.data);
    return out;
}

TEST(EndToEnd, LinearBarcodesOfBothForms) {
    struct Case {
        bool counted;
        int type;
        const char* data;
        const char* decoded;
    };
    const std::vector<Case> cases = {
        {false, 0, "01234567890", "012345678905"},
        {false, 1, "0123456", "01234565"},
        {false, 2, "789123456789", "7891234567895"},
        {false, 3, "1234567", "12345670"},
        {false, 4, "QUORVEL 7", "QUORVEL 7"},
        {false, 5, "12345678", "12345678"},
        {false, 6, "A1234B", "A1234B"},
        {true, 0, "03600029145", "036000291452"},
        {true, 1, "01234565", "01234565"},
        {true, 2, "4006381333931", "4006381333931"},
        {true, 3, "9638507", "96385074"},
        {true, 4, "CAIXA-01", "CAIXA-01"},
        {true, 5, "00123456789012", "00123456789012"},
        {true, 6, "B40156D", "B40156D"},
        {true, 7, "Pedido 42", "Pedido 42"},
        {true, 8, "{BQuorvel 2026", "Quorvel 2026"},
    };
    LivePrinter printer;
    const std::string ip = printer.listen_tcp();
    {
        TcpLink link(ip, 0);
        for (const auto& c : cases) {
            const int hri = c.type % 4;  // none, above, below and both in turn
            if (c.counted)
                ImprimeCodigoBarras_C(1, c.type, 1, 2, hri, c.data);
            else
                ImprimeCodigoBarras(1, c.type, 1, 2, hri, c.data);
        }
    }
    const auto pages = printer.pages();
    ASSERT_EQ(pages.size(), 1u);
    std::vector<std::string> want;
    for (const auto& c : cases) want.push_back(c.decoded);
    EXPECT_EQ(data_of(decode_page(pages[0])), want);
}

TEST(EndToEnd, Code128FromCodeLists) {
    LivePrinter printer;
    const std::string ip = printer.listen_tcp();
    {
        TcpLink link(ip, 0);
        char one[] = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";
        char two[] = "0,1,2,3,99,98,97,96,50,51,52,53,54,55,56,57,58,59,60,61,62,63";
        ImprimeCode128C(one, 1, 1);
        ImprimeCode128_C(two, 1, 1, 2);
    }
    const auto pages = printer.pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(data_of(decode_page(pages[0])),
              (std::vector<std::string>{"10111213141516171819202122232425262728293031",
                                        "0001020399989796505152", "5354555657585960616263"}));
}

TEST(EndToEnd, TwoDimensionalSymbolsByBothCommandSets) {
    const std::string url = "https://quorvel.example/nfce?chave=35191234567890";
    const std::string accents = "Cora\xe7\xe3o, ma\xe7\xe3 e p\xe3o";
    LivePrinter printer;
    const std::string ip = printer.listen_tcp();
    std::vector<std::string> want;
    {
        TcpLink link(ip, 0);
        auto gap = [] { ImprimeTexto("", 0, 0, 0, 0); };
        ImprimeQRCODE_M1(1, 2, 4, 1, url.c_str());
        want.push_back(url);
        ImprimeQRCODE_M1(0, 1, 3, 3, accents.c_str());
        want.push_back(accents);
        ImprimeQRCODE_M2(1, 2, 4, 1, url.c_str());
        want.push_back(url);
        gap();
        ImprimeQRCODE_M2(2, 1, 5, 0, accents.c_str());
        want.push_back(accents);
        gap();
        ImprimePDF417_M2(1, 4, 3, 2, url.c_str());
        want.push_back(url);
        gap();
        ImprimePDF417_M2(1, 0, 5, 9, accents.c_str());  // 30 columns: fitted to the paper
        want.push_back(accents);
        for (int p3 = 2; p3 <= 7; ++p3) {
            gap();
            ImprimeDataMatrix_M2(1, p3 % 5, p3 % 5, p3, (url + std::to_string(p3)).c_str());
            want.push_back(url + std::to_string(p3));
        }
    }
    const auto pages = printer.pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(data_of(decode_page(pages[0])), want);
}

TEST(EndToEnd, StatusCodesForEachPrinterState) {
    struct Case {
        const char* name;
        PrinterState state;
        int model;
        int status;  // Le_Status
        int drawer;  // Le_Status_Gaveta
    };
    PrinterState drawer, offline, both, out, near_end;
    drawer.drawer_open = true;
    offline.offline = true;
    both.offline = both.drawer_open = true;
    out.paper = Paper::OUT;
    near_end.paper = Paper::NEAR_END;
    const std::vector<Case> cases = {
        {"ready, model 0", {}, 0, QUORVEL_STATUS_READY, QUORVEL_DRAWER_LOW},
        {"ready, model 1", {}, 1, QUORVEL_STATUS_READY, QUORVEL_DRAWER_LOW},
        {"ready, model 3", {}, 3, QUORVEL_STATUS_READY, QUORVEL_DRAWER_LOW},
        {"drawer open, model 0", drawer, 0, 24, QUORVEL_DRAWER_HIGH},
        {"offline, model 0", offline, 0, 5, QUORVEL_DRAWER_LOW},
        {"offline and drawer, model 0", both, 0, 9, QUORVEL_DRAWER_HIGH},
        {"paper out, model 0", out, 0, 5, QUORVEL_DRAWER_LOW},
        {"ready, model 2 (ESC v)", {}, 2, 24, QUORVEL_DRAWER_LOW},
        {"near end, model 2 (ESC v)", near_end, 2, QUORVEL_STATUS_NONE, QUORVEL_DRAWER_LOW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LivePrinter printer(c.state);
        // The text after the queries is printed even with paper out, to see
        // that no query byte leaks into it (a held printer would keep it).
        printer.config().machine.print_while_out = true;
        const std::string ip = printer.listen_tcp();
        {
            TcpLink link(ip, c.model);
            EXPECT_EQ(Le_Status(), c.status);
            EXPECT_EQ(Le_Status_Gaveta(), c.drawer);
            // The query's parameter byte must not leak into the print stream.
            ImprimeTexto("OK", 0, 0, 0, 0);
        }
        const auto pages = printer.pages();
        ASSERT_EQ(pages.size(), 1u);
        const Box box = ink_box(pages[0]);
        EXPECT_LT(box.x1 - PaperMargins{}.left, 24) << "only the two letters OK are printed";
    }
}

TEST(EndToEnd, DrawerPulseOpensTheDrawer) {
    LivePrinter printer;
    const std::string ip = printer.listen_tcp();
    TcpLink link(ip, 0);
    EXPECT_EQ(Le_Status_Gaveta(), QUORVEL_DRAWER_LOW);
    Abre_Gaveta();
    EXPECT_EQ(Le_Status_Gaveta(), QUORVEL_DRAWER_HIGH);
    EXPECT_EQ(Le_Status(), 24);
}

TEST(EndToEnd, TextJustificationAndOnePagePerCut) {
    LivePrinter printer;
    const std::string ip = printer.listen_tcp();
    {
        TcpLink link(ip, 0);
        ImprimeTexto("MMMM", 0, 0, 0, 0);
        ImprimeTexto("MMMM", 1, 0, 0, 1);
        ImprimeTexto("MMMM", 2, 0, 0, 0);
        AcionaGuilhotina();
        ImprimeTexto180(
            "de ponta-cabe\xe7"
            "a",
            1, 1, 2, 0);
        ImprimeTextoInvertido("INVERTIDO", 1, 0, 3);
        ImprimeTxFormatado("DUPLO", 1, 4, 5);
        ImprimeTextoLF("fim", 0, 0, 0, 0, 3);
        ImprimeLogoNV(1, 1, 0);
        ImprimeAutoTeste();
    }
    const auto pages = printer.pages();
    ASSERT_EQ(pages.size(), 2u);
    const int m = PaperMargins{}.left, top = PaperMargins{}.top;
    const int lefts[] = {0, (576 - 48) / 2, 576 - 48};
    for (int line = 0; line < 3; ++line) {
        SCOPED_TRACE(line);
        const Box box = ink_box(pages[0], top + line * 32, top + line * 32 + 24);
        EXPECT_GE(box.x0 - m, lefts[line]);
        EXPECT_LT(box.x1 - m, lefts[line] + 48);
        EXPECT_GT(box.x1 - m, lefts[line] + 36);
    }
    EXPECT_GT(pages[1].height(), 400);
}

int raw_connect(const std::string& ip) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(9100);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
}

// Stored images belong to the printer: one host defines them, the next prints
// them, the second through the library's stored-logo call.
TEST(EndToEnd, StoredImagesOutliveTheConnection) {
    LivePrinter printer;
    const std::string ip = printer.listen_tcp();
    const TestImage img;
    {
        const std::string define = fs_q({img}) + gs_l_define(0x43, 'L', '1', img);
        const int fd = raw_connect(ip);
        ASSERT_EQ(::write(fd, define.data(), define.size()), static_cast<ssize_t>(define.size()));
        ::close(fd);
    }
    {
        TcpLink link(ip, 0);
        EXPECT_EQ(ImprimeLogoNV(1, 0, 0), 1);
        EXPECT_EQ(AcionaGuilhotina(), 1);
    }
    const auto pages = printer.pages(2);
    ASSERT_EQ(pages.size(), 1u) << "defining prints nothing";
    const PaperMargins m;
    EXPECT_TRUE(img.printed_at(pages[0], m.left, m.top, 1, 1));
}

TEST(EndToEnd, OneConnectionAtATime) {
    LivePrinter printer;
    const std::string ip = printer.listen_tcp();
    const int first = raw_connect(ip);
    ASSERT_EQ(::send(first, "\x10\x04\x01", 3, 0), 3);
    ASSERT_TRUE(readable(first, 2000));
    const int second = raw_connect(ip);  // queued by the kernel, not yet served
    ASSERT_EQ(::send(second, "\x10\x04\x01", 3, 0), 3);
    EXPECT_FALSE(readable(second, 300)) << "the second host must wait for the first";
    ::close(first);
    ASSERT_TRUE(readable(second, 3000)) << "served once the first has gone";
    uint8_t reply = 0;
    EXPECT_EQ(::recv(second, &reply, 1, 0), 1);
    EXPECT_EQ(reply, 0x12);
    ::close(second);
}

TEST(EndToEnd, SerialLinkThroughAPseudoTerminal) {
    LivePrinter printer;
    const std::string port = printer.open_serial();
    ASSERT_EQ(AbrePortaSerial(port.c_str(), 0), 1);
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_READY);
    ImprimeQRCODE_M1(1, 2, 4, 1, "serial link");
    EXPECT_EQ(FechaPortaSerial(), 1);
    const auto pages = printer.pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(data_of(decode_page(pages[0])), std::vector<std::string>{"serial link"});
}

// The TCP and serial links served at once, each from its own thread, into
// one journal, one status model and one page store: both receipts print,
// and the journal holds every line it counted (run under ThreadSanitizer in
// the sanitizer stage).
TEST(EndToEnd, BothLinksServedAtOnce) {
    const fs::path dir = fs::temp_directory_path() / ("qvp-e2e-two-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::FILE* jf = std::fopen((dir / "journal.txt").c_str(), "w");
    ASSERT_NE(jf, nullptr);
    {
        Journal journal(jf);
        StatusModel status;
        SessionConfig config;
        PageStoreOptions tray;
        tray.dir = dir.string();
        config.store = std::make_shared<PageStore>(tray, journal);
        ASSERT_TRUE(config.store->open(nullptr));
        TcpServer tcp(config, FontSet::shared(), status, journal);
        PtyServer pty(config, FontSet::shared(), status, journal);
        const std::string ip = "127.91.250.7", port = (dir / "ttyQ").string();
        ASSERT_TRUE(tcp.listen(ip, 9100, nullptr));
        std::string err;
        ASSERT_TRUE(pty.open(port, &err)) << err;
        tcp.start();
        pty.start();
        // Text lines, status queries and a QR Code naming the link, then a cut.
        auto receipt = [](const std::string& name) {
            std::string s;
            for (int i = 0; i < 300; ++i)
                s += name + " line " + std::to_string(i) + "\n\x10\x04\x01";
            s += std::string(
                "\x1d(k\x04\x00"
                "1A2\x00",
                9);
            s +=
                std::string("\x1d(k", 3) + static_cast<char>(name.size() + 3) + '\0' + "1P0" + name;
            s += std::string(
                "\x1d(k\x03\x00"
                "1Q0",
                8);
            s += std::string("\x1dV\x00", 3);
            return s;
        };
        auto write_all = [](int fd, const std::string& s) {
            for (size_t done = 0; done < s.size();) {
                const ssize_t k = ::write(fd, s.data() + done, s.size() - done);
                if (k > 0)
                    done += static_cast<size_t>(k);
                else
                    std::this_thread::sleep_for(1ms);
            }
        };
        std::thread over_tcp([&] {
            const int fd = raw_connect(ip);
            write_all(fd, receipt("over tcp"));
            ::shutdown(fd, SHUT_WR);
            char b[512];
            while (::recv(fd, b, sizeof b, 0) > 0) {
            }
            ::close(fd);
        });
        std::thread over_serial([&] {
            const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            termios t{};
            ::tcgetattr(fd, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
            write_all(fd, receipt("over serial"));
            std::this_thread::sleep_for(100ms);
            ::close(fd);
        });
        over_tcp.join();
        over_serial.join();
        EXPECT_TRUE(tcp.wait_served(1, 10s));
        EXPECT_TRUE(pty.wait_served(1, 10s));
        tcp.stop();
        pty.stop();
        std::vector<std::string> found;
        for (const auto& path : config.store->paths()) {
            Bitmap b;
            ASSERT_TRUE(read_png(path, &b));
            for (const auto& d : decode_page(b)) found.push_back(d.data);
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, (std::vector<std::string>{"over serial", "over tcp"}));
        journal.flush();
        std::ifstream in(dir / "journal.txt");
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        EXPECT_EQ(static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n')),
                  journal.lines());
        EXPECT_GT(journal.lines(), 1200u);
    }
    std::fclose(jf);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorvel::printer::test
