// Counts the C++ heap allocations of the calling thread: a test binary that
// links AllocationCounter.cpp replaces the global operator new with one that
// counts. Test thread only.
#pragma once

#include <cstdint>

namespace hg::test {
std::uint64_t ThreadAllocations();
}
