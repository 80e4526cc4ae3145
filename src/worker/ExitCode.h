// The program's exit code: one process-wide integer, the process's exit status at the end.
// 0 at start; the worker sets 1 when its body starts and 0 when a chain completes; the window sets
// 1 when the user aborts.
#pragma once

#include <atomic>

extern std::atomic<int> ExitCode;
