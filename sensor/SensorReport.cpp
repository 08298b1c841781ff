#include "sensor/SensorReport.h"

namespace bopwell
{

namespace
{
    double fixedPoint (const std::uint8_t* bytes) noexcept
    {
        const auto raw = static_cast<std::uint32_t> (bytes[0]) | (static_cast<std::uint32_t> (bytes[1]) << 8)
                         | (static_cast<std::uint32_t> (bytes[2]) << 16) | (static_cast<std::uint32_t> (bytes[3]) << 24);
        return static_cast<double> (static_cast<std::int32_t> (raw)) * 0.0000152587890625;
    }
} // namespace

std::optional<std::array<double, 3>> decodeSensorReport (const std::uint8_t* bytes, std::size_t length) noexcept
{
    if (bytes == nullptr || length != sensorReportLength)
        return std::nullopt;
    return std::array<double, 3> { fixedPoint (bytes + 6), fixedPoint (bytes + 10), fixedPoint (bytes + 14) };
}

std::optional<double> SensorRateEstimator::update (std::uint64_t nowNs, std::uint64_t count) noexcept
{
    if (nowNs < windowStartNs || nowNs - windowStartNs < minimumWindowNs)
        return std::nullopt;
    const double seconds = static_cast<double> (nowNs - windowStartNs) / 1e9;
    const double rate = static_cast<double> (count - windowStartCount) / seconds;
    start (nowNs, count);
    return rate;
}

} // namespace bopwell
