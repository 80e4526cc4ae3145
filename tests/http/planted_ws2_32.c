/* A planted WS2_32.DLL for the planting test: it carries a marker export and a WSAStartup that
   always fails, so a program that loads it instead of the system's cannot download anything. */
__declspec(dllexport) int klu_planted_marker(void) { return 1; }

__declspec(dllexport) int __stdcall WSAStartup(unsigned short version, void* data) {
    (void)version;
    (void)data;
    return 10091; /* WSASYSNOTREADY */
}
