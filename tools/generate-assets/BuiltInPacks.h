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

// The sample packs Bopwell ships with (packs/BuiltInPackTable.h), each with its synthesis voice.
std::span<const SamplePack> builtInPacks();

// "wax_03" for the third wax sample: the file name without its extension.
std::string sampleName (const SamplePack& pack, int index);

} // namespace bopwell::assetgen
