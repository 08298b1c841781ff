#include "calibration/CalibrationProcedure.h"
#include "DeskCalibrationCapture.h"
#include "calibration/CalibrationAnalysis.h"
#include "calibration/CalibrationTexts.h"
#include "calibration/QuietCheck.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

using namespace bopwell;

namespace
{
constexpr double rate = 800.0; // exactly, so that the durations come out in whole samples

// Feeds the procedure by hand: a quiet surface with a little noise, and taps as bursts of motion.
struct ProcedureRig
{
    ProcedureRig() { procedure.request (rate); }

    void sample (double level)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const double noise = 1e-5 * (static_cast<double> (state >> 40) / 16777216.0 - 0.5);
        const std::array<double, 3> highPass { noise, -noise, level + noise };
        procedure.captureStep (highPass, std::sqrt (2 * noise * noise + (level + noise) * (level + noise)));
    }

    void quiet (int samples)
    {
        for (int i = 0; i < samples; ++i)
            sample (0.0);
    }

    // A tap: a burst of motion that rings down; the tap is complete 320 samples after its onset.
    void tap (double level = 0.01)
    {
        for (int i = 0; i <= 320; ++i)
            sample (level * std::exp (-i / 40.0));
    }

    // Settle and quiet check, ready for the first tap.
    void throughQuietCheck()
    {
        quiet (2400);
        ASSERT_EQ (procedure.phase(), CalibrationPhase::taps);
    }

    // Taps and the quiet stretches in between (0.6 s onset to onset, 0.1 s of quiet first).
    void taps (int count)
    {
        for (int t = 0; t < count; ++t)
        {
            tap();
            quiet (239);
        }
    }

    CalibrationProcedure procedure;
    std::uint64_t state = 42;
};
} // namespace

TEST (CalibrationProcedure, PhasesLastTheirTimeInSamplesOfTheCaptureRate)
{
    ProcedureRig rig;
    rig.quiet (799);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::settle);
    rig.quiet (1);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::quietCheck);
    EXPECT_EQ (rig.procedure.progress(), 2.0);
    rig.quiet (1599);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::quietCheck);
    rig.quiet (1);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::taps);
    EXPECT_TRUE (rig.procedure.isReadyForTap());

    rig.taps (14);
    rig.tap();
    EXPECT_EQ (rig.procedure.tapCount(), 15);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::tail);
    rig.quiet (479);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::tail);
    rig.quiet (1);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::captured);
    EXPECT_TRUE (rig.procedure.isAnalysisRequested());
    EXPECT_FALSE (rig.procedure.isRunning());
}

TEST (CalibrationProcedure, TapsAreCaptured400MsAndNeed600MsAndAQuietStretchBetween)
{
    ProcedureRig rig;
    rig.throughQuietCheck();
    rig.quiet (10);
    const int onset = rig.procedure.sampleCount();
    rig.sample (0.01);
    EXPECT_TRUE (rig.procedure.isTapInProgress());
    rig.quiet (319);
    EXPECT_TRUE (rig.procedure.isTapInProgress());
    rig.quiet (1); // the 320th sample after the onset completes the tap
    EXPECT_FALSE (rig.procedure.isTapInProgress());
    EXPECT_EQ (rig.procedure.tapCount(), 1);
    EXPECT_EQ (rig.procedure.captureSnapshot().tapOnsets[0], onset);

    rig.quiet (150); // 471 samples after the onset, with a quiet stretch: still too soon
    rig.sample (0.01);
    EXPECT_FALSE (rig.procedure.isTapInProgress());
    rig.quiet (6); // motion keeps the stretch from counting as quiet: 8 samples back per loud one
    rig.quiet (80);
    EXPECT_TRUE (rig.procedure.isReadyForTap());
    rig.sample (0.01);
    EXPECT_TRUE (rig.procedure.isTapInProgress());
}

TEST (QuietCheck, RefusesTooLittleDataMovementAndAnUnsteadyBackground)
{
    auto quietCapture = [] (const std::vector<double>& motion)
    {
        CalibrationCapture capture;
        for (const double m : motion)
        {
            capture.x.push_back (0.0f);
            capture.y.push_back (0.0f);
            capture.z.push_back (static_cast<float> (m));
            capture.label.push_back (CalibrationCapture::quietLabel);
        }
        return capture;
    };
    // Quarters of 400 values around the given levels, spread 0.6 to 1.4 times, each quarter's lower
    // median exactly its level.
    auto quarters = [] (std::array<double, 4> levels, int runAbove = 0)
    {
        std::vector<double> motion;
        for (const double level : levels)
            for (int k = 0; k < 400; ++k)
                motion.push_back (level * (1.0 + ((k % 9) - 4) * 0.1));
        for (int k = 0; k < runAbove; ++k)
            motion[700 + static_cast<size_t> (k)] = 100.0;
        return motion;
    };

    struct Case
    {
        const char* what;
        std::vector<double> motion;
        int code;
    };
    const Case cases[] = {
        { "799 samples", std::vector<double> (799, 1.0), 1 },
        { "a run of 3 above the motion limit", quarters ({ 1.0, 1.0, 1.0, 1.0 }, 3), 0 },
        { "a run of 4 above the motion limit", quarters ({ 1.0, 1.0, 1.0, 1.0 }, 4), 11 },
        { "quarters 1.0, 1.2, 1.5, 1.0", quarters ({ 1.0, 1.2, 1.5, 1.0 }), 0 },
        { "quarters 1.0, 1.6", quarters ({ 1.0, 1.6, 1.0, 1.0 }), 12 },
    };
    for (const auto& c : cases)
    {
        const auto result = quietCheck (quietCapture (c.motion), rate);
        EXPECT_EQ (result.failureCode, c.code) << c.what;
    }
    EXPECT_EQ (quietCheck (quietCapture (quarters ({ 1.0, 1.2, 1.5, 1.0 })), rate).segmentRatio, 1.5);
}

TEST (CalibrationProcedure, UndoRemovesTheLastTapAndItsSamples)
{
    ProcedureRig rig;
    rig.throughQuietCheck();
    EXPECT_FALSE (rig.procedure.undoLastStep()); // nothing to undo yet
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::taps);

    rig.taps (14);
    rig.tap();
    ASSERT_EQ (rig.procedure.phase(), CalibrationPhase::tail);
    const int lastOnset = rig.procedure.captureSnapshot().tapOnsets[14];

    EXPECT_TRUE (rig.procedure.undoLastStep());
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::taps);
    EXPECT_EQ (rig.procedure.tapCount(), 14);
    EXPECT_EQ (rig.procedure.sampleCount(), lastOnset);
    EXPECT_EQ (rig.procedure.captureSnapshot().tapOnsets[14], -1);
    EXPECT_FALSE (rig.procedure.isReadyForTap());
}

TEST (CalibrationProcedure, PausingDuringATapDropsItAndResumingWantsAFreshQuietStretch)
{
    ProcedureRig rig;
    rig.throughQuietCheck();
    rig.taps (1);
    rig.quiet (300);
    const int onset = rig.procedure.sampleCount();
    rig.sample (0.01);
    rig.quiet (50);
    ASSERT_TRUE (rig.procedure.isTapInProgress());

    rig.procedure.pause();
    EXPECT_FALSE (rig.procedure.isTapInProgress());
    EXPECT_EQ (rig.procedure.sampleCount(), onset);
    EXPECT_EQ (rig.procedure.tapCount(), 1);
    rig.quiet (100);
    EXPECT_EQ (rig.procedure.sampleCount(), onset); // nothing is recorded while paused

    rig.procedure.resume();
    rig.quiet (479);
    rig.sample (0.01);
    EXPECT_FALSE (rig.procedure.isTapInProgress()); // 0.6 s have not passed since the resume
    rig.quiet (90);
    rig.sample (0.01);
    EXPECT_TRUE (rig.procedure.isTapInProgress());
}

TEST (CalibrationProcedure, CancelReturnsToIdle)
{
    ProcedureRig rig;
    rig.quiet (100);
    rig.procedure.cancel();
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::idle);
    EXPECT_FALSE (rig.procedure.isRequestedOrRunning());
    rig.quiet (10);
    EXPECT_EQ (rig.procedure.sampleCount(), 100);
}

TEST (CalibrationProcedure, CompactionKeepsWhatTheAnalysisMeasures)
{
    // Taps nine seconds apart make a capture of over 100 000 samples, which the tap phase compacts.
    test::DeskCalibration session;
    session.surface = DeskSurface::slowlyRinging();
    session.tapSpacingSeconds = 9.0;
    const auto full = session.record();
    ASSERT_GE (full.x.size(), CalibrationProcedure::compactAt);

    auto compacted = full;
    CaptureMarks marks { full.tapOnsets.back(), -1 };
    {
        const test::AllocationCounter counter;
        compactCapture (compacted, rate, marks);
        EXPECT_EQ (counter.allocations(), 0u);
    }
    ASSERT_LT (compacted.x.size(), full.x.size() / 4);

    const auto before = analyseCalibration (full, rate);
    const auto after = analyseCalibration (compacted, rate);
    ASSERT_TRUE (before.succeeded) << before.detail;
    ASSERT_TRUE (after.succeeded) << after.detail;
    EXPECT_EQ (after.background, before.background);
    EXPECT_EQ (after.liveReference, before.liveReference);
    EXPECT_EQ (after.coefs, before.coefs);
}

TEST (CalibrationTexts, MessagesAndDisplayTexts)
{
    EXPECT_EQ (calibrationMessageFor (9), "The sensor stopped. Retry the sensor, then try again.");
    EXPECT_EQ (calibrationMessageFor (12), "Move to a steadier surface and try again.");
    EXPECT_EQ (calibrationMessageFor (42), "Calibration was interrupted. Try again.");
    EXPECT_EQ (calibrationDetailFor (11), "Movement was detected during the quiet background check");

    CalibrationResult result;
    result.margin = 4.0;
    result.shakeRatio = 1.0;
    EXPECT_EQ (acceptedCalibrationText (result), "Calibration OK - margin 4.0x.  Press Apply.");
    result.shakeRatio = 1.6;
    EXPECT_EQ (acceptedCalibrationText (result),
               "Calibration OK - margin 4.0x.  Press Apply.  (Background shook during capture - if detection "
               "feels off, recalibrate in a stiller moment.)");
    result.calibrationResultCode = 7;
    result.detail = "Ringing removal was below 0.80";
    result.margin = 0.25;
    EXPECT_EQ (failedCalibrationText (result),
               "The surface response wasn't clear. Tap the same spot firmly.\nPress Power to use your previous calibration.");
    EXPECT_EQ (failedTechnicalCalibrationText (result), "CALIBRATION FAILED - Ringing removal was below 0.80   margin 0.25x (gate 2.0x)");

    EXPECT_EQ (calibrationProgressText (4, tapInstruction (4)), "4 of 15 steps, 27 percent\nMedium Tap");
    EXPECT_EQ (calibrationProgressText (20, tapInstruction (2)), "15 of 15 steps, 100 percent\nFirm Tap");
    EXPECT_EQ (tapInstruction (0), "Light Tap");
}

TEST (CalibrationProcedure, CapturingAllocatesNothingOnceRequested)
{
    ProcedureRig rig;
    const test::AllocationCounter counter;
    rig.throughQuietCheck();
    rig.taps (15);
    rig.quiet (480);
    EXPECT_EQ (counter.allocations(), 0u);
    EXPECT_EQ (rig.procedure.phase(), CalibrationPhase::captured);
}
