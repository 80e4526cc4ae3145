// Prints the parameters that the program's settings object reads from its own command line, one
// per line between brackets, so that the parent can compare them with what it meant to pass.
#include <cstdio>
#include <cstdlib>

#include "UClasses.h"
#include "platform/Platform.h"

// The report goes to the file named by KLU_CHILD_OUT (standard output when unset).
int main() {
    const char* outName = std::getenv("KLU_CHILD_OUT");
    std::FILE* out = outName != nullptr ? std::fopen(outName, "wb") : stdout;
    if (out == nullptr) return 2;
    TLiveUpdate settings(platform::CommandLine());
    for (int i = 1; i <= settings.ParamCount(); ++i) std::fprintf(out, "[%s]\n", settings.Params()[i].c_str());
    std::fprintf(out, "hide=%d kill=[%s]\n", settings.IsSwitch("/HIDE") ? 1 : 0,
                 settings.GetSwitchValue("/KILL").c_str());
    return out != stdout && std::fclose(out) != 0 ? 3 : 0;
}
