#pragma once

#include "packs/PackLoadProgress.h"
#include "packs/SamplePack.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

namespace bopwell::testing
{

// A folder of its own under the system's temp folder, removed with everything in it.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder (const ScratchFolder&) = delete;
    ScratchFolder& operator= (const ScratchFolder&) = delete;

    juce::File file (const juce::String& relativePath) const;
    juce::File folder (const juce::String& relativePath) const; // created
    const juce::File& root() const { return rootFolder; }

private:
    juce::File rootFolder;
};

// A clip whose values differ from frame to frame and from channel to channel.
juce::AudioBuffer<float> testClip (int channels, int frames);

// Writes audio with the JUCE writer that the file's extension names (.wav, .aif, .aiff, .flac).
juce::File writeAudioFile (const juce::File& file, const juce::AudioBuffer<float>& audio, double rate, int bits = 16);

// A file of exactly `size` bytes: `prefix` followed by zeros (sparse on disk).
juce::File writeSizedFile (const juce::File& file, std::int64_t size, const juce::MemoryBlock& prefix = {});

juce::File writeBytes (const juce::File& file, const juce::MemoryBlock& bytes);
juce::MemoryBlock readBytes (const juce::File& file);

samplepack::PackSample packSample (const juce::String& name, const juce::AudioBuffer<float>& audio);
samplepack::Data packOf (const juce::String& name, std::initializer_list<samplepack::PackSample> samples);

// Checks a refused load's code and message.
void expectFailure (const PackLoadResult& result, PackLoadCode code, const juce::String& message);

// A load of two samples that reports its progress. Runs it once to the end and once with a cancel at
// each report in turn, and checks that progress comes before each sample and after the last, and
// that a cancel ends the load with nothing loaded.
using ProgressingLoad = std::function<PackLoadResult (const samplepack::PackLoadProgress& progress, samplepack::Data& pack)>;
void expectProgressAndCancelOfTwoSamples (const ProgressingLoad& load);

// Little-endian fields and digests inside container bytes, for building and damaging packs.
void put32 (juce::MemoryBlock& bytes, size_t offset, std::uint32_t value);
void put64 (juce::MemoryBlock& bytes, size_t offset, std::uint64_t value);
std::uint64_t get64 (const juce::MemoryBlock& bytes, size_t offset);
void appendSha256 (juce::MemoryBlock& bytes, const void* data, size_t size);
// Recomputes the trailing whole-file digest after the bytes before it changed.
void reseal (juce::MemoryBlock& container);

// A container laid out by hand, field by field, independently of the writer.
juce::MemoryBlock handBuiltContainer (const juce::String& name, const juce::String& second, const juce::String& third,
                                      const std::vector<samplepack::PackSample>& samples);

// The pack that most container tests start from, and where its parts sit in handBuiltContainer's
// bytes: "Kit", "", "1", then "kick" (mono, 3 frames) and "snare" (stereo, 2 frames), with values
// outside -1..1 among them.
samplepack::Data referencePack();
namespace reference
{
    inline constexpr size_t firstEntry = 68;
    inline constexpr size_t secondEntry = 144;
    inline constexpr size_t payload = 221;
    inline constexpr size_t kickData = 221;
    inline constexpr size_t snareData = 233;
    inline constexpr size_t trailer = 249;
    inline constexpr size_t fileSize = 281;
} // namespace reference

} // namespace bopwell::testing
