#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Nothing to do on load or unload: static destructors release what is still
// held (the instance semaphore) when the library goes.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
