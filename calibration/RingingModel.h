#pragma once

#include <array>
#include <cstddef>

namespace bopwell
{

// The surface's ringing as an eighth-order linear predictor per axis. Coefficients 0..7 belong to
// X, 8..15 to Y and 16..23 to Z; within an axis, coefficient k - 1 multiplies the gravity-removed
// value k samples back.
struct RingingModel
{
    static constexpr int order = 8;
    static constexpr int axes = 3;
    static constexpr int coefficientCount = order * axes;

    std::array<double, coefficientCount> coefs {};
    bool modelValid = false;

    double coefficient (int axis, int lag) const noexcept { return coefs[static_cast<std::size_t> (axis * order + lag - 1)]; }
};

} // namespace bopwell
