// TFMain: the main window. Four pages stacked in one fixed-size window (progress, folder, result,
// uninstall), of which at most one shows; the user's actions; the two timers that watch the worker;
// the close question; the finishing actions when the window has gone. It is also the worker's view:
// calls from the worker reach the window's thread through a synchronous hand-off (SendMessage of a
// private message carrying the call); progress values go through a mailbox that the window reads
// when a posted notice arrives and before each hand-off.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ProgressMailbox.h"
#include "UClasses.h"
#include "UFileXML.h"
#include "platform/win32/Scoped.h"
#include "worker/UThread.h"
#include "worker/WorkerView.h"

class TFMain : public WorkerView {
public:
    TFMain(HINSTANCE instance, const std::string& commandLine);
    ~TFMain() override;
    TFMain(const TFMain&) = delete;
    TFMain& operator=(const TFMain&) = delete;

    // Reads the settings and the language; needs no window. A hidden installation's worker starts
    // here, before the window and its controls exist: what it shows waits until they do.
    void PrepareRun();
    // Creates the window and runs FormCreate. False when the window could not be created.
    bool Create();
    // After a failed Create: a worker started early is stopped and its run files removed.
    void AbandonEarlyRun() noexcept;
    // The message loop's filter: Enter presses the visible page's default button, Tab moves
    // between controls. True when the message was handled.
    bool PreTranslate(MSG& message);
    // Runs once after the message loop has ended: the finishing actions or the restart.
    void FormDestroy();
    HWND Handle() const { return hwnd_; }

    // The actions.
    void BChangeFolderClick();
    void BInstallClick();
    void BUninstallClick();
    void BCancelClick();
    void FBOkClick();
    void LabelUninstallClickhereClick();
    bool BrowseURL(const std::string& url);
    void TimerMonitorThreadTimer();
    void TimerCheckDownloadTimer();
    bool FormCloseQuery();
    void CloseAfterRun();

    // The worker's view.
    void SetProgress(ProgressBar bar, int position, int maximum) override;
    void SetLabelPending(const std::string& text) override;
    void SetLabelTop(const std::string& text) override;
    void SetFinishLabelTop(const std::string& text) override;
    void SetCreateDesktopVisible(bool visible) override;
    void SetRestartVisible(bool visible) override;
    void RunEnded() noexcept override;
    void ShowFinish(const std::string& message, int kind) override;
    bool AskRetry(const TFileXML& language, const std::vector<std::string>& files) override;

private:
    // How a label or check box is coloured.
    struct Look {
        COLORREF text;
        COLORREF back;
    };
    // A filled band of a page, in layout pixels, with an etched line on one edge.
    struct Band {
        RECT area;
        COLORREF colour;
        UINT edge;  // 0, BF_TOP or BF_BOTTOM
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void OnClose();
    void FormCreate();
    void CreatePages();
    void StartHiddenRun();
    // The window's thread: the bars take the mailbox's latest values.
    void ShowProgress();
    // A hidden installation that can start at once: its folder made, its worker running.
    void StartHiddenInstallEarly();
    // Runs the call on the window's thread and returns when it has run; from the worker, once
    // the window's controls exist.
    void Invoke(const std::function<void()>& call);
    // A change the worker asks of a control: kept in its order until the controls exist, run at
    // once (Invoke) after.
    void Show(std::function<void()> call);
    // The window's thread, once its controls exist: the kept changes run, the worker's calls go
    // straight to the window from then on.
    void OpenView();
    // Runs a window action; an error it raises is shown in an error box and the program goes on.
    void Guard(const std::function<void()>& action) noexcept;
    // The error box of the window's actions (null: an error that carries no text); never raises.
    void ShowError(const char* text) noexcept;
    LRESULT HandlePage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    int Scale(int pixels) const { return MulDiv(pixels, dpi_, 120); }
    HWND MakePage(int id, std::vector<Band> bands);
    HWND Make(const char* className, const std::string& text, DWORD style, int x, int y, int w, int h, HWND parent,
              int id, HFONT font);
    HWND MakeLabel(const std::string& text, DWORD style, int x, int y, int w, int h, HWND page, int id, HFONT font,
                   Look look);
    HWND MakePicture(int bitmapId, int x, int y, int w, int h, HWND page, int id);
    HWND Item(int id) const;
    void SetText(int id, const std::string& text);
    void FitHeading(HWND label, const std::string& text);
    HFONT HeadingFont(int pixels);
    void ShowItem(int id, bool visible);
    bool Ticked(int id) const;
    bool PageVisible(int id) const;
    HBRUSH BrushFor(COLORREF colour);

    HINSTANCE instance_;
    std::string commandLine_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    bool CloseAllowed = false;
    bool createDesktopTicked_ = false;  // the check boxes as they were when the window closed
    bool restartTicked_ = false;
    bool destroyed_ = false;
    DWORD mainThreadId_ = 0;
    bool hidden_ = false;  // a /HIDE run: the window never shows
    bool runClosed_ = false;  // the monitor or the download watch has closed the run
    static constexpr unsigned long kRunEndWaitMs = 2000;
    bool startedEarly_ = false;  // a hidden installation whose worker started before the window
    std::string proposedFolder_;  // the folder page's first text

    // The view gate: the worker's changes kept until the controls exist.
    std::mutex viewGate_;
    std::condition_variable viewOpened_;
    bool viewOpen_ = false;
    std::vector<std::function<void()>> keptChanges_;

    // The bars' values from the worker, and what the bars were last given (the layout's ranges:
    // 0 to 5 overall, 0 to 100 pending).
    ProgressMailbox progress_{ProgressMailbox::Values{{0, 0}, {5, 100}}};
    ProgressMailbox::Values shownBars_{{0, 0}, {5, 100}};

    std::unique_ptr<TLiveUpdate> settings_;
    // The language table and the worker live until the process ends (released, never freed).
    TFileXML* language_ = nullptr;
    TThreadLiveUpdate* worker_ = nullptr;

    std::map<int, HWND> items_;
    std::map<HWND, Look> looks_;
    std::map<HWND, std::vector<Band>> bands_;
    std::map<COLORREF, scoped::GdiObject<HBRUSH>> brushes_;
    std::vector<scoped::GdiObject<HFONT>> fonts_;
    std::map<int, scoped::GdiObject<HFONT>> headingFonts_;  // by pixel height
    std::vector<scoped::GdiObject<HBITMAP>> bitmaps_;
};
