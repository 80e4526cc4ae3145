// The main window's private messages and timers, shared by its source files.
#pragma once

#include <windows.h>

namespace main_window {
constexpr UINT kCallMessage = WM_APP + 1;         // lParam: the std::function to run
constexpr UINT kStartHiddenMessage = WM_APP + 2;  // the hidden run begins
constexpr UINT kProgressMessage = WM_APP + 3;     // the progress mailbox holds new values
constexpr UINT kRunEndedMessage = WM_APP + 4;     // the worker's last act (a hidden window only)
constexpr UINT_PTR kTimerMonitorThread = 1;
constexpr UINT_PTR kTimerCheckDownload = 2;
}  // namespace main_window
