#include "engine/SensorWatch.h"

namespace bopwell
{

SensorWatchVerdict assessSensor (const SensorWatchInputs& in) noexcept
{
    constexpr std::uint64_t graceNs = 3'000'000'000;
    constexpr std::uint64_t staleNs = 500'000'000;
    constexpr double minimumRateHz = 50.0;

    const bool grace = in.watchStartNs == 0 || in.watchStartNs > in.nowNs || in.nowNs - in.watchStartNs <= graceNs;
    const bool neverDelivered = ! grace && in.lastSampleNs == 0;
    const bool tooSlow = ! grace && in.rateHz < minimumRateHz;
    const bool stale = in.lastSampleNs != 0 && in.lastSampleNs <= in.nowNs && in.nowNs - in.lastSampleNs > staleNs;

    SensorWatchVerdict verdict;
    verdict.stalled = in.running && ! in.failed && (neverDelivered || tooSlow || stale);
    verdict.ok = in.running && in.lastSampleNs != 0 && ! in.failed && in.rateHz >= minimumRateHz && ! verdict.stalled;
    return verdict;
}

} // namespace bopwell
