// Replaces every form of the global operator new and delete of the executable that
// includes it (include it from exactly one source file) with malloc and free, counting
// in `allocations` the allocations made while `countAllocations` is set (from the
// start; tests switch it off and on around what they measure). Every form goes through
// the same pair, so memory from any form of new (the GL driver's nothrow ones too) meets
// the matching delete.
//
// It also replaces malloc, calloc and realloc, counting in `heapCalls` every call made
// while `countAllocations` is set: operator new's own, and those of the C libraries (the
// decoder, the GL driver) that never pass through operator new. Builds with a sanitizer
// keep the sanitizer's malloc and count nothing there (countsHeapCalls is false).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

inline std::atomic<bool> countAllocations{true};
inline std::atomic<long> allocations{0};
inline std::atomic<long> heapCalls{0};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool countsHeapCalls = false;
#else
constexpr bool countsHeapCalls = true;

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* p, std::size_t size);

// glibc's own allocator underneath: its free releases what these return.
extern "C" void* malloc(std::size_t size) noexcept
{
    if (countAllocations.load(std::memory_order_relaxed)) {
        heapCalls.fetch_add(1, std::memory_order_relaxed);
    }
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) noexcept
{
    if (countAllocations.load(std::memory_order_relaxed)) {
        heapCalls.fetch_add(1, std::memory_order_relaxed);
    }
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, std::size_t size) noexcept
{
    if (countAllocations.load(std::memory_order_relaxed)) {
        heapCalls.fetch_add(1, std::memory_order_relaxed);
    }
    return __libc_realloc(p, size);
}
#endif

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
