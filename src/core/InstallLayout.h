// The install layout in one place: the operating-system family choices, the command interpreter
// and the commands the install and the uninstall hand to it. Pure: the caller asks the system for
// the platform id and the folders.
#pragma once

#include <string>

namespace layout {

// Platform id 2 is the NT family; any other value selects the older family's behaviour.
constexpr unsigned long kNtFamily = 2;
inline bool IsNtFamily(unsigned long platformId) { return platformId == kNtFamily; }

// "CMD.EXE /C" on the NT family, "COMMAND.COM /C" on the older one: the start of every command
// line given to the interpreter.
std::string InterpreterPrefix(unsigned long platformId);
// The interpreter's own file, named by full path so that no same-named program beside the
// installer or in its current folder is taken: the system folder's cmd.exe on the NT family, the
// Windows folder's COMMAND.COM on the older one. "" when the folder is unknown.
std::string InterpreterPath(unsigned long platformId, const std::string& systemFolder,
                            const std::string& windowsFolder);

// Every run of consecutive backslashes made one backslash.
std::string CollapseBackslashes(const std::string& text);
// The path a scheduled deletion names: runs of backslashes made one, except the two that begin a
// network path (\\server\share).
std::string DeleteOnRebootPath(const std::string& filePath);
// The scheduled deletion's command: the interpreter prefix, " DEL ", the path in double quotes.
// On the older family the caller passes the short (8.3) form of the path.
std::string DeleteOnRebootCommand(unsigned long platformId, const std::string& path);

}  // namespace layout
