// SPDX-License-Identifier: MIT
/* A host linked against an import library of the SDK (not loaded at run
 * time): mingw's libQuorvel.dll.a, or Quorvel.lib with clang and lld-link for
 * the MSVC ABI. It uses no C runtime, only kernel32, so the MSVC-ABI build needs
 * no Microsoft runtime or SDK. Prints a line to a printer at the address given
 * as the last command-line word, first on the default link and then through a
 * printer handle, and exits 0 only if every result is right. */
#include "quorvel.h"

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

static void say(const char* text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle((unsigned long)-11), text, (unsigned long)strlen1(text), &written, 0);
}

static int same(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

static int check(int ok, const char* what) {
    if (!ok) {
        say("sdk_host: wrong result from ");
        say(what);
        say("\n");
    }
    return ok;
}

/* The last word of the command line: the printer's address. */
static const char* last_word(char* line) {
    char* word = line;
    for (char* at = line; *at; ++at)
        if (*at == ' ' && at[1] != ' ' && at[1] != '\0') word = at + 1;
    for (char* at = word; *at; ++at)
        if (*at == ' ' || *at == '"') *at = '\0';
    return word;
}

int run(void) {
    const char* ip = last_word(GetCommandLineA());
    char codes[] = "35,26,1,12,34,56,78,0,1,90,65,0,10,0,0,10,42,11,23,45,67,89";
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    int ok = 1;
    ok &= check(same(Le_VersaoDLL(), "1.2.0.0"), "Le_VersaoDLL");
    ok &= check(AbreSocket(ip, QUORVEL_MODEL_0) == 1, "AbreSocket");
    ok &= check(ImprimeTexto("SDK host", QUORVEL_ALIGN_CENTER, QUORVEL_FONT_A, QUORVEL_SPACING_32,
                             QUORVEL_BOLD_ON) == 1,
                "ImprimeTexto");
    ok &= check(ImprimeCode128C(codes, QUORVEL_ALIGN_CENTER, QUORVEL_BAR_HEIGHT_50) == 1,
                "ImprimeCode128C");
    ok &= check(AcionaGuilhotina() == 1, "AcionaGuilhotina");
    ok &= check(Le_Status() == QUORVEL_STATUS_READY, "Le_Status");
    ok &= check(quorvel_last_error(message, sizeof message) == QUORVEL_E_OK, "quorvel_last_error");
    ok &= check(FechaSocket() == 1, "FechaSocket");
    {
        /* The same printer through a handle: a second connection. */
        quorvel_printer* printer = quorvel_printer_open_tcp(ip, 9100, QUORVEL_MODEL_0);
        ok &= check(printer != 0, "quorvel_printer_open_tcp");
        ok &= check(quorvel_printer_text(printer, "SDK handle", QUORVEL_ALIGN_LEFT, QUORVEL_FONT_B,
                                         QUORVEL_SPACING_32, QUORVEL_BOLD_OFF) == 1,
                    "quorvel_printer_text");
        ok &= check(quorvel_printer_cut(printer) == 1, "quorvel_printer_cut");
        ok &= check(quorvel_printer_close(printer) == 1, "quorvel_printer_close");
        ok &= check(quorvel_printer_cut(printer) == 0 &&
                        quorvel_last_error(0, 0) == QUORVEL_E_BAD_HANDLE,
                    "quorvel_printer_cut after close");
    }
    say(ok ? "sdk_host: ok\n" : "sdk_host: failed\n");
    return ok ? 0 : 1;
}

/* Entry point without a C runtime (lld-link /entry:start); mingw builds use main. */
void __stdcall start(void) {
    ExitProcess((unsigned int)run());
}
int main(void) {
    return run();
}
