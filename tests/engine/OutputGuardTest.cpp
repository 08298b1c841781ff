#include "engine/OutputGuard.h"

#include <gtest/gtest.h>

using namespace bopwell;

namespace
{
samplepack::PackSample withLeadIn (int silentFrames, int frames)
{
    samplepack::PackSample sample;
    sample.audio.setSize (1, frames);
    sample.audio.clear();
    juce::FloatVectorOperations::fill (sample.audio.getWritePointer (0, silentFrames), 0.25f, frames - silentFrames);
    return sample;
}

struct GuardBlock
{
    GuardBlock() { engine.prepare (48000.0); }

    OutputGuard::BlockOnsets run (float masterGain = 0.7f, int n = 1024)
    {
        const auto atStart = engine.voices();
        juce::AudioBuffer<float> buffer (2, n);
        buffer.clear();
        engine.render (buffer, samples);
        const auto gain = engine.takeGainRamp (masterGain, n);
        applyGain (buffer, gain);
        softClip (buffer);
        return OutputGuard::findOnsets (engine, atStart, samples, buffer, gain);
    }

    VoiceEngine engine;
    VoiceEngine::Samples samples;
};
} // namespace

TEST (OutputGuard, AnOnsetIsWhereTheVoiceFirstBecomesAudible)
{
    GuardBlock g;
    g.samples.push_back (withLeadIn (480, 4800)); // 10 ms of digital silence first
    g.samples.push_back (withLeadIn (0, 4800));
    g.engine.startVoice (0, 100);
    g.engine.startVoice (1, 300);
    g.engine.startVoice (1, 300);

    const auto onsets = g.run();
    ASSERT_EQ (onsets.count, 2);
    EXPECT_EQ (onsets.events[0].sample, 300);
    EXPECT_EQ (onsets.events[0].voices, 0b110); // one group: both voices starting at 300
    EXPECT_EQ (onsets.events[1].sample, 580);
    EXPECT_EQ (onsets.events[1].voices, 0b001);
}

TEST (OutputGuard, NothingIsHeardAtGainZeroOrPastTheBlock)
{
    GuardBlock silent;
    silent.samples.push_back (withLeadIn (0, 4800));
    silent.engine.startVoice (0, 0);
    EXPECT_EQ (silent.run (0.0f).count, 0);

    GuardBlock late;
    late.samples.push_back (withLeadIn (2000, 4800));
    late.engine.startVoice (0, 0);
    EXPECT_EQ (late.run().count, 0); // heard only in a later block
}

TEST (OutputGuard, SixtyOnsetsWithinTwoSecondsTrip)
{
    struct Case
    {
        std::uint64_t spanNs; // from the first to the 60th onset
        int trippingEvent;
    };
    for (const auto& c : { Case { 1'999'999'999, 59 }, Case { 2'000'000'000, -1 } })
    {
        OutputGuard guard;
        guard.followPowerSerial (1);
        OutputGuard::BlockOnsets one;
        one.count = 1;
        int tripped = -2;
        for (int i = 0; i < 60 && tripped < 0; ++i)
        {
            const auto t =
                std::uint64_t { 5'000'000'000 } + (i == 59 ? c.spanNs : static_cast<std::uint64_t> (i) * std::uint64_t { 30'000'000 });
            tripped = guard.log (one, t, 0.0, 1);
            if (tripped >= 0)
                tripped = i;
        }
        EXPECT_EQ (tripped < 0 ? -1 : tripped, c.trippingEvent) << c.spanNs;
    }
}

TEST (OutputGuard, EveryPowerOnStartsTheCountAfresh)
{
    OutputGuard guard;
    OutputGuard::BlockOnsets one;
    one.count = 1;
    auto logAt = [&] (int i, std::int32_t serial) {
        return guard.log (one, std::uint64_t { 1'000'000'000 } + static_cast<std::uint64_t> (i) * std::uint64_t { 10'000'000 }, 0.0,
                          serial);
    };

    for (int i = 0; i < 59; ++i)
        ASSERT_EQ (logAt (i, 1), -1);
    for (int i = 59; i < 118; ++i) // 59 more within the same 2 s, but after a new power-on
        EXPECT_EQ (logAt (i, 2), -1) << i;
    EXPECT_EQ (logAt (118, 2), 0); // the 60th since that power-on
}
