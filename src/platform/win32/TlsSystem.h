// What the Schannel engine takes from the system besides SSPI's calls: the libraries, loaded
// once from the system folder, the certificate check and the system's error texts.
#pragma once

#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>
#include <security.h>
#include <sspi.h>

#include <string>

namespace platform {

struct Sspi {
    PSecurityFunctionTableA table = nullptr;  // from SECUR32.DLL's InitSecurityInterfaceA
};

// SECUR32.DLL from the system folder, once for the process; raises http::HttpError
// "Secure (https) addresses are not supported." when it or its Schannel calls are missing.
const Sspi& LoadSspi();

// Checks the server's certificate (and frees it) with the system's chain engine and the SSL
// policy for `host`; raises http::HttpError with the TLS texts and the system's reason.
void CheckServerCertificate(const CERT_CONTEXT* certificate, const std::string& host);

// `text`, a blank and the system's description of `status`.
std::string WithSystemText(const char* text, long status);

}  // namespace platform
