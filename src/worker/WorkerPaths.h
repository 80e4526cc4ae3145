// Path helpers the worker's steps share.
#pragma once

#include <string>

namespace worker {

// Everything before the last backslash; "" when there is none.
inline std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace worker
