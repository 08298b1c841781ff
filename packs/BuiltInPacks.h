#pragma once

#include "packs/BuiltInPackTable.h"
#include "packs/SamplePack.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace bopwell::samplepack
{

juce::StringArray getBuiltInPackDisplayNames();

// The embedded asset name of sample number (1-based) of a pack, e.g. "wax_01_wav".
juce::String builtInAssetName (const BuiltInPackInfo& pack, int number);

// Decodes every sample of a built-in pack from the embedded assets. False on any problem: a
// missing asset, no reader, a channel count other than 1 or 2, a rate other than 48 kHz, a length
// outside 1 frame to 10 s, or a failed read.
bool decodeBuiltInPack (int index, juce::AudioFormatManager& formats, Data& pack);

} // namespace bopwell::samplepack
