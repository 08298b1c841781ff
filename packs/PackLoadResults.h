#pragma once

#include "packs/SamplePack.h"

#include <new>

namespace bopwell::samplepack
{

// The outcomes that more than one loader reports, worded once.
PackLoadResult failureResult (PackLoadCode code, const juce::String& message);
PackLoadResult cancelledResult();
PackLoadResult outOfMemoryResult();
PackLoadResult loadedResult (const Data& pack);

// A byte count in MiB with one decimal place, as the size messages show it.
juce::String mebibytesText (juce::int64 bytes);

// A file or sample name as messages quote it.
juce::String quoted (const juce::String& name);

// Runs a load, turning running out of memory into its result instead of an exception.
template <typename Load>
PackLoadResult reportingOutOfMemory (Load&& load)
{
    try
    {
        return load();
    }
    catch (const std::bad_alloc&)
    {
        return outOfMemoryResult();
    }
}

} // namespace bopwell::samplepack
