#include "Random.h"

namespace bopwell::assetgen
{

namespace
{
    // FNV-1a: spreads similar names ("wax_01", "wax_02") over unrelated seeds.
    std::uint64_t hashName (std::string_view name) noexcept
    {
        std::uint64_t hash = 0xcbf29ce484222325ull;
        for (const char c : name)
        {
            hash ^= static_cast<unsigned char> (c);
            hash *= 0x100000001b3ull;
        }
        return hash;
    }
} // namespace

Random::Random (std::string_view seedName) noexcept : state (hashName (seedName) | 1u) {}

double Random::unit() noexcept
{
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const auto bits = (state * 0x2545f4914f6cdd1dull) >> 11;
    return static_cast<double> (bits) / 9007199254740992.0;
}

double Random::between (double low, double high) noexcept { return low + (high - low) * unit(); }

double Random::bipolar() noexcept { return between (-1.0, 1.0); }

int Random::below (int count) noexcept { return static_cast<int> (unit() * count); }

} // namespace bopwell::assetgen
