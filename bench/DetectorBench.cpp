#include "PeerReport.h"

#include "engine/SensorMidiProcessor.h"
#include "sensor/platform/DeskModel.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <vector>

namespace
{
constexpr double sensorRateHz = 800.0;
constexpr std::uint64_t periodNs = 1'250'000;

// Ten seconds of desk with a tap every quarter second, Power on: the detector's busiest steady
// state, with hits firing, queued and, once the queue is full, dropped.
std::vector<SensorReader::Sample> busyDesk()
{
    bopwell::DeskModel desk;
    for (int i = 0; i < 40; ++i)
        desk.addTap ({ 0.1 + 0.25 * i });
    std::vector<SensorReader::Sample> samples;
    for (int i = 0; i < static_cast<int> (10 * sensorRateHz); ++i)
        samples.push_back (desk.nextSample());
    return samples;
}

void handleSensorSample (benchmark::State& state)
{
    const auto samples = busyDesk();
    bopwell::ManualEngineClock clock;
    SensorMidiProcessor processor (clock);
    processor.getSensorReader().replayAt (sensorRateHz);
    processor.handleSensorSample (samples.front());
    processor.setPower (true);

    size_t next = 0;
    for (auto _ : state)
    {
        clock.advanceNs (periodNs);
        processor.handleSensorSample (samples[next]);
        next = next + 1 == samples.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed (state.iterations());
}
BENCHMARK (handleSensorSample);
} // namespace

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    return bopwell::bench::runAndCompare (argc, argv, "detector", "handleSensorSample",
                                          { "sensor sample period at 800 Hz", {}, static_cast<double> (periodNs) }, "ns per sample");
}
