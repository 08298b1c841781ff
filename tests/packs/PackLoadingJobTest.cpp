#include "PackFixtures.h"
#include "engine/SensorMidiProcessor.h"
#include "support/Eventually.h"

#include <gtest/gtest.h>

using namespace bopwell;
using bopwell::testing::ScratchFolder;

namespace
{
// A folder of 44.1 kHz stereo clips: decoding and resampling them takes a moment.
juce::File folderOfClips (const ScratchFolder& scratch, int count, int frames = 44100)
{
    const auto folder = scratch.folder ("clips");
    const auto clip = bopwell::testing::testClip (2, frames);
    for (int i = 1; i <= count; ++i)
        bopwell::testing::writeAudioFile (folder.getChildFile ("clip" + juce::String (i) + ".wav"), clip, 44100.0);
    return folder;
}

bool finished (const SensorMidiProcessor& p)
{
    return test::eventually ([&] { return ! p.isPackLoadBusy(); });
}
} // namespace

TEST (PackLoadingJob, LoadsAFolderInTheBackgroundAndReportsProgress)
{
    ScratchFolder scratch;
    const auto folder = folderOfClips (scratch, 3);
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);
    const auto generation = p.getPackStatusGeneration();
    const auto revision = p.state().stateRevision.load();

    ASSERT_TRUE (p.startCustomPackLoad (folder.getFullPathName()));
    ASSERT_TRUE (finished (p));
    const auto status = p.getPackLoadStatus();
    EXPECT_TRUE (status.ok) << status.message;
    EXPECT_EQ (status.code, 0);
    EXPECT_EQ (p.getPackStatusGeneration(), generation + 1);
    EXPECT_EQ (p.getPackLoadProgress(), 1.0);
    EXPECT_EQ (p.getSampleCount(), 3);
    EXPECT_EQ (p.getPackLabel(), "clips");
    EXPECT_EQ (p.getBuiltInPack(), -1);
    EXPECT_EQ (p.state().stateRevision.load(), revision + 1);
}

TEST (PackLoadingJob, ASecondStartIsRefusedWhileTheFirstRuns)
{
    ScratchFolder scratch;
    const auto folder = folderOfClips (scratch, 40);
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);

    ASSERT_TRUE (p.startCustomPackLoad (folder.getFullPathName()));
    EXPECT_FALSE (p.startCustomPackLoad (folder.getFullPathName()));
    const auto refused = p.getPackLoadStatus();
    EXPECT_EQ (refused.code, 5);
    EXPECT_EQ (refused.message, "Another sample pack is already loading.");

    ASSERT_TRUE (finished (p));
    EXPECT_TRUE (p.getPackLoadStatus().ok);
    EXPECT_EQ (p.getSampleCount(), 40);
}

TEST (PackLoadingJob, CancellingKeepsTheOldPackPlaying)
{
    ScratchFolder scratch;
    const auto folder = folderOfClips (scratch, 40, 3 * 44100);
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);

    ASSERT_TRUE (p.startCustomPackLoad (folder.getFullPathName()));
    ASSERT_TRUE (test::eventually ([&] { return p.getPackLoadProgress() > 0.0; }));
    p.requestPackLoadCancel();
    ASSERT_TRUE (finished (p));

    const auto status = p.getPackLoadStatus();
    EXPECT_FALSE (status.ok);
    EXPECT_EQ (status.code, 6);
    EXPECT_EQ (status.message, "Sample pack loading was cancelled.");
    EXPECT_EQ (p.getPackLabel(), "Chocolate");
    EXPECT_EQ (p.getSampleCount(), 13);
    EXPECT_LT (p.getPackLoadProgress(), 1.0);
}

TEST (PackLoadingJob, RefusesWhatIsNotAPack)
{
    ScratchFolder scratch;
    const auto text = scratch.file ("notes.txt");
    ASSERT_TRUE (text.replaceWithText ("not audio"));
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);

    ASSERT_TRUE (p.startCustomPackLoad (text.getFullPathName()));
    ASSERT_TRUE (finished (p));
    const auto status = p.getPackLoadStatus();
    EXPECT_EQ (status.code, 7);
    EXPECT_EQ (status.message, "Choose one supported audio sample, folder, or .bopwellpack file.");
    EXPECT_EQ (p.getPackLabel(), "Chocolate");
}

TEST (PackLoadingJob, PlaybackGoesOnWhileAPackLoadsAndSwapsIn)
{
    ScratchFolder scratch;
    const auto folder = folderOfClips (scratch, 20);
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);
    p.getSensorReader().replayAt (802.5);
    p.prepareToPlay (48000.0, 256);

    juce::AudioBuffer<float> block (2, 256);
    juce::MidiBuffer midi;
    ASSERT_TRUE (p.startCustomPackLoad (folder.getFullPathName()));
    int blocks = 0;
    while (p.isPackLoadBusy() && blocks < 100000)
    {
        p.processBlock (block, midi);
        ++blocks;
    }
    EXPECT_GT (blocks, 0);
    ASSERT_TRUE (finished (p));
    EXPECT_EQ (p.getSampleCount(), 20);
    p.processBlock (block, midi);
}

TEST (PackLoadingJob, LoadSamplesInternalInstallsTheFilesUnderTheirLabel)
{
    ScratchFolder scratch;
    const auto folder = folderOfClips (scratch, 2, 4800);
    ManualEngineClock clock;
    SensorMidiProcessor p (clock);
    const juce::Array<juce::File> files { folder.getChildFile ("clip1.wav"), folder.getChildFile ("clip2.wav") };

    const auto result = p.loadSamplesInternal (files, {});
    EXPECT_TRUE (result.ok) << result.message;
    EXPECT_EQ (p.getPackLabel(), "2 samples (shuffle)");
    EXPECT_EQ (p.getSamplePaths().size(), 2);
}
