#include "engine/EngineClock.h"

#include <chrono>

namespace bopwell
{

std::uint64_t SteadyEngineClock::nowNs() const noexcept
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now().time_since_epoch()).count();
    return ns > 0 ? static_cast<std::uint64_t> (ns) : 1u;
}

EngineClock& EngineClock::steady() noexcept
{
    static SteadyEngineClock clock;
    return clock;
}

} // namespace bopwell
