// Diagnostic sessions as the processor runs them: the start conditions, the header's values, and
// the user's stop.

#include "engine/SensorMidiProcessor.h"

#include "diagnostics/SessionHeaders.h"

using namespace bopwell;

bool SensorMidiProcessor::startScriptedSession (const juce::File& file) { return startSession (file, std::nullopt); }

bool SensorMidiProcessor::startFreeRunSession (const juce::File& file, const juce::String& scenario)
{
    return startSession (file, scenario);
}

bool SensorMidiProcessor::startSession (const juce::File& file, const std::optional<juce::String>& scenario)
{
    const std::lock_guard lock (session.lock());
    const bool calibrationBusy = calibration.isRequestedOrRunning() || calibration.isAnalysisRequested();
    if (session.isRunning() || session.isFinishing() || session.recorder().isAccepting() || ! sensorReader.isRunning()
        || sensorReader.hasFailed() || calibrationBusy)
        return false;

    const auto values = sessionHeaderValues();
    const auto header = scenario ? freeRunSessionHeader (values, *scenario, isArmedScenario (*scenario)) : scriptedSessionHeader (values);
    if (! session.begin (file, header, scenario))
        return false;

    if (! session.allowsPower())
        powerOffAndSilence();
    return true;
}

SessionHeaderValues SensorMidiProcessor::sessionHeaderValues()
{
    SessionHeaderValues values;
    values.appliedRateHz = shared.appliedRateHz.load();
    values.gyroPresent = sensorReader.hasGyro();
    values.thresholdK = shared.thresholdK.load();
    values.calBackground = shared.calBackground.load();
    values.effThreshold = shared.detectionThreshold.load();
    values.inputMax = shared.inputMax.load();
    {
        // The detector adopts the pending model with its next sample; its flag is the model's.
        const std::lock_guard lock (modelLock);
        values.modelValid = pendingModel.modelValid;
    }
    return values;
}

void SensorMidiProcessor::stopSession()
{
    if (session.isRunning())
        session.stopByUser (sensorIsLost());
}

bool SensorMidiProcessor::sensorIsLost() const noexcept { return sensorReader.hasFailed() || ! sensorReader.isRunning(); }
