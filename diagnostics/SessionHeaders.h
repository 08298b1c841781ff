#pragma once

#include <juce_core/juce_core.h>

namespace bopwell
{

// The detector's settings at the moment a session starts, as its header records them.
struct SessionHeaderValues
{
    double appliedRateHz = 0.0; // as applied; the header shows the session's rate rule applied to it
    bool gyroPresent = false;
    double thresholdK = 0.0;
    double calBackground = 0.0;
    double effThreshold = 0.0;
    bool modelValid = false;
    double inputMax = 0.0;
};

// The whole header of a scripted session, column line included, "\n" line ends.
juce::String scriptedSessionHeader (const SessionHeaderValues& values);

// The whole header of a free run; the scenario is cleaned for the header here.
juce::String freeRunSessionHeader (const SessionHeaderValues& values, const juce::String& scenario, bool armed);

} // namespace bopwell
