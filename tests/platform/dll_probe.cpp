// A Windows host that loads TamberLauncher.dll at run time and never starts
// the socket library itself (it imports nothing but KERNEL32 and the C
// runtime). Prints each step's result on a line of its own.
//   server PORT: a server on PORT until the input ends.
//   unload LPORT APORT GPORT LPATH APATH GPATH: Init, unload the library
//     without Remove, wait 3 s, load it again, Init on the same ports, Remove.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TamberLauncher.h"

#define FIND(name) reinterpret_cast<decltype(&name)>(reinterpret_cast<void*>(GetProcAddress(g_library, #name)))

namespace {

HMODULE g_library = nullptr;

int Init(char** argv) {
    return FIND(VantorServerController_Init)(argv[5], std::atoi(argv[2]), argv[6], std::atoi(argv[3]), argv[7],
                                             std::atoi(argv[4]), nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    g_library = LoadLibraryA("TamberLauncher.dll");
    if (g_library == nullptr || argc < 3) return 2;
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line reaches the test at once
    if (std::strcmp(argv[1], "server") == 0) {
        VantorServer* server = nullptr;
        std::printf("create %d\n", FIND(VantorServer_Create)(&server));
        std::printf("start %d\n", FIND(VantorServer_Start)(server, std::atoi(argv[2])));
        while (std::getchar() != EOF) continue;
        std::printf("delete %d\n", FIND(VantorServer_Delete)(&server));
        return 0;
    }
    std::printf("init %d\n", Init(argv));
    FreeLibrary(g_library);
    Sleep(3000);
    std::printf("alive 1\n");
    g_library = LoadLibraryA("TamberLauncher.dll");
    std::printf("init again %d\n", Init(argv));
    std::printf("remove %d\n", FIND(VantorServerController_Remove)());
    return FreeLibrary(g_library) ? 0 : 3;
}
