#include "packs/PackLoadResults.h"

namespace bopwell::samplepack
{

PackLoadResult failureResult (PackLoadCode code, const juce::String& message) { return { false, code, message, 0 }; }

PackLoadResult cancelledResult() { return failureResult (packLoadCancelled, "Sample pack loading was cancelled."); }

PackLoadResult outOfMemoryResult() { return failureResult (packLoadOutOfMemory, "Bopwell could not allocate memory for this pack."); }

PackLoadResult loadedResult (const Data& pack)
{
    return { true, packLoadSuccess,
             "Loaded " + juce::String (static_cast<int> (pack.samples.size())) + " samples from " + quoted (pack.name) + ".",
             pack.ignoredCount };
}

juce::String mebibytesText (juce::int64 bytes) { return juce::String (static_cast<double> (bytes) / (1024.0 * 1024.0), 1); }

juce::String quoted (const juce::String& name) { return "'" + name + "'"; }

} // namespace bopwell::samplepack
