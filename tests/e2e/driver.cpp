// The end-to-end driver: works the installer's window as a person would and prints what it saw.
//
//   e2e_driver COMMAND ARGS [COMMAND ARGS ...]
// Commands run in order; each prints one line "command: result". The first failing command ends
// the driver with status 1 (a time-out, a missing window or control). A control is named as in
// the window's code (BInstall, PanelFinish, FLabelMessage...); an unknown name ends the driver
// with status 2.
//   wait-window MS            the main window exists and is visible
//   wait-hidden-window MS     the main window exists (shown or not)
//   wait-gone MS              the main window has gone
//   text NAME                 the control's text
//   wait-text NAME TEXT MS    the control's text contains TEXT
//   visible NAME              1 when the control and every parent are visible, else 0
//   wait-visible NAME MS      the control is visible
//   checked NAME              1 when the check box is ticked
//   set-check NAME 0|1        ticks or clears the check box
//   set-text NAME TEXT        replaces the text (the folder edit)
//   click NAME                presses the button
//   enter NAME                Enter pressed while the control has the focus
//   progress NAME             "position/maximum" of a progress bar
//   close                     the title bar's close box
//   box-text MS               the text of the message box that is open
//   box-answer BUTTON MS      presses Yes (6), No (7) or OK (1) of the open message box
//   no-box MS                 no message box opens within MS
//   retry-list MS             the lines of the retry dialog's list, joined by "|"
//   retry-answer retry|cancel|close|escape|enter|tab MS
//                             enter and tab are pressed on the control that has the focus
//   caption                   the main window's caption
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui/ControlIds.h"

namespace {

HWND g_main = nullptr;

HWND FindMain() { return FindWindowA(ids::MainWindowClass, nullptr); }

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindChildProc(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (GetDlgCtrlID(hwnd) == search->id) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Control(int id) {
    g_main = FindMain();
    if (g_main == nullptr) return nullptr;
    ChildSearch search{id, nullptr};
    EnumChildWindows(g_main, FindChildProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string TextOf(HWND hwnd) {
    char buffer[8192] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                        &result);
    return buffer;
}

// Line breaks shown as "\n" so that each result stays on one line.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool VisibleAll(HWND hwnd) { return hwnd != nullptr && IsWindowVisible(hwnd); }

struct BoxSearch {
    DWORD process;
    bool retry;  // the retry dialog (it holds the list 203) rather than a message box
    HWND found;
};

BOOL CALLBACK FindBoxProc(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if (search->process != 0 && process != search->process) return TRUE;
    const bool isRetry = GetDlgItem(hwnd, ids::LBRetry) != nullptr;
    if (isRetry != search->retry) return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND FindBox(bool retry) {
    HWND main = FindMain();
    DWORD process = 0;
    if (main != nullptr) GetWindowThreadProcessId(main, &process);
    BoxSearch search{process, retry, nullptr};
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Pred>
bool WaitFor(unsigned long ms, Pred pred) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (pred()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(50);
    }
}

int Number(const char* text) { return std::atoi(text); }

// The main window's controls by their names.
#define KLU_CONTROL(name) {#name, ids::name}
const struct {
    const char* name;
    int id;
} kControls[] = {
    KLU_CONTROL(PanelSetup), KLU_CONTROL(PanelSelectFolder), KLU_CONTROL(PanelFinish), KLU_CONTROL(PanelUninstall),
    KLU_CONTROL(LabelTop), KLU_CONTROL(LabelOverall), KLU_CONTROL(PBOverall), KLU_CONTROL(LabelPending),
    KLU_CONTROL(PBPending), KLU_CONTROL(VLTImageTopRight), KLU_CONTROL(BRSImageTopRight),
    KLU_CONTROL(SFLabelTop), KLU_CONTROL(SFLabelFolder), KLU_CONTROL(BChangeFolder), KLU_CONTROL(EFolder),
    KLU_CONTROL(BInstall), KLU_CONTROL(SFImageVLT), KLU_CONTROL(SFImageBRS),
    KLU_CONTROL(FBOk), KLU_CONTROL(FLabelTop), KLU_CONTROL(FLabelMessage), KLU_CONTROL(CBCreateDesktop),
    KLU_CONTROL(CBRestart), KLU_CONTROL(FVLTImageLeft), KLU_CONTROL(FBRSImageLeft),
    KLU_CONTROL(UninstallLabelTop), KLU_CONTROL(LabelUninstall), KLU_CONTROL(LabelUninstallAreYouSure),
    KLU_CONTROL(LabelUninstallFeedback), KLU_CONTROL(LabelUninstallClickhere), KLU_CONTROL(LabelUninstallContinue),
    KLU_CONTROL(BUninstall), KLU_CONTROL(BCancel), KLU_CONTROL(PUVLTImage), KLU_CONTROL(PUBRSImage),
};
#undef KLU_CONTROL

int ControlId(const char* name) {
    for (const auto& control : kControls) {
        if (std::strcmp(control.name, name) == 0) return control.id;
    }
    std::printf("unknown control %s\n", name);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    int i = 1;
    auto need = [&](int n) {
        if (i + n >= argc) {
            std::printf("usage: missing arguments after %s\n", argv[i]);
            std::exit(2);
        }
    };
    while (i < argc) {
        const std::string cmd = argv[i];
        bool ok = true;
        std::string result;
        if (cmd == "wait-window" || cmd == "wait-hidden-window" || cmd == "wait-gone") {
            need(1);
            const unsigned long ms = Number(argv[i + 1]);
            if (cmd == "wait-window") ok = WaitFor(ms, [] { return VisibleAll(FindMain()); });
            if (cmd == "wait-hidden-window") ok = WaitFor(ms, [] { return FindMain() != nullptr; });
            if (cmd == "wait-gone") ok = WaitFor(ms, [] { return FindMain() == nullptr; });
            result = ok ? "yes" : "timeout";
            i += 2;
        } else if (cmd == "text" || cmd == "visible" || cmd == "checked" || cmd == "progress") {
            need(1);
            HWND c = Control(ControlId(argv[i + 1]));
            ok = c != nullptr;
            if (!ok)
                result = "no such control";
            else if (cmd == "text")
                result = OneLine(TextOf(c));
            else if (cmd == "visible")
                result = VisibleAll(c) ? "1" : "0";
            else if (cmd == "checked")
                result = SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? "1" : "0";
            else
                result = std::to_string(SendMessageA(c, PBM_GETPOS, 0, 0)) + "/" +
                         std::to_string(SendMessageA(c, PBM_GETRANGE, FALSE, 0));
            i += 2;
        } else if (cmd == "wait-text") {
            need(3);
            const int id = ControlId(argv[i + 1]);
            const std::string wanted = argv[i + 2];
            ok = WaitFor(Number(argv[i + 3]), [&] {
                HWND c = Control(id);
                return c != nullptr && TextOf(c).find(wanted) != std::string::npos;
            });
            HWND c = Control(id);
            result = ok ? OneLine(TextOf(c)) : "timeout: " + (c ? OneLine(TextOf(c)) : std::string("no control"));
            i += 4;
        } else if (cmd == "wait-visible") {
            need(2);
            const int id = ControlId(argv[i + 1]);
            ok = WaitFor(Number(argv[i + 2]), [&] { return VisibleAll(Control(id)); });
            result = ok ? "yes" : "timeout";
            i += 3;
        } else if (cmd == "set-check" || cmd == "set-text") {
            need(2);
            HWND c = Control(ControlId(argv[i + 1]));
            ok = c != nullptr;
            if (ok && cmd == "set-check")
                SendMessageA(c, BM_SETCHECK, Number(argv[i + 2]) ? BST_CHECKED : BST_UNCHECKED, 0);
            if (ok && cmd == "set-text") SendMessageA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[i + 2]));
            result = ok ? "done" : "no such control";
            i += 3;
        } else if (cmd == "click" || cmd == "enter") {
            need(1);
            HWND c = Control(ControlId(argv[i + 1]));
            ok = c != nullptr;
            if (ok && cmd == "click") {
                char cls[32] = {};
                GetClassNameA(c, cls, sizeof cls);
                if (lstrcmpiA(cls, "Static") == 0) {
                    // A link label: a mouse click at its top-left corner.
                    PostMessageA(c, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
                    PostMessageA(c, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
                } else {
                    PostMessageA(c, BM_CLICK, 0, 0);
                }
            }
            if (ok && cmd == "enter") {
                // The focus is the window's own business: ask its thread to take it, then press.
                DWORD thread = GetWindowThreadProcessId(c, nullptr);
                AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
                SetFocus(c);
                AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
                PostMessageA(c, WM_KEYDOWN, VK_RETURN, 1);
                PostMessageA(c, WM_KEYUP, VK_RETURN, 0xC0000001);
            }
            result = ok ? "done" : "no such control";
            i += 2;
        } else if (cmd == "close") {
            HWND main = FindMain();
            ok = main != nullptr;
            if (ok) PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
            result = ok ? "done" : "no window";
            i += 1;
        } else if (cmd == "caption") {
            HWND main = FindMain();
            ok = main != nullptr;
            result = ok ? TextOf(main) : "no window";
            i += 1;
        } else if (cmd == "box-text" || cmd == "box-answer" || cmd == "no-box") {
            const bool answer = cmd == "box-answer";
            need(answer ? 2 : 1);
            const unsigned long ms = Number(argv[i + (answer ? 2 : 1)]);
            HWND box = nullptr;
            const bool found = WaitFor(ms, [&] { return (box = FindBox(false)) != nullptr; });
            if (cmd == "no-box") {
                ok = !found;
                result = found ? "box: " + OneLine(TextOf(GetDlgItem(box, 0xFFFF))) : "none";
            } else if (!found) {
                ok = false;
                result = "timeout";
            } else if (!answer) {
                result = OneLine(TextOf(GetDlgItem(box, 0xFFFF)));
            } else {
                const int button = Number(argv[i + 1]);
                HWND b = GetDlgItem(box, button);
                ok = b != nullptr;
                // The text first: the box goes once the button is pressed.
                result = ok ? OneLine(TextOf(GetDlgItem(box, 0xFFFF))) : "no such button";
                if (ok) PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(b));
                // Wait until it has gone, so that the next command does not find it again.
                WaitFor(5000, [&] { return !IsWindow(box) || !IsWindowVisible(box); });
            }
            i += answer ? 3 : 2;
        } else if (cmd == "retry-list" || cmd == "retry-answer") {
            const bool answer = cmd == "retry-answer";
            need(answer ? 2 : 1);
            const unsigned long ms = Number(argv[i + (answer ? 2 : 1)]);
            HWND dialog = nullptr;
            ok = WaitFor(ms, [&] { return (dialog = FindBox(true)) != nullptr; });
            if (!ok) {
                result = "timeout";
            } else if (!answer) {
                HWND list = GetDlgItem(dialog, ids::LBRetry);
                const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
                result = TextOf(dialog) + " [" + TextOf(GetDlgItem(dialog, ids::LRetryMessage)) + "] ";
                for (int n = 0; n < count; ++n) {
                    // Across processes the list hands its lines over in their wide form.
                    wchar_t wide[1024] = {};
                    if (SendMessageW(list, LB_GETTEXTLEN, n, 0) < 1024)
                        SendMessageW(list, LB_GETTEXT, n, reinterpret_cast<LPARAM>(wide));
                    char line[2048] = {};
                    WideCharToMultiByte(CP_ACP, 0, wide, -1, line, sizeof line, nullptr, nullptr);
                    result += (n ? "|" : "") + std::string(line);
                }
            } else {
                const std::string how = argv[i + 1];
                if (how == "retry") PostMessageA(GetDlgItem(dialog, ids::BRetry), BM_CLICK, 0, 0);
                if (how == "cancel") PostMessageA(GetDlgItem(dialog, ids::RetryBCancel), BM_CLICK, 0, 0);
                if (how == "close") PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                if (how == "escape") {
                    PostMessageA(GetDlgItem(dialog, ids::BRetry), WM_KEYDOWN, VK_ESCAPE, 1);
                    PostMessageA(GetDlgItem(dialog, ids::BRetry), WM_KEYUP, VK_ESCAPE, 0xC0000001);
                }
                result = how;
                if (how == "enter" || how == "tab") {
                    // The key goes where the dialog's thread has its focus; the result names the
                    // control that has the focus once the key is handled.
                    GUITHREADINFO info{};
                    info.cbSize = sizeof info;
                    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
                    ok = info.hwndFocus != nullptr;
                    const WPARAM key = how == "enter" ? VK_RETURN : VK_TAB;
                    if (ok) {
                        PostMessageA(info.hwndFocus, WM_KEYDOWN, key, 1);
                        PostMessageA(info.hwndFocus, WM_KEYUP, key, 0xC0000001);
                        Sleep(300);
                        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
                    }
                    result = how + " " + std::to_string(info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0);
                }
            }
            i += answer ? 3 : 2;
        } else {
            std::printf("unknown command %s\n", cmd.c_str());
            return 2;
        }
        std::printf("%s: %s\n", cmd.c_str(), result.c_str());
        std::fflush(stdout);
        if (!ok) return 1;
    }
    return 0;
}
