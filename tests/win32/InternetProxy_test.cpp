// The user's Internet proxy setting read through WinINet, under Wine: the setting lives in
// HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings (ProxyEnable, ProxyServer).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/Proxy.h"

namespace {

const char kSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Sets the two values for one test and puts the previous ones back afterwards.
class ProxySetting {
public:
    ProxySetting() {
        RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
        DWORD size = sizeof enable_;
        hadEnable_ = RegQueryValueExA(key_, "ProxyEnable", nullptr, nullptr, reinterpret_cast<BYTE*>(&enable_), &size) ==
                     ERROR_SUCCESS;
        char server[1024];
        size = sizeof server;
        hadServer_ = RegQueryValueExA(key_, "ProxyServer", nullptr, nullptr, reinterpret_cast<BYTE*>(server), &size) ==
                     ERROR_SUCCESS;
        if (hadServer_) server_.assign(server, size > 0 ? size - 1 : 0);
    }
    ~ProxySetting() {
        if (hadEnable_) {
            RegSetValueExA(key_, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable_), sizeof enable_);
        } else {
            RegDeleteValueA(key_, "ProxyEnable");
        }
        if (hadServer_) {
            RegSetValueExA(key_, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server_.c_str()),
                           static_cast<DWORD>(server_.size() + 1));
        } else {
            RegDeleteValueA(key_, "ProxyServer");
        }
        RegCloseKey(key_);
    }
    void Set(DWORD enable, const std::string& server) {
        RegSetValueExA(key_, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
        RegSetValueExA(key_, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                       static_cast<DWORD>(server.size() + 1));
    }

private:
    HKEY key_ = nullptr;
    DWORD enable_ = 0;
    bool hadEnable_ = false;
    bool hadServer_ = false;
    std::string server_;
};

TEST(InternetProxy, ReadsTheUsersProxySetting) {
    ProxySetting setting;
    struct Case {
        DWORD enable;
        const char* stored;
        unsigned long accessType;
        bool result;
        const char* server;
        int port;
    } cases[] = {
        {1, "proxyhost:8080", 3, true, "proxyhost", 8080},
        {1, "127.0.0.1:3128", 3, true, "127.0.0.1", 3128},
        {1, "proxyhost", 3, false, "", -1},   // no port: not used
        {0, "proxyhost:8080", 1, false, "", -1},  // direct access whatever the stored list
    };
    for (const Case& c : cases) {
        setting.Set(c.enable, c.stored);
        unsigned long accessType = 0;
        std::string list;
        ASSERT_TRUE(platform::QueryInternetProxy(accessType, list)) << c.stored;
        EXPECT_EQ(accessType, c.accessType) << c.stored;
        if (c.accessType == 3) {
            EXPECT_EQ(list, c.stored);
        }
        std::string server;
        int port = -1;
        EXPECT_EQ(platform::DiscoverProxy(server, port), c.result) << c.stored;
        EXPECT_EQ(server, c.server) << c.stored;
        EXPECT_EQ(port, c.port) << c.stored;
    }
}

}  // namespace
