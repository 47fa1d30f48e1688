// A Windows host that loads TamberLauncher.dll at run time and never starts
// the socket library itself. Prints each step's result on a line of its own.
//   server PORT: a server on PORT until the input ends.
//   unload LPORT APORT GPORT LPATH APATH GPATH: Init, unload the library
//     without Remove, wait 3 s, load it again, Init on the same ports, Remove.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TamberLauncher.h"

namespace {

HMODULE g_library = nullptr;

template <typename Function>
Function Find(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(g_library, name)));
}

void Say(const char* step, int result) {
    std::printf("%s %d\n", step, result);
    std::fflush(stdout);
}

int Init(char** argv) {
    return Find<decltype(&VantorServerController_Init)>("VantorServerController_Init")(
        argv[5], std::atoi(argv[2]), argv[6], std::atoi(argv[3]), argv[7], std::atoi(argv[4]), nullptr, nullptr,
        nullptr, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    g_library = LoadLibraryA("TamberLauncher.dll");
    if (g_library == nullptr || argc < 3) return 2;
    if (std::strcmp(argv[1], "server") == 0) {
        VantorServer* server = nullptr;
        Say("create", Find<decltype(&VantorServer_Create)>("VantorServer_Create")(&server));
        Say("start", Find<decltype(&VantorServer_Start)>("VantorServer_Start")(server, std::atoi(argv[2])));
        while (std::getchar() != EOF) continue;
        Say("delete", Find<decltype(&VantorServer_Delete)>("VantorServer_Delete")(&server));
        return 0;
    }
    if (argc < 8) return 2;
    Say("init", Init(argv));
    FreeLibrary(g_library);
    Sleep(3000);
    Say("alive", 1);
    g_library = LoadLibraryA("TamberLauncher.dll");
    Say("init again", Init(argv));
    Say("remove", Find<decltype(&VantorServerController_Remove)>("VantorServerController_Remove")());
    FreeLibrary(g_library);
    return 0;
}
