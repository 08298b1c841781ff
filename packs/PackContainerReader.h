#pragma once

#include "packs/PackLoadProgress.h"
#include "packs/SamplePack.h"

#include <juce_core/juce_core.h>

namespace bopwell::samplepack
{

// Reads and verifies a .bopwellpack file: the whole-file digest first, then every header and
// table field, then each sample with its own digest. The file is streamed, never read whole, and
// at most one sample's data is held beyond the pack being built. On failure `pack` is untouched.
PackLoadResult readPackContainer (const juce::File& file, const PackLoadProgress& progress, Data& pack);

} // namespace bopwell::samplepack
