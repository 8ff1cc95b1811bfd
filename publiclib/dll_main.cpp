// The DLL's entry point. The library keeps no global state, so loading and unloading need no
// work; the only thing done is to ask the loader not to call in for every thread that starts or
// ends, which saves every thread of the host program a call into this DLL.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
