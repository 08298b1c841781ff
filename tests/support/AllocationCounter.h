#pragma once

#include <cstddef>

namespace bopwell::test
{

// Counts the heap allocations the calling thread makes while the counter lives. The test binary
// replaces the global operator new to feed it, so real-time paths can be shown to allocate nothing.
class AllocationCounter
{
public:
    AllocationCounter() noexcept;
    ~AllocationCounter();

    AllocationCounter (const AllocationCounter&) = delete;
    AllocationCounter& operator= (const AllocationCounter&) = delete;

    std::size_t allocations() const noexcept;

private:
    std::size_t startCount;
    bool wasCounting;
};

} // namespace bopwell::test
