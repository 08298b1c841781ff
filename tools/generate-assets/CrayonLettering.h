#pragma once

#include <juce_graphics/juce_graphics.h>

namespace bopwell::assetgen
{

inline constexpr int captionWidth = 120;
inline constexpr int captionHeight = 32;

// A control's caption, hand-lettered in a light crayon on a transparent background. The letters
// are our own pen strokes rather than a font, so every machine draws the same pixels. Throws
// std::invalid_argument for a letter we have no strokes for.
juce::Image crayonCaption (const juce::String& text);

} // namespace bopwell::assetgen
