#include <gtest/gtest.h>

#include "http/ProxyList.h"

namespace {

TEST(HttpProxy, ParsesTheHttpEntryOfTheSystemList) {
    struct Case {
        const char* list;
        const char* server;
        int port;
        bool result;
    } cases[] = {
        {"proxy:80", "proxy", 80, true},
        {"http=web:80;ftp=files:21", "web", 80, true},
        {"ftp=files:21 http=web:80", "web", 80, true},
        {"http=web:80 ftp=files:21", "web", 80, true},
        {"ftp=files:21;http=web:8080", "web", 8080, true},
        {"ftp=files:21", "", -1, false},
        {"ftp=files:21;https=s:443", "", -1, false},
        {"proxy", "", -1, false},           // no port: not used
        {"proxy:abc", "proxy", 0, true},    // a port that is no number reads as 0
        {"proxy:", "proxy", 0, true},
        {":80", "", 80, false},
        {"HTTP=web:80", "", -1, false},     // the search respects letter case
        {"proxy:80;other:81", "proxy", 80, true},
        {"proxy:80 other:81", "proxy", 80, true},
        {"a:1:2", "a", 0, true},
        {"proxy:-1", "proxy", -1, false},
        {"proxy:99999999999", "proxy", 0, true},
        {"proxy:+80", "proxy", 0, true},    // a plus sign: no number
        {"proxy:80x", "proxy", 0, true},
        {"http://web:80", "http", 0, true}, // the scheme's colon splits the value
        {"", "", -1, false},
    };
    for (const Case& c : cases) {
        std::string server;
        int port = -1;
        EXPECT_EQ(http::ParseProxyList(c.list, server, port), c.result) << c.list;
        EXPECT_EQ(server, c.server) << c.list;
        EXPECT_EQ(port, c.port) << c.list;
    }
}

TEST(HttpProxy, OnlyPlainHostsAndPortsAreUsed) {
    struct Case {
        std::string list;
        bool used;
    } cases[] = {
        {"proxy:80", true},
        {"proxy:65535", true},
        {"10.0.0.1:3128", true},
        {"[::1]:3128", false},  // the first colon splits: "[" is no host
        {"my_proxy.corp-1.example:8080", true},
        {"proxy:70000", false},  // never wrapped to 16 bits (4464)
        {"proxy:65536", false},
        {"proxy:-2", false},
        {"proxy:0", false},
        {"proxy:+80", false},
        {"proxy:80 trailing", true},  // the blank separates entries: "proxy:80" is the first
        {"proxy:80trailing", false},
        {std::string(5000, 'h') + ":80", false},
        {std::string(255, 'h') + ":80", true},
        {"http://web:80", false},
        {"pr\xC3\xB6xy:80", false},
        {"pro xy:80", false},  // "pro" alone: no port
        {"proxy\t:80", false},
    };
    for (const Case& c : cases) {
        std::string server;
        int port = -1;
        const bool found = http::ParseProxyList(c.list, server, port);
        EXPECT_EQ(found && http::UsableProxy(server, port), c.used) << c.list.substr(0, 40);
    }
}

TEST(HttpProxy, OnlyNamedProxiesFromASuccessfulQueryCount) {
    struct Case {
        bool succeeds;
        unsigned long accessType;
        const char* list;
        bool result;
        const char* server;
    } cases[] = {
        {true, 3, "proxy:80", true, "proxy"},
        {true, 1, "proxy:80", false, ""},  // direct access whatever list it stores
        {true, 0, "proxy:80", false, ""},
        {true, 4, "proxy:80", false, ""},
        {false, 3, "proxy:80", false, ""}, // a failed query
        {true, 3, "", false, ""},
    };
    for (const Case& c : cases) {
        int calls = 0;
        const http::ProxyQuery query = [&](unsigned long& type, std::string& list) {
            ++calls;
            type = c.accessType;
            list = c.list;
            return c.succeeds;
        };
        std::string server;
        int port = -1;
        EXPECT_EQ(http::DiscoverProxy(query, server, port), c.result) << c.accessType << " " << c.list;
        EXPECT_EQ(server, c.server);
        EXPECT_EQ(calls, 1);
    }
}

}  // namespace
