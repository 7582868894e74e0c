// Replaces every form of the global operator new and delete of the executable that
// includes it (include it from exactly one source file) with malloc and free, counting
// in `allocations` the allocations made while `countAllocations` is set (from the
// start; tests switch it off and on around what they measure). Every form goes through
// the same pair, so memory from any form of new (the GL driver's nothrow ones too) meets
// the matching delete.
#pragma once
#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<bool> countAllocations{true};
inline std::atomic<long> allocations{0};

// GCC takes the replaced operators for a mismatched pair when it inlines them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    if (countAllocations) {
        ++allocations;
    }
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
