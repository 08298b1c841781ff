#include "BenchFolder.h"
#include "PeerReport.h"

#include "packs/SourceImport.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <cmath>

namespace
{
using namespace bopwell::samplepack;

constexpr int fileCount = maxSamples;
constexpr double sourceRateHz = 44100.0;
constexpr int framesPerFile = 3 * 44100;

// 78 stereo 16-bit WAV files of 3 s at 44.1 kHz, each with its own sound.
const juce::File& sourceFolder()
{
    static const bopwell::bench::BenchFolder folder ("bopwell-pack-import-bench");
    static const auto sources = []
    {
        const auto kit = folder.get().getChildFile ("Kit");
        kit.createDirectory();
        juce::WavAudioFormat wav;
        for (int k = 0; k < fileCount; ++k)
        {
            juce::AudioBuffer<float> audio (2, framesPerFile);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < framesPerFile; ++i)
                    audio.setSample (c, i, 0.4f * std::sin (0.002f * static_cast<float> (i * (k + c + 1))));
            const auto file = kit.getChildFile ("hit " + juce::String (k + 1) + ".wav");
            std::unique_ptr<juce::AudioFormatWriter> writer (
                wav.createWriterFor (new juce::FileOutputStream (file), sourceRateHz, 2, 16, {}, 0));
            writer->writeFromAudioSampleBuffer (audio, 0, framesPerFile);
        }
        return kit;
    }();
    return sources;
}

void bopwellImportFolder (benchmark::State& state)
{
    const auto& folder = sourceFolder();
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::atomic<bool> cancel { false };
    for (auto _ : state)
    {
        Data pack;
        const auto result = importFolder (folder, formats, PackLoadProgress (cancel), pack);
        if (! result.ok)
            state.SkipWithError (result.message.toRawUTF8());
        benchmark::DoNotOptimize (pack.samples.data());
    }
}
BENCHMARK (bopwellImportFolder)->Unit (benchmark::kMillisecond)->UseRealTime();

// sox turns each file into 48 kHz 32-bit float with its default resampler, as files on disk.
void soxConvertFolder (benchmark::State& state)
{
    const auto& folder = sourceFolder();
    const auto converted = folder.getSiblingFile ("converted");
    converted.createDirectory();
    const auto command = "for f in " + bopwell::bench::shellQuoted (folder) + "/*.wav; do sox \"$f\" -e floating-point -b 32 "
                         + bopwell::bench::shellQuoted (converted) + "/\"$(basename \"$f\")\" rate 48000 || exit 1; done";
    for (auto _ : state)
        if (! bopwell::bench::runQuietly (command))
            state.SkipWithError ("sox failed");
}
BENCHMARK (soxConvertFolder)->Unit (benchmark::kMillisecond)->UseRealTime();
} // namespace

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    return bopwell::bench::runAndCompare (argc, argv, "pack-import", "bopwellImportFolder/real_time",
                                          { "sox to 48 kHz 32-bit float, file by file, same 78 files", "soxConvertFolder/real_time", 0.0 },
                                          "ns per import of 78 stereo 16-bit 3 s 44.1 kHz WAV files");
}
