#include "PackFixtures.h"

#include "packs/PackContainerReader.h"
#include "packs/PackContainerWriter.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace bopwell;
using namespace bopwell::samplepack;
using namespace bopwell::testing;

namespace
{
TEST (PackContainerWriter, WritesExactlyTheLayoutOfTheFormat)
{
    ScratchFolder scratch;
    const auto target = scratch.file ("Kit.bopwellpack");
    const auto pack = referencePack();

    const auto result = writePackContainer (pack, target);

    ASSERT_TRUE (result.ok) << result.message;
    EXPECT_TRUE (result.message.isEmpty());
    EXPECT_EQ (readBytes (target), handBuiltContainer (pack.name, pack.extraText1, pack.extraText2, pack.samples));
}

TEST (PackContainerWriter, WhatItWritesReadsBackUnchanged)
{
    ScratchFolder scratch;
    const auto target = scratch.file ("Mixed.bopwellpack");
    auto pack = packOf (juce::String (juce::CharPointer_UTF8 ("Caf\xc3\xa9 \xe2\x99\xa9 \xf0\x9f\xa5\x81")),
                        { packSample ("mono", testClip (1, 4800)), packSample ("stereo", testClip (2, 48000)) });
    pack.extraText1 = "second";
    ASSERT_TRUE (writePackContainer (pack, target).ok);

    std::atomic<bool> cancel { false };
    Data read;
    const auto result = readPackContainer (target, PackLoadProgress (cancel), read);

    ASSERT_TRUE (result.ok) << result.message;
    EXPECT_EQ (read.name, pack.name);
    EXPECT_EQ (read.extraText1, "second");
    EXPECT_EQ (read.extraText2, "1");
    ASSERT_EQ (read.samples.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ (read.samples[i].name, pack.samples[i].name);
        const auto& expected = pack.samples[i].audio;
        ASSERT_EQ (read.samples[i].audio.getNumChannels(), expected.getNumChannels());
        ASSERT_EQ (read.samples[i].audio.getNumSamples(), expected.getNumSamples());
        for (int c = 0; c < expected.getNumChannels(); ++c)
            EXPECT_EQ (std::memcmp (read.samples[i].audio.getReadPointer (c), expected.getReadPointer (c),
                                    sizeof (float) * static_cast<size_t> (expected.getNumSamples())),
                       0);
    }
}

TEST (PackContainerWriter, RefusesWhatTheReaderWouldRefuse)
{
    auto withNaN = testClip (2, 10);
    withNaN.setSample (1, 9, std::nanf (""));
    const auto longName = juce::String::repeatedString ("a", 256);
    std::vector<PackSample> tooMany (79, packSample ("s", testClip (1, 10)));
    std::vector<PackSample> tooLong (25, packSample ("ten seconds", testClip (1, maxFramesPerSample)));

    struct Case
    {
        Data pack;
        juce::String message;
    };
    Case cases[] = {
        { packOf ("Empty", {}), "The pack has no samples." },
        { packOf ("Many", {}), "The pack has 79 samples; Bopwell supports up to 78." },
        { packOf (longName, { packSample ("s", testClip (1, 10)) }), "The pack name must be valid text of at most 255 bytes." },
        { packOf ("Kit", { packSample ("s", testClip (1, 10)), packSample (longName, testClip (1, 10)) }),
          "The name of sample 2 must be valid text of at most 255 bytes." },
        { packOf ("Kit", { packSample ("three", testClip (3, 10)) }), "'three' must be mono or stereo." },
        { packOf ("Kit", { packSample ("none", testClip (1, 0)) }), "'none' must be 1 to 480000 frames long." },
        { packOf ("Kit", { packSample ("over", testClip (1, maxFramesPerSample + 1)) }), "'over' must be 1 to 480000 frames long." },
        { packOf ("Kit", { packSample ("nan", withNaN) }), "'nan' contains invalid audio data." },
        { packOf ("Long", {}), "The samples total more than 240 seconds." },
    };
    cases[1].pack.samples = tooMany;
    cases[8].pack.samples = tooLong;
    cases[2].pack.extraText1 = "fine";

    ScratchFolder scratch;
    const auto target = scratch.file ("Kit.bopwellpack");
    for (const auto& c : cases)
    {
        const auto result = writePackContainer (c.pack, target);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.message, c.message);
        EXPECT_FALSE (target.exists());
    }
    EXPECT_EQ (scratch.root().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
}

TEST (PackContainerWriter, AFailedWriteLeavesNoPartialPack)
{
    ScratchFolder scratch;
    const auto target = scratch.file ("Kit.bopwellpack");
    ASSERT_TRUE (writePackContainer (referencePack(), target).ok);
    const auto before = readBytes (target);

    auto broken = referencePack();
    broken.samples[1].audio.setSample (0, 0, INFINITY);
    EXPECT_FALSE (writePackContainer (broken, target).ok);
    EXPECT_EQ (readBytes (target), before);

    const auto nowhere = scratch.file ("missing folder/Kit.bopwellpack");
    const auto result = writePackContainer (referencePack(), nowhere);
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.message, "Bopwell could not write '" + nowhere.getFullPathName() + "'.");
    EXPECT_FALSE (nowhere.getParentDirectory().exists());

    const auto occupied = scratch.folder ("Occupied.bopwellpack");
    EXPECT_FALSE (writePackContainer (referencePack(), occupied).ok);
    EXPECT_TRUE (occupied.isDirectory());

    // Only the first pack and the folder remain: no temporary files.
    EXPECT_EQ (scratch.root().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 2);
}

TEST (PackContainerWriter, ReplacesAnExistingPackWhole)
{
    ScratchFolder scratch;
    const auto target = scratch.file ("Kit.bopwellpack");
    ASSERT_TRUE (writePackContainer (packOf ("Old", { packSample ("big", testClip (2, 48000)) }), target).ok);
    ASSERT_TRUE (writePackContainer (referencePack(), target).ok);
    const auto pack = referencePack();
    EXPECT_EQ (readBytes (target), handBuiltContainer (pack.name, pack.extraText1, pack.extraText2, pack.samples));
}
} // namespace
