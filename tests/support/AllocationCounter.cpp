#include "support/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace
{
thread_local bool counting = false;
thread_local std::size_t allocationCount = 0;

void* allocate (std::size_t size, std::size_t alignment = 0) noexcept
{
    if (counting)
        ++allocationCount;
    if (size == 0)
        size = 1;
    if (alignment > alignof (std::max_align_t))
        return std::aligned_alloc (alignment, (size + alignment - 1) / alignment * alignment);
    return std::malloc (size);
}

void* allocateOrThrow (std::size_t size, std::size_t alignment = 0)
{
    if (auto* p = allocate (size, alignment))
        return p;
    throw std::bad_alloc();
}
} // namespace

namespace bopwell::test
{

AllocationCounter::AllocationCounter() noexcept : startCount (allocationCount), wasCounting (counting) { counting = true; }

AllocationCounter::~AllocationCounter() { counting = wasCounting; }

std::size_t AllocationCounter::allocations() const noexcept { return allocationCount - startCount; }

} // namespace bopwell::test

void* operator new (std::size_t size) { return allocateOrThrow (size); }
void* operator new[] (std::size_t size) { return allocateOrThrow (size); }
void* operator new (std::size_t size, std::align_val_t a) { return allocateOrThrow (size, static_cast<std::size_t> (a)); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocateOrThrow (size, static_cast<std::size_t> (a)); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate (size, static_cast<std::size_t> (a));
}
void* operator new[] (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate (size, static_cast<std::size_t> (a));
}

void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete[] (void* p, const std::nothrow_t&) noexcept { std::free (p); }
