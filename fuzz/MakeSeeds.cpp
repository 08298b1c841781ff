// Writes small valid inputs for the fuzz targets, so that they start from files that get past
// the first checks: `fuzz-seeds DIR` fills DIR/container and DIR/audio.
#include "packs/PackContainerWriter.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <cmath>
#include <cstdio>

namespace
{
juce::AudioBuffer<float> clip (int channels, int frames)
{
    juce::AudioBuffer<float> audio (channels, frames);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < frames; ++i)
            audio.setSample (c, i, 0.5f * std::sin (0.05f * static_cast<float> (i * (c + 1))));
    return audio;
}

// Each seed starts with the byte that tells the fuzz target to keep the file's digest correct.
void writeContainerSeed (const bopwell::samplepack::Data& pack, const juce::File& file)
{
    const auto written = file.withFileExtension ("bopwellpack");
    bopwell::samplepack::writePackContainer (pack, written);
    juce::MemoryBlock bytes;
    written.loadFileAsData (bytes);
    written.deleteFile();

    juce::FileOutputStream out (file);
    out.setPosition (0);
    out.truncate();
    out.writeByte (1);
    out.write (bytes.getData(), bytes.getSize());
}

void writeContainerSeeds (const juce::File& folder)
{
    using namespace bopwell::samplepack;
    Data pack;
    pack.name = "Seed";
    pack.extraText2 = "1";
    pack.samples.push_back ({ clip (1, 8), "kick" });
    pack.samples.push_back ({ clip (2, 4), "snare" });
    writeContainerSeed (pack, folder.getChildFile ("two"));
    pack.samples.resize (1);
    pack.name = {};
    writeContainerSeed (pack, folder.getChildFile ("one"));
}

// The first byte selects the decoder, as in AudioImportFuzz.cpp: 0 WAV, 1 AIFF, 2 FLAC.
void writeAudioSeed (const juce::File& file, juce::AudioFormat& format, std::uint8_t selector, int channels, double rate, int bits)
{
    juce::MemoryBlock bytes;
    {
        std::unique_ptr<juce::AudioFormatWriter> writer (
            format.createWriterFor (new juce::MemoryOutputStream (bytes, false), rate, static_cast<unsigned int> (channels), bits, {}, 0));
        const auto audio = clip (channels, 64);
        writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples());
    }
    juce::FileOutputStream out (file);
    out.setPosition (0);
    out.truncate();
    out.writeByte (static_cast<char> (selector));
    out.write (bytes.getData(), bytes.getSize());
}

void writeAudioSeeds (const juce::File& folder)
{
    juce::WavAudioFormat wav;
    juce::AiffAudioFormat aiff;
    juce::FlacAudioFormat flac;
    writeAudioSeed (folder.getChildFile ("wav16"), wav, 0, 2, 44100.0, 16);
    writeAudioSeed (folder.getChildFile ("wav24"), wav, 0, 1, 48000.0, 24);
    writeAudioSeed (folder.getChildFile ("wav32"), wav, 0, 2, 96000.0, 32);
    writeAudioSeed (folder.getChildFile ("aiff16"), aiff, 1, 2, 22050.0, 16);
    writeAudioSeed (folder.getChildFile ("aiff24"), aiff, 1, 1, 48000.0, 24);
    writeAudioSeed (folder.getChildFile ("flac16"), flac, 2, 2, 44100.0, 16);
    writeAudioSeed (folder.getChildFile ("flac24"), flac, 2, 1, 8000.0, 24);
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "Usage: fuzz-seeds DIR\n");
        return 2;
    }
    const auto root = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    for (auto name : { "container", "audio" })
        root.getChildFile (name).createDirectory();
    writeContainerSeeds (root.getChildFile ("container"));
    writeAudioSeeds (root.getChildFile ("audio"));
    return 0;
}
