#include "PackFixtures.h"

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <cmath>
#include <cstring>
#include <filesystem>

namespace bopwell::testing
{

ScratchFolder::ScratchFolder() :
    rootFolder (juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("bopwell-packs-test", {}, false))
{
    rootFolder.createDirectory();
}

ScratchFolder::~ScratchFolder() { rootFolder.deleteRecursively(); }

juce::File ScratchFolder::file (const juce::String& relativePath) const { return rootFolder.getChildFile (relativePath); }

juce::File ScratchFolder::folder (const juce::String& relativePath) const
{
    auto made = file (relativePath);
    made.createDirectory();
    return made;
}

juce::AudioBuffer<float> testClip (int channels, int frames)
{
    juce::AudioBuffer<float> audio (channels, frames);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < frames; ++i)
            audio.setSample (c, i, 0.5f * std::sin (0.013f * static_cast<float> (i) * static_cast<float> (c + 1) + 0.1f));
    return audio;
}

juce::File writeAudioFile (const juce::File& file, const juce::AudioBuffer<float>& audio, double rate, int bits)
{
    std::unique_ptr<juce::AudioFormat> format;
    if (file.hasFileExtension ("wav"))
        format = std::make_unique<juce::WavAudioFormat>();
    else if (file.hasFileExtension ("aif;aiff"))
        format = std::make_unique<juce::AiffAudioFormat>();
    else
        format = std::make_unique<juce::FlacAudioFormat>();

    file.deleteFile();
    std::unique_ptr<juce::AudioFormatWriter> writer (
        format->createWriterFor (new juce::FileOutputStream (file), rate, static_cast<unsigned int> (audio.getNumChannels()), bits, {}, 0));
    if (writer == nullptr)
        throw std::runtime_error ("no writer for " + file.getFullPathName().toStdString());
    writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples());
    return file;
}

juce::File writeSizedFile (const juce::File& file, std::int64_t size, const juce::MemoryBlock& prefix)
{
    writeBytes (file, prefix);
    std::filesystem::resize_file (file.getFullPathName().toStdString(), static_cast<std::uintmax_t> (size));
    return file;
}

juce::File writeBytes (const juce::File& file, const juce::MemoryBlock& bytes)
{
    if (! file.replaceWithData (bytes.getData(), bytes.getSize()) && ! bytes.isEmpty())
        throw std::runtime_error ("cannot write " + file.getFullPathName().toStdString());
    if (bytes.isEmpty())
        file.create();
    return file;
}

juce::MemoryBlock readBytes (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

samplepack::PackSample packSample (const juce::String& name, const juce::AudioBuffer<float>& audio) { return { audio, name }; }

samplepack::Data packOf (const juce::String& name, std::initializer_list<samplepack::PackSample> samples)
{
    samplepack::Data pack;
    pack.name = name;
    pack.extraText2 = "1";
    pack.samples.assign (samples.begin(), samples.end());
    return pack;
}

void put32 (juce::MemoryBlock& bytes, size_t offset, std::uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char> ((value >> (8 * i)) & 0xff);
}

void put64 (juce::MemoryBlock& bytes, size_t offset, std::uint64_t value)
{
    for (size_t i = 0; i < 8; ++i)
        bytes[offset + i] = static_cast<char> ((value >> (8 * i)) & 0xff);
}

std::uint64_t get64 (const juce::MemoryBlock& bytes, size_t offset)
{
    std::uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i)
        value |= static_cast<std::uint64_t> (static_cast<std::uint8_t> (bytes[offset + i])) << (8 * i);
    return value;
}

void appendSha256 (juce::MemoryBlock& bytes, const void* data, size_t size)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256 (static_cast<const unsigned char*> (data), size, digest);
    bytes.append (digest, sizeof (digest));
}

void reseal (juce::MemoryBlock& container)
{
    const auto body = container.getSize() - 32;
    juce::MemoryBlock sealed (container.getData(), body);
    appendSha256 (sealed, sealed.getData(), body);
    container = sealed;
}

juce::MemoryBlock handBuiltContainer (const juce::String& name, const juce::String& second, const juce::String& third,
                                      const std::vector<samplepack::PackSample>& samples)
{
    juce::MemoryBlock out;
    const auto append32 = [&out] (std::uint32_t value)
    {
        juce::MemoryBlock field (4);
        put32 (field, 0, value);
        out.append (field.getData(), 4);
    };
    const auto append64 = [&out] (std::uint64_t value)
    {
        juce::MemoryBlock field (8);
        put64 (field, 0, value);
        out.append (field.getData(), 8);
    };
    const auto appendText = [&out] (const juce::String& text) { out.append (text.toRawUTF8(), text.getNumBytesAsUTF8()); };
    const auto planar = [] (const samplepack::PackSample& sample)
    {
        const auto frames = static_cast<size_t> (sample.audio.getNumSamples());
        juce::MemoryBlock data (4 * frames * static_cast<size_t> (sample.audio.getNumChannels()));
        for (int c = 0; c < sample.audio.getNumChannels(); ++c)
            for (size_t i = 0; i < frames; ++i)
            {
                const auto value = sample.audio.getSample (c, static_cast<int> (i));
                std::uint32_t bits;
                std::memcpy (&bits, &value, 4);
                put32 (data, 4 * (static_cast<size_t> (c) * frames + i), bits);
            }
        return data;
    };

    std::uint64_t tableSize = 0, payloadSize = 0, totalFrames = 0;
    for (const auto& sample : samples)
    {
        tableSize += 72 + sample.name.getNumBytesAsUTF8();
        payloadSize += planar (sample).getSize();
        totalFrames += static_cast<std::uint64_t> (sample.audio.getNumSamples());
    }

    out.append ("BWPACK1", 8); // with its terminating zero byte
    append32 (1);
    append32 (static_cast<std::uint32_t> (samples.size()));
    append32 (static_cast<std::uint32_t> (name.getNumBytesAsUTF8()));
    append32 (static_cast<std::uint32_t> (second.getNumBytesAsUTF8()));
    append32 (static_cast<std::uint32_t> (third.getNumBytesAsUTF8()));
    append32 (0);
    append64 (tableSize);
    append64 (payloadSize);
    append64 (totalFrames);
    append64 (0);
    appendText (name);
    appendText (second);
    appendText (third);

    auto dataOffset = out.getSize() + tableSize;
    for (const auto& sample : samples)
    {
        const auto data = planar (sample);
        append32 (static_cast<std::uint32_t> (sample.name.getNumBytesAsUTF8()));
        append32 (static_cast<std::uint32_t> (sample.audio.getNumChannels()));
        append32 (48000);
        append32 (0);
        append64 (static_cast<std::uint64_t> (sample.audio.getNumSamples()));
        append64 (dataOffset);
        append64 (data.getSize());
        appendSha256 (out, data.getData(), data.getSize());
        appendText (sample.name);
        dataOffset += data.getSize();
    }
    for (const auto& sample : samples)
    {
        const auto data = planar (sample);
        out.append (data.getData(), data.getSize());
    }
    appendSha256 (out, out.getData(), out.getSize());
    return out;
}

samplepack::Data referencePack()
{
    juce::AudioBuffer<float> kick (1, 3);
    kick.setSample (0, 0, 0.25f);
    kick.setSample (0, 1, 1.5f);
    kick.setSample (0, 2, -0.75f);
    juce::AudioBuffer<float> snare (2, 2);
    snare.setSample (0, 0, 0.5f);
    snare.setSample (0, 1, -2.0f);
    snare.setSample (1, 0, 0.125f);
    snare.setSample (1, 1, 0.0f);
    return packOf ("Kit", { packSample ("kick", kick), packSample ("snare", snare) });
}

void expectFailure (const PackLoadResult& result, PackLoadCode code, const juce::String& message)
{
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.code, code);
    EXPECT_EQ (result.message, message);
}

void expectProgressAndCancelOfTwoSamples (const ProgressingLoad& load)
{
    for (int cancelAt : { 0, 1, 2, -1 })
    {
        SCOPED_TRACE (cancelAt);
        std::atomic<bool> cancel { false };
        samplepack::Data pack;
        std::vector<std::pair<int, int>> reports;
        const samplepack::PackLoadProgress progress (cancel,
                                                     [&] (int done, int total)
                                                     {
                                                         reports.emplace_back (done, total);
                                                         if (done == cancelAt)
                                                             cancel = true;
                                                     });

        const auto result = load (progress, pack);

        if (cancelAt < 0)
        {
            EXPECT_TRUE (result.ok);
            EXPECT_EQ (reports, (std::vector<std::pair<int, int>> { { 0, 2 }, { 1, 2 }, { 2, 2 } }));
        }
        else
        {
            expectFailure (result, packLoadCancelled, "Sample pack loading was cancelled.");
            EXPECT_EQ (reports.size(), static_cast<size_t> (cancelAt + 1));
            EXPECT_TRUE (pack.samples.empty());
        }
    }
}

} // namespace bopwell::testing
