#pragma once

#include <cstdint>

namespace bopwell::test
{

// Repeatable noise spread evenly over -amplitude..amplitude, the same on every platform.
class EvenNoise
{
public:
    explicit EvenNoise (double noiseAmplitude, std::uint32_t seed = 12345) : amplitude (noiseAmplitude), state (seed) {}

    double next() noexcept
    {
        state = state * 1664525u + 1013904223u;
        return amplitude * (static_cast<double> (state) / 2147483648.0 - 1.0);
    }

private:
    double amplitude;
    std::uint32_t state;
};

} // namespace bopwell::test
