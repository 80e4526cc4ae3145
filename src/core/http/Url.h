// Splitting an address into its parts and building the request the client sends.
#pragma once

#include <string>

namespace http {

// An address in parts. For "http://host:8000/dir/file.zip?x=1":
// protocol "http", host "host", port 8000, path "/dir/", document "file.zip", query "?x=1".
struct Url {
    std::string protocol;  // lower case; "http" when the address names none
    std::string host;      // without brackets for an IPv6 literal, without user information
    int port = 80;         // 80 for http and 443 for https when the address names none
    std::string path;      // from the first "/" up to and including the last one; "/" at least
    std::string document;  // after the last "/" of the path
    std::string query;     // "?" and what follows, or empty; a "#" fragment is dropped

    // path + document + query: the origin form of the request target.
    std::string Target() const { return path + document + query; }
};

// Splits `address`. Raises HttpError with an empty message for a protocol other than "http" or
// "https", and "Invalid port number" for a port that is not a number from 1 to 65535.
Url SplitUrl(const std::string& address);

// The request written to the connection in one piece: the request line with the origin form,
// or through a proxy the absolute form with the port always written, then Content-Type, Host,
// Accept, User-Agent and (when not empty) Cookie, each ending in CR LF, then `fields` (whole
// lines, each ending in CR LF: a resumed download's Range and If-Range), then an empty line.
// Raises HttpError "Host field is empty" when the absolute form is built for an address without
// host.
std::string BuildRequest(const Url& url, bool viaProxy, const std::string& cookies,
                         const std::string& fields = std::string());

// The Host header's value: the host, then ":" and the port unless it is the protocol's own (80 for
// http, 443 for https).
std::string HostField(const Url& url);

}  // namespace http
