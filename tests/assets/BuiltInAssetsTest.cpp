#include "packs/BuiltInPacks.h"

#include "BopwellAssets.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace
{
constexpr double clipRate = 48000.0;

juce::MemoryBlock resource (const juce::String& name)
{
    int size = 0;
    const auto* data = BopwellAssets::getNamedResource (name.toRawUTF8(), size);
    return data != nullptr ? juce::MemoryBlock (data, static_cast<size_t> (size)) : juce::MemoryBlock();
}

struct Clip
{
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::AudioBuffer<float> audio;
};

// Reads the clip whole; the reader is null if the resource is missing or not a WAV file.
Clip readClip (const juce::String& name)
{
    const auto bytes = resource (name);
    Clip clip;
    clip.reader.reset (juce::WavAudioFormat().createReaderFor (new juce::MemoryInputStream (bytes, true), true));
    if (clip.reader != nullptr)
    {
        clip.audio.setSize (static_cast<int> (clip.reader->numChannels), static_cast<int> (clip.reader->lengthInSamples));
        clip.reader->read (&clip.audio, 0, clip.audio.getNumSamples(), 0, true, true);
    }
    return clip;
}

float peakOf (const juce::AudioBuffer<float>& audio, int frames)
{
    float peak = 0.0f;
    for (int channel = 0; channel < audio.getNumChannels(); ++channel)
        peak = std::max (peak, audio.getMagnitude (channel, 0, frames));
    return peak;
}

bool allFinite (const juce::AudioBuffer<float>& audio)
{
    for (int channel = 0; channel < audio.getNumChannels(); ++channel)
        for (int i = 0; i < audio.getNumSamples(); ++i)
            if (! std::isfinite (audio.getSample (channel, i)))
                return false;
    return true;
}

// What a listener tells siblings apart by: how long, how loud, how bright.
struct Fingerprint
{
    double frames = 0.0;
    double rms = 0.0;
    double crossingsPerFrame = 0.0;
};

Fingerprint fingerprintOf (const juce::AudioBuffer<float>& audio)
{
    const int frames = audio.getNumSamples();
    int crossings = 0;
    for (int i = 1; i < frames; ++i)
        crossings += (audio.getSample (0, i - 1) < 0.0f) != (audio.getSample (0, i) < 0.0f);
    const double rms = std::hypot (audio.getRMSLevel (0, 0, frames), audio.getRMSLevel (1, 0, frames)) / std::sqrt (2.0);
    return { static_cast<double> (frames), rms, static_cast<double> (crossings) / frames };
}

bool clearlyDiffer (const Fingerprint& a, const Fingerprint& b)
{
    constexpr double tolerance = 0.02;
    const auto differ = [] (double x, double y) { return std::abs (x - y) > tolerance * std::max (x, y); };
    return differ (a.frames, b.frames) || differ (a.rms, b.rms) || differ (a.crossingsPerFrame, b.crossingsPerFrame);
}
} // namespace

TEST (BuiltInAssets, EverySampleIsAShortStereoFloatHitPeakingNearMinus3dB)
{
    const int twoMilliseconds = static_cast<int> (0.002 * clipRate);
    for (const auto& pack : bopwell::samplepack::builtInPackTable)
        for (int number = 1; number <= pack.sampleCount; ++number)
        {
            const auto name = bopwell::samplepack::builtInAssetName (pack, number);
            SCOPED_TRACE (name);
            const auto clip = readClip (name);
            ASSERT_NE (clip.reader, nullptr);
            EXPECT_EQ (clip.reader->numChannels, 2u);
            EXPECT_EQ (clip.reader->sampleRate, clipRate);
            EXPECT_EQ (clip.reader->bitsPerSample, 32u);
            EXPECT_TRUE (clip.reader->usesFloatingPointData);

            const int frames = clip.audio.getNumSamples();
            ASSERT_GE (frames, twoMilliseconds);
            EXPECT_LE (frames, static_cast<int> (clipRate));
            EXPECT_TRUE (allFinite (clip.audio));
            EXPECT_GE (peakOf (clip.audio, frames), 0.6f);
            EXPECT_LE (peakOf (clip.audio, frames), 0.75f);
            // A hit sounds the moment it is triggered (above -30 dBFS within 2 ms)...
            EXPECT_GE (peakOf (clip.audio, twoMilliseconds), 0.03f);
            // ...and ends on silence, so cutting it off never clicks.
            EXPECT_EQ (clip.audio.getSample (0, frames - 1), 0.0f);
            EXPECT_EQ (clip.audio.getSample (1, frames - 1), 0.0f);
        }
}

TEST (BuiltInAssets, SiblingsInAPackSoundDifferent)
{
    for (const auto& pack : bopwell::samplepack::builtInPackTable)
    {
        std::vector<Fingerprint> fingerprints;
        for (int number = 1; number <= pack.sampleCount; ++number)
            fingerprints.push_back (fingerprintOf (readClip (bopwell::samplepack::builtInAssetName (pack, number)).audio));

        for (size_t a = 0; a < fingerprints.size(); ++a)
            for (size_t b = a + 1; b < fingerprints.size(); ++b)
                EXPECT_TRUE (clearlyDiffer (fingerprints[a], fingerprints[b]))
                    << bopwell::samplepack::builtInAssetName (pack, static_cast<int> (a + 1)) << " and "
                    << bopwell::samplepack::builtInAssetName (pack, static_cast<int> (b + 1));
    }
}

TEST (BuiltInAssets, ImagesDecode)
{
    for (const auto* name : { "volume_crayon_png", "sensitivity_crayon_png", "guard_crayon_png", "sweat_mark_png" })
    {
        SCOPED_TRACE (name);
        const auto bytes = resource (name);
        const auto image = juce::ImageFileFormat::loadFrom (bytes.getData(), bytes.getSize());
        ASSERT_TRUE (image.isValid());
        EXPECT_GT (image.getWidth(), 0);
        EXPECT_GT (image.getHeight(), 0);
        EXPECT_TRUE (image.hasAlphaChannel());
    }
}

TEST (BuiltInAssets, HeaderBurstIsA120By80Svg)
{
    const auto bytes = resource ("bopwell_header_burst_svg");
    const auto svg = juce::XmlDocument::parse (bytes.toString());
    ASSERT_NE (svg, nullptr);
    EXPECT_TRUE (svg->hasTagName ("svg"));
    EXPECT_EQ (svg->getStringAttribute ("viewBox"), "0 0 120 80");
}
