#pragma once

#include <cstdint>

namespace bopwell
{

struct SensorWatchInputs
{
    std::uint64_t nowNs = 0;
    std::uint64_t lastSampleNs = 0; // 0: no sample yet
    std::uint64_t watchStartNs = 0; // the sensor's (re)start
    bool running = false;
    bool failed = false;
    double rateHz = 0.0;
};

struct SensorWatchVerdict
{
    bool stalled = false; // running, but no usable samples arrive
    bool ok = false;      // streaming at 50 Hz or more and not stalled
};

// A sensor gets three seconds after a (re)start to deliver and settle its rate; a sample older
// than half a second means it stalled, grace or not.
SensorWatchVerdict assessSensor (const SensorWatchInputs& in) noexcept;

} // namespace bopwell
