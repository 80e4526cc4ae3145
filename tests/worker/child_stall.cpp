// A run whose download stalls, ended the way the window ends it: the worker suspended where it
// is, the run's files removed from the main thread, and the process ended with the worker still
// suspended and the package still open.
//   child_stall URL
// Exit status 0 when it got that far; 3 when the download never began, 4 when no package file
// stood in the temporary folder while the download ran.
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
    // The stalled answer sends its head and 10 bytes, then nothing.
    for (int i = 0; Steps::Pending(*worker).Position() < 10; ++i) {
        if (i == 3000) return 3;
        platform::SleepMs(10);
    }
    worker->Suspend();
    if (!platform::FileExists(settings.TempFolder + "\\" + settings.ArchiveFileName)) return 4;
    worker->RemoveRunFiles();
    std::_Exit(0);  // as the process ends after the window has gone: nothing waits for the worker
}
