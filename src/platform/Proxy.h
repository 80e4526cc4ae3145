// The proxy the HTTP client should use, from the current user's Internet settings (Win32 only;
// the query itself, QueryInternetProxy, is declared in Platform.h).
#pragma once

#include <string>

#include "platform/Platform.h"

namespace platform {

// QueryInternetProxy read through http::DiscoverProxy. The caller sets server to empty and port
// to -1 beforehand.
bool DiscoverProxy(std::string& server, int& port);

}  // namespace platform
