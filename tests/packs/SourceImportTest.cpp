#include "PackFixtures.h"

#include "packs/PackLoadResults.h"
#include "packs/SourceImport.h"
#include "packs/SourceScan.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace bopwell;
using namespace bopwell::samplepack;
using namespace bopwell::testing;

namespace
{
const juce::String enDash = juce::String (juce::CharPointer_UTF8 ("\xe2\x80\x93"));

struct ImportRig
{
    ImportRig() { formats.registerBasicFormats(); }

    PackLoadResult importFiles (const juce::Array<juce::File>& files, const juce::String& label = "Kit")
    {
        return importFileList (files, label, formats, PackLoadProgress (cancel), pack);
    }

    PackLoadResult importOne (const juce::File& file) { return importFile (file, formats, PackLoadProgress (cancel), pack); }

    PackLoadResult importDirectory (const juce::File& folder) { return importFolder (folder, formats, PackLoadProgress (cancel), pack); }

    ScratchFolder scratch;
    juce::AudioFormatManager formats;
    std::atomic<bool> cancel { false };
    Data pack;
};

juce::File shortWav (const juce::File& file) { return writeAudioFile (file, testClip (1, 480), 48000.0); }

TEST (SourceScan, KnowsTheSupportedExtensionsInAnyCase)
{
    for (auto name : { "a.wav", "a.WAV", "a.aif", "a.aiff", "a.Flac", "a.mp3", "a.m4a" })
        EXPECT_TRUE (isSupportedAudioFile (juce::File ("/x").getChildFile (name))) << name;
    for (auto name : { "a.txt", "a.ogg", "a.bopwellpack", "wav", "a.wav.txt" })
        EXPECT_FALSE (isSupportedAudioFile (juce::File ("/x").getChildFile (name))) << name;
}

TEST (SourceImport, FolderLoadsInNaturalOrderAndCountsOtherFiles)
{
    struct Case
    {
        int textFiles;
        juce::String expectedMessage;
    };
    for (const auto& c :
         { Case { 2, "Loaded 3 samples from 'Kit'. Ignored 2 non-audio files." },
           Case { 1, "Loaded 3 samples from 'Kit'. Ignored 1 non-audio file." }, Case { 0, "Loaded 3 samples from 'Kit'." } })
    {
        ImportRig rig;
        const auto kit = rig.scratch.folder ("Kit");
        for (auto name : { "10.wav", "2.wav", "1.wav" })
            shortWav (kit.getChildFile (name));
        for (int i = 0; i < c.textFiles; ++i)
            writeBytes (kit.getChildFile ("notes" + juce::String (i) + ".txt"), juce::MemoryBlock ("x", 1));
        rig.scratch.folder ("Kit/nested");
        shortWav (kit.getChildFile ("nested/3.wav"));
        writeBytes (kit.getChildFile (".DS_Store"), juce::MemoryBlock ("x", 1));

        const auto result = rig.importDirectory (kit);

        EXPECT_TRUE (result.ok);
        EXPECT_EQ (result.code, packLoadSuccess);
        EXPECT_EQ (result.message, c.expectedMessage);
        EXPECT_EQ (result.ignoredCount, c.textFiles);
        EXPECT_EQ (rig.pack.ignoredCount, c.textFiles);
        EXPECT_EQ (rig.pack.name, "Kit");
        EXPECT_EQ (rig.pack.sourcePaths, juce::StringArray (kit.getFullPathName()));
        ASSERT_EQ (rig.pack.samples.size(), 3u);
        EXPECT_EQ (rig.pack.samples[0].name, "1.wav");
        EXPECT_EQ (rig.pack.samples[1].name, "2.wav");
        EXPECT_EQ (rig.pack.samples[2].name, "10.wav");
    }
}

TEST (SourceImport, FolderScanRefusesEmptyAndCrowdedFolders)
{
    ImportRig rig;
    const auto hiddenOnly = rig.scratch.folder ("hidden");
    writeBytes (hiddenOnly.getChildFile (".DS_Store"), juce::MemoryBlock ("x", 1));
    shortWav (hiddenOnly.getChildFile ("._x.wav"));
    shortWav (hiddenOnly.getChildFile (".secret.wav"));
    expectFailure (rig.importDirectory (hiddenOnly), packLoadNothingToLoad, "This folder contains no supported audio files.");

    const auto crowded = rig.scratch.folder ("crowded");
    for (int i = 0; i < 80; ++i)
        shortWav (crowded.getChildFile (juce::String (i) + ".wav"));
    expectFailure (rig.importDirectory (crowded), packLoadTooManySamples,
                   "This folder contains 80 supported samples; Bopwell supports up to 78.");
    EXPECT_TRUE (rig.pack.samples.empty());
}

TEST (SourceImport, SeventyEightSamplesAreAccepted)
{
    ImportRig rig;
    const auto folder = rig.scratch.folder ("full");
    for (int i = 0; i < maxSamples; ++i)
        shortWav (folder.getChildFile (juce::String (i) + ".wav"));
    const auto result = rig.importDirectory (folder);
    EXPECT_TRUE (result.ok) << result.message;
    EXPECT_EQ (rig.pack.samples.size(), 78u);
}

TEST (SourceImport, SingleFileIsNamedAfterTheFileAndKeepsEveryDetail)
{
    ImportRig rig;
    const auto file = shortWav (rig.scratch.file ("kick.wav"));

    const auto result = rig.importOne (file);

    EXPECT_TRUE (result.ok);
    EXPECT_EQ (result.message, "Loaded 1 samples from 'kick'.");
    EXPECT_EQ (result.ignoredCount, 0);
    EXPECT_EQ (rig.pack.name, "kick");
    EXPECT_EQ (rig.pack.extraText1, "");
    EXPECT_EQ (rig.pack.extraText2, "1");
    EXPECT_EQ (rig.pack.sourcePaths, juce::StringArray (file.getFullPathName()));
    ASSERT_EQ (rig.pack.samples.size(), 1u);
    EXPECT_EQ (rig.pack.samples[0].name, "kick.wav");
    EXPECT_EQ (rig.pack.samples[0].audio.getNumChannels(), 1);
    EXPECT_EQ (rig.pack.samples[0].audio.getNumSamples(), 480);
}

TEST (SourceImport, FileListWithoutLabelIsACustomPack)
{
    ImportRig rig;
    const juce::Array<juce::File> files { shortWav (rig.scratch.file ("a.wav")), shortWav (rig.scratch.file ("b.aiff")) };

    const auto result = rig.importFiles (files, {});

    EXPECT_EQ (result.message, "Loaded 2 samples from 'Custom Pack'.");
    EXPECT_EQ (rig.pack.name, "Custom Pack");
    EXPECT_EQ (rig.pack.sourcePaths, juce::StringArray (files[0].getFullPathName(), files[1].getFullPathName()));
    EXPECT_EQ (rig.pack.samples[1].name, "b.aiff");
}

TEST (SourceImport, FirstPassRefusesBeforeDecodingAnything)
{
    ImportRig rig;
    const auto& s = rig.scratch;
    const auto good = shortWav (s.file ("good.wav"));
    writeBytes (s.file ("notes.txt"), juce::MemoryBlock ("x", 1));
    writeBytes (s.file ("empty.wav"), {});
    shortWav (s.file ("kick.wav"));
    shortWav (s.file ("KICK.wav"));
    writeSizedFile (s.file ("big.wav"), 16777217);
    s.folder ("folder.wav");

    juce::Array<juce::File> seventyNine;
    for (int i = 0; i < 79; ++i)
        seventyNine.add (good);

    struct Case
    {
        juce::Array<juce::File> files;
        PackLoadCode code;
        juce::String message;
    };
    const Case cases[] = {
        { {}, packLoadNothingToLoad, "The pack contains no supported audio files." },
        { seventyNine, packLoadTooManySamples, "The pack contains 79 supported samples; Bopwell supports up to 78." },
        { { good, s.file ("gone.wav") }, packLoadUndecodable, "'gone.wav' is missing or unreadable." },
        { { s.file ("folder.wav") }, packLoadUndecodable, "'folder.wav' is missing or unreadable." },
        { { juce::File() }, packLoadUndecodable, "'' is missing or unreadable." },
        { { s.file ("kick.wav"), good, s.file ("KICK.wav") }, packLoadDuplicateSource, "'KICK.wav' appears more than once in the pack." },
        { { s.file ("empty.wav") }, packLoadUndecodable, "'empty.wav' is empty or unreadable." },
        // The text file would fail the second pass, but the oversized file fails the first.
        { { s.file ("notes.txt"), s.file ("big.wav") },
          packLoadSourceTooLarge,
          "'big.wav' is 16.0 MB; each source file must be 16 MB or smaller." },
    };
    for (const auto& c : cases)
    {
        expectFailure (rig.importFiles (c.files), c.code, c.message);
        EXPECT_TRUE (rig.pack.samples.empty());
    }
}

TEST (SourceImport, SourceFilesOfSixteenMebibytesPassButTogetherStayUnder192)
{
    ImportRig rig;
    const auto seed = readBytes (shortWav (rig.scratch.file ("seed.wav")));
    // A short WAV padded after its RIFF chunk: readers ignore the padding.
    const auto exact = writeSizedFile (rig.scratch.file ("exact.wav"), 16777216, seed);
    EXPECT_TRUE (rig.importFiles ({ exact }).ok);

    juce::Array<juce::File> thirteen;
    for (int i = 0; i < 13; ++i)
        thirteen.add (writeSizedFile (rig.scratch.file ("part" + juce::String (i) + ".wav"), 16777216));
    expectFailure (rig.importFiles (thirteen), packLoadSourcesTooLarge, "The source audio exceeds the 192 MB pack limit.");
}

struct DecodeCase
{
    juce::String fileName;
    std::function<void (const juce::File&)> make;
    PackLoadCode code;
    juce::String message;
};

TEST (SourceImport, SecondPassRefusesWhatCannotBecomeASample)
{
    const auto floatWav = [] (float value)
    {
        return [value] (const juce::File& f)
        {
            auto audio = testClip (2, 100);
            audio.setSample (1, 50, value);
            writeAudioFile (f, audio, 48000.0, 32);
        };
    };
    const DecodeCase cases[] = {
        { "notes.txt", [] (const juce::File& f) { writeBytes (f, juce::MemoryBlock ("text", 4)); }, packLoadUnsupportedExtension,
          "'notes.txt' is not a supported audio format." },
        { "noise.wav", [] (const juce::File& f) { writeBytes (f, juce::MemoryBlock ("this is not a wave file", 23)); }, packLoadUndecodable,
          "'noise.wav' could not be decoded. It may be corrupt, DRM-protected, or use an unsupported codec." },
        // No decoder for M4A exists on this platform.
        { "song.m4a", [] (const juce::File& f) { writeSizedFile (f, 1000); }, packLoadUndecodable,
          "'song.m4a' could not be decoded. It may be corrupt, DRM-protected, or use an unsupported codec." },
        { "three.wav", [] (const juce::File& f) { writeAudioFile (f, testClip (3, 100), 48000.0); }, packLoadUnsupportedChannels,
          "'three.wav' has 3 channels; Bopwell accepts mono or stereo." },
        { "x.wav", [] (const juce::File& f) { writeAudioFile (f, testClip (1, 100), 192000.0); }, packLoadUnsupportedSampleRate,
          "'x.wav' uses 192.0 kHz; Bopwell accepts 8" + enDash + "96 kHz." },
        { "low.wav", [] (const juce::File& f) { writeAudioFile (f, testClip (1, 100), 7000.0); }, packLoadUnsupportedSampleRate,
          "'low.wav' uses 7.0 kHz; Bopwell accepts 8" + enDash + "96 kHz." },
        { "eight.wav", [] (const juce::File& f) { writeAudioFile (f, testClip (1, 100), 48000.0, 8); }, packLoadUnsupportedBitDepth,
          "'eight.wav' uses 8-bit audio; WAV/AIFF must be 16, 24, or 32-bit." },
        { "eight.aif", [] (const juce::File& f) { writeAudioFile (f, testClip (1, 100), 48000.0, 8); }, packLoadUnsupportedBitDepth,
          "'eight.aif' uses 8-bit audio; WAV/AIFF must be 16, 24, or 32-bit." },
        { "silent.wav", [] (const juce::File& f) { writeAudioFile (f, testClip (1, 0), 48000.0); }, packLoadUndecodable,
          "'silent.wav' contains no audio." },
        { "long.wav", [] (const juce::File& f) { writeAudioFile (f, testClip (1, 480480), 48000.0); }, packLoadSampleTooLong,
          "'long.wav' is 10.01 seconds; each sample must be 10 seconds or shorter." },
        // One frame over: the duration rounds to 10.00 in the message, but it is over the limit.
        { "over.wav", [] (const juce::File& f) { writeAudioFile (f, testClip (1, 480001), 48000.0); }, packLoadSampleTooLong,
          "'over.wav' is 10.00 seconds; each sample must be 10 seconds or shorter." },
        { "nan.wav", floatWav (std::nanf ("")), packLoadUndecodable, "'nan.wav' contains invalid audio data." },
        { "inf.wav", floatWav (INFINITY), packLoadUndecodable, "'inf.wav' contains invalid audio data." },
        // Finite, but so close to the float limit that resampling overflows.
        { "loud.wav",
          [] (const juce::File& f)
          {
              juce::AudioBuffer<float> audio (1, 100);
              for (int i = 0; i < 100; ++i)
                  audio.setSample (0, i, i % 2 == 0 ? 3.0e38f : -3.0e38f);
              writeAudioFile (f, audio, 44100.0, 32);
          },
          packLoadUndecodable, "'loud.wav' contains invalid audio data." },
    };
    for (const auto& c : cases)
    {
        ImportRig rig;
        const auto file = rig.scratch.file (c.fileName);
        c.make (file);
        expectFailure (rig.importFiles ({ shortWav (rig.scratch.file ("first.wav")), file }), c.code, c.message);
        EXPECT_TRUE (rig.pack.samples.empty()) << c.fileName;
    }
}

TEST (SourceImport, FilesCutShortAreNotFullyDecoded)
{
    for (auto name : { "cut.wav", "cut.aiff" })
    {
        ImportRig rig;
        const auto whole =
            readBytes (writeAudioFile (rig.scratch.file ("whole" + juce::File (name).getFileExtension()), testClip (2, 48000), 48000.0));
        const auto cut = writeBytes (rig.scratch.file (name), juce::MemoryBlock (whole.getData(), whole.getSize() / 2));
        expectFailure (rig.importFiles ({ cut }), packLoadUndecodable, quoted (name) + " could not be fully decoded.");
    }
}

TEST (SourceImport, SourceRateIsKeptBitForBitAndOtherRatesAreResampled)
{
    ImportRig rig;
    auto original = testClip (2, 4800);
    original.setSample (0, 10, 1.5f); // out of range is not invalid
    const auto same = writeAudioFile (rig.scratch.file ("same.wav"), original, 48000.0, 32);
    const auto near = writeAudioFile (rig.scratch.file ("near.aif"), original, 47999.99, 24);
    const auto cd = writeAudioFile (rig.scratch.file ("cd.flac"), testClip (1, 4410), 44100.0);

    ASSERT_TRUE (rig.importFiles ({ same, near, cd }).ok);

    const auto& kept = rig.pack.samples[0].audio;
    ASSERT_EQ (kept.getNumSamples(), 4800);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 4800; ++i)
            ASSERT_EQ (kept.getSample (c, i), original.getSample (c, i));

    const auto& resampled = rig.pack.samples[1].audio;
    EXPECT_EQ (resampled.getNumChannels(), 2);
    EXPECT_EQ (resampled.getNumSamples(), 4801); // ceil (4800 × 48000 ÷ 47999.99)
    bool changed = false;
    for (int i = 0; i < 4800; ++i)
        changed = changed || resampled.getSample (1, i) != original.getSample (1, i);
    EXPECT_TRUE (changed);

    const auto& fromCd = rig.pack.samples[2].audio;
    EXPECT_EQ (fromCd.getNumSamples(), 4800);
    // A slow sine survives resampling: compare with the ideal curve away from the edges.
    const auto source = testClip (1, 4410);
    for (int i = 100; i < 4700; i += 97)
    {
        const auto t = i * 44100.0 / 48000.0 - juce::LagrangeInterpolator::getBaseLatency();
        const auto k = static_cast<int> (t);
        const auto ideal = juce::jmap (static_cast<float> (t - k), source.getSample (0, k), source.getSample (0, k + 1));
        EXPECT_NEAR (fromCd.getSample (0, i), ideal, 2e-3) << i;
    }
}

TEST (SourceImport, TenSecondsAt44100NormaliseToTheFullLength)
{
    ImportRig rig;
    const auto file = writeAudioFile (rig.scratch.file ("ten.wav"), testClip (1, 441000), 44100.0);
    const auto result = rig.importFiles ({ file });
    ASSERT_TRUE (result.ok) << result.message;
    EXPECT_EQ (rig.pack.samples[0].audio.getNumSamples(), maxFramesPerSample);
}

TEST (SourceImport, TotalLengthIsCappedAt240Seconds)
{
    ImportRig rig;
    juce::Array<juce::File> files;
    for (int i = 0; i < 25; ++i)
        files.add (writeAudioFile (rig.scratch.file (juce::String (i) + ".wav"), testClip (1, 80000), 8000.0));

    files.removeLast();
    const auto full = rig.importFiles (files);
    ASSERT_TRUE (full.ok) << full.message;
    juce::int64 total = 0;
    for (const auto& sample : rig.pack.samples)
        total += sample.audio.getNumSamples();
    EXPECT_EQ (total, maxTotalFrames);

    files.add (rig.scratch.file ("24.wav"));
    rig.pack = {};
    expectFailure (rig.importFiles (files), packLoadPackTooLong, "The samples total more than 240 seconds.");
}

TEST (SourceImport, ProgressIsReportedBeforeEachFileAndAfterTheLastAndCancelStopsIt)
{
    ImportRig rig;
    const juce::Array<juce::File> files { shortWav (rig.scratch.file ("a.wav")), shortWav (rig.scratch.file ("b.wav")) };
    expectProgressAndCancelOfTwoSamples ([&] (const PackLoadProgress& progress, Data& pack)
                                         { return importFileList (files, "Kit", rig.formats, progress, pack); });
}

TEST (SourceImport, FailureLeavesThePreviousPackUntouched)
{
    ImportRig rig;
    rig.pack = packOf ("Before", { packSample ("old", testClip (1, 10)) });
    expectFailure (rig.importFiles ({ rig.scratch.file ("gone.wav") }), packLoadUndecodable, "'gone.wav' is missing or unreadable.");
    EXPECT_EQ (rig.pack.name, "Before");
    ASSERT_EQ (rig.pack.samples.size(), 1u);
    EXPECT_EQ (rig.pack.samples[0].name, "old");
}
} // namespace
