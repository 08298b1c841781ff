#pragma once

#include "packs/SamplePack.h"

#include <juce_core/juce_core.h>

namespace bopwell::samplepack
{

struct PackWriteResult
{
    bool ok = false;
    juce::String message; // why the pack was not written; empty on success
};

// Writes a pack as a .bopwellpack file that the container reader accepts. Refuses what the reader
// would refuse (sample count, channels, lengths, invalid audio values, over-long or malformed
// text) before touching the disk. The file is written beside the target under a temporary name
// and renamed over it only once complete, so a failed write never leaves a partial pack.
PackWriteResult writePackContainer (const Data& pack, const juce::File& target);

} // namespace bopwell::samplepack
