#include "packs/BuiltInPacks.h"

#include "BopwellAssets.h"

namespace bopwell::samplepack
{

juce::StringArray getBuiltInPackDisplayNames()
{
    juce::StringArray names;
    for (const auto& pack : builtInPackTable)
        names.add (pack.displayName);
    return names;
}

juce::String builtInAssetName (const BuiltInPackInfo& pack, int number)
{
    return juce::String (pack.assetPrefix) + "_" + juce::String (number).paddedLeft ('0', 2) + "_wav";
}

namespace
{
    // Offers the bytes to each format in turn; the reader that accepts them takes the stream.
    std::unique_ptr<juce::AudioFormatReader> readerFor (juce::AudioFormatManager& formats, std::unique_ptr<juce::MemoryInputStream> stream)
    {
        for (auto* format : formats)
        {
            if (auto* reader = format->createReaderFor (stream.get(), false))
            {
                stream.release();
                return std::unique_ptr<juce::AudioFormatReader> (reader);
            }
            stream->setPosition (0);
        }
        return nullptr;
    }

    bool decodeAsset (const juce::String& assetName, juce::AudioFormatManager& formats, juce::AudioBuffer<float>& audio)
    {
        int size = 0;
        const auto* bytes = BopwellAssets::getNamedResource (assetName.toRawUTF8(), size);
        if (bytes == nullptr || size < 1)
            return false;

        const auto reader = readerFor (formats, std::make_unique<juce::MemoryInputStream> (bytes, static_cast<size_t> (size), false));
        if (reader == nullptr)
            return false;

        const auto channels = static_cast<int> (reader->numChannels);
        const auto frames = reader->lengthInSamples;
        if (channels < 1 || channels > 2 || frames < 1 || reader->sampleRate != sourceRate || frames > maxFramesPerSample)
            return false;

        audio.setSize (channels, static_cast<int> (frames));
        return reader->read (&audio, 0, static_cast<int> (frames), 0, true, channels > 1);
    }
} // namespace

bool decodeBuiltInPack (int index, juce::AudioFormatManager& formats, Data& pack)
{
    if (index < 0 || index >= builtInPackCount)
        return false;

    const auto& info = builtInPackTable[static_cast<size_t> (index)];
    pack = Data {};
    pack.name = info.displayName;
    pack.extraText2 = "1";
    pack.samples.reserve (static_cast<size_t> (info.sampleCount));

    for (int number = 1; number <= info.sampleCount; ++number)
    {
        PackSample sample;
        if (! decodeAsset (builtInAssetName (info, number), formats, sample.audio))
            return false;
        sample.name = juce::String (info.displayName) + " " + juce::String (number);
        pack.samples.push_back (std::move (sample));
    }
    return true;
}

} // namespace bopwell::samplepack
