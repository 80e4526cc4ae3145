/* The planting suite's control: loads each DLL named on the command line the plain way (the
   search that starts in the program's folder) and prints where each came from. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
    int i;
    for (i = 1; i < argc; ++i) {
        char path[MAX_PATH] = "";
        HMODULE module = LoadLibraryA(argv[i]);
        if (module != NULL) GetModuleFileNameA(module, path, MAX_PATH);
        printf("%s %s\n", argv[i], module != NULL ? path : "not-loaded");
    }
    return 0;
}
