#include "packs/SourceImport.h"

#include "packs/PackLoadResults.h"
#include "packs/Resampling.h"
#include "packs/SampleValues.h"
#include "packs/SourceScan.h"

#include <cmath>
#include <optional>

namespace bopwell::samplepack
{

namespace
{
    constexpr juce::int64 maxSourceFileBytes = 16777216;   // 16 MiB
    constexpr juce::int64 maxSourceTotalBytes = 201326592; // 192 MiB
    constexpr double minSourceRate = 8000.0;
    constexpr double maxSourceRate = 96000.0;
    constexpr double maxSourceSeconds = 10.0;
    constexpr juce::juce_wchar enDash = 0x2013;

    using Failure = std::optional<PackLoadResult>;

    PackLoadResult fileFailure (PackLoadCode code, const juce::File& file, const juce::String& problem)
    {
        return failureResult (code, quoted (file.getFileName()) + problem);
    }

    Failure checkSourcePath (const juce::Array<juce::File>& files, int index)
    {
        const auto& file = files.getReference (index);
        const auto path = file.getFullPathName();
        if (path.isEmpty() || ! file.exists() || file.isDirectory() || ! (path.startsWithChar ('/') || path.startsWithChar ('~')))
            return fileFailure (packLoadUndecodable, file, " is missing or unreadable.");

        for (int earlier = 0; earlier < index; ++earlier)
            if (files.getReference (earlier).getFullPathName().equalsIgnoreCase (path))
                return fileFailure (packLoadDuplicateSource, file, " appears more than once in the pack.");
        return {};
    }

    // The first pass: cheap checks on every file, so that an oversized pack fails before any decode.
    Failure checkSources (const juce::Array<juce::File>& files)
    {
        if (files.isEmpty())
            return failureResult (packLoadNothingToLoad, "The pack contains no supported audio files.");
        if (files.size() > maxSamples)
            return failureResult (packLoadTooManySamples, "The pack contains " + juce::String (files.size())
                                                              + " supported samples; Bopwell supports up to " + juce::String (maxSamples)
                                                              + ".");

        juce::int64 totalBytes = 0;
        for (int i = 0; i < files.size(); ++i)
        {
            if (auto failure = checkSourcePath (files, i))
                return failure;

            const auto& file = files.getReference (i);
            const auto size = file.getSize();
            if (size < 1)
                return fileFailure (packLoadUndecodable, file, " is empty or unreadable.");
            if (size > maxSourceFileBytes)
                return fileFailure (packLoadSourceTooLarge, file,
                                    " is " + mebibytesText (size) + " MB; each source file must be 16 MB or smaller.");
            totalBytes += size;
            if (totalBytes > maxSourceTotalBytes)
                return failureResult (packLoadSourcesTooLarge, "The source audio exceeds the 192 MB pack limit.");
        }
        return {};
    }

    // The first registered format that claims the extension and accepts the bytes.
    std::unique_ptr<juce::AudioFormatReader> openReader (const juce::File& file, juce::AudioFormatManager& formats)
    {
        for (auto* format : formats)
        {
            if (! format->canHandleFile (file))
                continue;
            auto stream = std::make_unique<juce::FileInputStream> (file);
            if (! stream->openedOk())
                continue;
            if (auto* reader = format->createReaderFor (stream.release(), true))
                return std::unique_ptr<juce::AudioFormatReader> (reader);
        }
        return nullptr;
    }

    bool isUncompressed (const juce::File& file) { return file.hasFileExtension ("wav;aif;aiff"); }

    // The readers fill what a file lacks with silence and still report success, so a WAV or AIFF
    // file cut short would load as a clip with a silent tail. Its header says how many bytes
    // the audio takes; a file smaller than that cannot be fully decoded.
    bool holdsDeclaredAudio (const juce::File& file, const juce::AudioFormatReader& reader)
    {
        if (! isUncompressed (file))
            return true;
        const auto audioBytes = reader.lengthInSamples * reader.numChannels * (reader.bitsPerSample / 8);
        return audioBytes <= file.getSize();
    }

    // Everything the reader's header tells us, checked before any sample memory is allocated.
    Failure checkFormat (const juce::File& file, const juce::AudioFormatReader& reader)
    {
        if (reader.numChannels < 1 || reader.numChannels > maxChannels)
            return fileFailure (packLoadUnsupportedChannels, file,
                                " has " + juce::String (reader.numChannels) + " channels; Bopwell accepts mono or stereo.");

        const auto rate = reader.sampleRate;
        if (! std::isfinite (rate) || rate < minSourceRate || rate > maxSourceRate)
            return fileFailure (packLoadUnsupportedSampleRate, file,
                                " uses " + juce::String (rate / 1000.0, 1) + " kHz; Bopwell accepts 8" + juce::String::charToString (enDash)
                                    + "96 kHz.");

        const auto bits = reader.bitsPerSample;
        if (isUncompressed (file) && bits != 16 && bits != 24 && bits != 32)
            return fileFailure (packLoadUnsupportedBitDepth, file,
                                " uses " + juce::String (bits) + "-bit audio; WAV/AIFF must be 16, 24, or 32-bit.");

        if (reader.lengthInSamples <= 0)
            return fileFailure (packLoadUndecodable, file, " contains no audio.");

        const auto seconds = static_cast<double> (reader.lengthInSamples) / rate;
        if (! (seconds <= maxSourceSeconds))
            return fileFailure (packLoadSampleTooLong, file,
                                " is " + juce::String (seconds, 2) + " seconds; each sample must be 10 seconds or shorter.");
        return {};
    }

    // The second pass for one file: decode, vet and normalise it into `sample`, within what the
    // pack still has room for.
    Failure decodeSource (const juce::File& file, juce::AudioFormatManager& formats, juce::int64& totalFrames, PackSample& sample)
    {
        if (! isSupportedAudioFile (file))
            return fileFailure (packLoadUnsupportedExtension, file, " is not a supported audio format.");

        const auto reader = openReader (file, formats);
        if (reader == nullptr)
            return fileFailure (packLoadUndecodable, file,
                                " could not be decoded. It may be corrupt, DRM-protected, or use an unsupported codec.");
        if (auto failure = checkFormat (file, *reader))
            return failure;

        const auto length = normalisedLength (reader->lengthInSamples, reader->sampleRate);
        if (length > maxFramesPerSample)
            return fileFailure (packLoadSampleTooLong, file, " exceeds the 10-second normalized limit.");
        const auto frames = static_cast<juce::int64> (length);
        if (totalFrames + frames > maxTotalFrames)
            return failureResult (packLoadPackTooLong, "The samples total more than 240 seconds.");

        try
        {
            const auto sourceFrames = static_cast<int> (reader->lengthInSamples);
            juce::AudioBuffer<float> source (static_cast<int> (reader->numChannels), sourceFrames);
            if (! holdsDeclaredAudio (file, *reader) || ! reader->read (&source, 0, sourceFrames, 0, true, true))
                return fileFailure (packLoadUndecodable, file, " could not be fully decoded.");
            if (! allFinite (source))
                return fileFailure (packLoadUndecodable, file, " contains invalid audio data.");

            sample.audio = toSourceRate (std::move (source), reader->sampleRate, static_cast<int> (frames));
            // Interpolating values near the float limit can overflow to infinity.
            if (! isSourceRate (reader->sampleRate) && ! allFinite (sample.audio))
                return fileFailure (packLoadUndecodable, file, " contains invalid audio data.");
            sample.name = file.getFileName();
        }
        catch (const std::bad_alloc&)
        {
            return failureResult (packLoadOutOfMemory,
                                  "Bopwell could not allocate memory while loading " + quoted (file.getFileName()) + ".");
        }

        totalFrames += frames;
        return {};
    }

    juce::String ignoredFilesNote (int ignored)
    {
        if (ignored < 1)
            return {};
        return " Ignored " + juce::String (ignored) + " non-audio file" + (ignored == 1 ? "." : "s.");
    }

    PackLoadResult importChecked (const ImportRequest& request, juce::AudioFormatManager& formats, const PackLoadProgress& progress,
                                  Data& pack)
    {
        if (auto failure = checkSources (request.files))
            return *failure;

        Data loaded;
        loaded.name = request.label.isEmpty() ? juce::String ("Custom Pack") : request.label;
        loaded.extraText2 = "1";
        loaded.sourcePaths = request.sourcePaths;
        loaded.ignoredCount = request.ignoredCount;

        const auto count = request.files.size();
        loaded.samples.reserve (static_cast<size_t> (count));
        juce::int64 totalFrames = 0;
        for (int i = 0; i < count; ++i)
        {
            if (! progress.proceed (i, count))
                return cancelledResult();

            PackSample sample;
            if (auto failure = decodeSource (request.files.getReference (i), formats, totalFrames, sample))
                return *failure;
            loaded.samples.push_back (std::move (sample));
        }
        if (! progress.proceed (count, count))
            return cancelledResult();

        auto result = loadedResult (loaded);
        result.message << ignoredFilesNote (loaded.ignoredCount);
        pack = std::move (loaded);
        return result;
    }
} // namespace

PackLoadResult importSources (const ImportRequest& request, juce::AudioFormatManager& formats, const PackLoadProgress& progress, Data& pack)
{
    return reportingOutOfMemory ([&] { return importChecked (request, formats, progress, pack); });
}

PackLoadResult importFolder (const juce::File& folder, juce::AudioFormatManager& formats, const PackLoadProgress& progress, Data& pack)
{
    return reportingOutOfMemory (
        [&]
        {
            auto scan = scanFolder (folder);
            if (! scan.result.ok)
                return scan.result;
            return importChecked ({ scan.files, folder.getFileName(), juce::StringArray (folder.getFullPathName()), scan.ignoredCount },
                                  formats, progress, pack);
        });
}

PackLoadResult importFile (const juce::File& file, juce::AudioFormatManager& formats, const PackLoadProgress& progress, Data& pack)
{
    return reportingOutOfMemory (
        [&]
        {
            return importChecked (
                { juce::Array<juce::File> (file), file.getFileNameWithoutExtension(), juce::StringArray (file.getFullPathName()), 0 },
                formats, progress, pack);
        });
}

PackLoadResult importFileList (const juce::Array<juce::File>& files, const juce::String& label, juce::AudioFormatManager& formats,
                               const PackLoadProgress& progress, Data& pack)
{
    return reportingOutOfMemory (
        [&]
        {
            juce::StringArray paths;
            for (const auto& file : files)
                paths.add (file.getFullPathName());
            return importChecked ({ files, label, paths, 0 }, formats, progress, pack);
        });
}

} // namespace bopwell::samplepack
