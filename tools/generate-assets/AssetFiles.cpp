#include "AssetFiles.h"

#include "Synthesis.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

namespace bopwell::assetgen
{

namespace
{
    std::unique_ptr<juce::FileOutputStream> createFresh (const juce::File& file)
    {
        auto stream = std::make_unique<juce::FileOutputStream> (file);
        if (! stream->openedOk() || ! stream->setPosition (0) || stream->truncate().failed())
            return nullptr;
        return stream;
    }

    juce::Result cannotWrite (const juce::File& file) { return juce::Result::fail ("Cannot write " + file.getFullPathName()); }

    juce::Result flushed (juce::FileOutputStream& stream, const juce::File& file)
    {
        stream.flush();
        return stream.getStatus().wasOk() ? juce::Result::ok() : cannotWrite (file);
    }
} // namespace

juce::Result writeWav (const juce::File& file, const juce::AudioBuffer<float>& clip)
{
    auto stream = createFresh (file);
    if (stream == nullptr)
        return cannotWrite (file);

    constexpr int floatBits = 32;
    std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (
        stream.get(), sampleRate, static_cast<unsigned int> (clip.getNumChannels()), floatBits, {}, 0));
    if (writer == nullptr)
        return cannotWrite (file);
    stream.release();

    if (! writer->writeFromAudioSampleBuffer (clip, 0, clip.getNumSamples()) || ! writer->flush())
        return cannotWrite (file);
    return juce::Result::ok();
}

juce::Result writePng (const juce::File& file, const juce::Image& image)
{
    auto stream = createFresh (file);
    if (stream == nullptr || ! juce::PNGImageFormat().writeImageToStream (image, *stream))
        return cannotWrite (file);
    return flushed (*stream, file);
}

juce::Result writeText (const juce::File& file, const std::string& text)
{
    auto stream = createFresh (file);
    if (stream == nullptr || ! stream->write (text.data(), text.size()))
        return cannotWrite (file);
    return flushed (*stream, file);
}

} // namespace bopwell::assetgen
