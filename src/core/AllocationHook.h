// A test setting that makes memory run out on purpose, to show that no exception ends the process.
//
// The environment variable KLU_FAIL_ALLOCATION holds a comma-separated list of point names (the
// window's actions: "BInstallClick", "FormCloseQuery", "ShowFinish", ...). The first time the
// program passes a named point, the point raises std::bad_alloc, as a failed allocation there
// would; later passes go on normally, so that the program can be seen to carry on. Without the
// variable every point does nothing.
#pragma once

namespace hooks {

void AllocationPoint(const char* name);

}  // namespace hooks
