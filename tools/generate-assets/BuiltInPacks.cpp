#include "BuiltInPacks.h"

#include "packs/BuiltInPackTable.h"

#include <array>

namespace bopwell::assetgen
{

std::span<const SamplePack> builtInPacks()
{
    // One voice per row of the pack table, in its order.
    static constexpr std::array<Voice, samplepack::builtInPackCount> voices {
        chocolateSnap, waxThud, stickyKey, keyClick, bubblePop, nailgunShot, driverThwack, whipCrack, vocalHit,
    };
    static const auto packs = []
    {
        std::array<SamplePack, samplepack::builtInPackCount> table {};
        for (size_t i = 0; i < table.size(); ++i)
            table[i] = { samplepack::builtInPackTable[i].assetPrefix, samplepack::builtInPackTable[i].sampleCount, voices[i] };
        return table;
    }();
    return packs;
}

std::string sampleName (const SamplePack& pack, int index)
{
    const int number = index + 1;
    return pack.prefix + std::string (number < 10 ? "_0" : "_") + std::to_string (number);
}

} // namespace bopwell::assetgen
