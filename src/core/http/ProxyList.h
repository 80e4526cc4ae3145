// Proxy discovery: one HTTP proxy server and port out of the system's proxy list.
#pragma once

#include <functional>
#include <string>

namespace http {

// Reads the system's proxy list text ("host:port", or protocol entries such as
// "http=host:port;ftp=other:21", separated by ";" or by blanks) and sets `server` and `port`
// from its HTTP entry. The port is read as a decimal number, 0 when it is not one (a sign
// other than "-" or any other byte among the digits makes it not one). A list whose
// only entries name other protocols, or an entry without ":", leaves both unchanged.
// Returns whether, afterwards, the server is not empty and the port is not -1.
bool ParseProxyList(const std::string& list, std::string& server, int& port);

// Whether a proxy found in the system's list names a place the client may connect to as it
// stands: a port from 1 to 65535 and a host of at most 255 plain ASCII characters (letters,
// digits, "-", ".", "_"; the list's "host:port" form has no room for IPv6 literals). Anything else (a port read as 0, -2 or
// 70000, a host of thousands of characters, "http" taken from "http://host:port", bytes outside
// ASCII) is not a proxy the user named plainly: the client then connects directly.
bool UsableProxy(const std::string& server, int port);

// The system query: the access type and the proxy list; false when the query fails.
using ProxyQuery = std::function<bool(unsigned long& accessType, std::string& proxyList)>;

// Access type 3 (named proxies) is the only one whose list is used.
constexpr unsigned long kAccessTypeNamedProxy = 3;

// Asks `query` and parses its list when the access type is 3; any failure means no proxy and is
// not reported. The caller sets server to empty and port to -1 beforehand.
bool DiscoverProxy(const ProxyQuery& query, std::string& server, int& port);

}  // namespace http
