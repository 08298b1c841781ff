#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace bopwell::samplepack
{

// Every pack is normalised to this rate, so the voice engine never converts per pack.
inline constexpr int sourceRate = 48000;
inline constexpr int maxSamples = 78;
inline constexpr int maxFramesPerSample = 480000;
inline constexpr int maxChannels = 2;
inline constexpr juce::int64 maxTotalFrames = 11520000; // 240 s at the source rate
inline constexpr juce::int64 maxPackBytes = 134217728;  // 128 MiB of samples, 4 bytes per value

// The memory limit can never bite before the length limit does: loaders check the length only.
static_assert (maxTotalFrames * maxChannels * static_cast<juce::int64> (sizeof (float)) <= maxPackBytes);

// One playable clip: 1 or 2 channels at 48 kHz.
struct PackSample
{
    juce::AudioBuffer<float> audio;
    juce::String name;
};

// A decoded pack, filled by a loader and handed to the processor's installPack.
struct Data
{
    juce::String name;
    juce::String extraText1;
    juce::String extraText2;
    juce::StringArray sourcePaths;
    std::vector<PackSample> samples;
    int ignoredCount = 0;
};

} // namespace bopwell::samplepack

// Why a custom pack could not be loaded; the editor shows the message of every failure.
enum PackLoadCode
{
    packLoadSuccess = 0,
    packLoadBlockedBySession = 4,
    packLoadAlreadyRunning = 5,
    packLoadCancelled = 6,
    packLoadUnsupportedPath = 7,
    packLoadNothingToLoad = 8,
    packLoadTooManySamples = 9,
    packLoadDuplicateSource = 10,
    packLoadSourceTooLarge = 11,
    packLoadSourcesTooLarge = 12,
    packLoadUnsupportedExtension = 13,
    packLoadUndecodable = 14,
    packLoadUnsupportedBitDepth = 15,
    packLoadUnsupportedChannels = 16,
    packLoadUnsupportedSampleRate = 17,
    packLoadSampleTooLong = 18,
    packLoadPackTooLong = 19,
    packLoadPackTooLarge = 20,
    packLoadOutOfMemory = 21,
    packLoadPackFileTooLarge = 22,
    packLoadPackFileMalformed = 23,
    packLoadPackFileUnsupported = 24,
    packLoadPackFileCorrupt = 25,
};

struct PackLoadResult
{
    bool ok = false;
    int code = packLoadSuccess;
    juce::String message;
    int ignoredCount = 0;
};
