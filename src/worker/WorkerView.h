// What the worker shows, and asks, through the window.
//
// The worker never touches a window itself. The main window implements this interface (each call
// reaches the window's thread); tests implement it with a recording fake. Calls come from the
// worker thread. ShowFinish and AskRetry are synchronous hand-offs: they return only once the
// window's thread has run them.
#pragma once

#include <atomic>
#include <string>
#include <vector>

class TFileXML;

enum class ProgressBar { Overall, Pending };  // PBOverall, PBPending

class WorkerView {
public:
    virtual ~WorkerView() = default;
    virtual void SetProgress(ProgressBar bar, int position, int maximum) = 0;
    virtual void SetLabelPending(const std::string& text) = 0;
    virtual void SetLabelTop(const std::string& text) = 0;
    virtual void SetFinishLabelTop(const std::string& text) = 0;  // FLabelTop
    virtual void SetCreateDesktopVisible(bool visible) = 0;      // CBCreateDesktop
    virtual void SetRestartVisible(bool visible) = 0;            // CBRestart
    // The window's ShowFinish(message, kind): kind 2 is success, 0 a failure.
    virtual void ShowFinish(const std::string& message, int kind) = 0;
    // The retry dialog over the files that could not be placed: true for Retry.
    virtual bool AskRetry(const TFileXML& language, const std::vector<std::string>& files) = 0;
    // The thread's last act, once its run files are gone, whichever way the run ended.
    virtual void RunEnded() noexcept {}
};

// Progress values as the worker keeps them: the download watch reads these, not the control.
// A position is held between 0 and the maximum, as a progress bar holds it.
// Only the worker writes; the window's thread reads the position (single atomic words).
class ProgressModel {
public:
    explicit ProgressModel(int maximum = 100) : maximum_(maximum) {}
    int Position() const { return position_.load(); }
    int Maximum() const { return maximum_.load(); }
    void Set(int position, int maximum) {
        if (maximum < 0) maximum = 0;
        if (position > maximum) position = maximum;
        if (position < 0) position = 0;
        maximum_.store(maximum);
        position_.store(position);
    }

private:
    std::atomic<int> position_{0};
    std::atomic<int> maximum_;
};
