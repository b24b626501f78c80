// SPDX-License-Identifier: MIT
// A host program as a till application would be one: it loads Quorvel.dll at
// run time with LoadLibrary, finds the functions by name and by ordinal, reads
// the version resource, and drives a printer through the pointers it found.
#include <winsock2.h>
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;

namespace {

struct ExportEntry {
    const char* name;
    int ordinal;
};

// Generated from the ordinal table at configure time.
constexpr ExportEntry export_table[] = {
#include "quorvel_exports.inc"
};

// Quorvel.dll, loaded by name from the program's own folder, as a host does.
class LoadedLibrary {
public:
    LoadedLibrary() : module_(::LoadLibraryA("Quorvel.dll")) {}
    ~LoadedLibrary() { unload(); }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE module() const { return module_; }
    void unload() {
        if (module_ != nullptr) ::FreeLibrary(module_);
        module_ = nullptr;
    }
    FARPROC by_name(const char* name) const { return ::GetProcAddress(module_, name); }
    FARPROC by_ordinal(int ordinal) const {
        return ::GetProcAddress(module_, MAKEINTRESOURCEA(ordinal));
    }
    // The function behind a name, typed like its declaration in quorvel.h.
    template <typename Function>
    Function* get(const char* name) const {
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(by_name(name)));
    }

private:
    HMODULE module_;
};

class Export : public ::testing::TestWithParam<ExportEntry> {};

TEST_P(Export, SameFunctionByNameAndByOrdinal) {
    LoadedLibrary dll;
    ASSERT_NE(dll.module(), nullptr) << "LoadLibrary failed: " << ::GetLastError();
    FARPROC named = dll.by_name(GetParam().name);
    ASSERT_NE(named, nullptr) << GetParam().name;
    EXPECT_EQ(named, dll.by_ordinal(GetParam().ordinal)) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Table, Export, ::testing::ValuesIn(export_table),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExportTable, NothingBeyondTheTableAndNoDecoratedNames) {
    LoadedLibrary dll;
    ASSERT_NE(dll.module(), nullptr);
    int highest = 0;
    for (const auto& entry : export_table) highest = std::max(highest, entry.ordinal);
    // 29 to 39 stay free between the original functions and the companion ones.
    for (int ordinal = 29; ordinal <= 39; ++ordinal)
        EXPECT_EQ(dll.by_ordinal(ordinal), nullptr) << "ordinal " << ordinal;
    for (int ordinal = highest + 1; ordinal <= highest + 16; ++ordinal)
        EXPECT_EQ(dll.by_ordinal(ordinal), nullptr) << "ordinal " << ordinal;
    for (const char* name : {"_AbreSocket@8", "AbreSocket@8", "_Le_Status@0", "DllEntryPoint",
                             "DllMain", "Versao", "send_command"})
        EXPECT_EQ(dll.by_name(name), nullptr) << name;
    // No export under its 32-bit __stdcall decoration, whatever its byte count.
    for (const auto& entry : export_table)
        for (int bytes = 0; bytes <= 64; bytes += 4)
            for (const char* prefix : {"", "_"}) {
                const std::string name = prefix + std::string(entry.name) + "@" + std::to_string(bytes);
                EXPECT_EQ(dll.by_name(name.c_str()), nullptr) << name;
            }
}

#if defined(__i386__)
// 32-bit Windows: every function is __stdcall, so the callee takes its
// arguments off the stack. Each export is called through a pointer of its
// quorvel.h type (which says __stdcall) with zero and null arguments (refused
// input, or no link: nothing is sent), and esp is read before and after the
// call. A callee that leaves its arguments (cdecl), or takes a byte count
// other than the header's, shows as a difference. esp goes to globals and the
// probe keeps a frame pointer, so an unbalanced call cannot break the probe.
volatile std::uintptr_t esp_before;
volatile std::uintptr_t esp_after;

template <typename Function>
struct StackProbe;

template <typename R, typename... A>
struct StackProbe<R QUORVEL_CALL(A...)> {
    using Pointer = R(QUORVEL_CALL*)(A...);
    __attribute__((noinline, optimize("no-omit-frame-pointer"))) static long drift(Pointer function) {
        asm volatile("movl %%esp, %0" : "=m"(esp_before) : : "memory");
        function(A{}...);
        asm volatile("movl %%esp, %0" : "=m"(esp_after) : : "memory");
        return static_cast<long>(esp_after - esp_before);
    }
    static long drift_at(FARPROC address) {
        return drift(reinterpret_cast<Pointer>(reinterpret_cast<void*>(address)));
    }
};

struct StackCase {
    const char* name;
    long (*drift_at)(FARPROC);
};

constexpr StackCase stack_cases[] = {
#define QUORVEL_EXPORT(name) {#name, StackProbe<decltype(name)>::drift_at},
#include "quorvel_functions.inc"
#undef QUORVEL_EXPORT
};

void PrintTo(const StackCase& c, std::ostream* out) { *out << c.name; }

class CalleeCleansStack : public ::testing::TestWithParam<StackCase> {};

TEST_P(CalleeCleansStack, EspIsTheSameAfterTheCall) {
    LoadedLibrary dll;
    ASSERT_NE(dll.module(), nullptr);
    FARPROC function = dll.by_name(GetParam().name);
    ASSERT_NE(function, nullptr) << GetParam().name;
    EXPECT_EQ(GetParam().drift_at(function), 0) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Table, CalleeCleansStack, ::testing::ValuesIn(stack_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The probe sees the fault it looks for: a cdecl function of two ints called
// as if it were __stdcall leaves its 8 bytes on the stack.
extern "C" __attribute__((cdecl, noinline)) int cdecl_two_ints(int a, int b) { return a + b; }

TEST(CalleeCleansStackProbe, SeesArgumentsLeftByACdeclFunction) {
    // Through a volatile, so the compiler cannot see the callee and call it as cdecl.
    FARPROC volatile cdecl_function =
        reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&cdecl_two_ints));
    EXPECT_EQ(StackProbe<int QUORVEL_CALL(int, int)>::drift_at(cdecl_function), -8);
}
#endif

// The version resource, read the way a host or the file properties dialog does.
class VersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll_.module(), nullptr);
        char path[MAX_PATH];
        ASSERT_GT(::GetModuleFileNameA(dll_.module(), path, MAX_PATH), 0u);
        DWORD ignored = 0;
        DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
        ASSERT_GT(size, 0u) << "no version resource";
        block_.resize(size);
        ASSERT_TRUE(::GetFileVersionInfoA(path, 0, size, block_.data()));
    }
    void* query(const std::string& path, UINT* length) {
        void* value = nullptr;
        if (!::VerQueryValueA(block_.data(), path.c_str(), &value, length)) return nullptr;
        return value;
    }

    LoadedLibrary dll_;
    std::vector<char> block_;
};

TEST_F(VersionResource, FixedFileAndProductVersion) {
    UINT length = 0;
    auto* fixed = static_cast<VS_FIXEDFILEINFO*>(query("\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);  // 1.2
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);  // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionResource, TextEntriesInTheDeclaredTranslation) {
    UINT length = 0;
    auto* translation = static_cast<WORD*>(query("\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_GE(length, 4u);
    char block_name[64];
    std::snprintf(block_name, sizeof block_name, "\\StringFileInfo\\%04x%04x\\", translation[0],
                  translation[1]);
    // A 32-bit host loads the 32-bit DLL, a 64-bit host the 64-bit one.
    const char* bits_name = sizeof(void*) == 4 ? "Quorvel.DLL 32-bits" : "Quorvel.DLL 64-bits";
    const std::pair<const char*, const char*> entries[] = {
        {"FileVersion", "1.2.0.0"},
        {"ProductVersion", "1.2.0.0"},
        {"FileDescription", bits_name},
        {"ProductName", bits_name},
    };
    for (auto [key, expected] : entries) {
        auto* text = static_cast<const char*>(query(std::string(block_name) + key, &length));
        ASSERT_NE(text, nullptr) << key;
        EXPECT_STREQ(text, expected) << key;
    }
    auto* version = dll_.get<decltype(Le_VersaoDLL)>("Le_VersaoDLL");
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version(), "1.2.0.0");
}

// Loading opens nothing: every link function finds nothing to close, and
// commands and queries find no link.
TEST(Loading, LeavesEveryLinkClosed) {
    LoadedLibrary dll;
    ASSERT_NE(dll.module(), nullptr);
    EXPECT_EQ(dll.get<decltype(FechaSocket)>("FechaSocket")(), 0);
    EXPECT_EQ(dll.get<decltype(FechaPortaSerial)>("FechaPortaSerial")(), 0);
    EXPECT_EQ(dll.get<decltype(AcionaGuilhotina)>("AcionaGuilhotina")(), 0);
    EXPECT_EQ(dll.get<decltype(Le_Status)>("Le_Status")(), 0);
}

// Unloading closes nothing: the printer keeps its connection. A new load starts
// from a closed state again: the next open is a new link, not "already open".
TEST(Unloading, ClosesNothingAndReloadStartsClosed) {
    FakePrinter first;
    FakePrinter second;
    {
        LoadedLibrary dll;
        ASSERT_NE(dll.module(), nullptr);
        ASSERT_EQ(dll.get<decltype(AbreSocket)>("AbreSocket")(first.address().c_str(), 0), 1);
        ASSERT_EQ(dll.get<decltype(AcionaGuilhotina)>("AcionaGuilhotina")(), 1);
        EXPECT_EQ(hex(first.wait_for_bytes(3)), "1D 56 00");
    }
    EXPECT_FALSE(first.wait_for_disconnect(std::chrono::milliseconds(500)));

    LoadedLibrary again;
    ASSERT_NE(again.module(), nullptr);
    EXPECT_EQ(again.get<decltype(FechaSocket)>("FechaSocket")(), 0);
    ASSERT_EQ(again.get<decltype(AbreSocket)>("AbreSocket")(second.address().c_str(), 0), 1);
    ASSERT_EQ(again.get<decltype(Abre_Gaveta)>("Abre_Gaveta")(), 1);
    EXPECT_EQ(hex(second.wait_for_bytes(5)), "1B 70 00 3C 78");
    EXPECT_EQ(hex(first.received()), "1D 56 00");
    EXPECT_EQ(again.get<decltype(FechaSocket)>("FechaSocket")(), 1);
}

// Winsock start-up references are counted per process. Whatever happens on the
// link, the library must give back exactly what it took, so a host's own
// sockets keep working: after the scenario, the test's own two references
// (its explicit one and the fake printer's) are all that is left.
struct WinsockCase {
    const char* name;
    FakePrinter::Behaviour behaviour;
    bool reachable;  // false: connect to an address where nothing listens
    int commands;    // cuts sent while the link is open
};

class WinsockReferences : public ::testing::TestWithParam<WinsockCase> {};

TEST_P(WinsockReferences, LibraryReleasesExactlyWhatItTook) {
    WSADATA data;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    const auto& c = GetParam();
    {
        FakePrinter printer(c.behaviour);
        std::string address = c.reachable ? printer.address() : unique_loopback_address("idle");
        LoadedLibrary dll;
        ASSERT_NE(dll.module(), nullptr);
        auto open = dll.get<decltype(AbreSocket)>("AbreSocket");
        auto cut = dll.get<decltype(AcionaGuilhotina)>("AcionaGuilhotina");
        auto close = dll.get<decltype(FechaSocket)>("FechaSocket");
        int opened = open(address.c_str(), 0);
        EXPECT_EQ(opened, c.reachable ? 1 : 0);
        EXPECT_EQ(open(address.c_str(), 0), 0);  // second open: already open, or refused again
        for (int i = 0; i < c.commands; ++i) {
            cut();
            if (c.behaviour != FakePrinter::Behaviour::record) ::Sleep(20);  // let the reset land
        }
        EXPECT_EQ(close(), opened);
        EXPECT_EQ(close(), 0);
    }
    EXPECT_EQ(::WSACleanup(), 0) << "the library released a reference it did not take";
    EXPECT_EQ(::WSACleanup(), 0) << "the library released a reference it did not take";
    EXPECT_EQ(::WSACleanup(), SOCKET_ERROR) << "the library kept a reference";
    EXPECT_EQ(::WSAGetLastError(), WSANOTINITIALISED);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, WinsockReferences,
    ::testing::Values(WinsockCase{"open_send_close", FakePrinter::Behaviour::record, true, 3},
                      WinsockCase{"sends_fail_after_reset", FakePrinter::Behaviour::reset_on_data,
                                  true, 5},
                      WinsockCase{"nothing_listening", FakePrinter::Behaviour::record, false, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// A printer that stops reading: once the socket buffers are full, a command
// waits for room at most 1 ms per byte plus 1000 ms, then reports 0; the link
// stays open and closes normally.
TEST(FullSocketBuffer, WriteGivesUpWithinItsBound) {
    FakePrinter printer(FakePrinter::Behaviour::never_read);
    LoadedLibrary dll;
    ASSERT_NE(dll.module(), nullptr);
    auto print = dll.get<decltype(ImprimeTexto)>("ImprimeTexto");
    ASSERT_EQ(dll.get<decltype(AbreSocket)>("AbreSocket")(printer.address().c_str(), 0), 1);
    const std::string text(8000, 'x');
    const long long bound_ms = 1000 + static_cast<long long>(text.size()) + 18;
    int result = 1;
    long long took_ms = 0;
    for (int call = 0; call < 5000 && result == 1; ++call) {
        const auto start = std::chrono::steady_clock::now();
        result = print(text.c_str(), 0, 0, 0, 0);
        took_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
        ASSERT_LT(took_ms, bound_ms + 1500) << "call " << call << " outlasted the write bound";
    }
    EXPECT_EQ(result, 0) << "40 MB went out without the buffers filling";
    EXPECT_EQ(dll.get<decltype(FechaSocket)>("FechaSocket")(), 1);
}

// Many host threads on one link: the library lock keeps every command whole
// (large ones fill the socket buffer and go out in several sends) and every
// status reply with the query that asked for it.
TEST(Threads, CommandsStayWholeAndRepliesNeverCross) {
    constexpr int print_threads = 3;
    constexpr int status_threads = 2;
    constexpr int per_thread = 20;
    constexpr std::size_t text_length = 8000;
    FakePrinter printer;
    printer.answer_with({0x12});  // ready: status 32
    LoadedLibrary dll;
    ASSERT_NE(dll.module(), nullptr);
    auto print = dll.get<decltype(ImprimeTexto)>("ImprimeTexto");
    auto status = dll.get<decltype(Le_Status)>("Le_Status");
    ASSERT_EQ(dll.get<decltype(AbreSocket)>("AbreSocket")(printer.address().c_str(), 0), 1);

    // One command alone first, to learn the frame around the text.
    ASSERT_EQ(print("", 0, 0, 0, 0), 1);
    Bytes frame = printer.wait_for_bytes(18);
    ASSERT_EQ(frame.size(), 18u);
    const Bytes prefix(frame.begin(), frame.end() - 1);

    std::vector<std::thread> threads;
    std::vector<int> failures(print_threads + status_threads, 0);
    for (int t = 0; t < print_threads; ++t) {
        threads.emplace_back([&, t] {
            const std::string text(text_length, static_cast<char>('A' + t));
            for (int i = 0; i < per_thread; ++i)
                if (print(text.c_str(), 0, 0, 0, 0) != 1) ++failures[t];
        });
    }
    for (int t = print_threads; t < print_threads + status_threads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < per_thread; ++i)
                if (status() != 32) ++failures[t];
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < print_threads + status_threads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;

    // The stream: whole text commands and three-byte queries (10 04 01), in any order.
    const std::size_t command_size = prefix.size() + text_length + 1;
    const std::size_t total =
        frame.size() + print_threads * per_thread * command_size + status_threads * per_thread * 3;
    Bytes all = printer.wait_for_bytes(total, std::chrono::seconds(20));
    ASSERT_EQ(all.size(), total);
    int printed[print_threads] = {};
    int queries = 0;
    for (std::size_t at = frame.size(); at < all.size();) {
        if (all[at] == 0x10) {
            ASSERT_EQ(hex(Bytes(all.begin() + at, all.begin() + at + 3)), "10 04 01") << "at " << at;
            ++queries;
            at += 3;
            continue;
        }
        ASSERT_LE(at + command_size, all.size());
        ASSERT_TRUE(std::equal(prefix.begin(), prefix.end(), all.begin() + at)) << "at " << at;
        const std::uint8_t letter = all[at + prefix.size()];
        ASSERT_GE(letter, 'A');
        ASSERT_LT(letter, 'A' + print_threads);
        for (std::size_t i = 0; i < text_length; ++i)
            ASSERT_EQ(all[at + prefix.size() + i], letter) << "interleaved at " << at + i;
        ASSERT_EQ(all[at + command_size - 1], 0x0A);
        ++printed[letter - 'A'];
        at += command_size;
    }
    for (int t = 0; t < print_threads; ++t) EXPECT_EQ(printed[t], per_thread) << "thread " << t;
    EXPECT_EQ(queries, status_threads * per_thread);
    EXPECT_EQ(dll.get<decltype(FechaSocket)>("FechaSocket")(), 1);
}

}  // namespace
