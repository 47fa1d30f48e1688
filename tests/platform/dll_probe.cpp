// A Windows host that loads TamberLauncher.dll at run time and never starts
// the socket library itself (it imports nothing but KERNEL32 and the C
// runtime). Writes each step's result on a line of its own to OUT.
//   OUT server PORT: a server on PORT until the file OUT.stop exists (at most 60 s).
//   OUT unload LPORT APORT GPORT LPATH APATH GPATH: Init, unload the library
//     without Remove, wait 3 s, load it again, Init on the same ports, Remove.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TamberLauncher.h"

#define FIND(name) reinterpret_cast<decltype(&name)>(reinterpret_cast<void*>(GetProcAddress(g_library, #name)))

namespace {

HMODULE g_library = nullptr;
FILE* g_out = nullptr;

int Init(char** argv) {
    return FIND(VantorServerController_Init)(argv[6], std::atoi(argv[3]), argv[7], std::atoi(argv[4]), argv[8],
                                             std::atoi(argv[5]), nullptr, nullptr, nullptr, nullptr);
}

void Step(const char* what, int result) {
    std::fprintf(g_out, "%s %d\n", what, result);
    std::fflush(g_out);  // each line reaches the test at once
}

}  // namespace

int main(int argc, char** argv) {
    g_library = LoadLibraryA("TamberLauncher.dll");
    if (g_library == nullptr || argc < 4 || (g_out = std::fopen(argv[1], "w")) == nullptr) return 2;
    if (std::strcmp(argv[2], "server") == 0) {
        VantorServer* server = nullptr;
        Step("create", FIND(VantorServer_Create)(&server));
        Step("start", FIND(VantorServer_Start)(server, std::atoi(argv[3])));
        const std::string stop = std::string(argv[1]) + ".stop";
        for (int i = 0; i < 1200 && GetFileAttributesA(stop.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
        Step("delete", FIND(VantorServer_Delete)(&server));
        return 0;
    }
    if (argc < 9) return 2;
    Step("init", Init(argv));
    FreeLibrary(g_library);
    Sleep(3000);
    Step("alive", 1);
    g_library = LoadLibraryA("TamberLauncher.dll");
    Step("init again", Init(argv));
    Step("remove", FIND(VantorServerController_Remove)());
    return FreeLibrary(g_library) ? 0 : 3;
}
