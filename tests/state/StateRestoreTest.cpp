#include "calibration/FactoryProfile.h"
#include "packs/PackFixtures.h"
#include "state/SetupContainer.h"
#include "state/StateJson.h"
#include "support/ProcessorAccess.h"
#include "support/ProcessorHarness.h"

#include <cstring>

#include <gtest/gtest.h>

using namespace bopwell;

namespace
{

juce::MemoryBlock containerOf (const StateRecord& record)
{
    juce::MemoryBlock bytes;
    EXPECT_EQ (encodeSetupContainer (record, bytes), "");
    return bytes;
}

juce::MemoryBlock jsonOf (const StateRecord& record)
{
    const auto text = juce::JSON::toString (stateToJson (record));
    return { text.toRawUTF8(), text.getNumBytesAsUTF8() };
}

void setState (SensorMidiProcessor& processor, const juce::MemoryBlock& bytes)
{
    processor.setStateInformation (bytes.getData(), static_cast<int> (bytes.getSize()));
}

void restore (SensorMidiProcessor& processor, const juce::MemoryBlock& bytes)
{
    setState (processor, bytes);
    processor.handleAsyncUpdate();
}

// A user calibration: some coefficients, its own background and reference.
StateRecord userCalibrated()
{
    StateRecord record;
    for (size_t i = 0; i < record.coefs.size(); ++i)
        record.coefs[i] = 0.01 * static_cast<double> (i + 1);
    record.modelValid = true;
    record.thresholdK = 3.5;
    record.calBackground = 0.0004;
    record.calLiveRef = 0.00002;
    return record;
}

VelocityCurve bentCurve() { return { { { 0.0, 0.1 }, { 0.4, 0.7 }, { 1.0, 1.0 } }, { 0.3, 0.8 } }; }

} // namespace

TEST (StateRestore, ExportChangeEverythingImportRestoresEverySetting)
{
    test::ProcessorHarness rig;
    auto& p = rig.processor;
    ASSERT_TRUE (p.loadBuiltInPack (3));
    p.setVolumePercent (40.0);
    p.setCooldownMs (60.0);
    p.setChoke (false);
    p.setCurve (bentCurve());
    restore (p, containerOf (
                    [&]
                    {
                        auto record = p.captureState();
                        const auto user = userCalibrated();
                        record.coefs = user.coefs;
                        record.modelValid = true;
                        record.thresholdK = 4.0;
                        record.calBackground = user.calBackground;
                        record.calLiveRef = user.calLiveRef;
                        record.profileIsFactory = false;
                        record.factoryProfileId.clear();
                        return record;
                    }()));
    ASSERT_EQ (p.getRestoreMessage(), "");

    juce::MemoryBlock saved;
    p.getStateInformation (saved);
    ASSERT_GT (saved.getSize(), 72u);
    const auto before = p.captureState();

    p.setVolumePercent (90.0);
    p.setCooldownMs (0.0);
    p.setChoke (true);
    p.setCurve (VelocityCurve::identity());
    p.setSensitivityPercent (100.0);
    ASSERT_TRUE (p.loadBuiltInPack (7));
    ASSERT_TRUE (p.applyFactoryProfile (false));

    restore (p, saved);
    EXPECT_EQ (p.getRestoreMessage(), "");
    const auto after = p.captureState();
    EXPECT_EQ (after.masterGain, before.masterGain);
    EXPECT_EQ (after.cooldownMs, 60);
    EXPECT_FALSE (after.choke);
    EXPECT_EQ (after.curve, bentCurve());
    EXPECT_EQ (after.builtInPack, 3);
    EXPECT_FALSE (after.profileIsFactory);
    EXPECT_EQ (after.coefs, userCalibrated().coefs);
    EXPECT_EQ (after.thresholdK, 4.0);
    EXPECT_EQ (after.calBackground, userCalibrated().calBackground);
    EXPECT_EQ (after.calLiveRef, userCalibrated().calLiveRef);
    EXPECT_DOUBLE_EQ (p.state().detectionThreshold.load(), 4.0 * userCalibrated().calBackground);
}

TEST (StateRestore, OnlyTheLastOfTwoCallsIsApplied)
{
    test::ProcessorHarness rig;
    auto& p = rig.processor;
    auto first = p.captureState();
    first.cooldownMs = 100;
    auto second = first;
    second.cooldownMs = 45;

    setState (p, containerOf (first));
    setState (p, jsonOf (second));
    p.handleAsyncUpdate();
    EXPECT_EQ (p.state().cooldownMs.load(), 45);

    // A refused call also drops the record waiting before it.
    setState (p, containerOf (first));
    setState (p, juce::MemoryBlock ("[1]", 3));
    p.handleAsyncUpdate();
    EXPECT_EQ (p.state().cooldownMs.load(), 45);
    EXPECT_EQ (p.getRestoreMessage(), "State is not a JSON object");
}

TEST (StateRestore, RefusedBytesLeaveTheEngineUntouched)
{
    struct Case
    {
        const char* what;
        juce::MemoryBlock bytes;
        const char* message;
    };
    juce::MemoryBlock tooLarge;
    tooLarge.setSize (1'048'577, true);
    const Case cases[] = {
        { "no bytes", {}, "State is empty" },
        { "over 1 MiB", tooLarge, "Bopwell setup exceeds the 1 MiB file limit." },
        { "a truncated container", juce::MemoryBlock ("BWSETUP", 8), "Bopwell setup is truncated." },
        { "text that is not JSON", juce::MemoryBlock ("volume=3", 8), "State is not a JSON object" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        test::ProcessorHarness rig;
        auto& p = rig.processor;
        const auto before = p.captureState();
        const auto revision = p.state().stateRevision.load();
        restore (p, c.bytes);
        EXPECT_EQ (p.getRestoreMessage(), c.message);
        EXPECT_GT (p.state().stateRevision.load(), revision);
        EXPECT_EQ (p.captureState().cooldownMs, before.cooldownMs);
        EXPECT_EQ (p.getBuiltInPack(), before.builtInPack);
    }
}

TEST (StateRestore, ADeletedPackFolderKeepsItsPathAndSettings)
{
    bopwell::testing::ScratchFolder scratch;
    const auto folder = scratch.folder ("kit");
    bopwell::testing::writeAudioFile (folder.getChildFile ("kick.wav"), bopwell::testing::testClip (1, 480), 48000.0);

    test::ProcessorHarness rig;
    auto& p = rig.processor;
    samplepack::Data pack;
    ASSERT_TRUE (p.prepareCustomPack (folder, pack).ok);
    p.installPack (pack, pack.name, -1);
    auto record = p.captureState();
    ASSERT_EQ (record.samplePaths, juce::StringArray (folder.getFullPathName()));
    record.cooldownMs = 80;
    const auto saved = containerOf (record);

    ASSERT_TRUE (folder.deleteRecursively());
    restore (p, saved);

    EXPECT_EQ (p.getRestoreMessage(), "Saved sample pack is missing or unreadable: " + folder.getFullPathName());
    EXPECT_EQ (p.getPackLabel(), "Missing/unreadable pack");
    EXPECT_EQ (p.getSampleCount(), 0);
    EXPECT_EQ (p.state().cooldownMs.load(), 80);

    juce::MemoryBlock savedAgain;
    p.getStateInformation (savedAgain);
    StateRecord reread;
    ASSERT_EQ (decodeSetupContainer (savedAgain.getData(), savedAgain.getSize(), reread), "");
    EXPECT_EQ (reread.samplePaths, juce::StringArray (folder.getFullPathName()));
    EXPECT_EQ (reread.builtInPack, -1);
}

TEST (StateRestore, ChoosesTheProfileAndNotesWhatChanged)
{
    struct Case
    {
        const char* what;
        StateRecord record;
        bool expectFactory;
        double expectThresholdK;
        juce::String message;
    };
    auto userWithoutModel = userCalibrated();
    userWithoutModel.modelValid = false;
    auto oldFactory = userCalibrated();
    oldFactory.profileIsFactory = true;
    oldFactory.factoryProfileId = "factory-mag-2025-01-01-r0";
    auto currentFactory = oldFactory;
    currentFactory.factoryProfileId = factory::profileId;
    auto lowK = userCalibrated();
    lowK.thresholdK = 0.5;

    const Case cases[] = {
        { "user origin without a valid model", userWithoutModel, true, factory::thresholdK, "" },
        { "an older factory profile", oldFactory, true, factory::thresholdK,
          "Factory calibration was updated to factory-mag-2026-08-04-r1" },
        { "the current factory profile", currentFactory, true, factory::thresholdK, "" },
        { "a user threshold below 1", lowK, false, 1.0, "" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        test::ProcessorHarness rig;
        auto& p = rig.processor;
        restore (p, containerOf (c.record));
        EXPECT_EQ (p.getRestoreMessage(), c.message);
        EXPECT_EQ (p.state().profileIsFactory.load(), c.expectFactory);
        EXPECT_EQ (p.state().thresholdK.load(), c.expectThresholdK);
        EXPECT_EQ (p.captureState().coefs, c.expectFactory ? factory::ringingModel().coefs : c.record.coefs);
    }
}

TEST (StateRestore, ALegacyJsonStateJoinsItsNotesAfterThePackMessage)
{
    test::ProcessorHarness rig;
    auto& p = rig.processor;
    const char* legacy = R"({"thresholdK":3,"calBackground":0.001,"calLiveRef":0,"inputMax":0.05,"choke":false,"modelValid":true,
                            "curve":[2,0,0,1,1,0.5],"samplePath":"/no/such/folder/bopwell-kit"})";
    restore (p, juce::MemoryBlock (legacy, std::strlen (legacy)));

    EXPECT_EQ (p.getRestoreMessage(), "Saved sample pack is missing or unreadable: /no/such/folder/bopwell-kit; "
                                      "Imported v1 settings - detection profile requires recalibration");
    EXPECT_TRUE (p.state().profileIsFactory.load()); // a version 1 model is never trusted
    EXPECT_EQ (p.state().inputMax.load(), 0.05);
    EXPECT_FALSE (p.state().choke.load());
    EXPECT_EQ (p.state().masterGain.load(), 0.7f);
}

TEST (StateRestore, AFirstGenerationFileKeepsEverythingItDoesNotName)
{
    test::ProcessorHarness rig;
    auto& p = rig.processor;
    p.setVolumePercent (35.0);
    p.setCooldownMs (90.0);
    ASSERT_TRUE (p.loadBuiltInPack (5));
    const char* firstGeneration = R"({"thresholdK":6,"inputMax":0.12,"choke":false,"curve":[2,0,0.2,1,1,0.4]})";
    restore (p, juce::MemoryBlock (firstGeneration, std::strlen (firstGeneration)));

    EXPECT_EQ (p.getRestoreMessage(), "");
    EXPECT_EQ (p.state().masterGain.load(), 0.35f);
    EXPECT_EQ (p.state().cooldownMs.load(), 90);
    EXPECT_EQ (p.getBuiltInPack(), 5);
    EXPECT_EQ (p.state().inputMax.load(), 0.12);
    EXPECT_FALSE (p.state().choke.load());
    EXPECT_EQ (p.getCurve(), (VelocityCurve { { { 0.0, 0.2 }, { 1.0, 1.0 } }, { 0.4 } }));
    // The factory profile was current, so it stays, with its own threshold.
    EXPECT_TRUE (p.state().profileIsFactory.load());
    EXPECT_EQ (p.state().thresholdK.load(), factory::thresholdK);
}

TEST (StateRestore, RestoreTurnsPowerOffAndBackOnWithTheSensor)
{
    test::ProcessorHarness rig;
    auto& p = rig.processor;
    DeskModel desk;
    ASSERT_TRUE (rig.powerOn (desk));
    restore (p, containerOf (p.captureState()));
    EXPECT_TRUE (p.state().powerOn.load());
    EXPECT_FALSE (p.state().powerOnPending.load());
}
