#include "DeskCalibrationCapture.h"
#include "calibration/CalibrationAnalysis.h"
#include "engine/HitDetector.h"
#include "sensor/platform/DeskModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace bopwell;

namespace
{
DeskSurface slowlyRingingDesk() { return DeskSurface::slowlyRinging(); }

test::DeskCalibration sessionOn (const DeskSurface& surface, std::uint64_t seed)
{
    test::DeskCalibration session;
    session.surface = surface;
    session.seed = seed;
    // Its slowest mode needs 1.5 s to fall back to the noise after a firm tap.
    session.tapSpacingSeconds = 1.5;
    return session;
}

// Sample indices at which a detector with the calibrated model and level fires on the desk.
std::vector<int> firesOnDesk (const CalibrationResult& calibration, DeskModel& desk, int samples)
{
    HitDetector detector;
    detector.setRate (desk.rateHz());
    detector.installModel (calibration.model());

    std::vector<int> fires;
    for (int i = 0; i < samples; ++i)
    {
        const auto s = desk.nextSample();
        if (detector.process (s.accelX, s.accelY, s.accelZ, calibration.thresholdLevel) && detector.confirmFire())
            fires.push_back (i);
    }
    return fires;
}
} // namespace

TEST (DeskCalibration, AcceptsACalibrationTakenOnTheDesk)
{
    struct Case
    {
        const char* name;
        test::DeskCalibration session;
    };
    const Case cases[] = {
        { "factory-fitted desk", test::DeskCalibration {} },
        { "slowly ringing desk", sessionOn (slowlyRingingDesk(), 1) },
        { "slowly ringing desk, other noise", sessionOn (slowlyRingingDesk(), 2) },
    };
    for (const auto& c : cases)
    {
        const auto capture = c.session.record();
        ASSERT_EQ (capture.tapCount, 15) << c.name;

        const auto result = analyseCalibration (capture, c.session.rateHz);
        EXPECT_TRUE (result.succeeded) << c.name;
        EXPECT_EQ (result.calibrationResultCode, 0) << c.name;
        EXPECT_EQ (result.detail, "OK") << c.name;
        EXPECT_TRUE (result.modelValid) << c.name;
        EXPECT_GE (result.removal, 0.8) << c.name;
        EXPECT_EQ (result.lightCount + result.mediumCount + result.firmCount, 15) << c.name;
        EXPECT_LT (result.weakLevel, result.mediumLevel) << c.name;
        EXPECT_LT (result.mediumLevel, result.firmLevel) << c.name;
        EXPECT_LT (result.shakeRatio, 1.5) << c.name;
    }
}

TEST (DeskCalibration, LearnsTheDeskWellEnoughThatEveryTapIsSeenOnce)
{
    const std::uint64_t seeds[] = { 1, 2 };
    for (auto seed : seeds)
    {
        const auto session = sessionOn (slowlyRingingDesk(), seed);
        const auto result = analyseCalibration (session.record(), session.rateHz);
        ASSERT_TRUE (result.succeeded) << result.detail;

        // Later, on the same desk: quiet, then light, medium and firm taps in turn, each seen once,
        // and nothing else.
        DeskModel::Options options;
        options.seed = 99 + seed;
        options.surface = session.surface;
        DeskModel desk (options);
        std::vector<int> tapStarts;
        for (int i = 0; i < 15; ++i)
        {
            const double at = 2.0 + 1.0 * i;
            desk.addTap ({ at, session.tapStrengthsG[static_cast<size_t> (i % 3)] });
            tapStarts.push_back (static_cast<int> (at * desk.rateHz()));
        }
        const auto fires = firesOnDesk (result, desk, static_cast<int> (18.0 * desk.rateHz()));

        ASSERT_EQ (fires.size(), tapStarts.size()) << "seed " << seed;
        for (size_t i = 0; i < fires.size(); ++i)
        {
            EXPECT_GE (fires[i], tapStarts[i]) << "tap " << i << ", seed " << seed;
            EXPECT_LE (fires[i], tapStarts[i] + 16) << "tap " << i << ", seed " << seed;
        }
    }
}
