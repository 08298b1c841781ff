#include "packs/SampleValues.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace bopwell::samplepack
{

bool allFinite (const float* values, std::size_t count)
{
    // Tested on the bits, without an early exit, so that the loop vectorises: a pack can hold
    // 23 million values.
    constexpr std::uint32_t exponentBits = 0x7f800000;
    std::uint32_t nonFinite = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        std::uint32_t bits;
        std::memcpy (&bits, values + i, sizeof (bits));
        nonFinite |= static_cast<std::uint32_t> ((bits & exponentBits) == exponentBits);
    }
    return nonFinite == 0;
}

bool allFinite (const juce::AudioBuffer<float>& audio)
{
    for (int channel = 0; channel < audio.getNumChannels(); ++channel)
        if (! allFinite (audio.getReadPointer (channel), static_cast<std::size_t> (audio.getNumSamples())))
            return false;
    return true;
}

void swapLittleEndian (float* values, std::size_t count)
{
    if constexpr (std::endian::native == std::endian::big)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            std::uint32_t bits;
            std::memcpy (&bits, values + i, sizeof (bits));
            bits = juce::ByteOrder::swap (bits);
            std::memcpy (values + i, &bits, sizeof (bits));
        }
    }
    else
    {
        juce::ignoreUnused (values, count);
    }
}

} // namespace bopwell::samplepack
