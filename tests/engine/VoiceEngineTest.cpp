#include "engine/VoiceEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace bopwell;

namespace
{
// A mono clip whose frame i holds (i + 1) / 1000, so every read shows where it came from.
samplepack::PackSample rampClip (int frames)
{
    samplepack::PackSample clip;
    clip.audio.setSize (1, frames);
    for (int i = 0; i < frames; ++i)
        clip.audio.setSample (0, i, static_cast<float> (i + 1) / 1000.0f);
    clip.name = "ramp";
    return clip;
}

samplepack::PackSample constantClip (int frames, float value = 0.5f)
{
    samplepack::PackSample clip;
    clip.audio.setSize (2, frames);
    for (int c = 0; c < 2; ++c)
        juce::FloatVectorOperations::fill (clip.audio.getWritePointer (c), value, frames);
    return clip;
}

struct EngineAt
{
    explicit EngineAt (double rate) { engine.prepare (rate); }

    juce::AudioBuffer<float> block (int n = 512)
    {
        juce::AudioBuffer<float> buffer (2, n);
        buffer.clear();
        engine.render (buffer, samples);
        return buffer;
    }

    VoiceEngine engine;
    VoiceEngine::Samples samples;
};
} // namespace

TEST (XorshiftRandom, StepsAndReplacesAZeroState)
{
    XorshiftRandom one (1);
    EXPECT_EQ (one.next(), 270369u);
    XorshiftRandom zero (0);
    XorshiftRandom replaced (XorshiftRandom::zeroReplacement);
    EXPECT_EQ (zero.next(), replaced.next());
}

TEST (ShuffleBag, PlaysEachSampleOncePerRoundAndNeverTwiceInARow)
{
    XorshiftRandom random (12345);
    for (int n : { 1, 2, 3, 5, 78 })
    {
        ShuffleBag bag;
        int previous = -1;
        std::vector<int> picks;
        for (int round = 0; round < 40; ++round)
        {
            std::set<int> seen;
            for (int i = 0; i < n; ++i)
            {
                const int pick = bag.pick (n, random);
                seen.insert (pick);
                if (n > 1)
                {
                    EXPECT_NE (pick, previous) << n;
                }
                previous = pick;
                picks.push_back (pick);
            }
            EXPECT_EQ (static_cast<int> (seen.size()), n);
        }
        if (n == 2)
        {
            for (size_t i = 2; i < picks.size(); ++i)
                EXPECT_EQ (picks[i], picks[i - 2]);
        }
    }
    ShuffleBag empty;
    EXPECT_EQ (empty.pick (0, random), -1);
}

TEST (VoiceEngine, At48kHzAVoicePlaysItsFramesUnchangedFromItsOffset)
{
    EngineAt e (48000.0);
    e.samples.push_back (rampClip (600));
    e.engine.startVoice (0, 100);

    const auto first = e.block();
    EXPECT_EQ (first.getSample (0, 99), 0.0f);
    for (int k = 100; k < 512; ++k)
        ASSERT_EQ (first.getSample (0, k), static_cast<float> (k - 99) / 1000.0f) << k;
    EXPECT_EQ (first.getSample (1, 300), first.getSample (0, 300)); // mono source feeds both channels

    const auto second = e.block();
    EXPECT_EQ (second.getSample (0, 0), 413 / 1000.0f);
    EXPECT_EQ (second.getSample (0, 187), 600 / 1000.0f);
    EXPECT_EQ (second.getSample (0, 188), 0.0f);
    EXPECT_EQ (e.engine.activeCount(), 0);
}

TEST (VoiceEngine, At44100HzOneSecondOfSourceLastsOneSecond)
{
    EngineAt e (44100.0);
    e.samples.push_back (constantClip (48000));
    e.engine.startVoice (0, 0);
    EXPECT_DOUBLE_EQ (e.engine.step(), 48000.0 / 44100.0);

    int audible = 0;
    for (int b = 0; b < 100 && e.engine.activeCount() > 0; ++b)
    {
        const auto buffer = e.block();
        for (int k = 0; k < buffer.getNumSamples(); ++k)
            audible += buffer.getSample (0, k) != 0.0f ? 1 : 0;
    }
    EXPECT_NEAR (audible, 44100, 1);
}

TEST (VoiceEngine, AChokeFadesEarlierVoicesFromTheNewVoicesOffsetOver3Ms)
{
    EngineAt e (48000.0);
    e.samples.push_back (constantClip (48000, 0.25f));
    e.engine.startVoice (0, 0);
    e.block();

    e.engine.fadeOutActiveVoices (100);
    const auto buffer = e.block();
    const int fade = e.engine.fadeSamples();
    ASSERT_EQ (fade, 144);
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ (buffer.getSample (0, k), 0.25f) << k;
    EXPECT_EQ (buffer.getSample (0, 100), 0.25f); // the first faded sample is whole
    EXPECT_FLOAT_EQ (buffer.getSample (0, 100 + 1), 0.25f * 143 / 144);
    EXPECT_FLOAT_EQ (buffer.getSample (0, 100 + 143), 0.25f / 144); // the last one is 1 / fadeLength
    EXPECT_EQ (buffer.getSample (0, 100 + 144), 0.0f);
    EXPECT_EQ (e.engine.activeCount(), 0);
}

TEST (VoiceEngine, AVoiceAlreadyFadingKeepsItsOwnFade)
{
    EngineAt e (48000.0);
    e.samples.push_back (constantClip (48000));
    e.engine.startVoice (0, 0);
    e.engine.fadeOutActiveVoices (500); // fade starts near the end of this block
    e.block();
    const auto before = e.engine.voices()[0];
    ASSERT_EQ (before.fadeRemaining, 144 - 12);

    e.engine.fadeOutActiveVoices (0); // Stop: only voices without a fade are affected
    EXPECT_EQ (e.engine.voices()[0].fadeRemaining, before.fadeRemaining);
    EXPECT_EQ (e.engine.voices()[0].fadeLength, 144);
}

TEST (VoiceEngine, TheSeventeenthVoiceStealsTheOneFurthestIntoItsSample)
{
    EngineAt e (48000.0);
    e.samples.push_back (constantClip (48000));
    for (int i = 0; i < 16; ++i)
        e.engine.startVoice (0, 0);
    e.block();
    e.engine.voices()[0] = Voice {};
    e.engine.startVoice (0, 0); // takes the free slot 0, so voices 1 to 15 now lead equally
    e.block();
    ASSERT_EQ (e.engine.activeCount(), 16);

    const auto& stolen = e.engine.startVoice (0, 7);
    EXPECT_EQ (&stolen, &e.engine.voices()[1]); // ties go to the lowest index
    EXPECT_EQ (stolen.position, 0.0);
    EXPECT_EQ (stolen.startOffset, 7);
    EXPECT_TRUE (stolen.onsetPending);
}

TEST (VoiceEngine, GainRampsAcrossOneBlockWhenItMoves)
{
    EngineAt e (48000.0);
    auto first = e.engine.takeGainRamp (0.7f, 512);
    EXPECT_FALSE (first.ramping);
    EXPECT_EQ (first.at (300), 0.7f);

    const auto ramp = e.engine.takeGainRamp (0.35f, 512);
    ASSERT_TRUE (ramp.ramping);
    EXPECT_EQ (ramp.at (0), 0.7f);
    EXPECT_FLOAT_EQ (ramp.at (256), 0.525f);
    EXPECT_FLOAT_EQ (ramp.at (511), 0.7f - 0.35f * 511 / 512);

    const auto tiny = e.engine.takeGainRamp (0.35f + 5e-7f, 512);
    EXPECT_FALSE (tiny.ramping);
    EXPECT_EQ (tiny.at (100), 0.35f);
}

TEST (SoftClip, BendsOnlyAboveEightTenths)
{
    EXPECT_EQ (softClip (0.5f), 0.5f);
    EXPECT_EQ (softClip (-0.8f), -0.8f);
    EXPECT_FLOAT_EQ (softClip (2.0f), 0.8f + 0.18f * std::tanh (1.2f / 0.18f));
    EXPECT_FLOAT_EQ (softClip (-2.0f), -softClip (2.0f));
    EXPECT_LE (softClip (1000.0f), 0.98f);
}

TEST (SpreadPan, CentreIsUnityAndWidthFollowsTheSpread)
{
    Voice voice;
    XorshiftRandom random (99);
    spreadPan (voice, 0.0f, random);
    EXPECT_FLOAT_EQ (voice.panLeft, 1.0f);
    EXPECT_FLOAT_EQ (voice.panRight, 1.0f);

    for (int i = 0; i < 200; ++i)
    {
        spreadPan (voice, 0.2f, random);
        EXPECT_NEAR (voice.panLeft * voice.panLeft + voice.panRight * voice.panRight, 2.0f, 1e-5f);
        EXPECT_GT (voice.panLeft, 0.68f); // 0.2 of the way to a hard pan at most
        EXPECT_GT (voice.panRight, 0.68f);
    }
}
