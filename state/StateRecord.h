#pragma once

#include "calibration/RingingModel.h"
#include "engine/VelocityCurve.h"

#include <juce_core/juce_core.h>

#include <array>

namespace bopwell
{

// Everything a user can save and restore, as one value: the detection and calibration profile,
// the velocity curve, the controls and the pack choice. Fresh records hold the defaults.
struct StateRecord
{
    static constexpr int stateVersion = 4;
    static constexpr const char* playbackMode = "fixed";
    static constexpr const char* sampleSelection = "shuffle-bag-no-repeat-v1";
    static constexpr int axisMode = 0;
    static constexpr const char* backgroundStat = "env5ms";

    static constexpr int maxSamplePaths = 78;
    static constexpr int maxBuiltInPack = 8;
    static constexpr int maxCooldownMs = 150;
    static constexpr int cooldownStepMs = 5;

    std::array<double, RingingModel::coefficientCount> coefs {};
    bool modelValid = false;
    VelocityCurve curve = VelocityCurve::identity();
    double thresholdK = 2.0;
    double calBackground = 0.0;
    double calLiveRef = 0.0;
    double inputMax = 0.08;
    double masterGain = 0.7;
    int cooldownMs = 25;
    bool choke = true;
    juce::StringArray samplePaths;
    int builtInPack = 0;
    juce::String importNotice;
    bool profileIsFactory = false;
    juce::String factoryProfileId;

    bool operator== (const StateRecord&) const = default;
};

} // namespace bopwell
