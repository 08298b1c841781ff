#pragma once

#include "engine/EngineClock.h"
#include "engine/SensorMidiProcessor.h"
#include "sensor/SampleStreamCsv.h"

namespace bopwell::cli
{

// Feeds a stream to a processor row by row, setting the manual engine clock to each row's
// arrival first, as the sensor thread would deliver it live.
class StreamReplay
{
public:
    // Any non-zero instant will do; the engine reserves 0 for "no time yet".
    static constexpr std::uint64_t originNs = 1'000'000'000;

    StreamReplay (const SampleStream& streamToPlay, double rateWithoutTimes, ManualEngineClock& engineClock) noexcept :
        stream (streamToPlay), rateHz (rateWithoutTimes), clock (engineClock)
    {
    }

    size_t rowCount() const noexcept { return stream.samples.size(); }
    std::uint64_t arrivalNs (size_t row) const noexcept { return originNs + stream.arrivalOffsetNs (row, rateHz); }

    void feed (size_t row, SensorMidiProcessor& processor) const noexcept
    {
        clock.setNs (arrivalNs (row));
        processor.handleSensorSample (stream.samples[row]);
    }

private:
    const SampleStream& stream;
    double rateHz;
    ManualEngineClock& clock;
};

// A processor driven by a stream on the manual clock, the replayed stream standing in for its
// sensor: how the offline commands run the engine.
struct ReplayedEngine
{
    ReplayedEngine (const SampleStream& stream, double rateHz) : replay (stream, rateHz, clock)
    {
        processor.getSensorReader().replayAt (rateHz);
    }

    void feed (size_t row) { replay.feed (row, processor); }

    ManualEngineClock clock { StreamReplay::originNs };
    SensorMidiProcessor processor { clock };
    StreamReplay replay;
};

} // namespace bopwell::cli
