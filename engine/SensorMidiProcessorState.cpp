// Saving and restoring the processor's state: capture, the setup container, and the two-step
// restore (decode anywhere, apply on the message thread).

#include "engine/SensorMidiProcessor.h"

#include "calibration/FactoryProfile.h"
#include "state/SetupContainer.h"
#include "state/StateJson.h"

#include <algorithm>
#include <optional>

using namespace bopwell;

namespace
{
constexpr const char* missingPackLabel = "Missing/unreadable pack";

void appendNote (juce::String& message, const juce::String& note)
{
    if (note.isEmpty())
        return;
    if (message.isNotEmpty())
        message << "; ";
    message << note;
}

// The profile a restored record ends up with: its own calibration when it carries a usable one,
// the factory profile otherwise.
struct ChosenProfile
{
    RingingModel model;
    double thresholdK = 0.0;
    double calBackground = 0.0;
    double calLiveRef = 0.0;
    bool isFactory = true;
};

ChosenProfile chooseProfile (const StateRecord& record)
{
    if (record.profileIsFactory || ! record.modelValid || ! (record.calBackground > 0.0))
        return { factory::ringingModel(), factory::thresholdK, factory::calBackground, factory::calLiveRef, true };

    RingingModel model;
    model.coefs = record.coefs;
    model.modelValid = true;
    return { model, record.thresholdK, record.calBackground, record.calLiveRef, false };
}
} // namespace

StateRecord SensorMidiProcessor::captureState() const
{
    StateRecord record;
    const std::lock_guard lock (profileLock);

    record.coefs = profileModel.coefs;
    record.modelValid = profileModel.modelValid;
    record.curve = curve;
    record.thresholdK = shared.thresholdK.load();
    record.calBackground = shared.calBackground.load();
    record.calLiveRef = shared.calLiveRef.load();
    record.inputMax = shared.inputMax.load();
    record.masterGain = static_cast<double> (shared.masterGain.load());
    record.cooldownMs = shared.cooldownMs.load();
    record.choke = shared.choke.load();
    record.samplePaths = getSamplePaths();
    record.builtInPack = getBuiltInPack();

    record.profileIsFactory = shared.profileIsFactory.load();
    if (record.profileIsFactory)
        record.factoryProfileId = factory::profileId;
    return record;
}

void SensorMidiProcessor::getStateInformation (juce::MemoryBlock& destination)
{
    // A state that cannot be encoded saves nothing rather than something half-written.
    if (encodeSetupContainer (captureState(), destination).isNotEmpty())
        destination.reset();
}

juce::String SensorMidiProcessor::decodeState (const void* data, std::size_t size, StateRecord& record) const
{
    if (data == nullptr || size < 1)
        return "State is empty";
    if (size > setupcontainer::maxContainerBytes)
        return "Bopwell setup exceeds the 1 MiB file limit.";
    if (looksLikeSetupContainer (data, size))
        return decodeSetupContainer (data, size, record);

    const auto text = juce::String::fromUTF8 (static_cast<const char*> (data), static_cast<int> (size));
    juce::String error;
    if (! stateFromJson (convertFirstGenerationSettings (text, captureState()), record, error))
        return error;
    return {};
}

void SensorMidiProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    StateRecord record;
    auto error = decodeState (data, static_cast<std::size_t> (std::max (sizeInBytes, 0)), record);
    if (error.isEmpty() && session.isRunning())
        error = "State restore is blocked while recording a session";

    {
        const std::lock_guard lock (restoreMutex);
        ++restoreGeneration;
        if (error.isEmpty())
        {
            pendingRestore = std::move (record);
            pendingRestoreGeneration = restoreGeneration;
        }
        else
        {
            pendingRestore.reset();
        }
        restoreMessage = error;
        shared.stateRevision.fetch_add (1);
    }

    if (error.isEmpty())
        triggerAsyncUpdate();
    else
        cancelPendingUpdate();
}

juce::String SensorMidiProcessor::getRestoreMessage() const
{
    const std::lock_guard lock (restoreMutex);
    return restoreMessage;
}

void SensorMidiProcessor::handleAsyncUpdate()
{
    std::optional<StateRecord> record;
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock (restoreMutex);
        record.swap (pendingRestore);
        generation = pendingRestoreGeneration;
    }
    if (! record)
        return;

    const std::lock_guard restoreGuard (restoreMutex);
    if (restoreGeneration != generation)
        return;

    const std::lock_guard sessionGuard (session.lock());
    if (session.isRunning())
    {
        restoreMessage = "State restore was cancelled because a session started";
        shared.stateRevision.fetch_add (1);
        return;
    }

    const std::lock_guard profileGuard (profileLock);
    {
        const std::lock_guard lock (powerLock);
        shared.powerOnPending.store (false);
        shared.powerOn.store (false);
        shared.lastHitOnsetNs.store (0);
    }

    auto message = restorePack (*record);
    applyRestoredSettings (*record);

    if (record->profileIsFactory && record->factoryProfileId.isNotEmpty() && record->factoryProfileId != factory::profileId)
        appendNote (message, juce::String ("Factory calibration was updated to ") + factory::profileId);
    appendNote (message, record->importNotice);
    restoreMessage = message;

    powerOnWhenSensorReady();
    shared.stateRevision.fetch_add (1);
}

juce::String SensorMidiProcessor::restorePack (const StateRecord& record)
{
    if (record.samplePaths.isEmpty())
    {
        if (! loadBuiltInPack (std::max (record.builtInPack, 0)))
            clearPack ("(no sample)", {});
        return {};
    }

    if (! packLoadBusy.load())
        packLoadCancel.store (false);

    juce::Array<juce::File> files;
    std::optional<juce::String> missingPath;
    for (const auto& path : record.samplePaths)
    {
        const juce::File file (path);
        if (! missingPath && (path.isEmpty() || ! file.exists()))
            missingPath = path;
        files.add (file);
    }

    PackLoadResult result;
    if (! missingPath)
    {
        if (files.size() == 1 && (files[0].isDirectory() || files[0].hasFileExtension (".bopwellpack")))
        {
            samplepack::Data data;
            result = prepareCustomPack (files[0], data);
            if (result.ok)
                installPack (data, data.name, -1);
        }
        else
        {
            result = loadSamplesInternal (files, {});
        }
        if (result.ok)
            return {};
    }

    // The paths stay with the processor so that saving again keeps them.
    clearPack (missingPackLabel, record.samplePaths);
    if (! missingPath && result.message.isNotEmpty())
        return result.message;
    return "Saved sample pack is missing or unreadable: " + missingPath.value_or (record.samplePaths[0]);
}

void SensorMidiProcessor::applyRestoredSettings (const StateRecord& record)
{
    const auto table = buildVelocityTable (record.curve);
    curve = record.curve;

    const auto profile = chooseProfile (record);
    const double thresholdK = std::clamp (profile.thresholdK, 1.0, 10.0);
    profileModel = profile.model;
    shared.modelValid.store (profile.calBackground > 0.0);
    shared.profileIsFactory.store (profile.isFactory);
    shared.thresholdK.store (thresholdK);
    shared.inputMax.store (record.inputMax);
    shared.masterGain.store (static_cast<float> (std::clamp (record.masterGain, 0.0, 1.0)));
    shared.cooldownMs.store (std::clamp (record.cooldownMs, 0, 150));
    shared.lastHitOnsetNs.store (0);
    shared.choke.store (record.choke);
    shared.calBackground.store (profile.calBackground);
    shared.calLiveRef.store (profile.calLiveRef);

    {
        const std::lock_guard lock (curveTableLock);
        velocityTable = table;
    }

    calibration.reset();
    discardCalibrationResult();
    shared.liveBackground.store (0.0);

    publishModel (profile.model);
    setDetectionThreshold (thresholdK, profile.calBackground);
    shared.playbackGeneration.fetch_add (1);
}
