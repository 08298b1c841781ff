#pragma once

#include "engine/HitDetector.h"

#include <atomic>
#include <cstdint>

namespace bopwell
{

// The settings and telemetry that the sensor, audio and message threads share without locks.
// Every field is atomic; the processor writes them, everyone else only loads them. Fields that
// change together with others (the profile, Power) are written under the processor's locks.
struct ProcessorState
{
    // User settings
    std::atomic<float> masterGain { 0.7f };
    std::atomic<std::int32_t> cooldownMs { 25 };
    std::atomic<bool> choke { true };
    std::atomic<double> inputMax { 0.08 };

    // Calibration profile
    std::atomic<double> thresholdK { 2.0 };
    std::atomic<double> calBackground { 0.0 };
    std::atomic<double> calLiveRef { 0.0 };
    std::atomic<double> detectionThreshold { 1.0 };
    std::atomic<std::int32_t> modelGeneration { 0 };
    std::atomic<bool> modelValid { true }; // mirror of the profile's flag for lock-free readers
    std::atomic<bool> profileIsFactory { true };

    // Power and playback
    std::atomic<bool> powerOn { false };
    std::atomic<bool> powerOnPending { false };
    std::atomic<std::int32_t> powerSerial { 0 };
    std::atomic<bool> guardTripped { false };
    std::atomic<std::int32_t> guardSequence { 0 };
    std::atomic<std::int32_t> playbackGeneration { 0 };
    std::atomic<std::uint64_t> lastHitOnsetNs { 0 };
    std::atomic<bool> flushHitsRequest { false };
    std::atomic<bool> stopAllRequest { false };
    std::atomic<double> sampleRate { 0.0 };

    // Sensor watch
    std::atomic<std::uint64_t> lastSampleNs { 0 };
    std::atomic<double> appliedRateHz { HitDetector::nominalRateHz };
    std::atomic<bool> sensorOk { false };
    std::atomic<bool> sensorStalled { false };
    std::atomic<std::uint64_t> sensorWatchStartNs { 0 };

    // Published telemetry
    std::atomic<double> envelope { 0.0 };
    std::atomic<double> envelopePeak { 0.0 };
    std::atomic<double> residualLevel { 0.0 };
    std::atomic<double> liveBackground { 0.0 };
    std::atomic<double> lastHitStrength { 0.0 };
    std::atomic<double> lastHitInput { 0.0 };
    std::atomic<double> lastHitLevel { 0.0 };
    std::atomic<std::int32_t> hitsAccepted { 0 };
    std::atomic<std::int32_t> hitsDropped { 0 };
    std::atomic<std::int32_t> activeVoiceCount { 0 };
    std::atomic<std::int32_t> voicesStarted { 0 };
    std::atomic<std::int32_t> stateRevision { 0 };
    std::atomic<std::int32_t> calibrationRevision { 0 };
};

} // namespace bopwell
