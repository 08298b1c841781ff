#include "PackFixtures.h"

#include "packs/PackContainerReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace bopwell;
using namespace bopwell::samplepack;
using namespace bopwell::testing;

namespace
{
struct ReaderRig
{
    PackLoadResult read (const juce::File& file) { return readPackContainer (file, PackLoadProgress (cancel), pack); }

    PackLoadResult read (const juce::MemoryBlock& bytes, const juce::String& fileName = "Kit.bopwellpack")
    {
        return read (writeBytes (scratch.file (fileName), bytes));
    }

    ScratchFolder scratch;
    std::atomic<bool> cancel { false };
    Data pack;
};

juce::MemoryBlock referenceBytes()
{
    const auto pack = referencePack();
    return handBuiltContainer (pack.name, pack.extraText1, pack.extraText2, pack.samples);
}

void expectSameAudio (const juce::AudioBuffer<float>& actual, const juce::AudioBuffer<float>& expected)
{
    ASSERT_EQ (actual.getNumChannels(), expected.getNumChannels());
    ASSERT_EQ (actual.getNumSamples(), expected.getNumSamples());
    for (int c = 0; c < expected.getNumChannels(); ++c)
        for (int i = 0; i < expected.getNumSamples(); ++i)
            EXPECT_EQ (actual.getSample (c, i), expected.getSample (c, i)) << c << ":" << i;
}

// Sets one sample value in the reference bytes and fixes both digests, so that only the value is wrong.
void setStoredValue (juce::MemoryBlock& bytes, size_t dataStart, size_t dataSize, size_t entry, size_t index, float value)
{
    std::uint32_t bits;
    std::memcpy (&bits, &value, 4);
    put32 (bytes, dataStart + 4 * index, bits);
    juce::MemoryBlock digest;
    appendSha256 (digest, static_cast<const char*> (bytes.getData()) + dataStart, dataSize);
    bytes.copyFrom (digest.getData(), static_cast<int> (entry + 40), 32);
    reseal (bytes);
}

TEST (PackContainerReader, ReadsThePackAsLaidOut)
{
    ReaderRig rig;
    const auto file = writeBytes (rig.scratch.file ("Kit.bopwellpack"), referenceBytes());
    ASSERT_EQ (file.getSize(), static_cast<juce::int64> (reference::fileSize));

    const auto result = rig.read (file);

    EXPECT_TRUE (result.ok);
    EXPECT_EQ (result.code, packLoadSuccess);
    EXPECT_EQ (result.message, "Loaded 2 samples from 'Kit'.");
    EXPECT_EQ (result.ignoredCount, 0);
    const auto expected = referencePack();
    EXPECT_EQ (rig.pack.name, "Kit");
    EXPECT_EQ (rig.pack.extraText1, "");
    EXPECT_EQ (rig.pack.extraText2, "1");
    EXPECT_EQ (rig.pack.sourcePaths, juce::StringArray (file.getFullPathName()));
    EXPECT_EQ (rig.pack.ignoredCount, 0);
    ASSERT_EQ (rig.pack.samples.size(), 2u);
    EXPECT_EQ (rig.pack.samples[0].name, "kick");
    EXPECT_EQ (rig.pack.samples[1].name, "snare");
    expectSameAudio (rig.pack.samples[0].audio, expected.samples[0].audio);
    expectSameAudio (rig.pack.samples[1].audio, expected.samples[1].audio);
}

TEST (PackContainerReader, PackWithoutANameIsNamedAfterItsFile)
{
    ReaderRig rig;
    auto pack = referencePack();
    const auto result = rig.read (handBuiltContainer ({}, "made by", "1", pack.samples), "Drums.bopwellpack");
    EXPECT_EQ (result.message, "Loaded 2 samples from 'Drums'.");
    EXPECT_EQ (rig.pack.name, "Drums");
    EXPECT_EQ (rig.pack.extraText1, "made by");
}

TEST (PackContainerReader, FileSizeIsCheckedFirst)
{
    ReaderRig rig;
    const auto& s = rig.scratch;
    auto sealedZeros = juce::MemoryBlock (64, true);
    appendSha256 (sealedZeros, sealedZeros.getData(), 64);

    struct Case
    {
        juce::File file;
        PackLoadCode code;
        juce::String message;
    };
    const Case cases[] = {
        { s.file ("gone.bopwellpack"), packLoadUnsupportedPath, "The .bopwellpack file is missing." },
        { juce::File(), packLoadUnsupportedPath, "The .bopwellpack file is missing." },
        { s.folder ("folder.bopwellpack"), packLoadUnsupportedPath, "The .bopwellpack file is missing." },
        { writeBytes (s.file ("empty.bopwellpack"), {}), packLoadPackFileMalformed, "The .bopwellpack file is empty." },
        { writeSizedFile (s.file ("huge.bopwellpack"), 140000000), packLoadPackFileTooLarge,
          "The .bopwellpack file is 133.5 MB; the maximum is 128 MB." },
        { writeSizedFile (s.file ("over.bopwellpack"), 134217729), packLoadPackFileTooLarge,
          "The .bopwellpack file is 128.0 MB; the maximum is 128 MB." },
        // Exactly 128 MiB is allowed; these zeros then fail the digest.
        { writeSizedFile (s.file ("max.bopwellpack"), 134217728), packLoadPackFileCorrupt, "The .bopwellpack integrity check failed." },
        { writeSizedFile (s.file ("95.bopwellpack"), 95), packLoadPackFileMalformed, "The .bopwellpack header is truncated." },
        { writeSizedFile (s.file ("96.bopwellpack"), 96), packLoadPackFileCorrupt, "The .bopwellpack integrity check failed." },
        { writeBytes (s.file ("sealed96.bopwellpack"), sealedZeros), packLoadPackFileMalformed,
          "The .bopwellpack header is invalid or truncated." },
    };
    for (const auto& c : cases)
        expectFailure (rig.read (c.file), c.code, c.message);
    EXPECT_TRUE (rig.pack.samples.empty());
}

TEST (PackContainerReader, AnyChangedByteFailsTheIntegrityCheck)
{
    ReaderRig rig;
    const auto original = referenceBytes();
    for (size_t at = 0; at < original.getSize(); ++at)
    {
        auto damaged = original;
        damaged[at] = static_cast<char> (damaged[at] ^ 0x01);
        expectFailure (rig.read (damaged), packLoadPackFileCorrupt, "The .bopwellpack integrity check failed.");
    }
    for (auto size : { reference::fileSize - 1, reference::payload })
        expectFailure (rig.read (juce::MemoryBlock (original.getData(), size)), packLoadPackFileCorrupt,
                       "The .bopwellpack integrity check failed.");
}

struct Damage
{
    const char* what;
    std::function<void (juce::MemoryBlock&)> apply;
    PackLoadCode code;
    juce::String message;
};

// Each case changes the reference bytes and recomputes the trailer, so that the structural
// check, not the digest, has to catch it.
TEST (PackContainerReader, RefusesStructuralDamageInCheckOrder)
{
    using namespace reference;
    const auto field32 = [] (size_t offset, std::uint32_t value) { return [=] (juce::MemoryBlock& b) { put32 (b, offset, value); }; };
    const auto field64 = [] (size_t offset, std::uint64_t value) { return [=] (juce::MemoryBlock& b) { put64 (b, offset, value); }; };
    const auto bytePatch = [] (size_t offset, std::uint8_t value)
    { return [=] (juce::MemoryBlock& b) { b[offset] = static_cast<char> (value); }; };
    const juce::String malformedText = "The .bopwellpack metadata is invalid.";
    const juce::String badOffsets = "The .bopwellpack sample offsets are invalid.";
    const juce::String tableTruncated = "The .bopwellpack sample table is truncated.";
    const juce::String mismatch = "The .bopwellpack table does not match its payload.";

    const Damage cases[] = {
        { "magic", bytePatch (0, 'X'), packLoadPackFileMalformed, "The .bopwellpack header is invalid or truncated." },
        { "magic terminator", bytePatch (7, '!'), packLoadPackFileMalformed, "The .bopwellpack header is invalid or truncated." },
        { "version", field32 (8, 2), packLoadPackFileUnsupported, "This .bopwellpack uses unsupported format version 2." },
        { "flags", field32 (28, 1), packLoadPackFileUnsupported, "This .bopwellpack uses unsupported format features." },
        { "reserved", field64 (56, 1), packLoadPackFileUnsupported, "This .bopwellpack uses unsupported format features." },
        { "no samples", field32 (12, 0), packLoadNothingToLoad, "The .bopwellpack contains no samples." },
        { "79 samples", field32 (12, 79), packLoadTooManySamples, "The .bopwellpack contains 79 samples; Bopwell supports up to 78." },
        { "total frames", field64 (48, 11520001), packLoadPackTooLong, "The .bopwellpack exceeds the 240-second total limit." },
        { "name length 256", field32 (16, 256), packLoadPackFileMalformed, malformedText },
        { "third string past the trailer", field32 (24, 250), packLoadPackFileMalformed, malformedText },
        { "overlong UTF-8",
          [] (juce::MemoryBlock& b)
          {
              b[64] = static_cast<char> (0xc1);
              b[65] = static_cast<char> (0x89);
          },
          packLoadPackFileMalformed, malformedText },
        { "surrogate",
          [] (juce::MemoryBlock& b)
          {
              b[64] = static_cast<char> (0xed);
              b[65] = static_cast<char> (0xa0);
              b[66] = static_cast<char> (0x80);
          },
          packLoadPackFileMalformed, malformedText },
        // A sequence that is cut short yet as long as its replacement character.
        { "cut four-byte sequence",
          [] (juce::MemoryBlock& b)
          {
              b[64] = static_cast<char> (0xf0);
              b[65] = static_cast<char> (0x90);
              b[66] = static_cast<char> (0x80);
          },
          packLoadPackFileMalformed, malformedText },
        { "zero byte", bytePatch (65, 0), packLoadPackFileMalformed, malformedText },
        { "table size", field64 (32, 154), packLoadPackFileMalformed, "The .bopwellpack size table is inconsistent." },
        { "payload size", field64 (40, 27), packLoadPackFileMalformed, "The .bopwellpack size table is inconsistent." },
        { "table size overflow", field64 (32, ~std::uint64_t { 0 } - 10), packLoadPackFileMalformed,
          "The .bopwellpack size table is inconsistent." },
        { "44.1 kHz", field32 (firstEntry + 8, 44100), packLoadPackFileUnsupported,
          "'kick' does not use the required 48 kHz container format." },
        { "sample format", field32 (secondEntry + 12, 1), packLoadPackFileUnsupported,
          "'snare' does not use the required 48 kHz container format." },
        { "three channels", field32 (firstEntry + 4, 3), packLoadUnsupportedChannels, "'kick' must be mono or stereo." },
        { "no channels", field32 (secondEntry + 4, 0), packLoadUnsupportedChannels, "'snare' must be mono or stereo." },
        { "no frames", field64 (firstEntry + 16, 0), packLoadSampleTooLong, "'kick' exceeds the 10-second sample limit." },
        { "480 001 frames", field64 (secondEntry + 16, 480001), packLoadSampleTooLong, "'snare' exceeds the 10-second sample limit." },
        { "data size", field64 (firstEntry + 32, 16), packLoadPackFileMalformed, badOffsets },
        { "data offset", field64 (secondEntry + 24, snareData + 4), packLoadPackFileMalformed, badOffsets },
        { "huge data offset", field64 (firstEntry + 24, ~std::uint64_t { 0 } - 4), packLoadPackFileMalformed, badOffsets },
        { "opposite order",
          [] (juce::MemoryBlock& b)
          {
              juce::MemoryBlock kick (b.begin() + kickData, 12), snare (b.begin() + snareData, 16);
              b.copyFrom (snare.getData(), static_cast<int> (kickData), 16);
              b.copyFrom (kick.getData(), static_cast<int> (kickData + 16), 12);
              put64 (b, secondEntry + 24, kickData);
              put64 (b, firstEntry + 24, kickData + 16);
          },
          packLoadPackFileMalformed, badOffsets },
        { "sample name length 256", field32 (firstEntry, 256), packLoadPackFileMalformed, tableTruncated },
        { "sample name invalid", bytePatch (firstEntry + 72, 0xff), packLoadPackFileMalformed, tableTruncated },
        { "entry runs into the trailer", field32 (secondEntry, 77), packLoadPackFileMalformed, tableTruncated },
        { "count beyond the table", field32 (12, 3), packLoadPackFileMalformed, tableTruncated },
        { "entries short of the table",
          [] (juce::MemoryBlock& b)
          {
              put32 (b, 12, 1);
              put64 (b, 48, 3);
          },
          packLoadPackFileMalformed, mismatch },
        { "total frames differ", field64 (48, 4), packLoadPackFileMalformed, mismatch },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ReaderRig rig;
        auto bytes = referenceBytes();
        c.apply (bytes);
        reseal (bytes);
        expectFailure (rig.read (bytes), c.code, c.message);
        EXPECT_TRUE (rig.pack.samples.empty());
        EXPECT_TRUE (rig.pack.name.isEmpty());
    }
}

TEST (PackContainerReader, ChecksEachSampleAfterTheWholeFile)
{
    using namespace reference;
    ReaderRig rig;

    auto wrongDigest = referenceBytes();
    wrongDigest[firstEntry + 40] = static_cast<char> (wrongDigest[firstEntry + 40] ^ 0x80);
    reseal (wrongDigest);
    expectFailure (rig.read (wrongDigest), packLoadPackFileCorrupt, "'kick' failed its integrity check.");

    for (auto value : { std::nanf (""), INFINITY, -INFINITY })
    {
        auto invalid = referenceBytes();
        setStoredValue (invalid, snareData, 16, secondEntry, 3, value);
        expectFailure (rig.read (invalid), packLoadPackFileMalformed, "'snare' contains invalid audio data.");
    }

    auto large = referenceBytes();
    setStoredValue (large, kickData, 12, firstEntry, 0, 1.5f);
    EXPECT_TRUE (rig.read (large).ok);
    EXPECT_EQ (rig.pack.samples[0].audio.getSample (0, 0), 1.5f);
}

TEST (PackContainerReader, ReportsProgressPerSampleAndStopsWhenCancelled)
{
    ReaderRig rig;
    const auto file = writeBytes (rig.scratch.file ("Kit.bopwellpack"), referenceBytes());
    expectProgressAndCancelOfTwoSamples ([&] (const PackLoadProgress& progress, Data& pack)
                                         { return readPackContainer (file, progress, pack); });
}

TEST (PackContainerReader, AcceptsPacksAtEveryLimit)
{
    // 78 samples, one of 480 000 frames, 11 520 000 frames in all.
    std::vector<PackSample> samples;
    samples.push_back (packSample ("longest", testClip (1, maxFramesPerSample)));
    samples.push_back (packSample ("rest", testClip (1, 143424)));
    for (int i = 0; i < 76; ++i)
        samples.push_back (packSample ("s" + juce::String (i), testClip (1, 143376)));

    ReaderRig rig;
    const auto result = rig.read (handBuiltContainer ("Full", {}, "1", samples));

    ASSERT_TRUE (result.ok) << result.message;
    EXPECT_EQ (result.message, "Loaded 78 samples from 'Full'.");
    juce::int64 total = 0;
    for (const auto& sample : rig.pack.samples)
        total += sample.audio.getNumSamples();
    EXPECT_EQ (total, maxTotalFrames);
    EXPECT_EQ (rig.pack.samples[0].audio.getNumSamples(), maxFramesPerSample);
    EXPECT_EQ (rig.pack.samples[0].audio.getSample (0, 479999), samples[0].audio.getSample (0, 479999));
}

TEST (PackContainerReader, FailureLeavesThePreviousPackUntouched)
{
    ReaderRig rig;
    rig.pack = packOf ("Before", { packSample ("old", testClip (1, 10)) });
    auto bytes = referenceBytes();
    put32 (bytes, 8, 9);
    reseal (bytes);
    expectFailure (rig.read (bytes), packLoadPackFileUnsupported, "This .bopwellpack uses unsupported format version 9.");
    EXPECT_EQ (rig.pack.name, "Before");
    ASSERT_EQ (rig.pack.samples.size(), 1u);
}
} // namespace
