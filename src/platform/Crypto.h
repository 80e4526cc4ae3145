// The system's cryptography for the package signature check: CNG (bcrypt.dll, loaded from the
// system folder on first use) on Windows, OpenSSL's libcrypto natively.
#pragma once

#include "sign/PackageCheck.h"

namespace platform {

// One object for the process; its first use loads the library and raises sign::CryptoError when
// that fails.
sign::Crypto& SystemCrypto();

}  // namespace platform
