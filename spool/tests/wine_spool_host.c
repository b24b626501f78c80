/* SPDX-License-Identifier: MIT */
/* A Windows till program on the print service link: loads Quorvel.dll at run
 * time, opens URL NAME with quorvel_open_spool, prints TEXT with the classic
 * functions, cuts (the job is stored when the cut returns), reads the status
 * and closes. Prints "open cut status close" results on one line.
 *   wine_spool_host.exe URL NAME TEXT */
#include <stdio.h>
#include <windows.h>

typedef int(__stdcall* open_spool_fn)(const char*, const char*, int);
typedef int(__stdcall* text_fn)(const char*, int, int, int, int);
typedef int(__stdcall* void_fn)(void);

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    HMODULE dll = LoadLibraryA("Quorvel.dll");
    if (!dll) return 3;
    open_spool_fn open_spool = (open_spool_fn)(void*)GetProcAddress(dll, "quorvel_open_spool");
    text_fn text = (text_fn)(void*)GetProcAddress(dll, "ImprimeTexto");
    void_fn cut = (void_fn)(void*)GetProcAddress(dll, "AcionaGuilhotina");
    void_fn status = (void_fn)(void*)GetProcAddress(dll, "Le_Status");
    void_fn close = (void_fn)(void*)GetProcAddress(dll, "FechaPortaSerial");
    if (!open_spool || !text || !cut || !status || !close) return 4;
    const int opened = open_spool(argv[1], argv[2], 0);
    const int printed = opened && text(argv[3], 0, 0, 0, 0) && cut();
    const int state = opened ? status() : -1;
    printf("%d %d %d %d\n", opened, printed, state, opened ? close() : 0);
    return opened && printed ? 0 : 1;
}
