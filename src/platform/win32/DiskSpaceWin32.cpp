#include <windows.h>

#include "platform/Platform.h"

namespace platform {

bool FreeDiskSpace(const std::string& folder, std::uint64_t& bytes) {
    ULARGE_INTEGER available{}, total{}, free{};
    std::string path = NativePath(folder);
    if (!path.empty() && path.back() != '\\') path += '\\';
    if (!GetDiskFreeSpaceExA(path.c_str(), &available, &total, &free)) return false;
    bytes = available.QuadPart;
    return true;
}

}  // namespace platform
