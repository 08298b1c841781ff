#include "calibration/CaptureSignals.h"
#include "calibration/FactoryProfile.h"
#include "engine/HitDetector.h"
#include "sensor/platform/DeskModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace bopwell;

namespace
{
CalibrationCapture captureOf (std::vector<float> x, std::vector<float> y, std::vector<float> z)
{
    CalibrationCapture capture;
    capture.x = std::move (x);
    capture.y = std::move (y);
    capture.z = std::move (z);
    return capture;
}

struct Term
{
    int axis, lag;
    double coefficient;
};

RingingModel modelWith (std::initializer_list<Term> terms)
{
    RingingModel model;
    for (const auto& t : terms)
        model.coefs[static_cast<size_t> (t.axis * RingingModel::order + t.lag - 1)] = t.coefficient;
    return model;
}

double largestDifference (const std::vector<double>& a, const std::vector<double>& b, size_t from)
{
    double largest = 0.0;
    for (size_t n = from; n < a.size(); ++n)
        largest = std::max (largest, std::abs (a[n] - b[n]));
    return largest;
}
} // namespace

TEST (CaptureSignals, MotionIsTheMagnitudeOfTheThreeAxes)
{
    const auto motion = motionMagnitudes (captureOf ({ 3.0f, 0.0f, -1.0f }, { 4.0f, 0.0f, 0.0f }, { 0.0f, 0.5f, 0.0f }));
    EXPECT_EQ (motion, (std::vector<double> { 5.0, 0.5, 1.0 }));
}

TEST (CaptureSignals, ResidualIsWhatTheModelLeavesOnTheThreeAxes)
{
    // X is 3 throughout, Y counts 1 to 8 over and over, Z is 4 throughout.
    constexpr size_t length = 24;
    std::vector<float> counting;
    for (size_t n = 0; n < length; ++n)
        counting.push_back (static_cast<float> (n % 8 + 1));
    const auto capture = captureOf (std::vector<float> (length, 3.0f), counting, std::vector<float> (length, 4.0f));

    struct Case
    {
        const char* name;
        RingingModel model;
        double xLeft;
        bool yLeft;
        double zLeft;
    };
    const Case cases[] = {
        { "nothing predicted", {}, 3.0, true, 4.0 },
        { "Y from eight samples back", modelWith ({ { 1, 8, 1.0 } }), 3.0, false, 4.0 },
        { "Z as half of two samples back", modelWith ({ { 2, 2, 0.5 } }), 3.0, true, 2.0 },
        { "all three predicted", modelWith ({ { 0, 1, 1.0 }, { 1, 8, 1.0 }, { 2, 1, 1.0 } }), 0.0, false, 0.0 },
    };
    for (const auto& c : cases)
    {
        const auto residuals = residualMagnitudes (capture, c.model);
        ASSERT_EQ (residuals.size(), length);
        for (size_t n = 0; n < length; ++n)
        {
            const double y = c.yLeft ? counting[n] : 0.0;
            // The first eight samples lack a full history and count as 0.
            const double expected = n < 8 ? 0.0 : std::sqrt (c.xLeft * c.xLeft + y * y + c.zLeft * c.zLeft);
            EXPECT_DOUBLE_EQ (residuals[n], expected) << c.name << " at sample " << n;
        }
    }
}

TEST (CaptureSignals, EnvelopeWindowIsFiveMillisecondsLikeTheDetectors)
{
    struct Case
    {
        double rateHz;
        int window;
    };
    const Case cases[] = {
        { 800.0, 4 }, { 802.5, 4 }, { 700.0, 4 }, // 3.5 rounds away from zero
        { 500.0, 3 }, { 100.0, 1 }, { 60.0, 1 },  { 3000.0, 15 }, { 3300.0, 16 }, { 10000.0, 16 },
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ (envelopeWindowSamples (c.rateHz), c.window) << c.rateHz;
        HitDetector detector;
        detector.setRate (c.rateHz);
        EXPECT_EQ (envelopeWindowSamples (c.rateHz), detector.envelopeWindow()) << c.rateHz;
    }

    // Rates that are not a usable number still give a window.
    for (double rate : { 0.0, -800.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity() })
        EXPECT_GE (envelopeWindowSamples (rate), 1) << rate;
}

TEST (CaptureSignals, EnvelopeIsTheMeanOfTheLastWindowOfResiduals)
{
    const std::vector<double> residuals { 4.0, 8.0, 0.0, 0.0, 12.0, 0.0 };
    struct Case
    {
        int window;
        std::vector<double> envelope;
    };
    const Case cases[] = {
        { 1, residuals },
        { 2, { 4.0, 6.0, 4.0, 0.0, 6.0, 6.0 } },
        // Until four residuals exist, the mean of those there are.
        { 4, { 4.0, 6.0, 4.0, 3.0, 5.0, 3.0 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ (envelopeOf (residuals, c.window), c.envelope) << c.window;
}

TEST (CaptureSignals, AgreeWithTheLiveDetectorOnTheSameSamples)
{
    // The capture stores the detector's gravity-removed values as floats; recomputed from those,
    // residual and envelope must be what the detector itself saw, up to that rounding.
    DeskModel desk;
    desk.addTap ({ 0.5 });
    desk.addTap ({ 1.2, 0.12 });
    HitDetector detector;
    detector.setRate (desk.rateHz());
    detector.installModel (factory::ringingModel());

    CalibrationCapture capture;
    std::vector<double> liveResidual, liveEnvelope;
    for (int i = 0; i < 1600; ++i)
    {
        const auto sample = desk.nextSample();
        detector.process (sample.accelX, sample.accelY, sample.accelZ, 1.0);
        const auto& frame = detector.frame();
        capture.x.push_back (static_cast<float> (frame.highPass[0]));
        capture.y.push_back (static_cast<float> (frame.highPass[1]));
        capture.z.push_back (static_cast<float> (frame.highPass[2]));
        liveResidual.push_back (frame.residual);
        liveEnvelope.push_back (frame.envelope);
    }

    const auto residuals = residualMagnitudes (capture, factory::ringingModel());
    const auto envelope = envelopeOf (residuals, envelopeWindowSamples (desk.rateHz()));
    const double largestEnvelope = *std::max_element (liveEnvelope.begin(), liveEnvelope.end());

    // The detector's first eight residuals come from a partial history; from there on they agree.
    const size_t settled = RingingModel::order + static_cast<size_t> (detector.envelopeWindow());
    EXPECT_LT (largestDifference (residuals, liveResidual, RingingModel::order), 1e-6 * largestEnvelope);
    EXPECT_LT (largestDifference (envelope, liveEnvelope, settled), 1e-6 * largestEnvelope);
    EXPECT_GT (largestEnvelope, 1e-3);
}
