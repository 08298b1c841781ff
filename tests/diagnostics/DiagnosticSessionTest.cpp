#include "packs/PackFixtures.h"
#include "support/Eventually.h"
#include "support/ProcessorHarness.h"

#include <gtest/gtest.h>

#include <thread>

using namespace bopwell;

namespace
{

// A processor with a recording target, fed from a quiet desk at 800 Hz. The feed waits for the
// session's writer whenever the ring fills up, as a real-time sensor never would need to.
struct SessionRig
{
    void feed (double seconds)
    {
        const int samples = static_cast<int> (seconds * 800.0 + 0.5);
        for (int i = 0; i < samples; ++i)
        {
            const auto& recorder = harness.processor.getSession().recorder();
            while (recorder.isAccepting() && recorder.backlog() > SessionRecorder::ringSize / 2)
                std::this_thread::sleep_for (std::chrono::milliseconds (1));
            harness.feed (desk, 1);
        }
    }

    juce::StringArray lines() const
    {
        juce::StringArray result;
        result.addLines (target.loadFileAsString());
        result.removeEmptyStrings();
        return result;
    }

    bopwell::testing::ScratchFolder scratch;
    juce::File target = scratch.file ("session.csv");
    test::ProcessorHarness harness { HitDetector::nominalRateHz, 800.0 };
    SensorMidiProcessor& processor = harness.processor;
    DeskModel desk;
};

int phaseOf (const juce::String& row) { return juce::StringArray::fromTokens (row, ",", "")[12].getIntValue(); }

} // namespace

TEST (DiagnosticSession, TheScriptRunsItsWindowsAndFinishesWithACompleteFile)
{
    SessionRig rig;
    rig.feed (0.01);
    ASSERT_TRUE (rig.processor.startScriptedSession (rig.target));
    EXPECT_EQ (rig.processor.getSession().status(), SessionStatus::leadIn);

    rig.feed (38.0);
    const auto& session = rig.processor.getSession();
    EXPECT_FALSE (session.isRunning());
    EXPECT_TRUE (session.isFinishing());
    rig.processor.timerCallback();
    EXPECT_EQ (session.status(), SessionStatus::finished);

    const auto lines = rig.lines();
    ASSERT_TRUE (lines[lines.size() - 1].startsWith ("# END,rows,")) << lines[lines.size() - 1];
    const auto footer = juce::StringArray::fromTokens (lines[lines.size() - 1], ",", "");
    EXPECT_EQ (footer[4], "0"); // dropped
    EXPECT_EQ (footer[6], "1"); // completed
    EXPECT_EQ (footer[8], "3"); // lastPhase

    // 37.45 s at 802.5 Hz, the rate the detector keeps for an 800 Hz sensor.
    const int rows = footer[2].getIntValue();
    EXPECT_NEAR (rows, 37.45 * 802.5, 10.0);
    int firstRow = 0;
    while (lines[firstRow].startsWith ("#") || lines[firstRow].startsWith ("sample"))
        ++firstRow;
    EXPECT_EQ (lines.size() - firstRow - 1, rows);

    std::vector<int> phaseRuns; // the phase of each run of equal phases, in order
    for (int i = firstRow; i < lines.size() - 1; ++i)
        if (phaseRuns.empty() || phaseRuns.back() != phaseOf (lines[i]))
            phaseRuns.push_back (phaseOf (lines[i]));
    EXPECT_EQ (phaseRuns, (std::vector<int> { 0, 1, 0, 2, 0, 3, 0 }));
}

TEST (DiagnosticSession, StoppingTheScriptInItsSecondWindowKeepsAnIncompleteFooter)
{
    SessionRig rig;
    rig.feed (0.01);
    ASSERT_TRUE (rig.processor.startScriptedSession (rig.target));
    rig.feed (2 + 3 + 5.15 + 2 + 3 + 1.0); // one second into step 5
    EXPECT_EQ (rig.processor.getSession().status(), SessionStatus::measuring);
    EXPECT_EQ (rig.processor.getSession().cue(), 1);

    rig.processor.stopSession();
    const auto& session = rig.processor.getSession();
    EXPECT_EQ (session.status(), SessionStatus::stoppedByUser);
    EXPECT_EQ (session.cue(), -1);
    const auto footer = juce::StringArray::fromTokens (rig.lines()[rig.lines().size() - 1], ",", "");
    EXPECT_EQ (footer[0], "# END");
    EXPECT_EQ (footer[6], "0"); // completed
    EXPECT_EQ (footer[8], "2"); // lastPhase
}

TEST (DiagnosticSession, AFreeRunKeepsPowerOffUnlessItsScenarioIsArmed)
{
    struct Case
    {
        const char* scenario;
        const char* playbackLine;
        bool powerAllowed;
    };
    const Case cases[] = {
        { "typing", "# playback,suppressed", false },
        { "long-run", "# playback,armed", true },
        { "self-feedback", "# playback,armed", true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.scenario);
        SessionRig rig;
        ASSERT_TRUE (rig.harness.powerOn (rig.desk));
        ASSERT_TRUE (rig.processor.startFreeRunSession (rig.target, c.scenario));
        EXPECT_EQ (rig.processor.state().powerOn.load(), c.powerAllowed);
        EXPECT_EQ (rig.processor.setPower (true), c.powerAllowed);
        rig.feed (0.5);
        EXPECT_EQ (rig.processor.getSession().status(), SessionStatus::freeRun);
        EXPECT_NEAR (rig.processor.getSession().cueSeconds(), 0.5 * 800.0 / 802.5, 0.01);

        rig.processor.stopSession();
        EXPECT_EQ (rig.processor.getSession().status(), SessionStatus::finished);
        const auto lines = rig.lines();
        EXPECT_TRUE (lines.contains (c.playbackLine));
        EXPECT_TRUE (lines.contains (juce::String ("# scenario,") + c.scenario));
        EXPECT_TRUE (lines[lines.size() - 1].startsWith ("# END,rows,400,dropped,0,completed,1,lastPhase,0,durationUs,"));
    }
}

TEST (DiagnosticSession, ASessionCannotStartWhileTheSensorOrACalibrationIsBusy)
{
    {
        SCOPED_TRACE ("a calibration is running");
        SessionRig rig;
        rig.feed (0.01);
        ASSERT_EQ (rig.processor.beginCalibration(), "");
        EXPECT_FALSE (rig.processor.startScriptedSession (rig.target));
        EXPECT_FALSE (rig.target.exists());
    }
    {
        SCOPED_TRACE ("the sensor has failed");
        bopwell::testing::ScratchFolder scratch;
        ManualEngineClock clock;
        SensorMidiProcessor processor (clock); // its sensor has no device to open
        ASSERT_TRUE (test::eventually ([&] { return processor.getSensorReader().hasFailed(); }));
        EXPECT_FALSE (processor.startFreeRunSession (scratch.file ("session.csv"), "typing"));
        EXPECT_FALSE (scratch.file ("session.csv").exists());
    }
    {
        SCOPED_TRACE ("a session is already recording");
        SessionRig rig;
        ASSERT_TRUE (rig.processor.startScriptedSession (rig.target));
        EXPECT_FALSE (rig.processor.startScriptedSession (rig.scratch.file ("second.csv")));
        EXPECT_FALSE (rig.scratch.file ("second.csv").exists());
    }
}

TEST (DiagnosticSession, ARunningSessionRefusesChangesToWhatItMeasures)
{
    SessionRig rig;
    auto& p = rig.processor;
    rig.feed (0.01);
    const auto curve = p.getCurve();
    const auto k = p.state().thresholdK.load();
    ASSERT_TRUE (p.startScriptedSession (rig.target));

    p.setSensitivityPercent (0.0);
    p.setChoke (false);
    p.setCurve ({ { { 0.0, 0.0 }, { 1.0, 0.5 } }, { 0.5 } });
    EXPECT_EQ (p.state().thresholdK.load(), k);
    EXPECT_TRUE (p.state().choke.load());
    EXPECT_EQ (p.getCurve(), curve);

    EXPECT_EQ (p.beginCalibration(), "Calibration cannot start right now. Please try again.");
    EXPECT_FALSE (p.applyFactoryProfile (false));
    EXPECT_FALSE (p.chooseBuiltInPack (4));
    EXPECT_EQ (p.getBuiltInPack(), 0);
    EXPECT_FALSE (p.setPower (true));

    ASSERT_TRUE (p.startCustomPackLoad ("/any/folder"));
    ASSERT_TRUE (test::eventually ([&] { return ! p.isPackLoadBusy(); }));
    EXPECT_EQ (p.getPackLoadStatus().code, packLoadBlockedBySession);
    EXPECT_EQ (p.getPackLoadStatus().message, "Sample changes are blocked while recording.");

    juce::MemoryBlock saved;
    p.getStateInformation (saved);
    p.setStateInformation (saved.getData(), static_cast<int> (saved.getSize()));
    EXPECT_EQ (p.getRestoreMessage(), "State restore is blocked while recording a session");

    const auto sensorStarts = p.state().sensorWatchStartNs.load();
    rig.harness.clock.advanceNs (1'000'000);
    p.retrySensor();
    EXPECT_EQ (p.state().sensorWatchStartNs.load(), sensorStarts);
}

TEST (DiagnosticSession, ARestoreWaitingWhenASessionStartsIsCancelled)
{
    SessionRig rig;
    auto& p = rig.processor;
    rig.feed (0.01);
    juce::MemoryBlock saved;
    p.getStateInformation (saved);
    p.setStateInformation (saved.getData(), static_cast<int> (saved.getSize()));
    ASSERT_EQ (p.getRestoreMessage(), "");

    ASSERT_TRUE (p.startFreeRunSession (rig.target, "quiet"));
    p.handleAsyncUpdate();
    EXPECT_EQ (p.getRestoreMessage(), "State restore was cancelled because a session started");
}

TEST (DiagnosticSession, ALostSensorEndsTheSessionAsFailedWithAnIncompleteFooter)
{
    SessionRig rig;
    auto& p = rig.processor;
    rig.feed (0.01);
    ASSERT_TRUE (p.startFreeRunSession (rig.target, "typing"));
    rig.feed (0.1);
    p.getSensorReader().stop();
    p.timerCallback();

    EXPECT_FALSE (p.getSession().isRunning());
    EXPECT_EQ (p.getSession().status(), SessionStatus::failed);
    const auto lines = rig.lines();
    EXPECT_TRUE (lines[lines.size() - 1].startsWith ("# END,rows,80,dropped,0,completed,0,lastPhase,-1,"));
}
