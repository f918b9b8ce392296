// Replacement of the global operator new/delete that counts allocations per
// thread. libpulse allocates through malloc (its own buffers), so what this
// counts on the capture thread is what C++ code, the library's, allocates.
#include "alloc_counter.h"

#include <cstdlib>
#include <new>

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
thread_local std::uint64_t t_news = 0;
}

std::uint64_t hgtest::thread_allocations() { return t_news; }

void *operator new(std::size_t n) {
    ++t_news;
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
    ++t_news;
    return std::malloc(n ? n : 1);
}
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return operator new(n, std::nothrow); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
