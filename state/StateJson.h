#pragma once

#include "state/StateRecord.h"

#include <juce_core/juce_core.h>

namespace bopwell
{

// Objects and arrays may nest this deep in state text; deeper text is refused before parsing.
inline constexpr int maxStateJsonDepth = 64;

// The record as a JSON object, with the keys in the order that saved files have always used:
// "stateVersion", "playbackMode", "sampleSelection", "axisMode", "backgroundStat", "masterGain",
// "cooldownMs", "thresholdK", "calBackground", "calLiveRef", "inputMax", "choke", "modelValid",
// "profileOrigin", "factoryProfileId" (factory origin only), "samplePaths", "builtInPack",
// "coefs" (only with a valid model) and "curve" (the flat curve form).
juce::var stateToJson (const StateRecord& record);

// Reads a JSON state of version 1 to 4. Resets `record` to the defaults and fills it; on failure
// returns false with the first failing check's message in `error`, leaving a partly filled record
// for the caller to discard. On success `error` is empty and a version 1 state carries its
// notice in `record.importNotice`. Text that is not well-formed UTF-8, or that JUCE's parser
// cannot read safely (see StateJson.cpp), is "State is not a JSON object".
bool stateFromJson (const juce::String& utf8Text, StateRecord& record, juce::String& error);

// First-generation settings files: an object without "stateVersion" and "modelValid" but with
// "thresholdK", "inputMax", "choke" and "curve". For such text, returns `current` written with
// stateToJson, with those four values replaced as the file has them, as JSON text for
// stateFromJson; any other text comes back unchanged.
juce::String convertFirstGenerationSettings (const juce::String& text, const StateRecord& current);

} // namespace bopwell
