/* A DLL planted beside the program for the planting suite. Whenever a process loads it, it leaves
   "<its own path>.loaded" behind, so the suite can tell which planted copies were taken. It
   exports nothing the program could use. */
#include "planted_marker.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) LeavePlantedMarker(instance);
    return TRUE;
}

__declspec(dllexport) int klu_planted_marker(void) { return 1; }
