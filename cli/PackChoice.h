#pragma once

#include "cli/CliArgs.h"

#include <juce_core/juce_core.h>

#include <iosfwd>
#include <optional>
#include <string>

class SensorMidiProcessor;

namespace bopwell::cli
{

// A --pack argument: a built-in pack by its index, or a folder, audio file or .bopwellpack loaded
// as a custom pack.
struct PackChoice
{
    std::optional<int> builtIn;
    juce::File custom;
};

std::optional<UsageError> parsePackChoice (const std::string& choice, PackChoice& pack);

// Makes the chosen pack the processor's current one; on failure prints why and returns false.
bool installPackChoice (const PackChoice& choice, SensorMidiProcessor& processor, std::ostream& err);

} // namespace bopwell::cli
