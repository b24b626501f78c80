// SPDX-License-Identifier: MIT
// Module entry of Quorvel.dll. The PE entry point stays the toolchain's start-up
// routine (DllMainCRTStartup): it sets up the statically linked runtime (TLS,
// relocations, static constructors, exit handlers) and then calls DllMain.
// DllMain hands over to DllEntryPoint, which reports success for every reason
// and touches nothing: loading leaves every link closed, unloading closes none.
#include <windows.h>

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return DllEntryPoint(instance, reason, reserved);
}
