#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>

namespace bopwell
{

// Writes the bytes to a temporary file beside the target and only then moves it over the target,
// so a failed write (a full disk, a missing folder) leaves whatever was there untouched. The
// temporary file is removed in every case. True when the target now holds exactly these bytes.
bool replaceFileWith (const juce::File& target, const void* data, std::size_t size);

} // namespace bopwell
