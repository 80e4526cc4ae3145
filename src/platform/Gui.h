// The Windows operations that only the window uses: privileges, the restart request, the shell's
// folder browser, shell "open", the registered browser command and message boxes.
#pragma once

#include <string>

namespace platform {

// Sets the attributes of a privilege of the process token and answers the previous attributes.
// 0 and no change when the token cannot be opened; raises SystemError when the name is not a
// privilege or the adjustment fails.
unsigned long EnablePrivilege(const std::string& name, unsigned long attributes);

// Asks the system to restart the computer (EWX_REBOOT | EWX_FORCEIFHUNG, reason planned,
// application, installation). The answer of the system; a failure is not reported.
bool RequestRestart();

// The shell's folder browser owned by owner, rooted at the desktop, file-system folders only.
// False when cancelled or when the choice has no file-system path.
bool BrowseForFolder(void* owner, const std::string& title, std::string& folder);

// Asks the shell to "open" program with parameters, no working folder, shown normally.
void ShellOpen(const std::string& program, const std::string& parameters);

// The command template of the registered browser: the default value of "http\shell\open\command"
// under HKEY_CLASSES_ROOT, else that of "htmlfile\shell\open\command"; "" when neither opens.
std::string BrowserCommandTemplate();

// Modal message boxes owned by owner, captioned with the application title.
enum class BoxKind { Warning, Error };
void ShowMessageBox(void* owner, const std::string& text, BoxKind kind);
// Yes and No; true for Yes.
bool AskYesNo(void* owner, const std::string& text);

// The title that message boxes carry (the application title).
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

}  // namespace platform
