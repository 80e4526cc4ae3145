// The test program's allocator (OutOfMemory_test.cpp): a size limit for the calling thread, above
// which every allocation fails with std::bad_alloc, as in a process whose memory is nearly gone.
#pragma once

#include <cstddef>

void LimitAllocationSize(std::size_t bytes);
void LiftAllocationLimit();
