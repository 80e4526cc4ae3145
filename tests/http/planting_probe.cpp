// Loads WS2_32.DLL the careless way (plain LoadLibraryA) and prints "planted" when the DLL
// beside the program was taken, "system" otherwise: proof that the planting test's setting
// really makes a planted DLL win a plain search.
#include <windows.h>

#include <cstdio>

int main() {
    HMODULE module = LoadLibraryA("WS2_32.DLL");
    if (!module) {
        std::puts("none");
        return 1;
    }
    std::puts(GetProcAddress(module, "klu_planted_marker") ? "planted" : "system");
    return 0;
}
