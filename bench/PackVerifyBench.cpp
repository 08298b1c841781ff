#include "BenchFolder.h"
#include "PeerReport.h"

#include "packs/PackContainerReader.h"
#include "packs/PackContainerWriter.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <cmath>

namespace
{
using namespace bopwell::samplepack;

constexpr int sampleCount = maxSamples;

// The largest pack a container may hold: 78 stereo samples and 240 s in all, 92 160 000 bytes of
// audio. A 128 MiB file would need more than 240 s of stereo, which the reader refuses.
Data largestPack()
{
    Data pack;
    pack.name = "Largest";
    pack.extraText2 = "1";
    const auto frames = maxTotalFrames / sampleCount;
    for (int k = 0; k < sampleCount; ++k)
    {
        const auto length = static_cast<int> (k == 0 ? maxTotalFrames - frames * (sampleCount - 1) : frames);
        juce::AudioBuffer<float> audio (2, length);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < length; ++i)
                audio.setSample (c, i, 0.3f * std::sin (0.001f * static_cast<float> (i * (k + c + 1))));
        pack.samples.push_back ({ std::move (audio), "sample " + juce::String (k + 1) });
    }
    return pack;
}

const juce::File& packFile()
{
    static const bopwell::bench::BenchFolder folder ("bopwell-pack-verify-bench");
    static const auto file = []
    {
        const auto written = folder.get().getChildFile ("Largest.bopwellpack");
        if (! writePackContainer (largestPack(), written).ok)
            std::abort();
        return written;
    }();
    return file;
}

void bopwellReadPack (benchmark::State& state)
{
    const auto& file = packFile();
    std::atomic<bool> cancel { false };
    for (auto _ : state)
    {
        Data pack;
        const auto result = readPackContainer (file, PackLoadProgress (cancel), pack);
        if (! result.ok)
            state.SkipWithError (result.message.toRawUTF8());
        benchmark::DoNotOptimize (pack.samples.data());
    }
    state.SetBytesProcessed (state.iterations() * file.getSize());
}
BENCHMARK (bopwellReadPack)->Unit (benchmark::kMillisecond)->UseRealTime();

// The peer hashes the same file once; we hash it whole and then every sample again, and decode.
void sha256sumFile (benchmark::State& state)
{
    const auto& file = packFile();
    const auto command = "sha256sum " + bopwell::bench::shellQuoted (file);
    for (auto _ : state)
        if (! bopwell::bench::runQuietly (command))
            state.SkipWithError ("sha256sum failed");
    state.SetBytesProcessed (state.iterations() * file.getSize());
}
BENCHMARK (sha256sumFile)->Unit (benchmark::kMillisecond)->UseRealTime();
} // namespace

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    return bopwell::bench::runAndCompare (argc, argv, "pack-verify", "bopwellReadPack/real_time",
                                          { "sha256sum of the same 88 MiB pack file", "sha256sumFile/real_time", 0.0 },
                                          "ns per load of the largest pack: 78 stereo samples, 240 s");
}
