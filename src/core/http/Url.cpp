#include "http/Url.h"

#include "Decimal.h"
#include "http/HttpErrors.h"
#include "http/Response.h"

namespace http {

namespace {

bool ParsePort(const std::string& text, int& port) {
    if (text.size() > 5) return false;
    std::uint64_t value = 0;
    if (ParseDecimal(text.data(), text.data() + text.size(), 65535, value) != DecimalResult::Ok || value < 1)
        return false;
    port = static_cast<int>(value);
    return true;
}

// An IPv6 literal goes back into brackets wherever a port may follow it.
std::string HostForText(const std::string& host) {
    if (host.find(':') != std::string::npos) return "[" + host + "]";
    return host;
}

}  // namespace

Url SplitUrl(const std::string& address) {
    // Blanks and control bytes would end up in the request line or the host name: an address that
    // holds one is refused before any connection.
    for (const char c : address) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b <= 32 || b == 127) throw HttpError("Invalid character in address");
    }
    Url url;
    std::string rest = address.substr(0, address.find('#'));

    // The protocol is named only when "://" comes before the first "/" or "?".
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos && scheme < rest.find_first_of("/?")) {
        url.protocol = ToLower(rest.substr(0, scheme));
        rest.erase(0, scheme + 3);
    } else {
        url.protocol = "http";
    }
    if (url.protocol == "http") {
        url.port = 80;
    } else if (url.protocol == "https") {
        url.port = 443;
    } else {
        throw HttpError("");
    }

    const std::size_t authorityEnd = rest.find_first_of("/?");
    std::string authority = rest.substr(0, authorityEnd);
    rest = authorityEnd == std::string::npos ? std::string() : rest.substr(authorityEnd);

    // User information is never sent; drop it.
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);

    std::string portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) throw HttpError("Invalid host name");
        url.host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') throw HttpError("Invalid host name");
            portText = after.substr(1);
            hasPort = true;
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            portText = authority.substr(colon + 1);
            hasPort = true;
        }
    }
    // "host:" names no port.
    if (hasPort && !portText.empty() && !ParsePort(portText, url.port)) {
        throw HttpError("Invalid port number");
    }

    const std::size_t question = rest.find('?');
    std::string pathAndDocument = rest.substr(0, question);
    if (question != std::string::npos) url.query = rest.substr(question);
    if (pathAndDocument.empty()) pathAndDocument = "/";
    const std::size_t lastSlash = pathAndDocument.rfind('/');
    url.path = pathAndDocument.substr(0, lastSlash + 1);
    url.document = pathAndDocument.substr(lastSlash + 1);
    return url;
}

std::string HostField(const Url& url) {
    std::string field = HostForText(url.host);
    // The port is left out when it is the protocol's own (RFC 9110 7.2).
    if (url.port != (url.protocol == "https" ? 443 : 80)) field += ":" + std::to_string(url.port);
    return field;
}

std::string BuildRequest(const Url& url, bool viaProxy, const std::string& cookies, const std::string& fields) {
    std::string target;
    if (viaProxy) {
        if (url.host.empty()) throw HttpError(kHostFieldEmpty);
        target = url.protocol + "://" + HostForText(url.host) + ":" + std::to_string(url.port) +
                 url.Target();
    } else {
        target = url.Target();
    }
    std::string request;
    request.reserve(256 + target.size() + cookies.size() + fields.size());
    request += "GET " + target + " HTTP/1.1\r\n";
    request += "Content-Type: text/html\r\n";
    request += "Host: " + HostField(url) + "\r\n";
    request += "Accept: text/html, */*\r\n";
    request += "User-Agent: Mozilla/3.0 (compatible; KestrumLiveUpdate)\r\n";
    if (!cookies.empty()) request += "Cookie: " + cookies + "\r\n";
    request += fields;
    request += "\r\n";
    return request;
}

}  // namespace http
