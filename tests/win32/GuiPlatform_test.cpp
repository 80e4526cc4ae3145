// The window's own system calls under Wine: the privilege switch and the browser command.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Gui.h"
#include "platform/Platform.h"

namespace {

const char* const kShutdown = "SeShutdownPrivilege";

TEST(GuiPlatform, EnablePrivilegeAnswersThePreviousAttributesAndRestoresThem) {
    const unsigned long before = platform::EnablePrivilege(kShutdown, SE_PRIVILEGE_ENABLED);
    struct Step {
        unsigned long set;
        unsigned long expectedPrevious;
    };
    // Each step's answer is the state the previous step left.
    const Step steps[] = {
        {SE_PRIVILEGE_ENABLED, SE_PRIVILEGE_ENABLED},
        {0, SE_PRIVILEGE_ENABLED},
        {0, 0},
        {SE_PRIVILEGE_ENABLED, 0},
        {before, SE_PRIVILEGE_ENABLED},
    };
    for (const Step& step : steps)
        EXPECT_EQ(platform::EnablePrivilege(kShutdown, step.set) & SE_PRIVILEGE_ENABLED,
                  step.expectedPrevious & SE_PRIVILEGE_ENABLED)
            << "setting " << step.set;
    EXPECT_EQ(platform::EnablePrivilege(kShutdown, before) & SE_PRIVILEGE_ENABLED, before & SE_PRIVILEGE_ENABLED);
}

TEST(GuiPlatform, EnablePrivilegeRejectsAnUnknownName) {
    EXPECT_THROW(platform::EnablePrivilege("SeNoSuchPrivilegeAtAll", SE_PRIVILEGE_ENABLED), platform::SystemError);
}

TEST(GuiPlatform, BrowserCommandTemplateReadsHttpThenHtmlfile) {
    // Work on copies of the two keys' default values, put back afterwards.
    struct Saved {
        const char* path;
        std::string value;
        bool existed;
    } saved[] = {{"http\\shell\\open\\command", "", false}, {"htmlfile\\shell\\open\\command", "", false}};
    for (Saved& s : saved) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, s.path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            char buffer[1024] = {};
            DWORD size = sizeof buffer - 1;
            s.existed = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
                        ERROR_SUCCESS;
            s.value = buffer;
            RegCloseKey(key);
        }
    }
    auto setDefault = [](const char* path, const char* value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), lstrlenA(value) + 1);
        RegCloseKey(key);
    };
    setDefault(saved[0].path, "\"C:\\B\\first.exe\" %1");
    setDefault(saved[1].path, "C:\\B\\second.exe %1");
    EXPECT_EQ(platform::BrowserCommandTemplate(), "\"C:\\B\\first.exe\" %1");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, saved[0].path);
    EXPECT_EQ(platform::BrowserCommandTemplate(), "C:\\B\\second.exe %1");
    for (const Saved& s : saved) {
        if (s.existed)
            setDefault(s.path, s.value.c_str());
        else
            RegDeleteKeyA(HKEY_CLASSES_ROOT, s.path);
    }
}

}  // namespace
