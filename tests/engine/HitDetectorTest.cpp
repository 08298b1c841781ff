#include "engine/HitDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace bopwell;

namespace
{
// A valid model that predicts nothing: the residual is then the high-passed signal itself.
RingingModel silentModel()
{
    RingingModel model;
    model.modelValid = true;
    return model;
}

// Drives the detector with accelerations whose gravity-removed Z values are exactly the ones
// asked for, by tracking the gravity estimate the way the detector does.
class HighPassDriver
{
public:
    explicit HighPassDriver (HitDetector& detectorToDrive, double detectionThreshold = 0.001) :
        detector (detectorToDrive), threshold (detectionThreshold), alpha (1.0 / (0.2 * detectorToDrive.rateHz()))
    {
    }

    // Returns whether the peak window closed at this sample.
    bool push (double highPass)
    {
        double accel = gravity + highPass / (1.0 - alpha);
        if (first)
        {
            accel = gravity; // the first sample only seeds the gravity estimate
            first = false;
        }
        gravity += alpha * (accel - gravity);
        ++index;
        return detector.process (0.0, 0.0, accel, threshold);
    }

    // Pushes the values and returns the sample indices (counted from the first push) at which a
    // hit fired.
    std::vector<int> run (const std::vector<double>& values)
    {
        std::vector<int> fires;
        for (double v : values)
            if (push (v) && detector.confirmFire())
                fires.push_back (index - 1);
        return fires;
    }

    HitDetector& detector;
    double threshold;
    double alpha;
    double gravity = 1.0;
    bool first = true;
    int index = 0;
};

std::vector<double> quiet (int samples) { return std::vector<double> (static_cast<size_t> (samples), 0.0); }

std::vector<double> withSpikes (int length, std::initializer_list<std::pair<int, double>> spikes)
{
    auto values = quiet (length);
    for (auto [at, size] : spikes)
        values[static_cast<size_t> (at)] = size;
    return values;
}
} // namespace

TEST (HitDetector, DerivesItsWindowsFromTheRate)
{
    struct Case
    {
        double rate;
        int w, r, t, holdoff;
    };
    for (const auto& c :
         { Case { 802.5, 4, 6, 120, 14 }, Case { 700.0, 4, 5, 105, 14 }, Case { 100.0, 1, 0, 15, 11 }, Case { 5000.0, 16, 40, 750, 26 } })
    {
        HitDetector detector;
        detector.setRate (c.rate);
        EXPECT_EQ (detector.envelopeWindow(), c.w) << c.rate;
        EXPECT_EQ (detector.minimumSpacing(), c.r) << c.rate;
        EXPECT_EQ (detector.rearmTimeout(), c.t) << c.rate;
        EXPECT_EQ (detector.holdoffRemaining(), c.holdoff) << c.rate;
    }
}

TEST (HitDetector, WithoutAValidModelNothingFiresAndTheResidualStaysZero)
{
    HitDetector detector;
    HighPassDriver driver (detector);
    EXPECT_TRUE (driver.run (withSpikes (200, { { 50, 0.5 }, { 120, 0.9 } })).empty());

    driver.push (0.25);
    EXPECT_NEAR (detector.frame().motion, 0.25, 1e-12);
    EXPECT_EQ (detector.frame().residual, 0.0);
    EXPECT_EQ (detector.frame().envelope, 0.0);
}

TEST (HitDetector, ASpikeLiftsTheEnvelopeForOneWindowAndFiresAfterThePeakWindow)
{
    HitDetector detector;
    detector.installModel (silentModel());
    HighPassDriver driver (detector);

    for (int i = 0; i < 40; ++i)
        driver.push (0.0);

    const double spike = 0.01;
    std::vector<bool> closed;
    std::vector<double> envelopes;
    for (double v : { spike, 0.0, 0.0, 0.0, 0.0, 0.0 })
    {
        closed.push_back (driver.push (v));
        envelopes.push_back (detector.frame().envelope);
    }

    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR (envelopes[static_cast<size_t> (i)], spike / 4, 1e-12) << i;
    EXPECT_NEAR (envelopes[4], 0.0, 1e-12);
    EXPECT_EQ (closed, (std::vector<bool> { false, false, false, true, false, false }));
    ASSERT_TRUE (detector.confirmFire());
    EXPECT_NEAR (detector.peak(), spike / 4, 1e-12);
    EXPECT_EQ (detector.peakWindow(), 3);
}

TEST (HitDetector, StrengthIsTheLargestEnvelopeInTheWindowCrossingIncluded)
{
    HitDetector detector;
    detector.installModel (silentModel());
    HighPassDriver driver (detector);
    const auto fires = driver.run (withSpikes (60, { { 40, 0.008 }, { 41, 0.004 }, { 42, 0.004 } }));
    ASSERT_EQ (fires, (std::vector<int> { 43 }));
    EXPECT_NEAR (detector.peak(), 0.016 / 4, 1e-12);
}

TEST (HitDetector, TriggerTimingFollowsHoldoffSpacingAndRearming)
{
    // Threshold 0.001 with W = 4: a spike of 0.01 gives an envelope of 0.0025 for four samples.
    struct Case
    {
        const char* what;
        std::vector<double> values;
        std::vector<int> fires;
    };

    auto heldBetweenHalfAndThreshold = [] (int from, int to, double level, std::vector<double> values)
    {
        for (int i = from; i < to; ++i)
            values[static_cast<size_t> (i)] += level;
        return values;
    };

    const std::vector<Case> cases {
        { "a crossing inside the 14-sample holdoff is ignored", withSpikes (40, { { 5, 0.01 } }), {} },
        { "just after the holdoff it fires", withSpikes (40, { { 14, 0.01 } }), { 17 } },
        // Re-armed at 44 (envelope back to zero); the crossing at 45 is 5 < R samples after the
        // trigger at 40, so the trigger waits for 46, the next sample still above threshold.
        { "minimum spacing delays a crossing", withSpikes (80, { { 40, 0.01 }, { 45, 0.01 } }), { 43, 49 } },
        // Held between half and the whole threshold, the detector stays disarmed until T = 120
        // samples after the trigger: a crossing at 40 + 119 is too early, one at 40 + 121 fires.
        { "re-arming by timeout, too early",
          heldBetweenHalfAndThreshold (41, 300, 0.0007, withSpikes (300, { { 40, 0.01 }, { 156, 0.03 } })),
          { 43 } },
        { "re-arming by timeout",
          heldBetweenHalfAndThreshold (41, 300, 0.0007, withSpikes (300, { { 40, 0.01 }, { 161, 0.03 } })),
          { 43, 164 } },
    };

    for (const auto& c : cases)
    {
        HitDetector detector;
        detector.installModel (silentModel());
        HighPassDriver driver (detector);
        EXPECT_EQ (driver.run (c.values), c.fires) << c.what;
    }
}

TEST (HitDetector, ConfirmFireDiscardsThePeakOnceTheModelIsGone)
{
    HitDetector detector;
    detector.installModel (silentModel());
    HighPassDriver driver (detector);
    bool closed = false;
    for (double v : withSpikes (44, { { 40, 0.01 } }))
        closed = driver.push (v) || closed;
    ASSERT_TRUE (closed);

    detector.installModel (RingingModel {});
    EXPECT_FALSE (detector.confirmFire());
    EXPECT_EQ (detector.peak(), 0.0);
}
