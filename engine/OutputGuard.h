#pragma once

#include "engine/VoiceEngine.h"

#include <array>
#include <cstdint>

namespace bopwell
{

// Watches for acoustic feedback: when the speakers shake the sensor, every played sample causes
// the next hit and the hits run away. The guard logs the moments at which new voices actually
// become audible and trips when 60 of them fall within two seconds.
class OutputGuard
{
public:
    static constexpr int maxEventsPerBlock = 16;
    static constexpr float audibleLevel = 1e-7f;

    // The moment a group of new voices becomes audible.
    struct OnsetEvent
    {
        int sample = 0;
        std::uint16_t voices = 0; // bit i: voice i
    };

    struct BlockOnsets
    {
        std::array<OnsetEvent, maxEventsPerBlock> events {};
        int count = 0;
    };

    // Starts a fresh log after every power-on.
    void followPowerSerial (std::int32_t powerSerial) noexcept;

    // Finds where this block's new voices (pending at block start) become audible in the finished
    // output, in sample order.
    static BlockOnsets findOnsets (const VoiceEngine& engine, const VoiceEngine::Voices& atBlockStart, const VoiceEngine::Samples& samples,
                                   const juce::AudioBuffer<float>& output, const GainRamp& gain) noexcept;

    // Logs the onsets; returns the index of the event that tripped the guard, or -1.
    int log (const BlockOnsets& onsets, std::uint64_t blockStartNs, double nsPerSample, std::int32_t powerSerial) noexcept;

private:
    void restart (std::int32_t powerSerial) noexcept;

    std::array<std::uint64_t, 64> onsetLog {};
    std::uint64_t onsetCount = 0;
    std::int32_t serial = 0;
};

} // namespace bopwell
