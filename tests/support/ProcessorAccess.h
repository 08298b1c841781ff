#pragma once

#include "engine/SensorMidiProcessor.h"

// Reaches into the processor where a test must create a state no public operation can: a busy
// sample set, or an output guard caught mid-trip.
struct SensorMidiProcessorTestAccess
{
    static juce::SpinLock& sampleSetLock (SensorMidiProcessor& processor) { return processor.sampleSetLock; }
    static bopwell::ProcessorState& state (SensorMidiProcessor& processor) { return processor.shared; }
};
