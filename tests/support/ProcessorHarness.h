#pragma once

#include "engine/EngineClock.h"
#include "engine/SensorMidiProcessor.h"
#include "sensor/platform/DeskModel.h"

#include <vector>

namespace bopwell::test
{

// A processor on a manual clock, fed as the sensor thread would feed it, that remembers every hit
// that fires.
class ProcessorHarness : private HitObserver
{
public:
    explicit ProcessorHarness (double reportedRateHz = HitDetector::nominalRateHz, double streamRateHz = 800.0) :
        periodNs (static_cast<std::uint64_t> (1e9 / streamRateHz))
    {
        processor.getSensorReader().replayAt (reportedRateHz);
        processor.setHitObserver (this);
    }

    ~ProcessorHarness() override { processor.setHitObserver (nullptr); }

    void feed (const SensorReader::Sample& sample, std::uint64_t gapNs)
    {
        clock.advanceNs (gapNs);
        processor.handleSensorSample (sample);
    }

    void feed (DeskModel& desk, int samples)
    {
        for (int i = 0; i < samples; ++i)
            feed (desk.nextSample(), periodNs);
    }

    // Power needs a sensor that has delivered at least one sample at a usable rate.
    bool powerOn (DeskModel& desk)
    {
        feed (desk, 1);
        return processor.setPower (true);
    }

    ManualEngineClock clock;
    SensorMidiProcessor processor { clock };
    std::vector<FiredHit> fired;
    const std::uint64_t periodNs;

private:
    void hitFired (const FiredHit& hit) noexcept override { fired.push_back (hit); }
};

} // namespace bopwell::test
