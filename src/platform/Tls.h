// The system's TLS for "https" addresses: Schannel through SSPI on Win32 (SECUR32.DLL and
// CRYPT32.DLL loaded at run time from the system folder), OpenSSL natively. The certificate is
// checked against the system's trust: the root store on Win32, OpenSSL's default verify paths
// natively (SSL_CERT_FILE and SSL_CERT_DIR select another store, as for every OpenSSL program).
#pragma once

#include <memory>
#include <string>

#include "http/TlsEngine.h"

namespace platform {

// A new engine for a connection to `host`; fits http::TlsEngineFactory. Raises http::HttpError
// "Secure (https) addresses are not supported." and the reason when the system has no TLS.
std::unique_ptr<http::TlsEngine> MakeTlsEngine(const std::string& host);

}  // namespace platform
