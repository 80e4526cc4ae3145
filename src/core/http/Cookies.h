// The client's cookie store: cookies from "Set-cookie" and "Set-cookie2" answers, kept in
// memory for the client's life and sent back on later requests to matching addresses
// (domain and path matching as in RFC 6265 section 5).
#pragma once

#include <string>
#include <vector>

#include "http/Url.h"

namespace http {

class CookieJar {
public:
    // Stores the cookies of one "Set-cookie" field value (one cookie) or one "Set-cookie2"
    // value (a comma-separated list of cookies), received for `from`.
    void Store(const std::string& fieldValue, bool cookie2, const Url& from);

    // The "Cookie" field value for a request to `to`: "name=value" pairs joined by "; ",
    // empty when no cookie matches.
    std::string HeaderFor(const Url& to) const;

    std::size_t Size() const { return cookies_.size(); }

private:
    struct Cookie {
        std::string name;
        std::string value;
        std::string domain;  // lower case, without a leading dot
        bool hostOnly = true;
        std::string path;
        bool secure = false;
    };
    void StoreOne(const std::string& text, const Url& from);

    std::vector<Cookie> cookies_;
};

}  // namespace http
