#include "sensor/SensorReader.h"
#include "sensor/platform/SimulatedSensorHub.h"

#include "support/Eventually.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace bopwell;
using platform::SimulatedSensorHub;

namespace
{

struct ReaderRig
{
    explicit ReaderRig (SimulatedSensorHub::Knobs knobs = {}) : hub (timeline, {}, knobs) {}

    void start()
    {
        reader.start (
            [this] (const SensorReader::Sample& sample)
            {
                const std::lock_guard guard (samplesLock);
                if (samples.size() < 4000)
                    samples.push_back (sample);
            });
    }

    size_t sampleCount()
    {
        const std::lock_guard guard (samplesLock);
        return samples.size();
    }

    void removeLockFolder() { lockFolder.deleteRecursively(); }

    ManualEngineClock clock;
    platform::VirtualTimeline timeline { clock };
    SimulatedSensorHub hub;
    juce::File lockFolder = juce::File::createTempFile ("reader-lock");
    platform::SensorPlatform platform = hub.platform (clock, lockFolder.getChildFile ("motion-sensor.lock"), static_cast<int> (::getpid()));
    SensorReader reader { platform };
    std::mutex samplesLock;
    std::vector<SensorReader::Sample> samples;
};
} // namespace

TEST (SensorReader, StreamsTheDesksSamplesAndMeasuresTheRate)
{
    ReaderRig rig;
    rig.start();
    ASSERT_TRUE (test::eventually ([&] { return rig.sampleCount() >= 2000 && rig.reader.getSampleRateHz() > 0.0; }));
    EXPECT_TRUE (rig.reader.isRunning());
    EXPECT_TRUE (rig.reader.hasGyro());
    EXPECT_FALSE (rig.reader.hasFailed());
    EXPECT_STREQ (rig.reader.getErrorMessage(), "");
    EXPECT_NEAR (rig.reader.getSampleRateHz(), 800.0, 2.0);

    rig.reader.stop();
    EXPECT_FALSE (rig.reader.isRunning());
    const std::lock_guard guard (rig.samplesLock);
    EXPECT_NEAR (rig.samples[100].accelZ, -1.0, 1e-3);
    const auto fresh = std::count_if (rig.samples.begin(), rig.samples.end(), [] (const auto& s) { return s.gyroFresh; });
    EXPECT_NEAR (static_cast<double> (fresh) / static_cast<double> (rig.samples.size()), 100.0 / 800.0, 0.01);
    rig.removeLockFolder();
}

TEST (SensorReader, ReportsOfTheWrongLengthAreDroppedUncounted)
{
    ReaderRig rig ({ .noGyroscope = true, .wrongLengthEvery = 4 });
    rig.start();
    ASSERT_TRUE (test::eventually ([&] { return rig.reader.getSampleRateHz() > 0.0; }));
    rig.reader.stop();
    EXPECT_NEAR (rig.reader.getSampleRateHz(), 600.0, 2.0); // one report in four never arrives
    EXPECT_FALSE (rig.reader.hasGyro());
    const std::lock_guard guard (rig.samplesLock);
    EXPECT_TRUE (std::none_of (rig.samples.begin(), rig.samples.end(), [] (const auto& s) { return s.gyroFresh || s.gyroX != 0.0; }));
    rig.removeLockFolder();
}

TEST (SensorReader, FailuresCarryTheirMessage)
{
    struct Case
    {
        const char* what;
        SimulatedSensorHub::Knobs knobs;
        const char* message;
    };
    const Case cases[] = {
        { "no drivers to match", { .thirdDriver = true }, "Built-in motion sensor drivers are unavailable" },
        { "no HID manager", { .hidCreateFails = true }, "IOHIDManagerCreate failed" },
        { "HID manager will not open", { .hidOpenFails = true }, "IOHIDManagerOpen failed - cannot access the motion sensors" },
        { "no devices", { .noDevices = true }, "No motion sensor found (requires M1 Pro or newer)" },
        { "devices vanish while streaming", { .disappearAfterNs = 2'000'000'000 }, "Motion sensor disappeared (device removed?)" },
    };
    for (const auto& c : cases)
    {
        ReaderRig rig (c.knobs);
        rig.start();
        EXPECT_TRUE (test::eventually ([&] { return rig.reader.hasFailed(); })) << c.what;
        EXPECT_STREQ (rig.reader.getErrorMessage(), c.message) << c.what;
        EXPECT_TRUE (test::eventually ([&] { return ! rig.reader.isRunning(); })) << c.what;
        rig.reader.stop();
        EXPECT_EQ (rig.hub.openManagers(), 0) << c.what;
        rig.removeLockFolder();
    }
}

TEST (SensorReader, StartWhileRunningRestartsAndStopReleasesTheLock)
{
    ReaderRig rig;
    rig.start();
    ASSERT_TRUE (test::eventually ([&] { return rig.sampleCount() > 10; }));
    rig.start(); // one run at most: the first is stopped before the second begins
    ASSERT_TRUE (test::eventually ([&] { return rig.reader.isRunning(); }));
    EXPECT_EQ (rig.hub.openManagers(), 1);

    SensorReader second { rig.platform };
    second.start ([] (const SensorReader::Sample&) {});
    EXPECT_TRUE (second.hasFailed());
    EXPECT_STREQ (second.getErrorMessage(), "Motion sensor is already in use by another Bopwell instance");

    rig.reader.stop();
    second.start ([] (const SensorReader::Sample&) {});
    EXPECT_FALSE (second.hasFailed());
    second.stop();
    rig.removeLockFolder();
}

TEST (SensorReader, StopOnANeverStartedReaderOnlySetsFlags)
{
    ReaderRig rig;
    rig.reader.stop();
    EXPECT_FALSE (rig.reader.isRunning());
    EXPECT_FALSE (rig.reader.hasFailed());
    EXPECT_EQ (rig.reader.getSampleRateHz(), 0.0);
    rig.removeLockFolder();
}

TEST (SensorReader, LeavingTheRunStopsAStreamItStarted)
{
    ReaderRig rig;
    rig.start();
    ASSERT_TRUE (test::eventually ([&] { return rig.sampleCount() > 10; }));
    EXPECT_EQ (rig.hub.driverProperty (3, "ReportInterval"), 1000);
    rig.reader.stop();
    EXPECT_EQ (rig.hub.driverProperty (3, "ReportInterval"), 0);
    EXPECT_EQ (rig.hub.driverProperty (9, "ReportInterval"), 0);
    rig.removeLockFolder();
}
