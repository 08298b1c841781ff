#pragma once

#include <array>
#include <vector>

namespace bopwell
{

struct CurvePoint
{
    double x = 0.0;
    double y = 0.0;

    bool operator== (const CurvePoint&) const = default;
};

// The velocity curve: ordered points and one shape per segment. A shape of 0.5 draws the segment
// straight; smaller shapes bow it below the chord, larger ones above.
struct VelocityCurve
{
    std::vector<CurvePoint> points;
    std::vector<double> shapes;

    static VelocityCurve identity() { return { { { 0.0, 0.0 }, { 1.0, 1.0 } }, { 0.5 } }; }

    bool operator== (const VelocityCurve&) const = default;
};

inline constexpr int velocityTableSize = 512;
using VelocityTable = std::array<float, velocityTableSize>;

// Samples the curve at i / 511 for every entry. Needs at least one point and, between points,
// one shape per segment.
VelocityTable buildVelocityTable (const VelocityCurve& curve);

// Linear interpolation of the table at an input already clamped to 0..1.
double lookUpVelocity (const VelocityTable& table, double input) noexcept;

} // namespace bopwell
