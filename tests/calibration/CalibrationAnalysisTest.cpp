#include "calibration/CalibrationAnalysis.h"
#include "EvenNoise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

using namespace bopwell;

namespace
{
constexpr double rateHz = 800.0;
constexpr std::int32_t firstOnset = 2500;
constexpr std::int32_t tapSpacing = 600;
constexpr std::int32_t lastOnset = firstOnset + 14 * tapSpacing;

// One tap's own motion on X, by tap (0 to 14: light, medium, firm in turn) and samples since its
// onset, negative before it.
using TapMotion = std::function<double (int tap, int sinceOnset)>;

// A capture laid out as the procedure records one at 800 Hz: 1 s settling, 2 s quiet, fifteen taps
// 600 samples apart, the tap phase ending when the last tap completes 320 samples after its onset,
// then 0.6 s of tail. Y and Z carry scaled copies of the taps' motion; every axis carries a faint
// even noise.
CalibrationCapture syntheticCapture (const TapMotion& tapMotion, double noiseG = 1e-6)
{
    CalibrationCapture capture;
    for (int tap = 0; tap < CalibrationCapture::tapsPerCalibration; ++tap)
        capture.tapOnsets[static_cast<size_t> (tap)] = firstOnset + tap * tapSpacing;
    capture.tapCount = CalibrationCapture::tapsPerCalibration;
    capture.quietMedian = 0.0011;
    capture.quietSigma = 0.0002;
    capture.motionLimit = 0.0027;
    capture.segmentRatio = 1.25;

    test::EvenNoise noise (noiseG);
    const std::int32_t tapPhaseEnd = lastOnset + 321;
    for (std::int32_t n = 0; n < tapPhaseEnd + 480; ++n)
    {
        double motion = 0.0;
        for (int tap = 0; tap < capture.tapCount; ++tap)
            motion += tapMotion (tap, n - capture.tapOnsets[static_cast<size_t> (tap)]);
        capture.x.push_back (static_cast<float> (motion + noise.next()));
        capture.y.push_back (static_cast<float> (0.5 * motion + noise.next()));
        capture.z.push_back (static_cast<float> (-0.3 * motion + noise.next()));
        capture.label.push_back (n < 800 ? 1 : n < 2400 ? 2 : n < tapPhaseEnd ? 3 : 4);
    }
    return capture;
}

// Each tap rings as a pure exponentially decaying 60 Hz sine, firmer taps louder.
double decayingRing (int tap, int sinceOnset)
{
    if (sinceOnset < 0)
        return 0.0;
    const double amplitude = 0.01 * (1 << (tap % 3));
    const double t = sinceOnset;
    return amplitude * std::exp (-0.01 * t) * std::sin (2.0 * std::numbers::pi * 60.0 / rateHz * t);
}

void expectQuietCheckCopied (const CalibrationResult& result, const std::string& name)
{
    EXPECT_EQ (result.quietMedian, 0.0011) << name;
    EXPECT_EQ (result.quietSigma, 0.0002) << name;
    EXPECT_EQ (result.motionLimit, 0.0027) << name;
    EXPECT_EQ (result.segmentRatio, 1.25) << name;
}

void expectNoModel (const CalibrationResult& result, const std::string& name)
{
    EXPECT_FALSE (result.succeeded) << name;
    EXPECT_FALSE (result.modelValid) << name;
    EXPECT_EQ (result.coefs, (std::array<double, RingingModel::coefficientCount> {})) << name;
}
} // namespace

TEST (CalibrationAnalysis, LearnsTapsThatRingAsADecayingSine)
{
    const auto result = analyseCalibration (syntheticCapture (decayingRing), rateHz);

    ASSERT_TRUE (result.succeeded) << result.detail;
    EXPECT_EQ (result.calibrationResultCode, 0);
    EXPECT_EQ (result.detail, "OK");
    EXPECT_TRUE (result.modelValid);
    EXPECT_TRUE (result.model().modelValid);
    EXPECT_NE (result.coefs, (std::array<double, RingingModel::coefficientCount> {}));
    EXPECT_GT (result.removal, 0.99);
    EXPECT_LE (result.removal, 1.0);

    EXPECT_EQ (result.lightCount, 5);
    EXPECT_EQ (result.mediumCount, 5);
    EXPECT_EQ (result.firmCount, 5);
    // The ring doubles from light to medium to firm, and so does what the model cannot foresee of it.
    EXPECT_NEAR (result.mediumLevel / result.weakLevel, 2.0, 0.05);
    EXPECT_NEAR (result.firmLevel / result.weakLevel, 4.0, 0.1);

    EXPECT_GT (result.background, 0.0);
    EXPECT_LT (result.background, 1e-4);
    EXPECT_LT (result.shakeRatio, 1.5);
    EXPECT_GT (result.liveReference, 0.0);
    EXPECT_LE (result.liveReference, result.background);
    EXPECT_DOUBLE_EQ (result.margin, result.weakLevel / result.background);
    EXPECT_EQ (result.thresholdMultiplier, 10.0);
    EXPECT_DOUBLE_EQ (result.thresholdLevel, 10.0 * result.background);
    expectQuietCheckCopied (result, "accepted");
}

TEST (CalibrationAnalysis, ReportsEachFailureWithItsCodeAndDetail)
{
    struct Case
    {
        const char* name;
        std::function<void (CalibrationCapture&)> spoil;
        double rate;
        std::int32_t code;
        const char* detail;
    };
    const auto none = [] (CalibrationCapture&) {};
    // Keeps the quiet label only on samples [begin, end); quiet samples elsewhere become settling.
    const auto quietOnly = [] (size_t begin, size_t end)
    {
        return [=] (CalibrationCapture& c)
        {
            for (size_t n = 0; n < c.label.size(); ++n)
            {
                if (n >= begin && n < end)
                    c.label[n] = CalibrationCapture::quietLabel;
                else if (c.label[n] == CalibrationCapture::quietLabel)
                    c.label[n] = 1;
            }
        };
    };
    const double infinity = std::numeric_limits<double>::infinity();

    const Case cases[] = {
        { "14 taps", [] (CalibrationCapture& c) { c.tapCount = 14; }, rateHz, 2, "Capture incomplete" },
        { "16 taps", [] (CalibrationCapture& c) { c.tapCount = 16; }, rateHz, 2, "Capture incomplete" },
        { "a label missing", [] (CalibrationCapture& c) { c.label.pop_back(); }, rateHz, 2, "Capture incomplete" },
        { "Z one sample short", [] (CalibrationCapture& c) { c.z.pop_back(); }, rateHz, 2, "Capture incomplete" },
        { "a tap without an onset", [] (CalibrationCapture& c) { c.tapOnsets[4] = -1; }, rateHz, 3,
          "A captured stroke did not include a complete ringing tail" },
        { "an onset past the end", [] (CalibrationCapture& c) { c.tapOnsets[14] = 1'000'000; }, rateHz, 3,
          "A captured stroke did not include a complete ringing tail" },
        { "a rate so low that the tails hold 150 rows", none, 60.0, 4, "Could not fit the ringing model" },
        { "a rate that is not a number", none, std::numeric_limits<double>::quiet_NaN(), 4, "Could not fit the ringing model" },
        { "a rate so high that no tail ends in the capture", none, 1e300, 3, "A captured stroke did not include a complete ringing tail" },
        { "no quiet samples", quietOnly (0, 0), rateHz, 6, "Background could not be measured" },
        // The first eight samples have no residual and cannot measure the background.
        { "quiet samples only among the first eight", quietOnly (0, 8), rateHz, 6, "Background could not be measured" },
        { "an infinite sample in the quiet check", [=] (CalibrationCapture& c) { c.x[1200] = static_cast<float> (infinity); }, rateHz, 6,
          "Calibration produced an invalid detector level" },
    };

    for (const auto& c : cases)
    {
        auto capture = syntheticCapture (decayingRing);
        c.spoil (capture);
        const auto result = analyseCalibration (capture, c.rate);
        EXPECT_EQ (result.calibrationResultCode, c.code) << c.name;
        EXPECT_EQ (result.detail, c.detail) << c.name;
        expectNoModel (result, c.name);
        expectQuietCheckCopied (result, c.name);
    }
}

TEST (CalibrationAnalysis, SilenceHasNoBackgroundToMeasure)
{
    // The fit still succeeds (with coefficients of 0); removal is 0 because there is no energy.
    const auto result = analyseCalibration (syntheticCapture ([] (int, int) { return 0.0; }, 0.0), rateHz);
    EXPECT_EQ (result.calibrationResultCode, 6);
    EXPECT_EQ (result.detail, "Background or Soft-stroke level could not be measured");
    EXPECT_EQ (result.removal, 0.0);
    EXPECT_EQ (result.background, 0.0);
    EXPECT_EQ (result.weakLevel, 0.0);
    expectNoModel (result, "silence");
}

TEST (CalibrationAnalysis, TapsThatDoNotRingFailOnRemovalButKeepTheirLevels)
{
    // Each tap is a single jolt: its tail is only the noise, which no model can predict.
    const auto result = analyseCalibration (syntheticCapture ([] (int, int t) { return t == 0 ? 0.01 : 0.0; }, 1e-5), rateHz);

    EXPECT_EQ (result.calibrationResultCode, 7);
    EXPECT_EQ (result.detail, "Ringing removal was below 0.80");
    expectNoModel (result, "jolts");
    EXPECT_LT (result.removal, 0.8);
    EXPECT_EQ (result.lightCount, 5);
    EXPECT_GT (result.background, 0.0);
    EXPECT_GT (result.weakLevel, 10.0 * result.background);
    EXPECT_DOUBLE_EQ (result.margin, result.weakLevel / result.background);
    EXPECT_DOUBLE_EQ (result.thresholdLevel, result.background * result.thresholdMultiplier);
}

TEST (CalibrationAnalysis, TailsAreLearntFrom80To320SamplesAfterEachOnsetAt800Hz)
{
    // The last tail needs sample onset + 320 to exist as well, one past its window.
    struct Case
    {
        std::int32_t samplesAfterLastOnset;
        std::int32_t code;
    };
    for (const auto& c : { Case { 321, 0 }, Case { 320, 3 } })
    {
        auto capture = syntheticCapture (decayingRing);
        for (auto* axis : { &capture.x, &capture.y, &capture.z })
            axis->resize (static_cast<size_t> (lastOnset + c.samplesAfterLastOnset));
        capture.label.resize (capture.x.size());
        EXPECT_EQ (analyseCalibration (capture, rateHz).calibrationResultCode, c.code) << c.samplesAfterLastOnset;
    }
}

TEST (CalibrationAnalysis, TapLevelIsTheEnvelopePeakFrom8SamplesBeforeTo24AfterTheOnsetAt800Hz)
{
    // A jolt of one sample raises the 4-sample envelope for four samples from the jolt on.
    struct Case
    {
        int joltAfterOnset;
        bool counted;
    };
    const Case cases[] = { { 0, true }, { 23, true }, { 24, false }, { -11, true }, { -12, false } };

    const double joltG = 0.01;
    const double joltLevel = joltG * std::sqrt (1.0 + 0.25 + 0.09) / 4.0;
    for (const auto& c : cases)
    {
        const auto capture = syntheticCapture ([&] (int, int t) { return t == c.joltAfterOnset ? joltG : 0.0; }, 1e-5);
        const double weakLevel = analyseCalibration (capture, rateHz).weakLevel;
        if (c.counted)
            EXPECT_GT (weakLevel, 0.5 * joltLevel) << c.joltAfterOnset;
        else
            EXPECT_LT (weakLevel, 0.1 * joltLevel) << c.joltAfterOnset;
    }
}

TEST (CalibrationAnalysis, ValidationNeedsAUsableLevelAndEnoughRemoval)
{
    CalibrationResult usable;
    usable.removal = 0.9;
    usable.background = 0.001;
    usable.backgroundRaw = 0.001;
    usable.liveReference = 0.0005;
    usable.weakLevel = 0.004;
    usable.mediumLevel = 0.008;
    usable.firmLevel = 0.016;
    usable.margin = 4.0;
    usable.thresholdMultiplier = 2.0;
    usable.thresholdLevel = 0.002;

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const char* invalid = "Calibration produced an invalid detector level";
    struct Case
    {
        const char* name;
        std::function<void (CalibrationResult&)> change;
        std::int32_t code; // 0: accepted
        const char* detail;
    };
    const Case cases[] = {
        { "usable", [] (CalibrationResult&) {}, 0, "" },
        { "removal exactly 0.8", [] (CalibrationResult& r) { r.removal = 0.8; }, 0, "" },
        { "live reference 0", [] (CalibrationResult& r) { r.liveReference = 0.0; }, 0, "" },
        { "multiplier exactly 1", [] (CalibrationResult& r) { r.thresholdMultiplier = 1.0; }, 0, "" },
        { "multiplier exactly 10", [] (CalibrationResult& r) { r.thresholdMultiplier = 10.0; }, 0, "" },
        { "removal 0.79", [] (CalibrationResult& r) { r.removal = 0.79; }, 7, "Ringing removal was below 0.80" },
        { "removal not a number", [=] (CalibrationResult& r) { r.removal = nan; }, 6, invalid },
        { "raw background infinite", [=] (CalibrationResult& r) { r.backgroundRaw = infinity; }, 6, invalid },
        { "medium level not a number", [=] (CalibrationResult& r) { r.mediumLevel = nan; }, 6, invalid },
        { "firm level infinite", [=] (CalibrationResult& r) { r.firmLevel = infinity; }, 6, invalid },
        { "margin infinite", [=] (CalibrationResult& r) { r.margin = infinity; }, 6, invalid },
        { "multiplier below 1", [] (CalibrationResult& r) { r.thresholdMultiplier = 0.99; }, 6, invalid },
        { "multiplier above 10", [] (CalibrationResult& r) { r.thresholdMultiplier = 10.01; }, 6, invalid },
        { "threshold 0", [] (CalibrationResult& r) { r.thresholdLevel = 0.0; }, 6, invalid },
        { "background 0", [] (CalibrationResult& r) { r.background = 0.0; }, 6, invalid },
        { "weak level 0", [] (CalibrationResult& r) { r.weakLevel = 0.0; }, 6, invalid },
        { "live reference below 0", [] (CalibrationResult& r) { r.liveReference = -1e-12; }, 6, invalid },
        { "an invalid level outranks weak removal",
          [] (CalibrationResult& r)
          {
              r.removal = 0.5;
              r.background = 0.0;
          },
          6, invalid },
    };
    for (const auto& c : cases)
    {
        auto result = usable;
        c.change (result);
        EXPECT_EQ (validateCalibrationResult (result), c.code == 0) << c.name;
        EXPECT_EQ (result.calibrationResultCode, c.code) << c.name;
        EXPECT_EQ (result.detail, c.detail) << c.name;
    }
}
