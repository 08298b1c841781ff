#include "engine/OutputGuard.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

namespace
{
    constexpr std::uint64_t tripWindowNs = 1'999'999'999;
    constexpr std::uint64_t onsetsToTrip = 60;

    std::uint16_t bit (int voice) noexcept { return static_cast<std::uint16_t> (1u << voice); }
} // namespace

void OutputGuard::restart (std::int32_t powerSerial) noexcept
{
    onsetLog.fill (0);
    onsetCount = 0;
    serial = powerSerial;
}

void OutputGuard::followPowerSerial (std::int32_t powerSerial) noexcept
{
    if (powerSerial != serial)
        restart (powerSerial);
}

OutputGuard::BlockOnsets OutputGuard::findOnsets (const VoiceEngine& engine, const VoiceEngine::Voices& atBlockStart,
                                                  const VoiceEngine::Samples& samples, const juce::AudioBuffer<float>& output,
                                                  const GainRamp& gain) noexcept
{
    BlockOnsets onsets;
    const int numSamples = output.getNumSamples();
    const int numChannels = output.getNumChannels();

    auto contribution = [&] (int voice, int channel, int k) {
        return engine.contributionAt (atBlockStart[static_cast<size_t> (voice)], samples, channel, numChannels, numSamples, k)
               * gain.at (k);
    };

    std::uint16_t isNew = 0;
    for (int i = 0; i < VoiceEngine::voiceCount; ++i)
        if (atBlockStart[static_cast<size_t> (i)].active && atBlockStart[static_cast<size_t> (i)].onsetPending)
            isNew |= bit (i);

    std::uint16_t grouped = 0;
    for (int first = 0; first < VoiceEngine::voiceCount && onsets.count < maxEventsPerBlock; ++first)
    {
        if ((isNew & bit (first)) == 0 || (grouped & bit (first)) != 0)
            continue;

        // Voices that start at the same sample are heard as one group.
        const int offset = atBlockStart[static_cast<size_t> (first)].startOffset;
        std::uint16_t waiting = 0;
        for (int i = first; i < VoiceEngine::voiceCount; ++i)
            if ((isNew & bit (i)) != 0 && atBlockStart[static_cast<size_t> (i)].startOffset == offset)
                waiting |= bit (i);
        grouped |= waiting;

        for (int k = std::clamp (offset, 0, numSamples); k < numSamples && waiting != 0 && onsets.count < maxEventsPerBlock; ++k)
        {
            bool audible = false;
            for (int c = 0; c < numChannels && ! audible; ++c)
            {
                float sum = 0.0f;
                for (int i = 0; i < VoiceEngine::voiceCount; ++i)
                    if ((waiting & bit (i)) != 0)
                        sum += contribution (i, c, k);
                audible = std::abs (sum) > audibleLevel && std::abs (output.getSample (c, k)) > audibleLevel;
            }
            if (! audible)
                continue;

            OnsetEvent event { k, 0 };
            for (int i = 0; i < VoiceEngine::voiceCount; ++i)
                for (int c = 0; c < numChannels && (waiting & bit (i)) != 0; ++c)
                    if (std::abs (contribution (i, c, k)) > audibleLevel)
                    {
                        event.voices |= bit (i);
                        waiting &= static_cast<std::uint16_t> (~bit (i));
                    }
            if (event.voices == 0)
                break;
            onsets.events[static_cast<size_t> (onsets.count++)] = event;
        }
    }

    // A stable insertion sort: std::stable_sort may allocate, and there are at most 16 events.
    for (int i = 1; i < onsets.count; ++i)
        for (int j = i; j > 0 && onsets.events[static_cast<size_t> (j)].sample < onsets.events[static_cast<size_t> (j - 1)].sample; --j)
            std::swap (onsets.events[static_cast<size_t> (j)], onsets.events[static_cast<size_t> (j - 1)]);
    return onsets;
}

int OutputGuard::log (const BlockOnsets& onsets, std::uint64_t blockStartNs, double nsPerSample, std::int32_t powerSerial) noexcept
{
    for (int e = 0; e < onsets.count; ++e)
    {
        const auto t = blockStartNs + static_cast<std::uint64_t> (nsPerSample * onsets.events[static_cast<size_t> (e)].sample);
        if (powerSerial != serial)
        {
            restart (powerSerial);
            onsetLog[0] = t;
            onsetCount = 1;
            continue;
        }

        onsetLog[onsetCount % 64] = t;
        if (onsetCount < onsetsToTrip - 1)
        {
            ++onsetCount;
            continue;
        }
        // The onset logged 59 events earlier.
        const auto old = onsetLog[(onsetCount + 5) % 64];
        ++onsetCount;
        if (t >= old && t - old <= tripWindowNs)
            return e;
    }
    return -1;
}

} // namespace bopwell
