#include "engine/VelocityCurve.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace bopwell;

TEST (VelocityCurve, IdentityCurveGivesEntryIOver511)
{
    const auto table = buildVelocityTable (VelocityCurve::identity());
    for (int i = 0; i < velocityTableSize; ++i)
        EXPECT_EQ (table[static_cast<size_t> (i)], static_cast<float> (i / 511.0)) << i;
}

TEST (VelocityCurve, OnePointGivesAConstantTable)
{
    const auto table = buildVelocityTable ({ { { 0.3, 0.6 } }, {} });
    for (auto entry : table)
        EXPECT_EQ (entry, 0.6f);
}

TEST (VelocityCurve, ShapeBendsTheSegment)
{
    // shape 0.25: exponent ln 0.25 / -ln 2 = 2, so the segment is t squared; shape 0.75 bows above.
    const auto below = buildVelocityTable ({ { { 0.0, 0.0 }, { 1.0, 1.0 } }, { 0.25 } });
    const auto above = buildVelocityTable ({ { { 0.0, 0.0 }, { 1.0, 1.0 } }, { 0.75 } });
    for (int i : { 100, 255, 400 })
    {
        const double c = i / 511.0;
        EXPECT_FLOAT_EQ (below[static_cast<size_t> (i)], static_cast<float> (c * c));
        EXPECT_GT (above[static_cast<size_t> (i)], static_cast<float> (c));
    }
}

TEST (VelocityCurve, OutsideThePointsHoldsTheEndValues)
{
    const auto table = buildVelocityTable ({ { { 0.2, 0.1 }, { 0.2, 0.4 }, { 0.8, 0.9 } }, { 0.5, 0.5 } });
    EXPECT_EQ (table[0], 0.1f);                                                               // before the first point
    EXPECT_EQ (table[102], 0.1f);                                                             // 102/511 < 0.2
    EXPECT_FLOAT_EQ (table[103], static_cast<float> (0.4 + 0.5 * (103 / 511.0 - 0.2) / 0.6)); // zero-width segment skipped
    EXPECT_EQ (table[511], 0.9f);                                                             // past the last point
}

TEST (VelocityCurve, LookUpInterpolatesBetweenEntries)
{
    VelocityTable table {};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<float> (i * i) / (511.0f * 511.0f);

    EXPECT_DOUBLE_EQ (lookUpVelocity (table, 0.5), (table[255] + table[256]) / 2.0); // 0.04 / 0.08: f = 255.5
    EXPECT_DOUBLE_EQ (lookUpVelocity (table, 1.0), table[511]);
    EXPECT_DOUBLE_EQ (lookUpVelocity (table, 0.0), table[0]);
}
