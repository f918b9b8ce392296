// Replaces the global operator new (all its forms) with one that counts per
// thread and takes its memory from malloc. Linked into test binaries only.
#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local std::uint64_t tAllocations = 0;

void *Allocate(std::size_t size)
{
    ++tAllocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void *AllocateAligned(std::size_t size, std::align_val_t align)
{
    ++tAllocations;
    const std::size_t a = static_cast<std::size_t>(align);
    if (void *p = std::aligned_alloc(a, (size + a - 1) / a * a))
        return p;
    throw std::bad_alloc();
}
} // namespace

std::uint64_t hg::test::ThreadAllocations() { return tAllocations; }

void *operator new(std::size_t size) { return Allocate(size); }
void *operator new[](std::size_t size) { return Allocate(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &t) noexcept { return operator new(size, t); }
void *operator new(std::size_t size, std::align_val_t a) { return AllocateAligned(size, a); }
void *operator new[](std::size_t size, std::align_val_t a) { return AllocateAligned(size, a); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
