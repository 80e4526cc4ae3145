// Prints the parameters that the program's settings object reads from its own command line, one
// per line between brackets, so that the parent can compare them with what it meant to pass.
#include <cstdio>

#include "UClasses.h"
#include "platform/Platform.h"

int main() {
    TLiveUpdate settings(platform::CommandLine());
    for (int i = 1; i <= settings.ParamCount(); ++i) std::printf("[%s]\n", settings.Params()[i].c_str());
    std::printf("hide=%d kill=[%s]\n", settings.IsSwitch("/HIDE") ? 1 : 0, settings.GetSwitchValue("/KILL").c_str());
    return 0;
}
