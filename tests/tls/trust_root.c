/* trust_root CA.der: adds a test authority to the current user's trusted root store of the Wine
 * prefix it runs in, so that Schannel and the chain engine trust what it signed. Exit 0 on
 * success. */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int main(int argc, char** argv) {
    static BYTE der[65536];
    FILE* f;
    size_t n;
    if (argc != 2) return 2;
    f = fopen(argv[1], "rb");
    if (!f) return 1;
    n = fread(der, 1, sizeof der, f);
    fclose(f);
    if (n == 0 || n == sizeof der) return 1;
    if (!CertAddEncodedCertificateToSystemStoreA("Root", der, (DWORD)n)) {
        fprintf(stderr, "trust_root: error %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    return 0;
}
