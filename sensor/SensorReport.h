#pragma once

#include "sensor/SensorReader.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace bopwell
{

inline constexpr std::size_t sensorReportLength = 22;

// The three axes of one report, in g (accelerometer) or degrees per second (gyroscope). Reports of
// any other length than 22 bytes are not ours to read.
std::optional<std::array<double, 3>> decodeSensorReport (const std::uint8_t* bytes, std::size_t length) noexcept;

// Turns the two devices' reports into samples: one per accelerometer report, carrying the latest
// gyroscope values and whether they are new since the previous sample. Lives on the sensor thread.
class SampleAssembler
{
public:
    template <typename Deliver>
    void accelerometerReport (const std::array<double, 3>& accel, Deliver&& deliver) noexcept
    {
        accelReportCount.fetch_add (1, std::memory_order_relaxed);
        SensorReader::Sample sample {
            accel[0], accel[1], accel[2], gyroValues[0], gyroValues[1], gyroValues[2], gyroReportCount != gyroCountAtLastSample
        };
        gyroCountAtLastSample = gyroReportCount;
        deliver (sample);
    }

    void gyroscopeReport (const std::array<double, 3>& gyro) noexcept
    {
        gyroValues = gyro;
        ++gyroReportCount;
    }

    std::uint64_t accelerometerReports() const noexcept { return accelReportCount.load (std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> accelReportCount { 0 };
    std::array<double, 3> gyroValues {};
    std::uint64_t gyroReportCount = 0;
    std::uint64_t gyroCountAtLastSample = 0;
};

// Measures the accelerometer's report rate over windows of at least half a second.
class SensorRateEstimator
{
public:
    static constexpr std::uint64_t minimumWindowNs = 500'000'000;

    void start (std::uint64_t nowNs, std::uint64_t count) noexcept
    {
        windowStartNs = nowNs;
        windowStartCount = count;
    }

    // The new rate when a window closed, else nothing.
    std::optional<double> update (std::uint64_t nowNs, std::uint64_t count) noexcept;

private:
    std::uint64_t windowStartNs = 0;
    std::uint64_t windowStartCount = 0;
};

} // namespace bopwell
