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

// Marks a file made by CreateFileTarget for deletion once it is closed (at the latest when the
// process ends, even with the writer suspended). Callable from another thread while the target
// exists. False when the system refuses or the target is not such a file.
bool DeleteWhenClosed(http::Target& target);

}  // namespace platform
