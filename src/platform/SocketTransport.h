// The system's TCP connection for the HTTP client: Windows Sockets 2 loaded at run time from
// the system folder on Win32, POSIX sockets natively. Failures carry Windows Sockets error
// numbers on both.
#pragma once

#include <memory>

#include "http/Transport.h"

namespace platform {

// A new, unconnected transport. On Win32 the first one alive starts the socket layer and the
// last one destroyed releases it; raises http::HttpError when the socket layer cannot be loaded.
std::unique_ptr<http::Transport> MakeSocketTransport();

}  // namespace platform
