// Any bytes as an audio file: the first byte picks the extension, and so the decoder, the rest is
// the file. The import must refuse or accept them without crashing or reading out of bounds, and
// whatever it accepts must be a playable sample.
#include "FuzzFile.h"

#include "packs/SourceImport.h"

#include <cmath>
#include <cstdio>

namespace
{
// What is wrong with an accepted pack, or null when it is a playable one-sample pack.
const char* problemWith (const bopwell::samplepack::Data& pack)
{
    if (pack.samples.size() != 1)
        return "not one sample";
    const auto& audio = pack.samples[0].audio;
    if (audio.getNumChannels() < 1 || audio.getNumChannels() > 2)
        return "channel count";
    if (audio.getNumSamples() < 1 || audio.getNumSamples() > bopwell::samplepack::maxFramesPerSample)
        return "length";
    for (int c = 0; c < audio.getNumChannels(); ++c)
        for (int i = 0; i < audio.getNumSamples(); ++i)
            if (! std::isfinite (audio.getSample (c, i)))
                return "non-finite value";
    return nullptr;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    using namespace bopwell::samplepack;
    if (size < 1)
        return 0;

    static const char* const extensions[] = { ".wav", ".aif", ".flac", ".mp3" };
    static juce::AudioFormatManager formats;
    if (formats.getNumKnownFormats() == 0)
        formats.registerBasicFormats();

    const auto extension = extensions[data[0] % std::size (extensions)];
    std::atomic<bool> cancel { false };
    Data pack;
    const auto result = importFile (bopwell::fuzz::writeInput (extension, data + 1, size - 1), formats, PackLoadProgress (cancel), pack);
    if (result.ok)
    {
        if (const auto* problem = problemWith (pack))
        {
            std::fprintf (stderr, "accepted a pack with a bad %s\n", problem);
            __builtin_trap();
        }
    }
    return 0;
}
