#include "cli/StreamRender.h"
#include "packs/BuiltInPacks.h"
#include "sensor/platform/DeskModel.h"
#include "support/AllocationCounter.h"
#include "support/ProcessorAccess.h"

#include "BopwellAssets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace bopwell;
using cli::StreamRender;
using cli::StreamReplay;

namespace
{
constexpr double deskRate = 800.0;

samplepack::PackSample clip (const juce::String& name, int frames, float value, int silentLeadIn = 0)
{
    samplepack::PackSample sample;
    sample.audio.setSize (2, frames);
    sample.audio.clear();
    for (int c = 0; c < 2; ++c)
        juce::FloatVectorOperations::fill (sample.audio.getWritePointer (c, silentLeadIn), value, frames - silentLeadIn);
    sample.name = name;
    return sample;
}

samplepack::Data packOf (std::initializer_list<samplepack::PackSample> samples)
{
    samplepack::Data data;
    for (const auto& s : samples)
        data.samples.push_back (s);
    return data;
}

// A desk stream with taps at the given times, and the engine that plays it offline.
struct PlaybackRig
{
    explicit PlaybackRig (const std::vector<double>& tapTimes, double seconds)
    {
        DeskModel desk;
        for (double t : tapTimes)
            desk.addTap ({ t });
        for (int i = 0; i < static_cast<int> (seconds * deskRate); ++i)
        {
            stream.samples.push_back (desk.nextSample());
            stream.arrivalMs.push_back (i * 1000.0 / deskRate);
        }
        processor.getSensorReader().replayAt (HitDetector::nominalRateHz);
        processor.seedRandom (7);
    }

    juce::AudioBuffer<float> render()
    {
        replay.feed (0, processor);
        processor.setPlayConfigDetails (0, 2, 48000.0, 512);
        processor.prepareToPlay (48000.0, 512);
        return StreamRender (replay, processor, clock, {}).renderAll (1);
    }

    SampleStream stream;
    ManualEngineClock clock { StreamReplay::originNs };
    SensorMidiProcessor processor { clock };
    StreamReplay replay { stream, HitDetector::nominalRateHz, clock };
};

std::vector<int> onsetFrames (const juce::AudioBuffer<float>& audio)
{
    std::vector<int> onsets;
    bool sounding = false;
    for (int k = 0; k < audio.getNumSamples(); ++k)
    {
        const bool now = std::abs (audio.getSample (0, k)) > 1e-6f;
        if (now && ! sounding)
            onsets.push_back (k);
        sounding = now;
    }
    return onsets;
}

std::vector<double> evenly (int count, double first, double spacing)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i)
        times.push_back (first + spacing * i);
    return times;
}
} // namespace

TEST (BuiltInPacks, AssetsAreFoundByTheirExactNameOnly)
{
    int size = -1;
    EXPECT_EQ (BopwellAssets::getNamedResource (nullptr, size), nullptr);
    EXPECT_EQ (size, 0);
    size = -1;
    EXPECT_EQ (BopwellAssets::getNamedResource ("", size), nullptr);
    EXPECT_EQ (size, 0);
    EXPECT_EQ (BopwellAssets::getNamedResource ("wax_20_wav", size), nullptr);
    EXPECT_NE (BopwellAssets::getNamedResource ("wax_19_wav", size), nullptr);
    EXPECT_GT (size, 44);

    EXPECT_EQ (samplepack::getBuiltInPackDisplayNames(), juce::StringArray ({ "Chocolate", "Wax", "Sticky Keyboard", "Keyboard",
                                                                              "Bubble Wrap", "Nailgun", "Driver", "Whiplash", "Man" }));
}

TEST (BuiltInPacks, ConstructionInstallsChocolateAndEveryPackLoads)
{
    ManualEngineClock clock;
    SensorMidiProcessor processor (clock);
    EXPECT_EQ (processor.getPackLabel(), "Chocolate");
    EXPECT_EQ (processor.getBuiltInPack(), 0);
    EXPECT_EQ (processor.getSampleCount(), 13);

    for (int i = 0; i < samplepack::builtInPackCount; ++i)
    {
        const auto& info = samplepack::builtInPackTable[static_cast<size_t> (i)];
        const auto generation = processor.state().playbackGeneration.load();
        ASSERT_TRUE (processor.loadBuiltInPack (i)) << info.id;
        EXPECT_EQ (processor.getSampleCount(), info.sampleCount);
        EXPECT_EQ (processor.getPackLabel(), info.displayName); // Whiplash: the label wins over "Whiplash 1"
        EXPECT_EQ (processor.getPanSpread(), i == 4 ? 0.2f : 0.0f);
        EXPECT_EQ (processor.state().playbackGeneration.load(), generation + 1);
    }

    for (int index : { 9, -1 })
    {
        EXPECT_FALSE (processor.loadBuiltInPack (index));
        EXPECT_EQ (processor.getPackLabel(), "Man");
        EXPECT_EQ (processor.getBuiltInPack(), 8);
    }
}

TEST (BuiltInPacks, CustomPackLabelsAndClearing)
{
    ManualEngineClock clock;
    SensorMidiProcessor processor (clock);
    processor.loadBuiltInPack (4);

    auto one = packOf ({ clip ("kick.wav", 100, 0.5f) });
    processor.installPack (one, {}, -1);
    EXPECT_EQ (processor.getPackLabel(), "kick.wav");
    EXPECT_EQ (processor.getPanSpread(), 0.0f);
    EXPECT_EQ (one.samples.size(), 15u); // the caller is left holding the previous pack

    auto three = packOf ({ clip ("a", 10, 0.1f), clip ("b", 10, 0.1f), clip ("c", 10, 0.1f) });
    three.sourcePaths.add ("/packs/three");
    processor.installPack (three, {}, -1);
    EXPECT_EQ (processor.getPackLabel(), "3 samples (shuffle)");
    EXPECT_EQ (processor.getSamplePaths(), juce::StringArray ("/packs/three"));

    processor.clearPack ("Missing/unreadable pack", juce::StringArray ("/gone"));
    EXPECT_EQ (processor.getSampleCount(), 0);
    EXPECT_EQ (processor.getPackLabel(), "Missing/unreadable pack");
    EXPECT_EQ (processor.getBuiltInPack(), -1);
    EXPECT_EQ (processor.getSamplePaths(), juce::StringArray ("/gone"));
}

TEST (Playback, TenTapsRenderTenOnsetsAtTheirTimes)
{
    const auto taps = evenly (10, 0.5, 0.4);
    PlaybackRig rig (taps, 4.6);
    auto pack = packOf ({ clip ("tick", 2400, 0.5f), clip ("tock", 2400, 0.4f) });
    rig.processor.installPack (pack, {}, -1);

    const auto audio = rig.render();
    const auto onsets = onsetFrames (audio);
    ASSERT_EQ (onsets.size(), 10u);
    for (size_t i = 0; i < onsets.size(); ++i)
    {
        // Row 0 arrives at frame 0 and a row every 60 frames. The hit reaches the audio thread 3
        // rows after its onset: in time for the block that holds the onset, which then starts the
        // voice exactly there, or else the voice starts at the beginning of the next block.
        const int tapRow = static_cast<int> (std::lround (taps[i] * deskRate));
        const int onsetFrame = tapRow * 60;
        const int detectedFrame = (tapRow + 3) * 60;
        const int blockEnd = (onsetFrame / 512 + 1) * 512;
        if (detectedFrame <= blockEnd)
            EXPECT_NEAR (onsets[i], onsetFrame, 1) << i;
        else
            EXPECT_EQ (onsets[i], blockEnd) << i;
    }
    EXPECT_EQ (rig.processor.state().voicesStarted.load(), 10);
}

TEST (Playback, PowerOffConsumesHitsSilently)
{
    PlaybackRig rig (evenly (3, 0.3, 0.3), 1.2);
    rig.replay.feed (0, rig.processor);
    rig.processor.prepareToPlay (48000.0, 512);
    rig.processor.setPower (false);
    const auto audio = StreamRender (rig.replay, rig.processor, rig.clock, {}).renderAll (1);
    EXPECT_EQ (audio.getMagnitude (0, audio.getNumSamples()), 0.0f);
    EXPECT_EQ (rig.processor.state().voicesStarted.load(), 0);
    EXPECT_EQ (rig.processor.pendingHits().size(), 0u);
}

TEST (Playback, TheGuardTripsOnSixtyAudibleOnsetsWithinTwoSeconds)
{
    struct Case
    {
        const char* what;
        int taps;
        double spacing;
        float volume;
        bool trips;
    };
    const Case cases[] = {
        { "59 in one second", 59, 1.0 / 59, 0.7f, false },
        { "60 in 1.8 s", 60, 0.03, 0.7f, true },
        { "60 over 2.1 s", 60, 2.1 / 59, 0.7f, false },
        { "60 in 1.8 s at gain 0", 60, 0.03, 0.0f, false },
    };
    for (const auto& c : cases)
    {
        PlaybackRig rig (evenly (c.taps, 0.3, c.spacing), 0.6 + c.spacing * c.taps);
        auto pack = packOf ({ clip ("blip", 240, 0.3f) });
        rig.processor.installPack (pack, {}, -1);
        rig.processor.setCooldownMs (0);
        rig.processor.setVolumePercent (c.volume * 100);
        rig.render();
        const auto& s = rig.processor.state();
        EXPECT_EQ (s.voicesStarted.load(), c.trips ? 60 : c.taps) << c.what;
        EXPECT_EQ (s.guardTripped.load(), c.trips) << c.what;
        EXPECT_EQ (s.powerOn.load(), ! c.trips) << c.what;
        EXPECT_EQ (s.guardSequence.load(), c.trips ? 2 : 0) << c.what;
        if (c.trips)
        {
            EXPECT_TRUE (rig.processor.setPower (true));
            EXPECT_FALSE (s.guardTripped.load());
        }
    }
}

TEST (Playback, ProcessingABlockAllocatesNothing)
{
    // Taps every 25 ms at 44.1 kHz with Overlap: voices pile up to all sixteen, hits land mid-block,
    // voices are stolen, the guard trips at the 60th onset, a Stop fades everything, and another
    // thread keeps swapping packs while the audio thread plays.
    PlaybackRig rig (evenly (70, 0.2, 0.025), 2.5);
    rig.processor.setCooldownMs (0);
    rig.processor.setChoke (false);
    auto longClips = packOf ({ clip ("long", 48000, 0.05f), clip ("longer", 48000, 0.04f) });
    rig.processor.installPack (longClips, {}, -1);
    rig.replay.feed (0, rig.processor);
    rig.processor.prepareToPlay (44100.0, 256);

    std::atomic<bool> swapping { false };
    std::atomic<bool> done { false };
    std::thread swapper (
        [&]
        {
            auto spare = packOf ({ clip ("spare", 48000, 0.03f), clip ("other", 48000, 0.02f) });
            while (! done.load())
                if (swapping.load())
                    rig.processor.installPack (spare, {}, -1);
        });

    juce::AudioBuffer<float> block (2, 256);
    juce::MidiBuffer midi;
    size_t row = 1;
    int mostVoices = 0;
    size_t allocations = 0;
    for (int b = 0; b < 600; ++b)
    {
        if (b == 400)
            rig.processor.stopAllVoices();
        swapping.store (b >= 450);

        const test::AllocationCounter counter; // the sensor and audio threads' share of the work
        const auto blockEndNs = StreamReplay::originNs + static_cast<std::uint64_t> ((b + 1) * 256 * 1e9 / 44100.0);
        for (; row < rig.replay.rowCount() && rig.replay.arrivalNs (row) <= blockEndNs; ++row)
            rig.replay.feed (row, rig.processor);
        rig.clock.setNs (blockEndNs);
        rig.processor.processBlock (block, midi);
        mostVoices = std::max (mostVoices, rig.processor.state().activeVoiceCount.load());
        allocations += counter.allocations();
    }
    done.store (true);
    swapper.join();

    EXPECT_EQ (allocations, 0u);
    EXPECT_EQ (mostVoices, 16);
    EXPECT_TRUE (rig.processor.state().guardTripped.load());
}

TEST (Playback, ABusySampleSetGivesASilentBlockAndKeepsTheHits)
{
    PlaybackRig rig (evenly (2, 0.2, 0.1), 0.5);
    rig.replay.feed (0, rig.processor);
    rig.processor.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> block (2, 512);
    juce::MidiBuffer midi;
    rig.processor.processBlock (block, midi); // takes the flush that prepareToPlay asked for
    for (size_t row = 1; row < rig.replay.rowCount(); ++row)
        rig.replay.feed (row, rig.processor);
    ASSERT_EQ (rig.processor.pendingHits().size(), 2u);

    {
        const juce::SpinLock::ScopedLockType busy (SensorMidiProcessorTestAccess::sampleSetLock (rig.processor));
        block.setSample (0, 10, 1.0f);
        rig.processor.processBlock (block, midi);
        EXPECT_EQ (block.getMagnitude (0, 512), 0.0f);
        EXPECT_EQ (rig.processor.pendingHits().size(), 2u);
    }

    rig.processor.processBlock (block, midi);
    EXPECT_EQ (rig.processor.pendingHits().size(), 0u);
    EXPECT_EQ (rig.processor.state().voicesStarted.load(), 2);
    EXPECT_GT (block.getMagnitude (0, 512), 0.0f);
}

TEST (Playback, AMidBlockTripKeepsTheTrippingVoiceAndDropsTheOnesAfterIt)
{
    // 2048-frame blocks (42.7 ms): taps 60 and 61 land in one block, 20 ms apart.
    constexpr double block = 2048.0 / 48000.0;
    const double sixtieth = 40 * block + 0.002;
    auto taps = evenly (59, sixtieth - 59 * 0.025, 0.025);
    taps.push_back (sixtieth);
    taps.push_back (sixtieth + 0.02);

    PlaybackRig rig (taps, sixtieth + 0.5);
    auto pack = packOf ({ clip ("blip", 240, 0.3f) });
    rig.processor.installPack (pack, {}, -1);
    rig.processor.setCooldownMs (0);
    rig.replay.feed (0, rig.processor);
    rig.processor.prepareToPlay (48000.0, 2048);
    const auto audio = StreamRender (rig.replay, rig.processor, rig.clock, { 48000.0, 2048, 10.0 }).renderAll (1);

    const auto& s = rig.processor.state();
    EXPECT_TRUE (s.guardTripped.load());
    EXPECT_EQ (s.voicesStarted.load(), 61);
    EXPECT_EQ (onsetFrames (audio).size(), 60u);
    EXPECT_EQ (s.activeVoiceCount.load(), 0);
}

TEST (Playback, StopDiscardsHitsNotYetPlayedAndLeavesPowerOn)
{
    PlaybackRig rig (evenly (2, 0.2, 0.1), 0.5);
    rig.replay.feed (0, rig.processor);
    rig.processor.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> block (2, 512);
    juce::MidiBuffer midi;
    rig.processor.processBlock (block, midi);
    for (size_t row = 1; row < rig.replay.rowCount(); ++row)
        rig.replay.feed (row, rig.processor);
    ASSERT_EQ (rig.processor.pendingHits().size(), 2u);

    rig.processor.stopAllVoices();
    rig.processor.processBlock (block, midi);
    EXPECT_TRUE (rig.processor.state().powerOn.load());
    EXPECT_EQ (rig.processor.state().voicesStarted.load(), 0);
    EXPECT_EQ (rig.processor.pendingHits().size(), 0u);
    EXPECT_EQ (block.getMagnitude (0, 512), 0.0f);
}
