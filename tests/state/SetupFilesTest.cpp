#include "state/SetupFiles.h"
#include "packs/PackFixtures.h"
#include "support/ProcessorAccess.h"
#include "support/ProcessorHarness.h"

#include <gtest/gtest.h>

using namespace bopwell;
using bopwell::testing::readBytes;
using bopwell::testing::writeBytes;

namespace
{

struct SetupRig
{
    juce::MemoryBlock exportBytes()
    {
        juce::MemoryBlock bytes;
        EXPECT_FALSE (SetupFiles::takeExportBytes (processor, bytes).has_value());
        return bytes;
    }

    bopwell::testing::ScratchFolder scratch;
    juce::PropertySet settings;
    SetupFiles files { settings };
    test::ProcessorHarness harness;
    SensorMidiProcessor& processor = harness.processor;
};

juce::MemoryBlock textBytes (const char* text) { return { text, std::strlen (text) }; }

} // namespace

TEST (SetupFiles, ExportWritesTheStateOfTheMomentUnderTheSetupExtension)
{
    SetupRig rig;
    rig.processor.setCooldownMs (70.0);
    const auto bytes = rig.exportBytes();
    rig.processor.setCooldownMs (10.0); // a change while the chooser is open is not exported

    EXPECT_FALSE (rig.files.writeExport (rig.scratch.file ("My Kit"), bytes).has_value());
    const auto written = rig.scratch.file ("My Kit.bopwellsetup");
    EXPECT_EQ (readBytes (written), bytes);
    EXPECT_EQ (rig.settings.getValue (SetupFiles::lastFileKey), written.getFullPathName());
    EXPECT_EQ (rig.files.initialFile(), written);

    EXPECT_FALSE (rig.files.importFile (&rig.processor, written).has_value());
    rig.processor.handleAsyncUpdate();
    EXPECT_EQ (rig.processor.state().cooldownMs.load(), 70);
}

TEST (SetupFiles, AFailedExportLeavesTheExistingFileAlone)
{
    SetupRig rig;
    // A folder where the file should go: the temporary file is written, but cannot replace it.
    const auto target = rig.scratch.folder ("taken.bopwellsetup");
    writeBytes (target.getChildFile ("inside.txt"), textBytes ("keep me"));

    const auto alert = rig.files.writeExport (target, rig.exportBytes());
    ASSERT_TRUE (alert.has_value());
    EXPECT_EQ (*alert, (SetupAlert { "Setup export failed", "Bopwell could not safely write:\n" + target.getFullPathName()
                                                                + "\n\nThe existing file was left unchanged." }));
    EXPECT_EQ (readBytes (target.getChildFile ("inside.txt")), textBytes ("keep me"));
    EXPECT_EQ (rig.scratch.root().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
    EXPECT_EQ (rig.settings.getValue (SetupFiles::lastFileKey), "");
}

TEST (SetupFiles, BothChoosersStartFromTheLastFileAsASetup)
{
    SetupRig rig;
    EXPECT_EQ (rig.files.initialFile(),
               juce::File::getSpecialLocation (juce::File::userDesktopDirectory).getChildFile ("Bopwell Setup.bopwellsetup"));
    rig.settings.setValue (SetupFiles::lastFileKey, "/home/someone/old setup.json");
    EXPECT_EQ (rig.files.initialFile(), juce::File ("/home/someone/old setup.bopwellsetup"));
}

TEST (SetupFiles, ImportChecksTheFileBeforeTheProcessorSeesIt)
{
    SetupRig rig;
    const auto valid = rig.exportBytes();
    auto damaged = valid;
    static_cast<char*> (damaged.getData())[damaged.getSize() - 1] ^= 1;
    juce::MemoryBlock exactlyOneMiB ("BWSETUP", 8);
    exactlyOneMiB.setSize (1'048'576, true);
    juce::MemoryBlock oneByteMore;
    oneByteMore.setSize (1'048'577, true);

    struct Case
    {
        const char* name;
        std::optional<juce::MemoryBlock> contents; // none: the file does not exist
        std::optional<SetupAlert> alert;
    };
    const auto mismatch = SetupAlert { "Setup import failed", "The setup contents do not match the file extension. Use .bopwellsetup for "
                                                              "binary setups and .json only for legacy JSON setups." };
    const std::vector<Case> cases {
        { "valid.bopwellsetup", valid, std::nullopt },
        { "VALID.BOPWELLSETUP", valid, std::nullopt },
        { "legacy.json", textBytes (R"({"thresholdK":3,"inputMax":0.1,"choke":true,"curve":[2,0,0,1,1,0.5]})"), std::nullopt },
        { "gone.bopwellsetup", std::nullopt, SetupAlert { "Setup import failed", "The selected setup file no longer exists:\n" } },
        { "setup.txt", valid, SetupAlert { "Setup import failed", "Choose a .bopwellsetup file or a legacy .json setup." } },
        { "empty.json", juce::MemoryBlock(), SetupAlert { "Setup import failed", "The selected setup file is empty." } },
        { "huge.json", oneByteMore, SetupAlert { "Setup import failed", "Bopwell setup files must be 1 MiB or smaller." } },
        { "binary.json", valid, mismatch },
        { "text.bopwellsetup", textBytes ("{}"), mismatch },
        { "damaged.bopwellsetup", damaged, SetupAlert { "Setup import warning", "Bopwell setup integrity check failed." } },
        // The size checks pass; the container's own checks then refuse it.
        { "large.bopwellsetup", exactlyOneMiB, SetupAlert { "Setup import warning", "Unsupported Bopwell setup container version." } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto file = rig.scratch.file (c.name);
        if (c.contents)
            writeBytes (file, *c.contents);
        rig.settings.clear();

        auto expected = c.alert;
        if (expected && expected->message.endsWith ("\n"))
            expected->message << file.getFullPathName();
        EXPECT_EQ (rig.files.importFile (&rig.processor, file), expected);
        const bool reachedProcessor = ! c.alert || c.alert->title == "Setup import warning";
        EXPECT_EQ (rig.settings.getValue (SetupFiles::lastFileKey), reachedProcessor ? file.getFullPathName() : juce::String());
    }
}

TEST (SetupFiles, NothingMovesWhileTheProcessorIsBusy)
{
    SetupRig rig;
    const auto notReady = SetupAlert { "Setup unavailable", "Bopwell is not ready." };
    EXPECT_EQ (SetupFiles::checkAvailable (nullptr), notReady);
    EXPECT_EQ (rig.files.importFile (nullptr, rig.scratch.file ("any.bopwellsetup")), notReady);
    EXPECT_FALSE (SetupFiles::checkAvailable (&rig.processor).has_value());

    SensorMidiProcessorTestAccess::packLoadBusy (rig.processor).store (true);
    const auto file = writeBytes (rig.scratch.file ("setup.bopwellsetup"), rig.exportBytes());
    EXPECT_EQ (
        rig.files.importFile (&rig.processor, file),
        (SetupAlert { "Setup unavailable", "Finish or cancel the current sample-pack load before importing or exporting a setup." }));
    SensorMidiProcessorTestAccess::packLoadBusy (rig.processor).store (false);

    DeskModel desk;
    rig.harness.feed (desk, 1);
    ASSERT_TRUE (rig.processor.startFreeRunSession (rig.scratch.file ("session.csv"), "quiet"));
    EXPECT_EQ (SetupFiles::checkAvailable (&rig.processor),
               (SetupAlert { "Setup unavailable", "Finish the current recording session before importing or exporting a setup." }));
    rig.processor.stopSession();
}
