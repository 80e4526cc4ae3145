// Removing what a run leaves in the temporary folder, on any way out of the run. What cannot go
// now (a file still open, a folder that still holds one) is scheduled for deletion at the next
// start of Windows instead, a folder after its contents.
#pragma once

#include <string>

namespace platform {

// Schedules a file, or a folder that will then be empty, for deletion at the next start of Windows
// (MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT).
bool DeleteAtRestart(const std::string& path);
// Deletes the file (read-only too); a file that cannot be deleted now is scheduled. False when it
// is neither gone nor scheduled.
bool RemoveFileOrAtRestart(const std::string& path);
// Deletes the folder with every file and folder below it; the rest is scheduled.
void RemoveFolderTreeOrAtRestart(const std::string& path);

}  // namespace platform
