#include "BuiltInPacks.h"

#include <array>

namespace bopwell::assetgen
{

std::span<const SamplePack> builtInPacks()
{
    static constexpr std::array packs {
        SamplePack { "chocolate", 13, chocolateSnap },
        SamplePack { "wax", 19, waxThud },
        SamplePack { "sticky_keyboard", 14, stickyKey },
        SamplePack { "keyboard", 20, keyClick },
        SamplePack { "bubble_wrap", 15, bubblePop },
        SamplePack { "nailgun", 8, nailgunShot },
        SamplePack { "driver", 6, driverThwack },
        SamplePack { "whiplash", 1, whipCrack },
        SamplePack { "man", 5, vocalHit },
    };
    return packs;
}

std::string sampleName (const SamplePack& pack, int index)
{
    const int number = index + 1;
    return pack.prefix + std::string (number < 10 ? "_0" : "_") + std::to_string (number);
}

} // namespace bopwell::assetgen
