// A run whose download stops advancing, ended the way the window ends it: a watch that ticks
// every 1.5 s (the window's ticks once a minute) fails the download at its first tick with too
// few new bytes; the worker is suspended where it is, the run's files are removed from the main
// thread, and the process ends with the worker still suspended and the package still open.
//   child_stall URL
// Exit status 0 when it got that far; 3 when the download never began, 4 when no package file
// stood in the temporary folder while the download ran, 5 when the download ended before the
// watch failed it.
#include <cstdlib>

#include "UClasses.h"
#include "UFileXML.h"
#include "platform/Platform.h"
#include "worker/UThread.h"
#include "SilentView.h"
#include "WorkerTestAccess.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    TFileXML language;
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    PrepareChildRun(language, settings, platform::TempDirectory() + "klu-stall-install");
    settings.DownloadUrl = argv[1];
    SilentView view;
    // Never freed: the process ends with the worker suspended, as the program does.
    TThreadLiveUpdate* worker = new TThreadLiveUpdate(settings, view);
    worker->DiscoverProxy = [](std::string&, int&) { return false; };
    worker->Resume();
    bool began = false;
    for (int tick = 0;; ++tick) {
        if (tick == 30) return began ? 5 : 3;
        platform::SleepMs(1500);
        const int delta = worker->DownloadWatchDelta();
        if (delta == -1 && began) return 5;
        if (delta == -1) continue;  // not yet begun
        began = true;
        if (delta == 0) break;
    }
    worker->Suspend();
    if (!platform::FileExists(settings.TempFolder + "\\" + settings.ArchiveFileName)) return 4;
    worker->RemoveRunFiles();
    std::_Exit(0);  // as the process ends after the window has gone: nothing waits for the worker
}
