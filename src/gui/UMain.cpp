#include "gui/UMain.h"

#include <commctrl.h>

#include <exception>

#include "AllocationHook.h"

#include "InstallLayout.h"
#include "WindowRules.h"
#include "gui/ControlIds.h"
#include "gui/UMainMessages.h"
#include "gui/URetry.h"
#include "platform/Gui.h"
#include "platform/Platform.h"
#include "worker/ExitCode.h"

using namespace main_window;

void FitUninstallButtons(HWND uninstallButton, HWND cancelButton, HFONT font, int scaledRight, int scaledGap,
                         int scaledMinimum);

namespace {
constexpr UINT kMonitorInterval = 50;
constexpr UINT kDownloadWatchInterval = 60000;
constexpr int kSuccessKind = 2;
constexpr unsigned long kPreparationWaitMs = 1000;
}  // namespace

TFMain::TFMain(HINSTANCE instance, const std::string& commandLine)
    : instance_(instance), commandLine_(commandLine), mainThreadId_(GetCurrentThreadId()) {}

TFMain::~TFMain() = default;  // the fonts, pictures and brushes go with their holders

bool TFMain::Create() {
    WNDCLASSA cls{};
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = instance_;
    cls.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(ids::MainIcon));
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = ids::MainWindowClass;
    RegisterClassA(&cls);

    dpi_ = GetDeviceCaps(scoped::WindowDC(nullptr).Get(), LOGPIXELSY);
    if (dpi_ <= 0) dpi_ = 96;

    // Single fixed border, system menu and minimize box; created hidden, FormCreate decides.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, Scale(554), Scale(338)};
    AdjustWindowRect(&frame, style, FALSE);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, ids::MainWindowClass, "", style,
                            work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2,
                            w, h, nullptr, nullptr, instance_, this);
    if (hwnd_ == nullptr) return false;
    CreatePages();
    FormCreate();
    OpenView();
    return true;
}

void TFMain::PrepareRun() {
    CloseAllowed = false;
    settings_ = std::make_unique<TLiveUpdate>(commandLine_);
    language_ = new TFileXML();
    settings_->LanguageTable = language_;
    proposedFolder_ = window_rules::ProposedInstallFolder(platform::WindowsDirectory(), DefaultInstallSubfolder);
    settings_->SetApplicationKeys(ApplicationKey);
    settings_->DownloadUrl = DefaultDownloadUrl;
    // "/URL address" replaces the package address for this run (mirrors and tests).
    const std::string url = settings_->GetSwitchValue("/URL");
    if (!url.empty()) settings_->DownloadUrl = url;
    // The uninstall command registered by the install: "/language NAME /uninstall KEYS". Only the
    // uninstall takes the language; an install shows English.
    const std::string uninstallKeys = settings_->GetSwitchValue("/uninstall");
    if (!uninstallKeys.empty()) {
        settings_->UninstallFlag = true;
        settings_->SetApplicationKeys(uninstallKeys);
    }
    language_->SetLanguage(window_rules::RunLanguageName(settings_->GetSwitchValue("/language"),
                                                         settings_->UninstallFlag, DefaultLanguageName));
    language_->LoadLanguage(settings_->UninstallFlag ? "LU_XMLFILE" : "QVI_XMLFile", platform::LoadProgramResource);
    settings_->InstallFolder = window_rules::WithoutTrailingBackslashes(proposedFolder_);
    hidden_ = settings_->IsSwitch("/HIDE");
    if (hidden_ && !settings_->UninstallFlag) StartHiddenInstallEarly();
}

void TFMain::StartHiddenInstallEarly() {
    // As the install button would with the proposed folder; a folder that cannot be made is left
    // to the usual start, which reports it.
    const std::string& folder = settings_->InstallFolder;
    try {
        if (folder.empty()) return;
        platform::ForceDirectories(folder);
        if (!platform::DirectoryExists(folder)) return;
    } catch (const std::exception&) {
        return;
    }
    worker_ = new TThreadLiveUpdate(*settings_, *this);
    worker_->Resume();
    startedEarly_ = true;
    // The window's libraries load once the download and the unpacking behind it are under way:
    // loading them meanwhile would hold the worker's own loads and its first name lookup (both
    // queue for the loader) while nothing needs the window yet. A slow server is not waited for.
    worker_->WaitPrepared(kPreparationWaitMs);
}

void TFMain::AbandonEarlyRun() noexcept {
    if (!startedEarly_ || worker_ == nullptr) return;
    // No window will show what the worker reports: its run ends here, its files go.
    worker_->Suspend();
    worker_->RemoveRunFiles();
    ExitCode = 1;
}

void TFMain::FormCreate() {
    ShowItem(ids::PanelSelectFolder, true);
    ShowItem(ids::PanelSetup, false);
    SetText(ids::EFolder, proposedFolder_);
    const TFileXML& lang = *language_;

    SetText(ids::CBCreateDesktop, lang.S_LabelCreateDesktopIcon);
    SetText(ids::SFLabelTop, lang.S_LabelTopFolder);
    SetText(ids::SFLabelFolder, lang.S_LabelFolder);
    SetText(ids::BChangeFolder, lang.S_BChangeFolder);
    SetText(ids::BInstall, lang.S_BInstall);
    SetWindowTextA(hwnd_, lang.S_FormCaption.c_str());
    platform::SetApplicationTitle(lang.S_FormCaption);
    SetText(ids::LabelOverall, lang.S_ProgressBarCaption);
    SetText(ids::LabelTop, lang.S_LabelTopProgress);
    SetText(ids::LabelPending, "");
    const bool french = lang.LanguageName == "FRENCH";
    for (int id : {ids::BRSImageTopRight, ids::FBRSImageLeft, ids::SFImageBRS, ids::PUBRSImage}) ShowItem(id, french);
    for (int id : {ids::VLTImageTopRight, ids::FVLTImageLeft, ids::SFImageVLT, ids::PUVLTImage})
        ShowItem(id, !french);

    if (settings_->UninstallFlag) {
        // The uninstall page replaces the folder page.
        SetText(ids::UninstallLabelTop, lang.S_UninstallLabelTopPluv);
        SetText(ids::LabelUninstall, lang.S_LabelUninstall);
        SetText(ids::LabelUninstallAreYouSure, lang.S_LabelUninstallYouSure);
        SetText(ids::LabelUninstallFeedback, lang.S_LabelUninstallFeedback);
        SetText(ids::LabelUninstallClickhere, lang.S_LabelUninstallClickHere);
        SetText(ids::LabelUninstallContinue, lang.S_LabelUninstallContinue);
        SetText(ids::BUninstall, lang.S_BUninstallPluv);
        SetText(ids::BCancel, lang.S_BCancelPLUV);
        SetText(ids::CBRestart, lang.S_CBRestart);
        FitUninstallButtons(Item(ids::BUninstall), Item(ids::BCancel), fonts_[0].Get(), Scale(447 + 92), Scale(21),
                            Scale(92));
        ShowItem(ids::PanelSelectFolder, false);
        ShowItem(ids::PanelUninstall, true);
    }

    if (!hidden_) {
        ShowWindow(hwnd_, SW_SHOW);
        UpdateWindow(hwnd_);
        SetFocus(Item(settings_->UninstallFlag ? ids::BCancel : ids::EFolder));
    }
    if (startedEarly_) {
        // The run is under way: the progress page, as the install button leaves it.
        ShowItem(ids::PanelSetup, true);
        ShowItem(ids::PanelSelectFolder, false);
    } else {
        worker_ = new TThreadLiveUpdate(*settings_, *this);
    }

    SetTimer(hwnd_, kTimerMonitorThread, kMonitorInterval, nullptr);
    SetTimer(hwnd_, kTimerCheckDownload, kDownloadWatchInterval, nullptr);
    // A hidden start installs at once into the proposed folder (or uninstalls at once).
    if (hidden_ && !startedEarly_) PostMessageA(hwnd_, kStartHiddenMessage, 0, 0);
}

void TFMain::StartHiddenRun() {
    if (settings_->UninstallFlag) {
        BUninstallClick();
        return;
    }
    BInstallClick();
    if (PageVisible(ids::PanelSelectFolder)) {
        // The folder could not be created and nobody can choose another one: the run has failed.
        ExitCode = 1;
        CloseAllowed = true;
        PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    }
}

// ---- The actions ------------------------------------------------------------------------------

void TFMain::BChangeFolderClick() {
    hooks::AllocationPoint("BChangeFolderClick");
    std::string folder;
    if (platform::BrowseForFolder(hwnd_, "Select Directory", folder)) SetText(ids::EFolder, folder);
}

void TFMain::BInstallClick() {
    hooks::AllocationPoint("BInstallClick");
    char text[1024] = {};
    GetWindowTextA(Item(ids::EFolder), text, sizeof text);
    settings_->InstallFolder = window_rules::WithoutTrailingBackslashes(text);
    // An empty text (or one of backslashes only) names no folder: it cannot be created.
    const std::string& folder = settings_->InstallFolder;
    if (!folder.empty()) platform::ForceDirectories(folder);
    if (folder.empty() || !platform::DirectoryExists(folder)) {
        platform::ShowMessageBox(hwnd_, language_->S_UnableCreateFolder, platform::BoxKind::Warning);
        return;
    }
    ShowItem(ids::PanelSetup, true);
    ShowItem(ids::PanelSelectFolder, false);
    worker_->Resume();
}

void TFMain::BUninstallClick() {
    hooks::AllocationPoint("BUninstallClick");
    ShowItem(ids::PanelSetup, true);
    ShowItem(ids::PanelUninstall, false);
    worker_->Resume();
}

void TFMain::BCancelClick() { PostMessageA(hwnd_, WM_CLOSE, 0, 0); }

void TFMain::FBOkClick() {
    hooks::AllocationPoint("FBOkClick");
    CloseAllowed = true;
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TFMain::LabelUninstallClickhereClick() {
    hooks::AllocationPoint("LabelUninstallClickhereClick");
    const std::string home = window_rules::BrandHomePage(language_->LanguageName);
    std::string target = home;
    try {
        platform::RegKey key;
        if (!key.Open(rootkey::CurrentUser, layout::RemoveRootKey(ApplicationKey), true)) return;
        std::string feedback;
        if (key.TryReadString(layout::kFeedbackValue, feedback)) target = feedback;
    } catch (const std::exception&) {
        target = home;
    }
    BrowseURL(target);
}

bool TFMain::BrowseURL(const std::string& url) {
    const std::string program = window_rules::BrowserProgram(platform::BrowserCommandTemplate());
    if (program.empty()) return false;
    platform::ShellOpen(program, url);
    return true;
}

void TFMain::TimerMonitorThreadTimer() {
    if (runClosed_) return;
    if (IsWindowVisible(hwnd_)) return;  // a visible window waits for the user
    if (!worker_->Finished()) return;
    KillTimer(hwnd_, kTimerMonitorThread);
    runClosed_ = true;
    CloseAfterRun();
}

void TFMain::TimerCheckDownloadTimer() {
    if (worker_->DownloadWatchDelta() != 0) return;
    hooks::AllocationPoint("TimerCheckDownloadTimer");
    // The download has not advanced for a whole watch period.
    KillTimer(hwnd_, kTimerMonitorThread);
    // The watch has done its work: a second tick would suspend and report the same stall again.
    KillTimer(hwnd_, kTimerCheckDownload);
    runClosed_ = true;
    worker_->Suspend();
    ShowFinish(language_->S_DownloadError, 0);
    if (!IsWindowVisible(hwnd_)) CloseAfterRun();
}

bool TFMain::FormCloseQuery() {
    if (CloseAllowed) return true;
    // Once the result page shows the chain's outcome, the worker only removes its run files: the
    // close box then ends like OK, without asking whether to abort what has already ended.
    if (worker_->Finished() || worker_->ResultReported()) return true;
    hooks::AllocationPoint("FormCloseQuery");
    worker_->Suspend();
    if (platform::AskYesNo(hwnd_, language_->S_CloseApp)) {
        ExitCode = 1;
        return true;  // the worker stays suspended until the process ends
    }
    worker_->Resume();
    return false;
}

void TFMain::CloseAfterRun() {
    hooks::AllocationPoint("CloseAfterRun");
    if (ExitCode != 0) {
        char text[4096] = {};
        GetWindowTextA(Item(ids::FLabelMessage), text, sizeof text);
        platform::ShowMessageBox(hwnd_, text, platform::BoxKind::Warning);
    }
    CloseAllowed = true;
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TFMain::FormDestroy() {
    // A worker that has shown its result is let end by itself; its exit code is then final.
    if (worker_ != nullptr && worker_->ResultReported()) worker_->WaitFinished(10000);
    if (ExitCode != 0 && worker_ != nullptr && !worker_->Finished()) {
        // A run that has not ended (suspended by the close question or the download watch) would
        // leave its package and work folder behind: they go now, or when the process ends.
        worker_->Suspend();
        worker_->RemoveRunFiles();
    }
    if (ExitCode == 0 && worker_ != nullptr) {
        // The chain has completed; let the worker's own clean-up end before its settings go.
        worker_->WaitFinished(10000);
        if (settings_->UninstallFlag) {
            if (restartTicked_) platform::RequestRestart();  // a failure is not reported
        } else {
            Guard([this] {
                hooks::AllocationPoint("FormDestroy");
                worker_->CreateShortcuts(createDesktopTicked_);
                worker_->StartApplication();
            });
        }
    }
    // A worker that has not ended (suspended by the close question or the download watch) still
    // refers to the settings: they then stay until the process ends.
    if (worker_ == nullptr || worker_->Finished())
        settings_.reset();
    else
        settings_.release();
}

// ---- The worker's view ------------------------------------------------------------------------

void TFMain::SetProgress(ProgressBar bar, int position, int maximum) {
    // No round trip per change: the values wait in the mailbox, and one posted notice at a time
    // has the window read the latest. A hidden window shows nothing, so it is told nothing; the
    // next hand-off brings its bars up to date all the same.
    const bool notice = progress_.Put(bar == ProgressBar::Overall ? 0 : 1, position, maximum);
    if (GetCurrentThreadId() == mainThreadId_) {
        ShowProgress();
    } else if (notice && !hidden_) {
        PostMessageA(hwnd_, kProgressMessage, 0, 0);
    }
}

void TFMain::ShowProgress() {
    const ProgressMailbox::Values latest = progress_.Take();
    const int controls[ProgressMailbox::kBars] = {ids::PBOverall, ids::PBPending};
    for (int bar = 0; bar < ProgressMailbox::kBars; ++bar) {
        const bool newRange = latest.maximum[bar] != shownBars_.maximum[bar];
        if (!newRange && latest.position[bar] == shownBars_.position[bar]) continue;
        HWND item = Item(controls[bar]);
        if (newRange) SendMessageA(item, PBM_SETRANGE32, 0, latest.maximum[bar]);
        SendMessageA(item, PBM_SETPOS, latest.position[bar], 0);
        shownBars_.maximum[bar] = latest.maximum[bar];
        shownBars_.position[bar] = latest.position[bar];
    }
}

void TFMain::SetLabelPending(const std::string& text) {
    Show([this, text] { SetText(ids::LabelPending, text); });
}
void TFMain::SetLabelTop(const std::string& text) {
    Show([this, text] { SetText(ids::LabelTop, text); });
}
void TFMain::SetFinishLabelTop(const std::string& text) {
    Show([this, text] { SetText(ids::FLabelTop, text); });
}
void TFMain::SetCreateDesktopVisible(bool visible) {
    Show([this, visible] { ShowItem(ids::CBCreateDesktop, visible); });
}
void TFMain::SetRestartVisible(bool visible) {
    Show([this, visible] { ShowItem(ids::CBRestart, visible); });
}

void TFMain::ShowFinish(const std::string& message, int kind) {
    Invoke([&] {
        hooks::AllocationPoint("ShowFinish");
        SetText(ids::FLabelMessage, message);
        if (!settings_->UninstallFlag)
            SetText(ids::FLabelTop, kind == kSuccessKind ? language_->S_Complete : language_->S_Fail);
        ShowItem(ids::PanelFinish, true);
        ShowItem(ids::PanelSetup, false);
        if (IsWindowVisible(hwnd_)) SetFocus(Item(ids::FBOk));
    });
}

bool TFMain::AskRetry(const TFileXML& language, const std::vector<std::string>& files) {
    bool answer = false;
    Invoke([&] {
        hooks::AllocationPoint("AskRetry");
        TFRetry dialog(language, hwnd_);
        answer = dialog.ShowFiles(files);
    });
    return answer;
}

void TFMain::Invoke(const std::function<void()>& call) {
    if (GetCurrentThreadId() == mainThreadId_) {
        ShowProgress();
        call();
        return;
    }
    {
        std::unique_lock<std::mutex> lock(viewGate_);
        viewOpened_.wait(lock, [this] { return viewOpen_; });
    }
    // A window that has gone runs nothing: the message then returns at once. What the call
    // raises on the window's thread is raised again here, on the worker's, whose frame reports it.
    std::exception_ptr failure;
    const std::function<void()> guarded = [&] {
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    SendMessageA(hwnd_, kCallMessage, 0, reinterpret_cast<LPARAM>(&guarded));
    if (failure) std::rethrow_exception(failure);
}

void TFMain::Show(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> lock(viewGate_);
        if (!viewOpen_) {
            keptChanges_.push_back(std::move(call));
            return;
        }
    }
    Invoke(call);
}

void TFMain::RunEnded() noexcept {
    // A hidden window closes as soon as the worker has ended, not at the monitor's next tick.
    std::lock_guard<std::mutex> lock(viewGate_);
    if (viewOpen_ && hidden_) PostMessageA(hwnd_, kRunEndedMessage, 0, 0);
}

void TFMain::OpenView() {
    std::lock_guard<std::mutex> lock(viewGate_);
    // The bars first, as for every hand-off: what the worker changed before a call shows before it.
    Guard([this] { ShowProgress(); });
    for (const std::function<void()>& change : keptChanges_) Guard(change);
    keptChanges_.clear();
    viewOpen_ = true;
    viewOpened_.notify_all();
}

void TFMain::Guard(const std::function<void()>& action) noexcept {
    try {
        action();
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError(nullptr);
    }
}

void TFMain::ShowError(const char* text) noexcept {
    HWND owner = destroyed_ ? nullptr : hwnd_;
    if (text == nullptr) text = language_ != nullptr ? language_->S_UnknownError.c_str() : "";
    try {
        platform::ShowMessageBox(owner, text, platform::BoxKind::Error);
    } catch (...) {
        // No memory for the application's box: the system's own, with the same text.
        MessageBoxA(owner, text, nullptr, MB_OK | MB_ICONERROR);
    }
}

