// Win32 registry: keys opened by root and path, values read and written, keys deleted.
#include <windows.h>

#include "platform/Platform.h"

namespace platform {

namespace {
HKEY AsKey(std::uintptr_t k) { return reinterpret_cast<HKEY>(k); }
}  // namespace

RegKey::~RegKey() { Close(); }

RegKey::RegKey(RegKey&& other) noexcept : key_(other.key_) { other.key_ = 0; }

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        Close();
        key_ = other.key_;
        other.key_ = 0;
    }
    return *this;
}

void RegKey::Close() {
    if (key_ != 0) RegCloseKey(AsKey(key_));
    key_ = 0;
}

namespace {
// Registry paths are written with or without a leading backslash; the API wants none.
std::string RelativePath(const std::string& path) {
    std::size_t i = 0;
    while (i < path.size() && path[i] == '\\') ++i;
    return path.substr(i);
}
}  // namespace

bool RegKey::Open(RootKey root, const std::string& path, bool create) {
    Close();
    HKEY key = nullptr;
    const std::string rel = RelativePath(path);
    LONG rc;
    if (create) {
        rc = RegCreateKeyExA(AsKey(root), rel.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr);
    } else {
        rc = RegOpenKeyExA(AsKey(root), rel.c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    if (rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return false;
    }
    key_ = reinterpret_cast<std::uintptr_t>(key);
    return true;
}

bool RegKey::OpenReadOnly(RootKey root, const std::string& path) {
    Close();
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(AsKey(root), RelativePath(path).c_str(), 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return false;
    }
    key_ = reinterpret_cast<std::uintptr_t>(key);
    return true;
}

bool RegKey::TryReadString(const std::string& name, std::string& value) const {
    if (key_ == 0) return false;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(AsKey(key_), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::string buf(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(AsKey(key_), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&buf[0]), &got) != ERROR_SUCCESS)
        return false;
    buf.resize(got);
    // The stored size counts the terminating NUL; a value written without one has none.
    const std::size_t nul = buf.find('\0');
    if (nul != std::string::npos) buf.resize(nul);
    value = buf;
    return true;
}

std::string RegKey::ReadString(const std::string& name) const {
    std::string value;
    return TryReadString(name, value) ? value : std::string();
}

bool RegKey::TryReadInteger(const std::string& name, std::uint32_t& value) const {
    if (key_ == 0) return false;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(AsKey(key_), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof data) return false;
    value = data;
    return true;
}

long RegKey::ValueType(const std::string& name) const {
    if (key_ == 0) return -1;
    DWORD type = 0;
    if (RegQueryValueExA(AsKey(key_), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return -1;
    return static_cast<long>(type);
}

namespace {
[[noreturn]] void RaiseRegistryError(LONG rc, const std::string& name) {
    throw SystemError(static_cast<unsigned long>(rc),
                      "Cannot write registry value \"" + name + "\": " + SystemErrorMessage(static_cast<unsigned long>(rc)));
}
}  // namespace

void RegKey::WriteString(const std::string& name, const std::string& value) {
    if (key_ == 0) RaiseRegistryError(ERROR_INVALID_HANDLE, name);
    const LONG rc = RegSetValueExA(AsKey(key_), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS) RaiseRegistryError(rc, name);
}

void RegKey::WriteInteger(const std::string& name, std::uint32_t value) {
    if (key_ == 0) RaiseRegistryError(ERROR_INVALID_HANDLE, name);
    const DWORD data = value;
    const LONG rc = RegSetValueExA(AsKey(key_), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                   sizeof data);
    if (rc != ERROR_SUCCESS) RaiseRegistryError(rc, name);
}

bool RegKey::ValueExists(const std::string& name) const { return ValueType(name) != -1; }

std::vector<std::string> RegKey::ValueNames() const {
    std::vector<std::string> names;
    if (key_ == 0) return names;
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(AsKey(key_), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::string buf(longest + 2, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        if (RegEnumValueA(AsKey(key_), i, &buf[0], &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(buf.data(), len);
    }
    return names;
}

std::vector<std::string> RegKey::SubKeyNames() const {
    std::vector<std::string> names;
    if (key_ == 0) return names;
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(AsKey(key_), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::string buf(longest + 2, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        if (RegEnumKeyExA(AsKey(key_), i, &buf[0], &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(buf.data(), len);
    }
    return names;
}

bool RegKey::DeleteValue(const std::string& name) {
    return key_ != 0 && RegDeleteValueA(AsKey(key_), name.c_str()) == ERROR_SUCCESS;
}

bool KeyExists(RootKey root, const std::string& path) {
    RegKey key;
    return key.OpenReadOnly(root, path);
}

bool DeleteKey(RootKey root, const std::string& path) {
    const std::string rel = RelativePath(path);
    if (rel.empty()) return false;  // never the root itself
    {
        RegKey key;
        if (!key.Open(root, rel, false)) return false;
        // Subkeys first: the older API deletes only empty keys.
        for (const std::string& sub : key.SubKeyNames()) DeleteKey(root, rel + "\\" + sub);
    }
    return RegDeleteKeyA(AsKey(root), rel.c_str()) == ERROR_SUCCESS;
}

}  // namespace platform
