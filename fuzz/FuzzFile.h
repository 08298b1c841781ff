#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>

namespace bopwell::fuzz
{

// The loaders read files, not memory: each input is written to a file of this process that
// keeps its name from run to run, so that nothing piles up in the temp folder.
juce::File writeInput (const juce::String& extension, const std::uint8_t* data, std::size_t size);

} // namespace bopwell::fuzz

// The entry point that libFuzzer calls with each input.
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size);
