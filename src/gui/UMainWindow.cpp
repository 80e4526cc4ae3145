// The main window's controls (texts, fonts, brushes, visibility), keyboard handling and window
// procedures.
#include "gui/UMain.h"

#include <commctrl.h>

#include <exception>

#include "gui/ControlIds.h"
#include "gui/UMainMessages.h"

using namespace main_window;

namespace {
bool IsPushButton(HWND hwnd) {
    char className[16] = {};
    GetClassNameA(hwnd, className, sizeof className);
    if (lstrcmpiA(className, "Button") != 0) return false;
    const LONG type = GetWindowLongA(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}
}  // namespace

// ---- Controls ---------------------------------------------------------------------------------

HWND TFMain::Item(int id) const {
    const auto found = items_.find(id);
    return found == items_.end() ? nullptr : found->second;
}
void TFMain::SetText(int id, const std::string& text) {
    SetWindowTextA(Item(id), text.c_str());
    if (id == ids::LabelTop || id == ids::SFLabelTop || id == ids::FLabelTop || id == ids::UninstallLabelTop)
        FitHeading(Item(id), text);
}

// A heading keeps its 23-pixel font when its text fits on one line; a longer text gets the
// largest smaller size that fits, so that nothing is cut off.
void TFMain::FitHeading(HWND label, const std::string& text) {
    RECT place{};
    GetClientRect(label, &place);
    const scoped::WindowDC dc(label);
    HFONT chosen = nullptr;
    for (int height = 23; height >= 10 && chosen == nullptr; --height) {
        HFONT font = HeadingFont(Scale(height));
        const scoped::SelectedObject selected(dc.Get(), font);
        SIZE size{};
        GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
        if (size.cx <= place.right || height == 10) chosen = font;
    }
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
}

HFONT TFMain::HeadingFont(int pixels) {
    auto found = headingFonts_.find(pixels);
    if (found != headingFonts_.end()) return found->second.Get();
    HFONT font = CreateFontA(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    headingFonts_.emplace(pixels, scoped::GdiObject<HFONT>(font));
    return font;
}
void TFMain::ShowItem(int id, bool visible) { ShowWindow(Item(id), visible ? SW_SHOW : SW_HIDE); }
bool TFMain::Ticked(int id) const { return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool TFMain::PageVisible(int id) const { return (GetWindowLongA(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }

HBRUSH TFMain::BrushFor(COLORREF colour) {
    auto found = brushes_.find(colour);
    if (found != brushes_.end()) return found->second.Get();
    HBRUSH brush = CreateSolidBrush(colour);
    brushes_.emplace(colour, scoped::GdiObject<HBRUSH>(brush));
    return brush;
}

bool TFMain::PreTranslate(MSG& message) {
    if (hwnd_ == nullptr || destroyed_) return false;
    if (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd)) return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        // A focused push button is pressed itself; otherwise the visible page's default button.
        HWND focus = GetFocus();
        if (focus != nullptr && IsPushButton(focus)) {
            SendMessageA(focus, BM_CLICK, 0, 0);
            return true;
        }
        int button = 0;
        if (PageVisible(ids::PanelSelectFolder)) button = ids::BInstall;
        if (PageVisible(ids::PanelFinish)) button = ids::FBOk;
        if (PageVisible(ids::PanelUninstall)) button = ids::BCancel;
        if (button != 0) SendMessageA(Item(button), BM_CLICK, 0, 0);
        return true;
    }
    return IsDialogMessageA(hwnd_, &message) != FALSE;
}

// ---- Window procedures ------------------------------------------------------------------------

LRESULT CALLBACK TFMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TFMain*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TFMain*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    // No exception may cross the system's frames: the actions have their own guard, and whatever
    // else a message raises (painting, colours) is shown here.
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception& e) {
        self->ShowError(e.what());
    } catch (...) {
        self->ShowError(nullptr);
    }
    return 0;
}

LRESULT CALLBACK TFMain::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TFMain*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    try {
        return self->HandlePage(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        self->ShowError(e.what());
    } catch (...) {
        self->ShowError(nullptr);
    }
    return 0;
}

LRESULT TFMain::HandlePage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills every band
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        for (const Band& band : bands_[hwnd]) {
            RECT area = band.area;
            FillRect(dc, &area, BrushFor(band.colour));
            if (band.edge != 0) DrawEdge(dc, &area, EDGE_ETCHED, band.edge);
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == Item(ids::LabelUninstallClickhere)) {
            SetCursor(LoadCursor(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return SendMessageA(hwnd_, message, wParam, lParam);
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT TFMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kCallMessage: {
        // The bars first: what the worker changed before this call shows before it.
        Guard([this] { ShowProgress(); });
        const auto* call = reinterpret_cast<const std::function<void()>*>(lParam);
        Guard(*call);
        return 0;
    }
    case kProgressMessage:
        Guard([this] { ShowProgress(); });
        return 0;
    case kStartHiddenMessage:
        Guard([this] { StartHiddenRun(); });
        return 0;
    case kRunEndedMessage:
        // The thread is returning: once it has, the monitor's check closes the hidden window
        // now instead of at its next tick.
        Guard([this] {
            worker_->WaitFinished(kRunEndWaitMs);
            TimerMonitorThreadTimer();
        });
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const auto look = looks_.find(reinterpret_cast<HWND>(lParam));
        if (look == looks_.end()) break;
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, look->second.text);
        SetBkColor(dc, look->second.back);
        return reinterpret_cast<LRESULT>(BrushFor(look->second.back));
    }
    case WM_TIMER:
        if (wParam == kTimerMonitorThread) Guard([this] { TimerMonitorThreadTimer(); });
        if (wParam == kTimerCheckDownload) Guard([this] { TimerCheckDownloadTimer(); });
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd_, kTimerMonitorThread);
        KillTimer(hwnd_, kTimerCheckDownload);
        destroyed_ = true;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

void TFMain::OnCommand(int id, int code) {
    if (id == ids::LabelUninstallClickhere) {
        if (code == STN_CLICKED) Guard([this] { LabelUninstallClickhereClick(); });
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
    case ids::BChangeFolder: Guard([this] { BChangeFolderClick(); }); break;
    case ids::BInstall: Guard([this] { BInstallClick(); }); break;
    case ids::BUninstall: Guard([this] { BUninstallClick(); }); break;
    case ids::BCancel: Guard([this] { BCancelClick(); }); break;
    case ids::FBOk: Guard([this] { FBOkClick(); }); break;
    default: break;  // IDOK and IDCANCEL from the dialog manager are nobody's
    }
}

void TFMain::OnClose() {
    bool allowed = false;
    Guard([&] { allowed = FormCloseQuery(); });
    if (!allowed) return;
    // FormDestroy reads the check boxes after the window has gone.
    createDesktopTicked_ = Ticked(ids::CBCreateDesktop);
    restartTicked_ = Ticked(ids::CBRestart);
    DestroyWindow(hwnd_);
}
