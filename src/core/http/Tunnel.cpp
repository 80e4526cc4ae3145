#include "http/Tunnel.h"

namespace http {

std::string Authority(const Url& url) {
    const bool v6 = url.host.find(':') != std::string::npos;
    return (v6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
}

std::string BuildConnectRequest(const Url& url) {
    const std::string authority = Authority(url);
    return "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n";
}

}  // namespace http
