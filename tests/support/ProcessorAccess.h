#pragma once

#include "engine/SensorMidiProcessor.h"

// Reaches into the processor where a test must create a state no public operation can yet: a
// busy sample set, an output guard caught mid-trip, a finished calibration.
struct SensorMidiProcessorTestAccess
{
    static juce::SpinLock& sampleSetLock (SensorMidiProcessor& processor) { return processor.sampleSetLock; }
    static bopwell::ProcessorState& state (SensorMidiProcessor& processor) { return processor.shared; }

    // Stands in for a calibration that just finished.
    static void finishCalibration (SensorMidiProcessor& processor, const bopwell::CalibrationResult& result)
    {
        processor.calibrationResult = result;
        processor.calibrationResultReady.store (true);
    }
    static bool calibrationResultReady (SensorMidiProcessor& processor) { return processor.calibrationResultReady.load(); }

    // Stands in for a custom pack load under way.
    static std::atomic<bool>& packLoadBusy (SensorMidiProcessor& processor) { return processor.packLoadBusy; }
};
