#include "calibration/DetectorLevel.h"

#include <gtest/gtest.h>

#include <vector>

using namespace bopwell;

TEST (DetectorLevel, AQuietSurfaceIsItsOwnBackground)
{
    // The spike sits above the 99.9th percentile's index, and with every other value equal the
    // robust spread is 0, so nothing is dropped as an outlier either.
    std::vector<double> quiet (1000, 0.001);
    quiet.push_back (1.0);

    const auto levels = measureBackground (quiet);
    EXPECT_EQ (levels.raw, 0.001);
    EXPECT_EQ (levels.background, 0.001);
    EXPECT_EQ (levels.shakeRatio, 1.0);
}

TEST (DetectorLevel, AShakeDuringTheQuietCheckIsLeftOutOfTheBackground)
{
    // A surface level between 0.001 and 0.0019, and a bump that lifts 50 of 1000 values to 0.05.
    std::vector<double> quiet;
    for (int i = 0; i < 1000; ++i)
        quiet.push_back (i % 20 == 7 ? 0.05 : 0.001 + 0.0001 * (i % 10));

    const auto levels = measureBackground (quiet);
    EXPECT_EQ (levels.raw, 0.05);
    EXPECT_DOUBLE_EQ (levels.background, 0.0019);
    EXPECT_DOUBLE_EQ (levels.shakeRatio, 0.05 / 0.0019);
}

TEST (DetectorLevel, ASilentSurfaceHasNoBackground)
{
    const auto levels = measureBackground (std::vector<double> (100, 0.0));
    EXPECT_EQ (levels.raw, 0.0);
    EXPECT_EQ (levels.background, 0.0);
    EXPECT_EQ (levels.shakeRatio, 1.0);
    EXPECT_EQ (levels.liveReference, 0.0);
}

TEST (DetectorLevel, LiveReferenceFollowsTheBackgroundDownQuicklyAndUpSlowly)
{
    struct Case
    {
        const char* name;
        std::vector<double> quiet;
        double liveReference;
    };
    const Case cases[] = {
        { "steady", { 2.0, 2.0, 2.0 }, 2.0 },
        { "falling: 1 % of the way", { 1.0, 0.0 }, 0.99 },
        { "rising: 0.002 % of the way", { 1.0, 2.0 }, 1.00002 },
        { "from nothing, the first level is taken as it is", { 0.0, 0.0, 5.0 }, 5.0 },
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ (measureBackground (c.quiet).liveReference, c.liveReference) << c.name;
}

TEST (DetectorLevel, ThresholdIsTheGeometricMeanOfBackgroundAndLightTapsWithin1To10Times)
{
    struct Case
    {
        double weakLevel;
        double margin, multiplier, threshold;
    };
    const Case cases[] = {
        { 0.004, 4.0, 2.0, 0.002 }, { 0.00025, 0.25, 1.0, 0.001 },                             // below the background: 1x
        { 0.001, 1.0, 1.0, 0.001 }, { 0.1, 100.0, 10.0, 0.01 },    { 0.4, 400.0, 10.0, 0.01 }, // clamped at 10x
    };
    for (const auto& c : cases)
    {
        CalibrationResult result;
        result.background = 0.001;
        result.weakLevel = c.weakLevel;
        deriveDetectionLevel (result);
        EXPECT_DOUBLE_EQ (result.margin, c.margin) << c.weakLevel;
        EXPECT_DOUBLE_EQ (result.thresholdMultiplier, c.multiplier) << c.weakLevel;
        EXPECT_DOUBLE_EQ (result.thresholdLevel, c.threshold) << c.weakLevel;
    }
}
