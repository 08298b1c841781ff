#pragma once

#include "engine/VelocityCurve.h"

#include <span>
#include <vector>

namespace bopwell
{

// The flat curve form that saved states carry: N, then the N points as x0, y0, x1, y1, ..., then
// the N - 1 shapes; 3N values in all.
inline constexpr int minFlatCurvePoints = 2;
inline constexpr int maxFlatCurvePoints = 1024;
inline constexpr int maxFlatCurveValues = 3 * maxFlatCurvePoints;

// Writes the curve as it is; a curve without one shape per segment comes out as a list that
// readFlatCurve refuses.
std::vector<double> flattenCurve (const VelocityCurve& curve);

// Applies the curve rule to a flat list and, when it holds, replaces `curve` with the points and
// shapes it describes. Returns false, leaving `curve` untouched, when the rule fails: the list is
// empty; N is not a whole number within 2..1024 or the list does not hold exactly 3N values; a
// point lies outside 0..1 or its x is below the previous one; the first point is off both the
// left and the bottom edge, or the last off both the right and the top edge; a shape lies
// outside 0.001..0.999. Non-finite values fail every range check.
bool readFlatCurve (std::span<const double> flat, VelocityCurve& curve);

} // namespace bopwell
