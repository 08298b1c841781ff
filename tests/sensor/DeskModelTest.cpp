#include "sensor/platform/DeskModel.h"
#include "support/ProcessorHarness.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace bopwell;

TEST (DeskModel, AtRestItReportsGravityAndQuantisedNoise)
{
    DeskModel desk;
    double maxDeviation = 0.0;
    for (int i = 0; i < 4000; ++i)
    {
        const auto s = desk.nextSample();
        for (double v : { s.accelX, s.accelY, s.accelZ + 1.0 })
            maxDeviation = std::max (maxDeviation, std::abs (v));
        EXPECT_EQ (std::round (s.accelZ * 65536.0), s.accelZ * 65536.0);
    }
    EXPECT_GT (maxDeviation, 0.0);
    EXPECT_LT (maxDeviation, 1e-4);
}

TEST (DeskModel, TheSameSeedGivesTheSameStream)
{
    auto stream = [] (std::uint64_t seed)
    {
        DeskModel::Options options;
        options.seed = seed;
        DeskModel desk (options);
        desk.addTap ({ 0.1 });
        std::vector<double> z;
        for (int i = 0; i < 400; ++i)
            z.push_back (desk.nextSample().accelZ);
        return z;
    };
    EXPECT_EQ (stream (7), stream (7));
    EXPECT_NE (stream (7), stream (8));
}

TEST (DeskModel, FactoryFittedSurfaceIsSeenOncePerTapAtEveryStrength)
{
    // From a light tap near the threshold to a hard one, and at the detector's nominal rate as
    // well as the desk's own: the factory profile must see each tap exactly once.
    for (double strength : { 0.004, DeskTap::ordinaryStrengthG, 0.3, 1.5 })
    {
        test::ProcessorHarness h;
        DeskModel desk;
        for (int i = 0; i < 10; ++i)
            desk.addTap ({ 0.4 + 0.35 * i, strength });
        h.feed (desk, static_cast<int> (4.0 * desk.rateHz()));
        EXPECT_EQ (h.fired.size(), 10u) << strength;
    }
}
