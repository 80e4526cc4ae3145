#include "http/ProxyList.h"

#include "Decimal.h"

namespace http {

namespace {

// A decimal 32-bit signed integer with an optional "-"; anything else reads as 0. A "+" makes
// it no number: "+80" is not how a port is written.
int DecimalOrZero(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    std::uint64_t digits = 0;
    if (ParseDecimal(text.data() + i, text.data() + text.size(), 2147483648u, digits) != DecimalResult::Ok) return 0;
    long long value = static_cast<long long>(digits);
    if (negative) value = -value;
    if (value > 2147483647LL || value < -2147483648LL) return 0;
    return static_cast<int>(value);
}

}  // namespace

bool ParseProxyList(const std::string& list, std::string& server, int& port) {
    std::string text = list;
    const std::size_t http = text.find("http=");  // the search respects letter case
    if (http != std::string::npos) text.erase(0, http + 5);

    const char separator = text.find(';') != std::string::npos ? ';' : ' ';
    const std::size_t cut = text.find(separator);
    if (cut != std::string::npos) text.erase(cut);

    if (text.find('=') == std::string::npos) {
        const std::size_t colon = text.find(':');
        if (colon != std::string::npos) {
            server = text.substr(0, colon);
            port = DecimalOrZero(text.substr(colon + 1));
        }
    }
    return !server.empty() && port != -1;
}

bool UsableProxy(const std::string& server, int port) {
    if (port < 1 || port > 65535) return false;
    if (server.empty() || server.size() > 255) return false;
    for (const char c : server) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_';
        if (!plain) return false;
    }
    return true;
}

bool DiscoverProxy(const ProxyQuery& query, std::string& server, int& port) {
    unsigned long accessType = 0;
    std::string list;
    if (query && query(accessType, list) && accessType == kAccessTypeNamedProxy && !list.empty()) {
        return ParseProxyList(list, server, port);
    }
    return !server.empty() && port != -1;
}

}  // namespace http
