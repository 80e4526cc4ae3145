#include "gui/URetry.h"

#include <windows.h>

#include <exception>

#include "RetryList.h"
#include "UFileXML.h"
#include "gui/ControlIds.h"

namespace {
constexpr INT_PTR kRetryResult = 1;
constexpr INT_PTR kCancelResult = 2;

struct DialogState {
    const TFileXML* language;
    const std::vector<std::string>* files;
    std::exception_ptr failure;  // what filling the dialog raised, raised again by ShowFiles
};

// Centred over the owner when it is visible, otherwise on the screen.
void CentreDialog(HWND dialog) {
    RECT own{}, area{};
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner != nullptr && IsWindowVisible(owner))
        GetWindowRect(owner, &area);
    else
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(dialog, &own);
    const int w = own.right - own.left, h = own.bottom - own.top;
    SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void FillDialog(HWND dialog, const DialogState& state) {
    const TFileXML& lang = *state.language;
    SetWindowTextA(dialog, lang.S_FRetryCaption.c_str());
    SetDlgItemTextA(dialog, ids::LRetryMessage, lang.S_FRetryLabel.c_str());
    SetDlgItemTextA(dialog, ids::BRetry, lang.S_BRetry.c_str());
    SetDlgItemTextA(dialog, ids::RetryBCancel, lang.S_BCancel.c_str());
    HWND list = GetDlgItem(dialog, ids::LBRetry);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& path : *state.files)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(retry::ListLine(path).c_str()));
    CentreDialog(dialog);
    // The first focus the dialog way, so that Retry also becomes the default button and Enter
    // presses it while it has the focus.
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, ids::BRetry)), TRUE);
}

INT_PTR CALLBACK RetryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        // No exception may cross the dialog manager: it ends the dialog and goes on in ShowFiles.
        DialogState& state = *reinterpret_cast<DialogState*>(lParam);
        try {
            FillDialog(dialog, state);
        } catch (...) {
            state.failure = std::current_exception();
            EndDialog(dialog, kCancelResult);
        }
        return FALSE;  // the focus is set
    }
    case DM_GETDEFID:
        // No default identifier: Enter presses only a button that has the focus, and on the list it
        // gives IDOK, which is ignored.
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_COMMAND:
        // IDOK and IDCANCEL (Enter on a control that is not a button, and Esc) are ignored: there is
        // no default identifier and no cancel button.
        if (LOWORD(wParam) == ids::BRetry) {
            EndDialog(dialog, kRetryResult);
            return TRUE;
        }
        if (LOWORD(wParam) == ids::RetryBCancel) {
            EndDialog(dialog, kCancelResult);
            return TRUE;
        }
        return TRUE;
    case WM_CLOSE:  // the close box and the system menu give the Cancel result
        EndDialog(dialog, kCancelResult);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

TFRetry::TFRetry(const TFileXML& language, void* owner) : language_(language), owner_(owner) {}

bool TFRetry::ShowFiles(const std::vector<std::string>& files) {
    DialogState state{&language_, &files, nullptr};
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "TFRETRY",
                                           static_cast<HWND>(owner_), RetryProc,
                                           reinterpret_cast<LPARAM>(&state));
    if (state.failure) std::rethrow_exception(state.failure);
    return result == kRetryResult;
}
