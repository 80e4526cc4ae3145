// The current user's Internet proxy setting (Win32 only).
#pragma once

#include <string>

namespace platform {

// InternetQueryOptionA without handle for the proxy option (38) into a 4096-byte buffer: the
// access type and the proxy list. False when the query fails.
bool QueryInternetProxy(unsigned long& accessType, std::string& proxyList);

}  // namespace platform

namespace platform {

// The proxy the HTTP client should use: the query above through http::DiscoverProxy.
// The caller sets server to empty and port to -1 beforehand.
bool DiscoverProxy(std::string& server, int& port);

}  // namespace platform
