#pragma once

#include <atomic>
#include <cstdint>

namespace bopwell
{

// Every engine timestamp comes from one clock, so that tests and the command-line tools can
// drive cooldowns, stalls and onset placement with exact, repeatable times.
class EngineClock
{
public:
    virtual ~EngineClock() = default;

    // Steady-clock nanoseconds. Never 0: the engine uses 0 to mean "no time yet".
    virtual std::uint64_t nowNs() const noexcept = 0;

    static EngineClock& steady() noexcept;
};

class SteadyEngineClock final : public EngineClock
{
public:
    std::uint64_t nowNs() const noexcept override;
};

// A clock that moves only when told to; safe to read from any thread while one thread sets it.
class ManualEngineClock final : public EngineClock
{
public:
    explicit ManualEngineClock (std::uint64_t startNs = 1'000'000'000) noexcept : now (startNs) {}

    std::uint64_t nowNs() const noexcept override { return now.load (std::memory_order_acquire); }
    void setNs (std::uint64_t ns) noexcept { now.store (ns, std::memory_order_release); }
    void advanceNs (std::uint64_t ns) noexcept { now.fetch_add (ns, std::memory_order_acq_rel); }

private:
    std::atomic<std::uint64_t> now;
};

} // namespace bopwell
