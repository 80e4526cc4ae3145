// Runs the finishing operations the way the window does at close, in a process of its own:
//   child_finish INSTALL_FOLDER DESKTOP(0|1) [start]
// Exit status 0 when they ran, 1 when one raised (its message on standard error).
#include <cstdio>
#include <cstring>
#include <exception>

#include "UClasses.h"
#include "UFileXML.h"
#include "worker/UThread.h"
#include "SilentView.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    TFileXML language;
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    PrepareChildRun(language, settings, argv[1]);
    SilentView view;
    TThreadLiveUpdate worker(settings, view);
    try {
        worker.CreateShortcuts(std::strcmp(argv[2], "1") == 0);
        if (argc > 3 && std::strcmp(argv[3], "start") == 0) worker.StartApplication();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
