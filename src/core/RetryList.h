// The lines of the retry dialog's file list: "name (folder)" for each file that could not be placed.
#pragma once

#include <string>

namespace retry {

// The folder part of the path, up to and including its last backslash or colon, with every
// trailing backslash then removed; "" when there is no folder part or it is only backslashes.
std::string FolderOf(const std::string& path);

// The file name (after the last backslash or colon), " (", FolderOf(path), ")".
std::string ListLine(const std::string& path);

}  // namespace retry
