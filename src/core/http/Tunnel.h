// The tunnel through an HTTP proxy for an "https" address (RFC 9110 9.3.6): the client asks the
// proxy to CONNECT to the origin, a 2xx answer opens the tunnel, and TLS runs end to end in it.
#pragma once

#include <string>

#include "http/Url.h"

namespace http {

// "host:port" of the origin, an IPv6 literal in brackets: the CONNECT target and its Host.
std::string Authority(const Url& url);

// "CONNECT host:port HTTP/1.1", the Host header with the same authority, the empty line.
std::string BuildConnectRequest(const Url& url);

}  // namespace http
