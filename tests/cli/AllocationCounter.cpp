// Replaces the global operator new of the cli_levels_test program with one
// that counts, to show that the level meter allocates nothing per captured
// block. In a file of its own, so that the compiler does not see a
// replaced new and delete inlined into each other. Any thread.
#include <atomic>
#include <cstdlib>
#include <new>

std::atomic<long> gAllocations{0};

void *operator new(std::size_t n)
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
