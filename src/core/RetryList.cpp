#include "RetryList.h"

namespace retry {

namespace {
std::size_t NameStart(const std::string& path) {
    const std::size_t sep = path.find_last_of("\\:");
    return sep == std::string::npos ? 0 : sep + 1;
}
}  // namespace

std::string FolderOf(const std::string& path) {
    std::string folder = path.substr(0, NameStart(path));
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

std::string ListLine(const std::string& path) {
    return path.substr(NameStart(path)) + " (" + FolderOf(path) + ")";
}

}  // namespace retry
