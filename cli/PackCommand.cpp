#include "cli/Commands.h"

#include "engine/SensorMidiProcessor.h"
#include "packs/PackContainerWriter.h"
#include "packs/SourceImport.h"

#include <juce_core/juce_core.h>

#include <ostream>

namespace bopwell::cli
{

namespace
{
    juce::File fileArgument (const std::string& path)
    {
        return juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (path));
    }

    juce::var verifyJson (const PackLoadResult& result, const samplepack::Data& pack)
    {
        auto* object = new juce::DynamicObject();
        object->setProperty ("ok", result.ok);
        object->setProperty ("code", result.code);
        object->setProperty ("message", result.message);
        object->setProperty ("ignoredCount", result.ignoredCount);
        if (result.ok)
        {
            object->setProperty ("name", pack.name);
            juce::Array<juce::var> samples;
            for (const auto& sample : pack.samples)
            {
                auto* entry = new juce::DynamicObject();
                entry->setProperty ("name", sample.name);
                entry->setProperty ("channels", sample.audio.getNumChannels());
                entry->setProperty ("frames", sample.audio.getNumSamples());
                samples.add (juce::var (entry));
            }
            object->setProperty ("samples", samples);
        }
        return juce::var (object);
    }

    // Loads a source exactly as the app's pack chooser would.
    PackLoadResult loadAsTheAppWould (const std::string& path, samplepack::Data& pack)
    {
        ManualEngineClock clock;
        SensorMidiProcessor processor (clock);
        return processor.prepareCustomPack (fileArgument (path), pack);
    }

    int verify (const std::string& path, std::ostream& out)
    {
        samplepack::Data pack;
        const auto result = loadAsTheAppWould (path, pack);
        out << juce::JSON::toString (verifyJson (result, pack), true) << "\n";
        return result.ok ? exitSuccess : exitFailure;
    }

    int info (const std::string& path, std::ostream& out, std::ostream& err)
    {
        samplepack::Data pack;
        const auto result = loadAsTheAppWould (path, pack);
        if (! result.ok)
        {
            err << result.message << "\n";
            return exitFailure;
        }

        double totalSeconds = 0.0;
        for (const auto& sample : pack.samples)
            totalSeconds += sample.audio.getNumSamples() / static_cast<double> (samplepack::sourceRate);
        out << "Name: " << pack.name << "\n"
            << "Samples: " << pack.samples.size() << ", " << juce::String (totalSeconds, 2) << " s in all, at 48 kHz\n";
        for (size_t i = 0; i < pack.samples.size(); ++i)
        {
            const auto& audio = pack.samples[i].audio;
            out << "  " << (i + 1) << ". " << pack.samples[i].name << ": " << (audio.getNumChannels() == 1 ? "mono" : "stereo") << ", "
                << audio.getNumSamples() << " frames (" << juce::String (audio.getNumSamples() / 48000.0, 3) << " s)\n";
        }
        return exitSuccess;
    }

    // One folder, or audio files: imported exactly as a load would, so the builder refuses what
    // loading refuses.
    PackLoadResult importForBuild (const std::vector<std::string>& sources, samplepack::Data& pack)
    {
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        std::atomic<bool> neverCancelled { false };
        const samplepack::PackLoadProgress progress (neverCancelled);

        if (sources.size() == 1 && fileArgument (sources.front()).isDirectory())
            return samplepack::importFolder (fileArgument (sources.front()), formats, progress, pack);
        if (sources.size() == 1)
            return samplepack::importFile (fileArgument (sources.front()), formats, progress, pack);

        samplepack::ImportRequest request;
        for (const auto& source : sources)
        {
            request.files.add (fileArgument (source));
            request.sourcePaths.add (fileArgument (source).getFullPathName());
        }
        return samplepack::importSources (request, formats, progress, pack);
    }

    int build (const std::vector<std::string>& sources, const CliArgs& args, std::ostream& out, std::ostream& err)
    {
        const auto outPath = args.text ("out");
        if (! outPath || outPath->empty())
            return reportUsageError ("pack", { "build needs --out FILE.bopwellpack" }, err);
        if (sources.empty())
            return reportUsageError ("pack", { "build needs an audio file, several files or a folder" }, err);
        for (const auto& source : sources)
            if (sources.size() > 1 && fileArgument (source).isDirectory())
                return reportUsageError ("pack", { "build takes one folder, or audio files, not both" }, err);

        samplepack::Data pack;
        const auto imported = importForBuild (sources, pack);
        if (! imported.ok)
        {
            err << imported.message << "\n";
            return exitFailure;
        }
        if (const auto name = args.text ("name"))
            pack.name = juce::String (*name);

        const auto written = samplepack::writePackContainer (pack, fileArgument (*outPath));
        if (! written.ok)
        {
            err << written.message << "\n";
            return exitFailure;
        }
        out << "Wrote " << pack.samples.size() << (pack.samples.size() == 1 ? " sample" : " samples") << " as \"" << pack.name << "\" to "
            << *outPath << ".\n";
        return exitSuccess;
    }
} // namespace

int runPack (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    const auto& words = args.positionals();
    if (words.empty())
        return reportUsageError ("pack", { "needs verify, info or build" }, err);

    const auto& verb = words.front();
    const std::vector<std::string> rest (words.begin() + 1, words.end());
    if (verb == "build")
        return build (rest, args, out, err);
    if (verb != "verify" && verb != "info")
        return reportUsageError ("pack", { "unknown action \"" + verb + "\"; use verify, info or build" }, err);
    if (rest.size() != 1)
        return reportUsageError ("pack", { verb + " expects one folder, audio file or .bopwellpack" }, err);
    return verb == "verify" ? verify (rest.front(), out) : info (rest.front(), out, err);
}

} // namespace bopwell::cli
