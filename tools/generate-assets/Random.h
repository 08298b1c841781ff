#pragma once

#include <cstdint>
#include <string_view>

namespace bopwell::assetgen
{

// xorshift64*, seeded from an asset's name: every asset draws its own stream, so adding or
// reordering assets never changes the others, and every build synthesises the same bytes.
class Random
{
public:
    explicit Random (std::string_view seedName) noexcept;

    // Uniform in [0, 1).
    double unit() noexcept;
    // Uniform in [low, high).
    double between (double low, double high) noexcept;
    // Uniform in [-1, 1).
    double bipolar() noexcept;
    // Uniform over 0 .. count - 1.
    int below (int count) noexcept;

private:
    std::uint64_t state;
};

} // namespace bopwell::assetgen
