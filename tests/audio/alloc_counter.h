// Counts the C++ heap allocations (operator new) of the calling thread: the
// test binary that links alloc_counter.cpp replaces the global operator new.
#pragma once

#include <cstdint>

namespace hgtest {
std::uint64_t thread_allocations();
}
