#include "diagnostics/StrikeCapture.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace bopwell;

namespace
{
SensorFrame motion (float raw, int tag = 0)
{
    SensorFrame frame;
    frame.raw = raw;
    frame.dx = static_cast<float> (tag); // identifies the sample in the cut
    return frame;
}

struct CaptureRig
{
    // Feeds frames tagged with their index in the stream.
    void feed (std::initializer_list<float> levels)
    {
        for (const float level : levels)
            capture.captureStep (motion (level, next++), 802.5, 0.00045, true);
    }
    void quiet (int samples, float level = 0.0f)
    {
        for (int i = 0; i < samples; ++i)
            capture.captureStep (motion (level, next++), 802.5, 0.00045, true);
    }

    StrikeCapture capture;
    int next = 0;
};
} // namespace

TEST (StrikeCapture, CutsThirtyTwoSamplesBeforeTheTriggerAndFiveHundredElevenAfter)
{
    CaptureRig rig;
    rig.quiet (100);
    rig.feed ({ 0.01f }); // exactly the level: no trigger
    rig.feed ({ 0.0101f });
    rig.quiet (511);
    StrikeCaptureSnapshot snapshot;
    EXPECT_FALSE (rig.capture.takeOver (snapshot));
    rig.quiet (1);

    ASSERT_TRUE (rig.capture.takeOver (snapshot));
    EXPECT_EQ (snapshot.frames[32].dx, 101.0f); // the trigger frame
    EXPECT_EQ (snapshot.frames[0].dx, 69.0f);
    EXPECT_EQ (snapshot.frames[543].dx, 612.0f);
    EXPECT_EQ (snapshot.rateHz, 802.5);
    EXPECT_TRUE (snapshot.gyroPresent);
    EXPECT_FALSE (rig.capture.takeOver (snapshot)); // taken once
}

TEST (StrikeCapture, ReArmsOnlyBelowTheQuietLevelAndNeverWhileACaptureWaits)
{
    CaptureRig rig;
    rig.feed ({ 0.5f });
    rig.quiet (200, 0.5f); // a second strike inside the capture starts nothing new
    rig.quiet (312, 0.006f);
    StrikeCaptureSnapshot snapshot;
    ASSERT_TRUE (rig.capture.takeOver (snapshot));
    EXPECT_EQ (snapshot.frames[32].dx, 0.0f);

    rig.feed ({ 0.5f });
    EXPECT_FALSE (rig.capture.takeOver (snapshot));
    rig.quiet (600, 0.006f); // 0.006 itself keeps it disarmed
    EXPECT_FALSE (rig.capture.takeOver (snapshot));
    rig.feed ({ 0.0059f, 0.02f });
    rig.quiet (512);
    ASSERT_TRUE (rig.capture.takeOver (snapshot));
    EXPECT_EQ (snapshot.frames[32].raw, 0.02f);
}

TEST (StrikeCapture, CapturingAllocatesNothing)
{
    CaptureRig rig;
    const test::AllocationCounter counter;
    rig.quiet (50);
    rig.feed ({ 0.5f });
    rig.quiet (2000);
    EXPECT_EQ (counter.allocations(), 0u);
}

TEST (StrikeCapture, ExportsTheCaptureFile)
{
    StrikeCaptureSnapshot snapshot;
    snapshot.rateHz = 0.0; // never measured: exported as 802.5
    snapshot.threshold = 0.00045161489896227997;
    snapshot.frames[32] = { 0.0123456f, 0.004f, -0.0000004f, 0.5f, -0.25f, 1.23456f, 0.0f, -2.0f, 1, 1 };

    std::istringstream text (captureCsvText (snapshot));
    std::vector<std::string> lines;
    for (std::string line; std::getline (text, line);)
        lines.push_back (line);

    ASSERT_EQ (lines.size(), 8u + 544u);
    EXPECT_EQ (lines[0], "# sensorRateHz,802.5");
    EXPECT_EQ (lines[1], "# preSamplesBeforeTrigger,32");
    EXPECT_EQ (lines[4], "# residualThreshold,0.000451615");
    EXPECT_EQ (lines[5], "# gyroPresent,0");
    EXPECT_EQ (lines[6], "# axisMode,0");
    EXPECT_EQ (lines[7], "sample,t_ms,raw_g,env_g,dx_g,dy_g,dz_g,gx_dps,gy_dps,gz_dps,gyro_fresh,fired");
    EXPECT_TRUE (lines[8].starts_with ("0,-39.875,"));
    EXPECT_EQ (lines[8 + 32], "32,0.000,0.012346,0.004000,-0.000000,0.500000,-0.250000,1.2346,0.0000,-2.0000,1,1");
    EXPECT_TRUE (lines[8 + 543].starts_with ("543,636.760,"));
}

TEST (StrikeCapture, ExportReplacesTheTargetWholeOrReportsFailure)
{
    const auto folder = juce::File::createTempFile ("capture");
    ASSERT_TRUE (folder.createDirectory());
    const auto target = folder.getChildFile ("capture.csv");
    ASSERT_TRUE (target.replaceWithText ("old"));
    EXPECT_TRUE (writeCaptureCsv (target, {}));
    EXPECT_TRUE (target.loadFileAsString().startsWith ("# sensorRateHz,802.5\n"));
    EXPECT_FALSE (writeCaptureCsv (folder.getChildFile ("missing/capture.csv"), {}));
    folder.deleteRecursively();
}
