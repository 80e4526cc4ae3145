// A response body written into a file, for klu-get and the download step.
#pragma once

#include <memory>
#include <string>

#include "http/Target.h"

namespace platform {

// Creates (or replaces) `path` for reading and writing, not shared with other openers, and
// returns it as a target positioned at 0. Raises std::runtime_error
// "Cannot create file "PATH". " followed by the system's text when it cannot.
std::unique_ptr<http::Target> CreateFileTarget(const std::string& path);

}  // namespace platform
