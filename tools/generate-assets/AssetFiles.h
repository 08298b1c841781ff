#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_graphics/juce_graphics.h>

#include <string>

namespace bopwell::assetgen
{

// Each replaces whatever the file held, so a rerun writes the same bytes as a first run.
juce::Result writeWav (const juce::File& file, const juce::AudioBuffer<float>& clip);
juce::Result writePng (const juce::File& file, const juce::Image& image);
juce::Result writeText (const juce::File& file, const std::string& text);

} // namespace bopwell::assetgen
