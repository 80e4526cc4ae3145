// A response body written into a file, for klu-get and the download step.
#pragma once

#include <memory>
#include <string>

#include "http/Target.h"
#include "zip/ArchiveInput.h"

namespace platform {

// Creates (or replaces) `path` for reading and writing, shared with readers only, and
// returns it as a target positioned at 0. Raises std::runtime_error
// "Cannot create file "PATH". " followed by the system's text when it cannot.
std::unique_ptr<http::Target> CreateFileTarget(const std::string& path);

// Marks a file made by CreateFileTarget for deletion once it is closed (at the latest when the
// process ends, even with the writer suspended). Callable from another thread while the target
// exists. False when the system refuses or the target is not such a file.
bool DeleteWhenClosed(http::Target& target);

// Opens a file that a target made by CreateFileTarget is still writing, for reading only (the
// early unpacking follows the package through it). Null when it cannot be opened. Its Size is
// not meaningful: the reader knows the length from the download.
std::unique_ptr<zip::ArchiveInput> OpenWhileWritten(const std::string& path);

}  // namespace platform
