#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstddef>

namespace bopwell::samplepack
{

// True when no value is a NaN or an infinity; values beyond -1..1 are fine.
bool allFinite (const float* values, std::size_t count);
bool allFinite (const juce::AudioBuffer<float>& audio);

// Pack files store floats little-endian. Converts between that and the machine's order, in place,
// either way (swapping is its own inverse); nothing to do on little-endian machines.
void swapLittleEndian (float* values, std::size_t count);

} // namespace bopwell::samplepack
