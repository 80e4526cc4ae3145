#include "http/Cookies.h"

#include "http/Response.h"

namespace http {

namespace {

// RFC 6265 5.1.4: the folder of the request path.
std::string DefaultPath(const Url& url) {
    const std::string& path = url.path;  // always begins and ends with "/"
    if (path.size() <= 1) return "/";
    return path.substr(0, path.size() - 1);
}

bool DomainMatches(const std::string& host, const std::string& domain) {
    if (host == domain) return true;
    return host.size() > domain.size() &&
           host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
    if (requestPath.size() == cookiePath.size()) return true;
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

// Splits at commas outside double quotes (one "Set-cookie2" value carries several cookies).
std::vector<std::string> SplitCookie2(const std::string& value) {
    std::vector<std::string> parts;
    std::string current;
    bool quoted = false;
    for (char c : value) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            parts.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(current);
    return parts;
}

std::string Unquote(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

}  // namespace

void CookieJar::Store(const std::string& fieldValue, bool cookie2, const Url& from) {
    if (!cookie2) {
        StoreOne(fieldValue, from);
        return;
    }
    for (const std::string& part : SplitCookie2(fieldValue)) StoreOne(part, from);
}

void CookieJar::StoreOne(const std::string& text, const Url& from) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t semicolon = text.find(';', start);
        items.push_back(Trim(text.substr(start, semicolon - start)));
        if (semicolon == std::string::npos) break;
        start = semicolon + 1;
    }
    const std::size_t equals = items[0].find('=');
    if (equals == std::string::npos) return;  // a pair without "=" is ignored
    Cookie cookie;
    cookie.name = Trim(items[0].substr(0, equals));
    cookie.value = Trim(items[0].substr(equals + 1));
    if (cookie.name.empty()) return;
    cookie.domain = ToLower(from.host);
    cookie.path = DefaultPath(from);
    bool expired = false;
    for (std::size_t i = 1; i < items.size(); ++i) {
        const std::size_t eq = items[i].find('=');
        const std::string name = ToLower(Trim(items[i].substr(0, eq)));
        const std::string value =
            eq == std::string::npos ? std::string() : Unquote(Trim(items[i].substr(eq + 1)));
        if (name == "domain" && !value.empty()) {
            std::string domain = ToLower(value);
            if (domain[0] == '.') domain.erase(0, 1);
            // A server may set cookies only for its own domain or a parent of it.
            if (domain.empty() || !DomainMatches(ToLower(from.host), domain)) return;
            cookie.domain = domain;
            cookie.hostOnly = false;
        } else if (name == "path" && !value.empty() && value[0] == '/') {
            cookie.path = value;
        } else if (name == "secure") {
            cookie.secure = true;
        } else if (name == "max-age" && !value.empty()) {
            // Max-Age of zero or less removes the cookie; other expiry dates do not matter
            // within one client's life.
            expired = value[0] == '-' || value.find_first_not_of('0') == std::string::npos;
        }
    }
    for (auto it = cookies_.begin(); it != cookies_.end(); ++it) {
        if (it->name == cookie.name && it->domain == cookie.domain && it->path == cookie.path) {
            cookies_.erase(it);
            break;
        }
    }
    if (!expired) cookies_.push_back(cookie);
}

std::string CookieJar::HeaderFor(const Url& to) const {
    const std::string host = ToLower(to.host);
    const std::string requestPath = to.path + to.document;
    const bool secureChannel = to.protocol == "https";
    std::string header;
    for (const Cookie& cookie : cookies_) {
        if (cookie.secure && !secureChannel) continue;
        const bool domainOk = cookie.hostOnly ? host == cookie.domain : DomainMatches(host, cookie.domain);
        if (!domainOk || !PathMatches(requestPath, cookie.path)) continue;
        if (!header.empty()) header += "; ";
        header += cookie.name + "=" + cookie.value;
    }
    return header;
}

}  // namespace http
