// Writes small valid inputs for the fuzz targets, so that they start from files that get past
// the first checks: `fuzz-seeds DIR` fills DIR/container, DIR/audio, DIR/setup and DIR/json.
#include "packs/PackContainerWriter.h"
#include "state/SetupContainer.h"
#include "state/StateJson.h"

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

// Saved states of a few shapes. Each seed starts with the byte that tells the fuzz target to
// keep the header's length and the digest correct.
std::vector<bopwell::StateRecord> stateSeeds()
{
    bopwell::StateRecord plain;
    auto full = plain;
    full.coefs.fill (0.125);
    full.modelValid = true;
    full.calBackground = 0.001;
    full.calLiveRef = 0.0005;
    full.cooldownMs = 0;
    full.samplePaths = { "/samples/kick.wav", juce::String::fromUTF8 ("/samples/caf\xc3\xa9 \xf0\x9f\x98\x80.wav") };
    full.builtInPack = -1;
    full.profileIsFactory = true;
    full.factoryProfileId = "factory-mag-2026-08-04-r1";
    full.curve = { { { 0.0, 0.1 }, { 0.4, 0.6 }, { 1.0, 0.9 } }, { 0.3, 0.7 } };
    auto user = plain;
    user.builtInPack = 8;
    user.choke = false;
    return { plain, full, user };
}

void writeBytes (const juce::File& file, const void* data, size_t size, int selector)
{
    juce::FileOutputStream out (file);
    out.setPosition (0);
    out.truncate();
    if (selector >= 0)
        out.writeByte (static_cast<char> (selector));
    out.write (data, size);
}

void writeSetupSeeds (const juce::File& folder)
{
    int index = 0;
    for (const auto& record : stateSeeds())
    {
        juce::MemoryBlock bytes;
        bopwell::encodeSetupContainer (record, bytes);
        writeBytes (folder.getChildFile ("setup" + juce::String (index++)), bytes.getData(), bytes.getSize(), 3);
    }
}

// Version 4 states as the writer makes them, and by hand a version 1 state, a version 2 state and
// first-generation settings.
void writeJsonSeeds (const juce::File& folder)
{
    int index = 0;
    const auto write = [&] (const juce::String& text)
    { writeBytes (folder.getChildFile ("state" + juce::String (index++)), text.toRawUTF8(), text.getNumBytesAsUTF8(), -1); };
    for (const auto& record : stateSeeds())
        write (juce::JSON::toString (bopwell::stateToJson (record), index % 2 == 0));
    write (R"({"thresholdK": 3, "calBackground": 0.5, "calLiveRef": 0.25, "inputMax": 0.1, "choke": false, "modelValid": true, )"
           R"("samplePath": "/samples/kick.wav", "cooldownMs": 30, "curve": [2, 0, 0, 1, 1, 0.5]})");
    write (R"({"stateVersion": 2, "playbackMode": "fixed", "axisMode": 0, "backgroundStat": "env5ms", "masterGain": 0.5, )"
           R"("thresholdK": 3, "calBackground": 0.5, "calLiveRef": 0.25, "inputMax": 0.1, "choke": true, "modelValid": false, )"
           R"("profileOrigin": "user", "samplePath": "", "curve": [2, 0, 0.2, 1, 1, 0.5]})");
    write (R"({"thresholdK": 4.5, "inputMax": 0.5, "choke": true, "curve": [3, 0, 0, 0.5, 0.25, 1, 1, 0.2, 0.8]})");
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
    for (auto name : { "container", "audio", "setup", "json" })
        root.getChildFile (name).createDirectory();
    writeContainerSeeds (root.getChildFile ("container"));
    writeAudioSeeds (root.getChildFile ("audio"));
    writeSetupSeeds (root.getChildFile ("setup"));
    writeJsonSeeds (root.getChildFile ("json"));
    return 0;
}
