#pragma once

#include "Voices.h"

#include <span>
#include <string>

namespace bopwell::assetgen
{

struct SamplePack
{
    const char* prefix;
    int count;
    Voice voice;
};

// The sample packs Bopwell ships with. The build lists the same files in
// cmake/BopwellAssets.cmake, and the asset tests check that every one of them is embedded.
std::span<const SamplePack> builtInPacks();

// "wax_03" for the third wax sample: the file name without its extension.
std::string sampleName (const SamplePack& pack, int index);

} // namespace bopwell::assetgen
