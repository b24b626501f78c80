// Module entry point of Quorvel.dll: reports success for every reason and
// touches nothing, so loading leaves every link closed and unloading closes none.
#include <windows.h>

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE, DWORD, LPVOID) { return TRUE; }
