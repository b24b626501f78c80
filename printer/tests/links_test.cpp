// SPDX-License-Identifier: MIT
// The quorvel-printer tool as users start it, under hostile and crowded
// hosts: replies nobody reads, trickling and vanishing hosts, a crowd of 200,
// quick serial reopenings, signals in every state, and paper that outlives
// connections. Real sockets and pseudo-terminals on loopback only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "machine/page_store.h"
#include "quorvel.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A loopback address of this test's own: 127.93.a.b, from the test's name.
std::string own_address(int salt = 0) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const size_t h = std::hash<std::string>{}(std::string(info->test_suite_name()) + "." +
                                              info->name() + std::to_string(salt)) %
                     (250 * 250);
    return "127.93." + std::to_string(h / 250 + 1) + "." + std::to_string(h % 250 + 1);
}

std::string own_prefix() {
    return "qvp-links-" + std::to_string(::getpid()) + "-";
}

// Every folder the cases made goes when the run ends.
class RemoveFolders : public ::testing::Environment {
  public:
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::temp_directory_path(), ec))
            if (e.path().filename().string().starts_with(own_prefix()))
                fs::remove_all(e.path(), ec);
    }
};
const auto* const remove_folders = ::testing::AddGlobalTestEnvironment(new RemoveFolders);

fs::path fresh_dir(const std::string& tag) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path d = fs::temp_directory_path() / (own_prefix() + info->name() + "-" + tag);
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

// quorvel-printer run as a separate process; killed if a test leaves it.
class PrinterProcess {
  public:
    PrinterProcess(const fs::path& dir, std::vector<std::string> args) : dir_(dir) {
        journal_ = dir / "journal.txt";
        std::error_code ec;
        from_ = fs::exists(journal_, ec) ? fs::file_size(journal_, ec) : 0;
        // QUORVEL_PRINTER runs the same cases against another build of the tool.
        const char* other = std::getenv("QUORVEL_PRINTER");
        args.insert(args.begin(), other && *other ? other : QUORVEL_PRINTER_BINARY);
        if (std::find(args.begin(), args.end(), "--journal") == args.end()) {
            args.push_back("--journal");
            args.push_back(journal_.string());
        }
        const std::string err = (dir / "stderr.txt").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) ::dup2(fd, 2);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~PrinterProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Waits until the journal holds `text` (or `other`, when given).
    bool wait_for(const std::string& text, std::chrono::milliseconds timeout = 5s,
                  const std::string& other = {}) const {
        const auto t0 = Clock::now();
        while (Clock::now() - t0 < timeout) {
            const std::string j = journal();
            if (j.find(text) != std::string::npos ||
                (!other.empty() && j.find(other) != std::string::npos))
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    bool ready() const { return wait_for("# listening on", 5s, "# serial port"); }
    // Waits until the journal holds `text` at least `n` times.
    bool wait_count(const std::string& text, size_t n,
                    std::chrono::milliseconds timeout = 5s) const {
        const auto t0 = Clock::now();
        for (;;) {
            const std::string j = journal();
            size_t found = 0;
            for (size_t at = j.find(text); at != std::string::npos; at = j.find(text, at + 1))
                ++found;
            if (found >= n) return true;
            if (Clock::now() - t0 > timeout) return false;
            std::this_thread::sleep_for(5ms);
        }
    }

    // Sends `sig` and waits up to `timeout` for the exit; the exit status, or
    // -1 when the process had to be killed. `seconds` is the time it took.
    int stop(double* seconds = nullptr, int sig = SIGTERM, std::chrono::milliseconds timeout = 5s) {
        const auto t0 = Clock::now();
        ::kill(pid_, sig);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() - t0 > timeout) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                pid_ = -1;
                if (seconds) *seconds = seconds_since(t0);
                return -1;
            }
            std::this_thread::sleep_for(2ms);
        }
        pid_ = -1;
        if (seconds) *seconds = seconds_since(t0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Exit status of a process that ends by itself within `timeout`.
    int exit_status(std::chrono::milliseconds timeout = 5s) {
        const auto t0 = Clock::now();
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() - t0 > timeout) return -1;
            std::this_thread::sleep_for(5ms);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The journal as this run wrote it (the file may hold earlier runs).
    std::string journal() const {
        const std::string all = slurp(journal_);
        return all.size() >= from_ ? all.substr(from_) : all;
    }
    std::string errors() const { return slurp(dir_ / "stderr.txt"); }

  private:
    fs::path dir_, journal_;
    uintmax_t from_ = 0;
    pid_t pid_ = -1;
};

std::vector<fs::path> images_in(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == ".png") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> decoded_in(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& p : images_in(dir)) {
        Bitmap b;
        std::string err;
        EXPECT_TRUE(read_png(p.string(), &b, &err)) << err;
        for (const auto& d : decode_page(b)) out.push_back(d.data);
    }
    return out;
}

// A raw TCP host. `rcvbuf` > 0 shrinks its receive buffer before connecting,
// so replies it never reads fill the printer's side quickly.
int connect_to(const std::string& ip, int rcvbuf = 0, int sndbuf = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (rcvbuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    if (sndbuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(9100);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << ip;
    return fd;
}

// Reads one byte within `timeout`; -1 if none came.
int read_byte(int fd, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return -1;
    uint8_t b = 0;
    return ::read(fd, &b, 1) == 1 ? b : -1;
}

// Floods queries for `duration` without reading a reply; what the printer
// does not take is not waited for. GS I C: each 3-byte query asks for a
// 12-byte reply, so the replies soon outgrow the kernel's buffers.
void flood_queries(int fd, std::chrono::milliseconds duration) {
    std::string block;
    for (int i = 0; i < 4096; ++i) block += "\x1dI\x43";
    const auto t0 = Clock::now();
    while (Clock::now() - t0 < duration) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 20) != 1) continue;
        if (::send(fd, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0 &&
            errno != EAGAIN)
            return;
    }
}

// A host on the serial link: the pseudo-terminal's slave side, raw.
int open_port(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    termios t{};
    if (fd >= 0 && ::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// A QR Code holding `text`, then a cut: one page that says who printed it.
void print_tagged_receipt(const std::string& text) {
    ImprimeQRCODE_M1(1, 2, 3, 1, text.c_str());
    AcionaGuilhotina();
}

// ---------------------------------------------------------------- replies

// One host asks for status without end and never reads the answers. The
// printer must keep reading it, so --idle-timeout can close it once it goes
// quiet, and a second host must then be served.
TEST(Replies, AHostThatNeverReadsDoesNotJamThePrinter) {
    const fs::path dir = fresh_dir("jam");
    const std::string ip = own_address();
    // A million journal lines: only the last megabyte or two are kept.
    PrinterProcess printer(dir, {"--listen", ip + ":9100", "--out", dir.string(), "--idle-timeout",
                                 "1", "--journal-max", "1"});
    ASSERT_TRUE(printer.ready());
    // The flooder's own send queue is kept short, so what the printer has to
    // read through once the flood stops is mostly its own receive buffer.
    const int flooder = connect_to(ip, 4096, 65536);
    std::thread flood([&] { flood_queries(flooder, 1500ms); });
    std::this_thread::sleep_for(200ms);
    const auto t0 = Clock::now();
    const int second = connect_to(ip);
    ASSERT_EQ(::send(second, "\x10\x04\x01", 3, 0), 3);
    const int reply = read_byte(second, 15s);
    const double waited = seconds_since(t0);
    flood.join();
    EXPECT_EQ(reply, 0x12) << "the second host was never served";
    // Flood 1.3 s, the printer reads what the flood left queued, then the
    // idle time-out of 1 s; the margin is for a loaded machine.
    EXPECT_LT(waited, 12.0);
    std::printf("second host served after %.2f s\n", waited);
    ::close(second);
    ::close(flooder);
    EXPECT_EQ(printer.stop(), 0);
}

TEST(Replies, SerialHostThatNeverReadsDoesNotJamThePort) {
    const fs::path dir = fresh_dir("serial-jam");
    const std::string port = (dir / "ttyQ").string();
    PrinterProcess printer(dir, {"--no-tcp", "--serial-link", port, "--out", dir.string()});
    ASSERT_TRUE(printer.ready());
    {
        // 100,000 queries, none of whose replies is read, then the port closes.
        const int fd = open_port(port);
        std::string block;
        for (int i = 0; i < 1000; ++i) block += "\x10\x04\x01";
        const auto t0 = Clock::now();
        for (int i = 0; i < 100; ++i) {
            size_t done = 0;
            while (done < block.size() && Clock::now() - t0 < 5s) {
                const ssize_t k = ::write(fd, block.data() + done, block.size() - done);
                if (k > 0)
                    done += static_cast<size_t>(k);
                else
                    std::this_thread::sleep_for(1ms);
            }
        }
        ::close(fd);
    }
    // A jammed printer never gets as far as seeing the port closed.
    ASSERT_TRUE(printer.wait_for("serial host closed the port", 5s));
    ASSERT_EQ(AbrePortaSerial(port.c_str(), 0), 1);
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_READY) << "the next host gets its own answer";
    FechaPortaSerial();
    EXPECT_EQ(printer.stop(), 0);
    const std::string j = printer.journal();
    EXPECT_NE(j.find("host is not reading its replies"), std::string::npos);
    EXPECT_NE(j.find("reply bytes dropped in this session"), std::string::npos);
}

// ---------------------------------------------------------------- signals

// SIGTERM and SIGINT end the printer within a second whatever it is doing,
// and what was printed and not cut is written out.
TEST(Signals, StopWithinASecondInEveryState) {
    struct Case {
        const char* name;
        int sig;
        bool serial;
        // Brings the printer into the state; returns descriptors to close after.
        std::function<std::vector<int>(const std::string& where)> enter;
        size_t images;  // written by the time the process has gone
    };
    const std::vector<Case> cases = {
        {"idle", SIGTERM, false, [](const std::string&) { return std::vector<int>{}; }, 0},
        {"host silent inside a command", SIGINT, false,
         [](const std::string& ip) {
             const int fd = connect_to(ip);
             ::send(fd, "\x1d\x76\x30\x00\x30\x00\xff\x00\x01\x02", 10, 0);  // raster, 2 of 12240
             return std::vector<int>{fd};
         },
         0},
        {"host never reads its replies", SIGTERM, false,
         [](const std::string& ip) {
             const int fd = connect_to(ip, 4096);
             flood_queries(fd, 2000ms);
             return std::vector<int>{fd};
         },
         0},
        {"uncut paper after the host left", SIGTERM, false,
         [](const std::string& ip) {
             const int fd = connect_to(ip);
             ::send(fd, "left on the paper\n", 18, 0);
             ::close(fd);
             std::this_thread::sleep_for(200ms);
             return std::vector<int>{};
         },
         1},
        {"serial host never reads its replies", SIGTERM, true,
         [](const std::string& port) {
             const int fd = open_port(port);
             std::string block;
             for (int i = 0; i < 20000; ++i) block += "\x10\x04\x01";
             size_t done = 0;
             const auto t0 = Clock::now();
             while (done < block.size() && Clock::now() - t0 < 1s) {
                 const ssize_t k = ::write(fd, block.data() + done, block.size() - done);
                 if (k > 0)
                     done += static_cast<size_t>(k);
                 else
                     std::this_thread::sleep_for(1ms);
             }
             ::write(fd, "on serial paper\n", 16);
             std::this_thread::sleep_for(200ms);
             return std::vector<int>{fd};
         },
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = fresh_dir(std::to_string(&c - cases.data()));
        const std::string ip = own_address(static_cast<int>(&c - cases.data()));
        const std::string port = (dir / "ttyQ").string();
        std::vector<std::string> args = {"--out", dir.string()};
        if (c.serial)
            args.insert(args.end(), {"--no-tcp", "--serial-link", port});
        else
            args.insert(args.end(), {"--listen", ip + ":9100"});
        PrinterProcess printer(dir, args);
        ASSERT_TRUE(printer.ready());
        const auto fds = c.enter(c.serial ? port : ip);
        double took = 0;
        EXPECT_EQ(printer.stop(&took, c.sig), 0);
        EXPECT_LT(took, 1.0);
        std::printf("%s: stopped in %.3f s\n", c.name, took);
        EXPECT_EQ(images_in(dir).size(), c.images);
        for (int fd : fds) ::close(fd);
    }
}

// ---------------------------------------------------------------- idle hosts

TEST(IdleTimeout, ClosesSilentAndTricklingHosts) {
    struct Case {
        const char* name;
        std::chrono::milliseconds every;  // one byte this often; 0: nothing at all
    };
    const std::vector<Case> cases = {{"silent", 0ms}, {"a byte every 200 ms", 200ms}};
    const fs::path dir = fresh_dir("idle");
    const std::string ip = own_address();
    PrinterProcess printer(
        dir, {"--listen", ip + ":9100", "--out", dir.string(), "--idle-timeout", "1"});
    ASSERT_TRUE(printer.ready());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = connect_to(ip);
        const auto t0 = Clock::now();
        bool closed = false;
        while (!closed && Clock::now() - t0 < 4s) {
            if (c.every.count() > 0) ::send(fd, "A", 1, MSG_NOSIGNAL);
            pollfd p{fd, POLLIN, 0};
            const int wait = static_cast<int>(c.every.count() > 0 ? c.every.count() : 100);
            if (::poll(&p, 1, wait) == 1) {
                char b;
                closed = ::recv(fd, &b, 1, 0) <= 0;
            }
        }
        EXPECT_TRUE(closed) << "the host held the printer";
        EXPECT_GT(seconds_since(t0), 0.9);
        EXPECT_LT(seconds_since(t0), 2.5);
        ::close(fd);
    }
    EXPECT_EQ(printer.stop(), 0);
}

// ---------------------------------------------------------------- serial sessions

// Host 1 closes the port with half a command sent; host 2 opens it a few
// milliseconds later. Host 2's receipt must print whole, every time.
TEST(SerialSessions, AQuickReopenStartsANewSession) {
    const fs::path dir = fresh_dir("reopen");
    const std::string port = (dir / "ttyQ").string();
    PrinterProcess printer(dir, {"--no-tcp", "--serial-link", port, "--out", dir.string()});
    ASSERT_TRUE(printer.ready());
    std::vector<std::string> want;
    for (int round = 0; round < 6; ++round) {
        // The printer has finished with the last pair (a busy printer cannot
        // tell a quick reopen from one stream, nor can a real one).
        ASSERT_TRUE(printer.wait_count("serial host closed the port", 2 * round));
        const int fd = open_port(port);
        // GS v 0: a 48-byte by 255-row raster announced, 4 bytes of it sent.
        ASSERT_EQ(::write(fd, "\x1d\x76\x30\x00\x30\x00\xff\x00\xaa\xbb\xcc\xdd", 12), 12);
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 8 * round));
        ASSERT_EQ(AbrePortaSerial(port.c_str(), 0), 1);
        want.push_back("host two, round " + std::to_string(round));
        print_tagged_receipt(want.back());
        FechaPortaSerial();
    }
    EXPECT_EQ(printer.stop(), 0);
    EXPECT_EQ(decoded_in(dir), want) << printer.journal();
}

// ---------------------------------------------------------------- a crowd

// 200 hosts at once, each a process of its own through the library. Every
// host whose calls all returned 1 must find its receipt printed.
TEST(Crowd, TwoHundredHostsAtOnceAreAllPrinted) {
    constexpr int HOSTS = 200;
    const fs::path dir = fresh_dir("crowd");
    const std::string ip = own_address();
    PrinterProcess printer(dir, {"--listen", ip + ":9100", "--out", dir.string()});
    ASSERT_TRUE(printer.ready());
    std::vector<pid_t> hosts;
    for (int h = 0; h < HOSTS; ++h) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const std::string tag = "host " + std::to_string(h);
            int ok = AbreSocket(ip.c_str(), 0) == 1;
            ok &= ImprimeQRCODE_M1(1, 2, 3, 1, tag.c_str()) == 1;
            ok &= AcionaGuilhotina() == 1;
            ok &= FechaSocket() == 1;
            ::_exit(ok ? 0 : 1);
        }
        ASSERT_GT(pid, 0);
        hosts.push_back(pid);
    }
    std::set<std::string> all_ones;
    const auto t0 = Clock::now();
    for (int h = 0; h < HOSTS; ++h) {
        int status = 0;
        while (::waitpid(hosts[h], &status, WNOHANG) == 0 && Clock::now() - t0 < 30s)
            std::this_thread::sleep_for(5ms);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            all_ones.insert("host " + std::to_string(h));
        ::kill(hosts[h], SIGKILL);
        ::waitpid(hosts[h], nullptr, WNOHANG);
    }
    ASSERT_TRUE(printer.wait_for("closed after", 1s));
    // Every connection has been accepted by now; wait for the last to be served.
    const auto served = [&] {
        const std::string j = printer.journal();
        size_t n = 0;
        for (size_t at = j.find(" closed after "); at != std::string::npos;
             at = j.find(" closed after ", at + 1))
            ++n;
        return n;
    };
    while (served() < all_ones.size() && Clock::now() - t0 < 40s) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(printer.stop(), 0);
    const auto found = decoded_in(dir);
    const std::set<std::string> printed(found.begin(), found.end());
    EXPECT_EQ(all_ones.size(), static_cast<size_t>(HOSTS));
    std::vector<std::string> missing;
    std::set_difference(all_ones.begin(), all_ones.end(), printed.begin(), printed.end(),
                        std::back_inserter(missing));
    EXPECT_TRUE(missing.empty()) << missing.size() << " hosts saw every call return 1 "
                                 << "and got no receipt, e.g. " << missing.front();
    std::printf("%zu of %d receipts printed in %.1f s\n", printed.size(), HOSTS, seconds_since(t0));
}

// ---------------------------------------------------------------- fork

// A host forks while another of its threads waits inside a library call
// (a status query the printer never answers). The child's first call must
// return, after at most the bound of the call in progress.
TEST(Fork, AChildForkedDuringACallCanUseTheLibrary) {
    const fs::path dir = fresh_dir("fork");
    const std::string ip = own_address();
    PrinterProcess printer(dir, {"--listen", ip + ":9100", "--out", dir.string(), "--silent"});
    ASSERT_TRUE(printer.ready());
    ASSERT_EQ(AbreSocket(ip.c_str(), 0), 1);
    std::thread busy([] { Le_Status(); });  // waits the 2 s reply time-out
    std::this_thread::sleep_for(300ms);
    const auto t0 = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        // The child's own first call; its alarm ends it if the lock stays held.
        ::alarm(6);
        ::_exit(FechaSocket() == 1 ? 0 : 1);
    }
    const double fork_took = seconds_since(t0);
    busy.join();
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0 && Clock::now() - t0 < 8s)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's call never returned";
    EXPECT_LT(fork_took, 2.5) << "fork waits at most the bound of one call";
    FechaSocket();
    EXPECT_EQ(printer.stop(), 0);
}

// ---------------------------------------------------------------- status back

// With automatic status back on, the printer sends a 4-byte group unasked
// when the drawer opens. The status calls that can tell a group from their
// reply must still give the right answer.
TEST(AutomaticStatusBack, StatusCallsSkipTheUnaskedGroups) {
    struct Case {
        const char* name;
        bool serial;
        int model;
        bool pulse;  // open the drawer first (one more group)
        int (*call)();
        int expected;
    };
    const std::vector<Case> cases = {
        {"TCP, model 1, after a drawer pulse", false, 1, true, Le_Status, 24},
        {"TCP, model 0, drawer closed", false, 0, false, Le_Status, QUORVEL_STATUS_READY},
        {"TCP, drawer state after a pulse", false, 0, true, Le_Status_Gaveta, QUORVEL_DRAWER_HIGH},
        {"TCP, drawer closed", false, 0, false, Le_Status_Gaveta, QUORVEL_DRAWER_LOW},
        {"serial, model 1, after a drawer pulse", true, 1, true, Le_Status, 24},
        {"serial, drawer closed", true, 0, false, Le_Status_Gaveta, QUORVEL_DRAWER_LOW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = fresh_dir(std::to_string(&c - cases.data()));
        const std::string ip = own_address(static_cast<int>(&c - cases.data()));
        const std::string port = (dir / "ttyQ").string();
        std::vector<std::string> args = {"--out", dir.string(), "--drawer-open-ms", "60000"};
        if (c.serial)
            args.insert(args.end(), {"--no-tcp", "--serial-link", port});
        else
            args.insert(args.end(), {"--listen", ip + ":9100"});
        PrinterProcess printer(dir, args);
        ASSERT_TRUE(printer.ready());
        ASSERT_EQ(
            c.serial ? AbrePortaSerial(port.c_str(), c.model) : AbreSocket(ip.c_str(), c.model), 1);
        int right = 0;
        const auto t0 = Clock::now();
        for (int i = 0; i < 10; ++i) {
            char on[] = "29,97,255";  // GS a 255: automatic status back on
            ComandoTx(on);
            if (c.pulse) Abre_Gaveta();
            right += c.call() == c.expected;
        }
        EXPECT_EQ(right, 10);
        EXPECT_LT(seconds_since(t0), 10.0) << "a reply waited out its time-out";
        if (c.serial)
            FechaPortaSerial();
        else
            FechaSocket();
        EXPECT_EQ(printer.stop(), 0);
    }
}

// ---------------------------------------------------------------- paper

// A receipt printed by three connections, one line each, is one page: it
// is cut by the third, or written out once no data has come for a while.
TEST(Paper, ThreeConnectionsMakeOnePage) {
    struct Case {
        const char* name;
        bool cut;
        bool stop_before_flush;
    };
    const std::vector<Case> cases = {
        {"cut by the last connection", true, false},
        {"written out after --flush-after", false, false},
        {"written out at exit", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = fresh_dir(std::to_string(&c - cases.data()));
        const std::string ip = own_address(static_cast<int>(&c - cases.data()));
        PrinterProcess printer(dir, {"--listen", ip + ":9100", "--out", dir.string(),
                                     "--flush-after", c.stop_before_flush ? "30" : "0.4"});
        ASSERT_TRUE(printer.ready());
        const char* parts[] = {"one", "two", "three"};
        for (const char* part : parts) {
            ASSERT_EQ(AbreSocket(ip.c_str(), 0), 1);
            ImprimeQRCODE_M1(1, 2, 3, 1, part);
            if (c.cut && part == parts[2]) AcionaGuilhotina();
            FechaSocket();
            std::this_thread::sleep_for(100ms);  // well within --flush-after
        }
        if (!c.cut && !c.stop_before_flush) {
            EXPECT_TRUE(printer.wait_for("image written", 3s));
        }
        EXPECT_EQ(printer.stop(), 0);
        const auto pages = images_in(dir);
        ASSERT_EQ(pages.size(), 1u) << printer.journal();
        EXPECT_EQ(decoded_in(dir), (std::vector<std::string>{"one", "two", "three"}));
    }
}

// Which files in --out count as the printer's own images when it numbers on.
TEST(Paper, OnlyItsOwnFileNamesCount) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"receipt-0001.png", 1},    {"receipt-0042.png", 42},  {"receipt-12345.png", 12345},
        {"receipt-7.png", 7},       {"receipt-.png", -1},      {"receipt-00a1.png", -1},
        {"receipt-0001.png.1", -1}, {"receipts-0001.png", -1}, {"other-0001.png", -1},
        {"receipt_0001.png", -1},   {"receipt-0001.PNG", -1},  {"receipt-1234567890.png", -1},
        {"receipt--001.png", -1},   {".receipt-0001.png", -1},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(PageStore::number_of(name, "receipt"), number) << name;
}

// A restart goes on numbering after the highest image in --out, appends to
// the journal, and never overwrites a receipt.
TEST(Paper, NumberingGoesOnAfterARestart) {
    const fs::path dir = fresh_dir("restart");
    const fs::path out = dir / "out";
    const std::string ip = own_address();
    auto run = [&](std::vector<std::string> texts) {
        PrinterProcess printer(dir, {"--listen", ip + ":9100", "--out", out.string()});
        ASSERT_TRUE(printer.ready());
        ASSERT_EQ(AbreSocket(ip.c_str(), 0), 1);
        for (const auto& t : texts) print_tagged_receipt(t);
        FechaSocket();
        ASSERT_TRUE(printer.wait_for("closed after"));
        EXPECT_EQ(printer.stop(), 0);
    };
    run({"first run A", "first run B"});
    // A file of another run left at a higher number, with a gap before it.
    fs::copy_file(out / "receipt-0002.png", out / "receipt-0007.png");
    const std::string kept = slurp(out / "receipt-0002.png");
    run({"second run"});
    std::vector<std::string> names;
    for (const auto& p : images_in(out)) names.push_back(p.filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"receipt-0001.png", "receipt-0002.png",
                                               "receipt-0007.png", "receipt-0008.png"}));
    EXPECT_EQ(slurp(out / "receipt-0002.png"), kept);
    Bitmap b;
    ASSERT_TRUE(read_png((out / "receipt-0008.png").string(), &b));
    const auto found = decode_page(b);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].data, "second run");
    const std::string j = slurp(dir / "journal.txt");
    size_t starts = 0;
    for (size_t at = j.find("# listening on"); at != std::string::npos;
         at = j.find("# listening on", at + 1))
        ++starts;
    EXPECT_EQ(starts, 2u) << "the journal is appended to, not truncated";
}

// The output folder: a missing one is made, one that cannot be made or
// written stops the printer at start-up with the reason.
TEST(Paper, OutputFolderIsCheckedAtStartUp) {
    const fs::path dir = fresh_dir("folder");
    { std::ofstream(dir / "a-file") << "x"; }
    struct Case {
        const char* name;
        fs::path out;
        int exit;  // -1: still running
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"missing, made", dir / "new" / "deeper", -1, ""},
        {"under a file", dir / "a-file" / "out", 2, "cannot be created"},
        {"a file", dir / "a-file", 2, "not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrinterProcess printer(dir, {"--listen", own_address() + ":9100", "--out", c.out.string(),
                                     "--journal", "/dev/null"});
        const int status = printer.exit_status(c.exit < 0 ? 500ms : 5s);
        EXPECT_EQ(status, c.exit);
        if (c.exit < 0) {
            EXPECT_TRUE(fs::is_directory(c.out));
            EXPECT_EQ(printer.stop(), 0);
        } else {
            EXPECT_NE(printer.errors().find(c.reason), std::string::npos) << printer.errors();
            EXPECT_NE(printer.errors().find(c.out.string()), std::string::npos);
        }
    }
}

// ---------------------------------------------------------------- disk bounds

TEST(DiskBounds, JournalAndImagesStayWithinTheirLimits) {
    const fs::path dir = fresh_dir("disk");
    const std::string ip = own_address();
    // 0.02 MB of journal; 3 images.
    PrinterProcess printer(dir, {"--listen", ip + ":9100", "--out", (dir / "out").string(),
                                 "--journal-max", "0.02", "--max-images", "3"});
    ASSERT_TRUE(printer.ready());
    const int fd = connect_to(ip);
    // 10 cut pages, then 20,000 line feeds, one journal line each (about 1 MB).
    std::string stream;
    for (int i = 0; i < 10; ++i)
        stream += "page " + std::to_string(i) + "\n\x1d\x56" + std::string(1, '\0');
    stream += std::string(20000, '\n');
    size_t sent = 0;
    while (sent < stream.size()) {
        const ssize_t k = ::send(fd, stream.data() + sent, stream.size() - sent, MSG_NOSIGNAL);
        ASSERT_GT(k, 0);
        sent += static_cast<size_t>(k);
    }
    ::close(fd);
    ASSERT_TRUE(printer.wait_for("closed after"));
    EXPECT_EQ(printer.stop(), 0);
    const uint64_t limit = static_cast<uint64_t>(0.02 * 1024 * 1024);
    EXPECT_LE(fs::file_size(dir / "journal.txt"), limit + 200);
    EXPECT_GE(fs::file_size(dir / "journal.txt.1"), limit);
    EXPECT_LE(fs::file_size(dir / "journal.txt.1"), limit + 200);
    std::vector<std::string> names;
    for (const auto& p : images_in(dir / "out")) names.push_back(p.filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"receipt-0008.png", "receipt-0009.png",
                                               "receipt-0010.png"}));
}

}  // namespace
}  // namespace quorvel::printer::test
