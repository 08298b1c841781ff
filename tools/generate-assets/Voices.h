#pragma once

#include "Synthesis.h"

namespace bopwell::assetgen
{

// Which sibling of a pack is being made. Voices move their main traits (pitch, length, colour)
// along the pack's spread so that every sibling differs from its neighbours, and leave the
// small details to the asset's own random stream.
struct Variant
{
    int index = 0;
    int count = 1;

    // 0 for the first sibling, 1 for the last.
    double spread() const noexcept { return count > 1 ? static_cast<double> (index) / (count - 1) : 0.0; }
    // Picks one of `kinds` flavours, cycling through the pack.
    int kind (int kinds) const noexcept { return index % kinds; }
};

using Voice = Signal (*) (const Variant& variant, Random& random);

Signal chocolateSnap (const Variant& variant, Random& random);
Signal waxThud (const Variant& variant, Random& random);
Signal stickyKey (const Variant& variant, Random& random);
Signal keyClick (const Variant& variant, Random& random);
Signal bubblePop (const Variant& variant, Random& random);
Signal nailgunShot (const Variant& variant, Random& random);
Signal driverThwack (const Variant& variant, Random& random);
Signal whipCrack (const Variant& variant, Random& random);
Signal vocalHit (const Variant& variant, Random& random);

} // namespace bopwell::assetgen
