#pragma once

#include <juce_graphics/juce_graphics.h>

namespace bopwell::assetgen
{

inline constexpr int sweatMarkSize = 48;

// A few cartoon sweat drops flying off, on a transparent background.
juce::Image sweatMark();

} // namespace bopwell::assetgen
