#include "sensor/platform/SimulatedSensorHub.h"
#include "support/Eventually.h"
#include "support/ProcessorAccess.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace bopwell;

namespace
{
constexpr std::uint64_t second = 1'000'000'000;

struct FiredCounter final : HitObserver
{
    void hitFired (const FiredHit&) noexcept override { count.fetch_add (1); }
    std::atomic<int> count { 0 };
};

// A processor streaming a simulated hub on held virtual time: the test moves time forward.
struct CalibrationRig
{
    explicit CalibrationRig (DeskSurface surface = DeskSurface::factoryFitted()) : hub (timeline, deskOn (surface), {}) {}

    ~CalibrationRig()
    {
        processor.setHitObserver (nullptr);
        timeline.release(); // the sensor thread must be free to stop
        lockFolder.deleteRecursively();
    }

    static DeskModel::Options deskOn (DeskSurface surface)
    {
        DeskModel::Options options;
        options.surface = std::move (surface);
        return options;
    }

    bool runFor (double seconds) { return timeline.runUntil (clock.nowNs() + static_cast<std::uint64_t> (seconds * 1e9)); }

    // Runs until the sensor streams at a measured rate and the watch has seen it.
    void untilSensorReady()
    {
        ASSERT_TRUE (runFor (2.5));
        processor.timerCallback();
        ASSERT_TRUE (processor.state().sensorOk.load());
    }

    ManualEngineClock clock;
    platform::VirtualTimeline timeline { clock, platform::VirtualTimeline::Start::held };
    platform::SimulatedSensorHub hub;
    juce::File lockFolder = juce::File::createTempFile ("calibration-lock");
    platform::SensorPlatform platform = hub.platform (clock, lockFolder.getChildFile ("motion-sensor.lock"), static_cast<int> (::getpid()));
    SensorMidiProcessor processor { clock, platform };
};
} // namespace

TEST (CalibrationFlow, BeginRefusesUntilTheSensorDelivers)
{
    {
        ManualEngineClock clock;
        SensorMidiProcessor detached (clock);
        ASSERT_TRUE (test::eventually ([&] { return detached.getSensorReader().hasFailed(); }));
        EXPECT_EQ (detached.beginCalibration(), "Motion sensor could not open. Press Retry sensor.");
    }

    CalibrationRig rig;
    EXPECT_EQ (rig.processor.beginCalibration(), "Motion sensor is starting. Wait a moment, then try again.");
    ASSERT_TRUE (rig.runFor (1.45)); // streaming, but no rate measured yet
    ASSERT_TRUE (rig.processor.getSensorReader().isRunning());
    EXPECT_EQ (rig.processor.beginCalibration(),
               "Motion sensor is not sending data. Allow Bopwell in macOS Privacy & Security, then press Retry sensor.");
    EXPECT_FALSE (rig.processor.getCalibration().isRequestedOrRunning());
}

TEST (CalibrationFlow, ASensorLostDuringTheQuietCheckEndsWithCode9)
{
    CalibrationRig rig;
    rig.untilSensorReady();
    ASSERT_EQ (rig.processor.beginCalibration(), "");
    EXPECT_FALSE (rig.processor.setPower (true)); // Power stays off while calibrating
    EXPECT_FALSE (rig.processor.applyFactoryProfile (true));
    ASSERT_TRUE (rig.runFor (1.5));
    ASSERT_EQ (rig.processor.getCalibration().phase(), CalibrationPhase::quietCheck);

    rig.timeline.release();
    rig.processor.getSensorReader().stop();
    rig.processor.timerCallback();

    EXPECT_EQ (rig.processor.getCalibration().phase(), CalibrationPhase::failed);
    EXPECT_EQ (rig.processor.getCalibrationResult().calibrationResultCode, 9);
    EXPECT_EQ (rig.processor.getCalibrationResult().detail, "Sensor stopped during calibration");
    EXPECT_TRUE (rig.processor.isCalibrationFailureShown());
    EXPECT_TRUE (rig.processor.state().profileIsFactory.load()); // the old profile stays
}

TEST (CalibrationFlow, CalibratingThroughTheLivePathLearnsTheSurface)
{
    CalibrationRig rig (DeskSurface::slowlyRinging());
    FiredCounter fired;
    rig.processor.setHitObserver (&fired);
    rig.untilSensorReady();

    // The capture starts with the next sample; the user then waits, stays still and taps.
    const double start = rig.hub.deskSeconds();
    const double end = rig.hub.performCalibration (start);
    ASSERT_EQ (rig.processor.beginCalibration(), "");
    ASSERT_TRUE (rig.runFor (end - start));
    ASSERT_EQ (rig.processor.getCalibration().phase(), CalibrationPhase::captured) << rig.processor.getCalibration().tapCount() << " taps";
    EXPECT_EQ (rig.processor.getCalibration().tapCount(), 15);

    rig.processor.runPendingCalibrationAnalysis();
    const auto& result = rig.processor.getCalibrationResult();
    ASSERT_TRUE (result.succeeded) << result.detail;
    EXPECT_GE (result.removal, 0.8);
    EXPECT_EQ (rig.processor.getCalibration().phase(), CalibrationPhase::accepted);
    EXPECT_FALSE (rig.processor.state().profileIsFactory.load());
    EXPECT_EQ (rig.processor.state().calibrationRevision.load(), 1);
    EXPECT_TRUE (rig.processor.state().powerOn.load());

    // Now taps on the same desk, light to firm: each is heard once, and the ringing never re-fires.
    const int before = fired.count.load();
    const double tapsFrom = rig.hub.deskSeconds() + 0.5;
    const std::array<double, 3> strengths = DeskModel::calibrationTapStrengthsG;
    for (int i = 0; i < 12; ++i)
        rig.hub.addTap ({ tapsFrom + 0.7 * i, strengths[static_cast<size_t> (i % 3)] });
    ASSERT_TRUE (rig.runFor (0.5 + 0.7 * 12 + 0.5));
    EXPECT_EQ (fired.count.load() - before, 12);
}
