#pragma once

#include "sensor/SensorReader.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace bopwell
{

// A recorded or synthetic sensor stream: one row per accelerometer sample, with the sample's
// arrival time when the stream carries one.
struct SampleStream
{
    std::vector<SensorReader::Sample> samples;
    std::vector<double> arrivalMs; // empty, or one per sample, never decreasing

    bool hasArrivalTimes() const noexcept { return ! arrivalMs.empty(); }

    // Arrival of sample i after sample 0. Without arrival times the samples are evenly spaced at
    // the given rate.
    std::uint64_t arrivalOffsetNs (size_t index, double rateHz) const noexcept;
};

struct SampleStreamReadResult
{
    bool ok = false;
    std::string message; // a complete sentence when !ok
    SampleStream stream;
};

// Reads the CSV form: '#' lines are comments, the first other line names the columns; ax, ay, az
// (g) are required, gx, gy, gz (degrees per second) and t_ms are optional, other columns ignored.
SampleStreamReadResult readSampleStream (std::istream& in);
SampleStreamReadResult readSampleStreamFile (const std::string& path);

// Writes t_ms, ax, ay, az with enough digits to read back the same doubles.
void writeSampleStream (std::ostream& out, const SampleStream& stream);

} // namespace bopwell
