// A stand-in for the running application: writes its process id into the file named by its first
// argument, then sleeps for at most a minute (the test ends it long before).
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) return 2;
    std::fprintf(f, "%lu", GetCurrentProcessId());
    std::fclose(f);
    Sleep(60000);
    return 0;
}
