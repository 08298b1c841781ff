#include "engine/SensorWatch.h"
#include "sensor/platform/SimulatedSensorHub.h"
#include "support/ProcessorAccess.h"

#include "support/Eventually.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <limits>
#include <thread>
#include <unistd.h>

using namespace bopwell;

namespace
{

// A processor whose sensor streams from a simulated hub on virtual time.
struct LiveRig
{
    LiveRig() = default;
    ~LiveRig() { lockFolder.deleteRecursively(); }

    ManualEngineClock clock;
    platform::VirtualTimeline timeline { clock };
    platform::SimulatedSensorHub hub { timeline };
    juce::File lockFolder = juce::File::createTempFile ("lifecycle-lock");
    platform::SensorPlatform platform = hub.platform (clock, lockFolder.getChildFile ("motion-sensor.lock"), static_cast<int> (::getpid()));
    SensorMidiProcessor processor { clock, platform };
};

constexpr std::uint64_t second = 1'000'000'000;
} // namespace

TEST (SensorWatch, GraceRateAndStaleness)
{
    struct Case
    {
        const char* what;
        SensorWatchInputs in;
        bool stalled;
        bool ok;
    };
    const std::uint64_t start = 10 * second;
    const Case cases[] = {
        { "no sample 2.9 s after a start", { start + 2'900'000'000, 0, start, true, false, 0.0 }, false, false },
        { "no sample 3.1 s after a start", { start + 3'100'000'000, 0, start, true, false, 0.0 }, true, false },
        { "40 Hz after the grace", { start + 5 * second, start + 5 * second - 1'000'000, start, true, false, 40.0 }, true, false },
        { "60 Hz after the grace", { start + 5 * second, start + 5 * second - 1'000'000, start, true, false, 60.0 }, false, true },
        { "a 0.6 s old sample within the grace", { start + 2 * second, start + 1'400'000'000, start, true, false, 800.0 }, true, false },
        { "a failed sensor is not stalled", { start + 5 * second, 0, start, true, true, 0.0 }, false, false },
        { "a stopped sensor is not stalled", { start + 5 * second, 0, start, false, false, 0.0 }, false, false },
    };
    for (const auto& c : cases)
    {
        const auto verdict = assessSensor (c.in);
        EXPECT_EQ (verdict.stalled, c.stalled) << c.what;
        EXPECT_EQ (verdict.ok, c.ok) << c.what;
    }
}

TEST (Lifecycle, TheSensorStartsWithTheProcessorAndAPendingPowerOnCompletes)
{
    LiveRig rig;
    auto& p = rig.processor;
    p.prepareToPlay (48000.0, 512);
    ASSERT_TRUE (test::eventually ([&] { return p.getSensorReader().getSampleRateHz() > 50.0 && p.state().lastSampleNs.load() != 0; }));

    if (! p.state().powerOn.load())
    {
        EXPECT_TRUE (p.state().powerOnPending.load());
        p.timerCallback();
    }
    EXPECT_TRUE (p.state().powerOn.load());
    EXPECT_TRUE (p.state().sensorOk.load());
    EXPECT_FALSE (p.state().sensorStalled.load());
}

TEST (Lifecycle, AFailedSensorTurnsPowerOffAndCancelsAPendingPowerOn)
{
    ManualEngineClock clock;
    SensorMidiProcessor p (clock); // no sensor hub: the start fails
    ASSERT_TRUE (test::eventually ([&] { return p.getSensorReader().hasFailed(); }));

    EXPECT_TRUE (p.restoreFactoryCalibration());
    EXPECT_FALSE (p.state().powerOnPending.load()); // nothing to wait for
    EXPECT_FALSE (p.state().powerOn.load());
    EXPECT_EQ (p.state().stateRevision.load(), 1);

    SensorMidiProcessorTestAccess::state (p).powerOnPending.store (true);
    p.timerCallback();
    EXPECT_FALSE (p.state().powerOnPending.load());
    EXPECT_FALSE (p.state().sensorOk.load());
}

TEST (Lifecycle, RetrySensorRestartsTheStreamWithPowerOff)
{
    LiveRig rig;
    auto& p = rig.processor;
    ASSERT_TRUE (test::eventually ([&] { return p.state().lastSampleNs.load() != 0; }));
    p.getSensorReader().replayAt (800.0);
    p.handleSensorSample ({ 0.0, 0.0, -1.0 });
    ASSERT_TRUE (p.setPower (true));

    p.retrySensor();
    EXPECT_FALSE (p.state().powerOn.load());
    EXPECT_GE (p.state().sensorWatchStartNs.load(), rig.clock.nowNs() - second);
    ASSERT_TRUE (test::eventually ([&] { return p.state().lastSampleNs.load() != 0 && p.getSensorReader().isRunning(); }));
    EXPECT_EQ (rig.hub.openManagers(), 1);
}

TEST (Lifecycle, SetPowerRefusesUntilTheSensorIsReadyOrWhileTheGuardTrips)
{
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);
    EXPECT_FALSE (p.setPower (true)); // no sample yet

    p.getSensorReader().replayAt (802.5);
    p.handleSensorSample ({ 0.0, 0.0, -1.0 });
    auto& state = SensorMidiProcessorTestAccess::state (p);
    state.guardSequence.store (1); // the guard is in the middle of a trip
    EXPECT_FALSE (p.setPower (true));
    EXPECT_FALSE (p.state().powerOn.load());

    state.guardSequence.store (2);
    state.guardTripped.store (true);
    EXPECT_TRUE (p.setPower (true));
    EXPECT_FALSE (p.state().guardTripped.load());
    EXPECT_EQ (p.state().powerSerial.load(), 1);
    EXPECT_TRUE (p.setPower (true)); // already on
    EXPECT_EQ (p.state().powerSerial.load(), 1);
}

TEST (Lifecycle, ASecondPrepareToPlayTurnsPowerOffForGood)
{
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);
    p.getSensorReader().replayAt (802.5);
    p.handleSensorSample ({ 0.0, 0.0, -1.0 });

    p.prepareToPlay (48000.0, 512);
    EXPECT_TRUE (p.state().powerOn.load());
    p.prepareToPlay (44100.0, 256);
    EXPECT_FALSE (p.state().powerOn.load());
    EXPECT_FALSE (p.state().powerOnPending.load());
}

TEST (Lifecycle, PowerOffAndSilenceFlushesAndFades)
{
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);
    p.getSensorReader().replayAt (802.5);
    p.handleSensorSample ({ 0.0, 0.0, -1.0 });
    ASSERT_TRUE (p.setPower (true));

    p.powerOffAndSilence();
    EXPECT_FALSE (p.state().powerOn.load());
    EXPECT_TRUE (p.state().flushHitsRequest.load());
    EXPECT_TRUE (p.state().stopAllRequest.load());
}

TEST (Lifecycle, ApplyingACalibrationInstallsItOnlyWhenItIsUsable)
{
    auto accepted = []
    {
        CalibrationResult result;
        result.modelValid = true;
        result.coefs[0] = 0.9;
        result.background = 0.0004;
        result.liveReference = 0.00003;
        result.thresholdMultiplier = 2.5;
        result.succeeded = true;
        return result;
    };
    struct Case
    {
        const char* what;
        std::function<void (CalibrationResult&)> change;
        bool applied;
        double thresholdK;
    };
    const Case cases[] = {
        { "an accepted result", [] (CalibrationResult&) {}, true, 2.5 },
        { "a multiplier of 14 is stored as 10", [] (CalibrationResult& r) { r.thresholdMultiplier = 14.0; }, true, 10.0 },
        { "a background of 0", [] (CalibrationResult& r) { r.background = 0.0; }, false, 1.18 },
        { "an invalid model", [] (CalibrationResult& r) { r.modelValid = false; }, false, 1.18 },
        { "a non-finite reference", [] (CalibrationResult& r) { r.liveReference = std::numeric_limits<double>::quiet_NaN(); }, false,
          1.18 },
    };
    for (const auto& c : cases)
    {
        ManualEngineClock clock;
        SensorMidiProcessor p (clock);
        auto result = accepted();
        c.change (result);
        SensorMidiProcessorTestAccess::finishCalibration (p, result);
        const auto generation = p.state().modelGeneration.load();

        p.applyCalibrationResult();
        EXPECT_EQ (p.state().thresholdK.load(), c.thresholdK) << c.what;
        EXPECT_EQ (p.state().profileIsFactory.load(), ! c.applied) << c.what;
        EXPECT_EQ (p.state().modelGeneration.load(), generation + (c.applied ? 1 : 0)) << c.what;
        EXPECT_EQ (p.state().calibrationRevision.load(), c.applied ? 1 : 0) << c.what;
        if (c.applied)
        {
            EXPECT_EQ (p.state().calBackground.load(), 0.0004) << c.what;
            EXPECT_DOUBLE_EQ (p.state().detectionThreshold.load(), c.thresholdK * 0.0004) << c.what;
            EXPECT_FALSE (SensorMidiProcessorTestAccess::calibrationResultReady (p)) << c.what;
        }
    }
}

TEST (Lifecycle, TheFactoryProfileDiscardsAWaitingCalibration)
{
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);
    CalibrationResult result;
    result.modelValid = true;
    result.background = 0.001;
    result.thresholdMultiplier = 3.0;
    SensorMidiProcessorTestAccess::finishCalibration (p, result);

    EXPECT_TRUE (p.restoreFactoryCalibration());
    EXPECT_FALSE (SensorMidiProcessorTestAccess::calibrationResultReady (p));
    p.applyCalibrationResult();
    EXPECT_TRUE (p.state().profileIsFactory.load());
}
