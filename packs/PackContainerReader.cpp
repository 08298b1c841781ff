#include "packs/PackContainerReader.h"

#include "packs/PackContainerFormat.h"
#include "packs/PackLoadResults.h"
#include "packs/SampleValues.h"

#include <optional>
#include <vector>

namespace bopwell::samplepack
{

namespace
{
    using namespace container;
    using Failure = std::optional<PackLoadResult>;

    constexpr size_t hashChunkBytes = 1 << 20;

    PackLoadResult malformed (const juce::String& message) { return failureResult (packLoadPackFileMalformed, message); }

    PackLoadResult unsupported (const juce::String& message) { return failureResult (packLoadPackFileUnsupported, message); }

    struct Entry
    {
        juce::String name;
        EntryFields fields;
    };

    // One load of one file. Every read stays before the trailer, whose position comes from the
    // size measured at the start; a file that changes underneath shows up as a short read.
    class ContainerLoad
    {
    public:
        ContainerLoad (const juce::File& packFile, const PackLoadProgress& loadProgress) : file (packFile), progress (loadProgress) {}

        PackLoadResult run (Data& pack)
        {
            Data loaded;
            if (auto failure = checkFileSize())
                return *failure;
            if (auto failure = open())
                return *failure;
            if (auto failure = verifyFileDigest())
                return *failure;
            if (auto failure = readHeader())
                return *failure;
            if (auto failure = readStrings (loaded))
                return *failure;
            if (auto failure = checkRegionSizes())
                return *failure;
            if (auto failure = readTable())
                return *failure;
            if (auto failure = readSamples (loaded))
                return *failure;

            loaded.sourcePaths.add (file.getFullPathName());
            auto result = loadedResult (loaded);
            pack = std::move (loaded);
            return result;
        }

    private:
        Failure checkFileSize()
        {
            if (file.getFullPathName().isEmpty() || ! file.exists() || file.isDirectory())
                return failureResult (packLoadUnsupportedPath, "The .bopwellpack file is missing.");

            const auto measured = file.getSize();
            if (measured < 1)
                return malformed ("The .bopwellpack file is empty.");
            if (static_cast<std::uint64_t> (measured) > maxFileBytes)
                return failureResult (packLoadPackFileTooLarge,
                                      "The .bopwellpack file is " + mebibytesText (measured) + " MB; the maximum is 128 MB.");
            if (static_cast<std::uint64_t> (measured) < headerBytes + trailerBytes)
                return malformed ("The .bopwellpack header is truncated.");

            trailerStart = static_cast<std::uint64_t> (measured) - trailerBytes;
            return {};
        }

        Failure open()
        {
            stream = std::make_unique<juce::FileInputStream> (file);
            if (! stream->openedOk())
                return malformed ("The .bopwellpack file could not be opened.");
            return {};
        }

        // Every caller's size is bounded well below 2 GiB: a chunk, a header, an entry, a string
        // or one channel of one sample.
        bool readExactly (void* destination, std::uint64_t size)
        {
            const auto wanted = static_cast<int> (size);
            return stream->read (destination, wanted) == wanted;
        }

        // Whether `size` more bytes from the current position stay before the trailer.
        bool fitsBeforeTrailer (std::uint64_t size) const
        {
            const auto position = static_cast<std::uint64_t> (stream->getPosition());
            return position <= trailerStart && size <= trailerStart - position;
        }

        Failure verifyFileDigest()
        {
            const auto corrupt = failureResult (packLoadPackFileCorrupt, "The .bopwellpack integrity check failed.");
            Sha256 hash;
            std::vector<std::uint8_t> chunk (std::min<std::uint64_t> (trailerStart, hashChunkBytes));
            for (auto remaining = trailerStart; remaining > 0;)
            {
                const auto size = std::min<std::uint64_t> (remaining, chunk.size());
                if (! readExactly (chunk.data(), size))
                    return corrupt;
                hash.update (chunk.data(), size);
                remaining -= size;
            }

            Sha256Digest stored;
            if (! readExactly (stored.data(), stored.size()) || stored != hash.finish())
                return corrupt;
            return {};
        }

        Failure readHeader()
        {
            HeaderBytes bytes;
            if (! stream->setPosition (0) || ! readExactly (bytes.data(), bytes.size()) || ! hasMagic (bytes))
                return malformed ("The .bopwellpack header is invalid or truncated.");

            header = decodeHeader (bytes);
            if (header.version != formatVersion)
                return unsupported ("This .bopwellpack uses unsupported format version " + juce::String (header.version) + ".");
            if (header.featureFlags != 0 || header.reserved != 0)
                return unsupported ("This .bopwellpack uses unsupported format features.");
            if (header.sampleCount == 0)
                return failureResult (packLoadNothingToLoad, "The .bopwellpack contains no samples.");
            if (header.sampleCount > maxSamples)
                return failureResult (packLoadTooManySamples, "The .bopwellpack contains " + juce::String (header.sampleCount)
                                                                  + " samples; Bopwell supports up to " + juce::String (maxSamples) + ".");
            if (header.totalFrames > static_cast<std::uint64_t> (maxTotalFrames))
                return failureResult (packLoadPackTooLong, "The .bopwellpack exceeds the 240-second total limit.");
            return {};
        }

        // A string of `length` bytes at the current position, or nothing when it is too long,
        // runs into the trailer or is not valid text.
        std::optional<juce::String> readText (std::uint32_t length)
        {
            if (length > maxTextBytes || ! fitsBeforeTrailer (length))
                return {};
            std::array<char, maxTextBytes> bytes;
            if (! readExactly (bytes.data(), length) || ! isValidText (bytes.data(), length))
                return {};
            return juce::String::fromUTF8 (bytes.data(), static_cast<int> (length));
        }

        Failure readStrings (Data& loaded)
        {
            std::array<juce::String, 3> texts;
            for (size_t i = 0; i < texts.size(); ++i)
            {
                auto text = readText (header.textLengths[i]);
                if (! text)
                    return malformed ("The .bopwellpack metadata is invalid.");
                texts[i] = *text;
            }

            loaded.name = texts[0].isEmpty() ? file.getFileNameWithoutExtension() : texts[0];
            loaded.extraText1 = texts[1];
            loaded.extraText2 = texts[2];
            tableStart = static_cast<std::uint64_t> (stream->getPosition());
            return {};
        }

        Failure checkRegionSizes()
        {
            const auto inconsistent = malformed ("The .bopwellpack size table is inconsistent.");
            if (header.tableSize > UINT64_MAX - tableStart)
                return inconsistent;
            payloadStart = tableStart + header.tableSize;
            if (header.payloadSize > UINT64_MAX - payloadStart || payloadStart + header.payloadSize != trailerStart)
                return inconsistent;
            return {};
        }

        std::optional<Entry> readEntry()
        {
            EntryBytes bytes;
            if (! fitsBeforeTrailer (bytes.size()) || ! readExactly (bytes.data(), bytes.size()))
                return {};
            Entry entry;
            entry.fields = decodeEntry (bytes);
            auto name = readText (entry.fields.nameLength);
            if (! name)
                return {};
            entry.name = *name;
            return entry;
        }

        // The entry's own fields, and that its data follows on from the previous sample's.
        Failure checkEntry (const Entry& entry, std::uint64_t expectedOffset) const
        {
            const auto& fields = entry.fields;
            if (fields.sampleFormat != float32Format || fields.sampleRate != static_cast<std::uint32_t> (sourceRate))
                return unsupported (quoted (entry.name) + " does not use the required 48 kHz container format.");
            if (fields.channels < 1 || fields.channels > static_cast<std::uint32_t> (maxChannels))
                return failureResult (packLoadUnsupportedChannels, quoted (entry.name) + " must be mono or stereo.");
            if (fields.frames < 1 || fields.frames > static_cast<std::uint64_t> (maxFramesPerSample))
                return failureResult (packLoadSampleTooLong, quoted (entry.name) + " exceeds the 10-second sample limit.");
            if (fields.dataSize != fields.channels * fields.frames * sizeof (float) || fields.dataOffset != expectedOffset
                || fields.dataSize > trailerStart - fields.dataOffset)
                return malformed ("The .bopwellpack sample offsets are invalid.");
            return {};
        }

        Failure readTable()
        {
            entries.reserve (header.sampleCount);
            auto dataOffset = payloadStart;
            std::uint64_t totalFrames = 0;
            for (std::uint32_t k = 0; k < header.sampleCount; ++k)
            {
                auto entry = readEntry();
                if (! entry)
                    return malformed ("The .bopwellpack sample table is truncated.");
                if (auto failure = checkEntry (*entry, dataOffset))
                    return failure;
                dataOffset += entry->fields.dataSize;
                totalFrames += entry->fields.frames;
                entries.push_back (std::move (*entry));
            }

            if (static_cast<std::uint64_t> (stream->getPosition()) != payloadStart || dataOffset != trailerStart
                || totalFrames != header.totalFrames)
                return malformed ("The .bopwellpack table does not match its payload.");
            return {};
        }

        // Reads one sample's data straight into its buffer, channel by channel, hashing it on the way.
        Failure readSample (const Entry& entry, PackSample& sample)
        {
            const auto& fields = entry.fields;
            if (! stream->setPosition (static_cast<juce::int64> (fields.dataOffset)))
                return malformed (quoted (entry.name) + " has an invalid data offset.");

            const auto frames = static_cast<int> (fields.frames);
            sample.audio.setSize (static_cast<int> (fields.channels), frames);
            Sha256 hash;
            for (int channel = 0; channel < sample.audio.getNumChannels(); ++channel)
            {
                auto* values = sample.audio.getWritePointer (channel);
                const auto bytes = static_cast<std::uint64_t> (frames) * sizeof (float);
                if (! readExactly (values, bytes))
                    return malformed (quoted (entry.name) + " is truncated.");
                hash.update (values, bytes);
            }
            if (hash.finish() != fields.digest)
                return failureResult (packLoadPackFileCorrupt, quoted (entry.name) + " failed its integrity check.");

            for (int channel = 0; channel < sample.audio.getNumChannels(); ++channel)
            {
                auto* values = sample.audio.getWritePointer (channel);
                swapLittleEndian (values, static_cast<size_t> (frames));
                if (! allFinite (values, static_cast<size_t> (frames)))
                    return malformed (quoted (entry.name) + " contains invalid audio data.");
            }
            sample.name = entry.name;
            return {};
        }

        Failure readSamples (Data& loaded)
        {
            const auto count = static_cast<int> (entries.size());
            loaded.samples.reserve (entries.size());
            for (int k = 0; k < count; ++k)
            {
                if (! progress.proceed (k, count))
                    return cancelledResult();
                PackSample sample;
                if (auto failure = readSample (entries[static_cast<size_t> (k)], sample))
                    return failure;
                loaded.samples.push_back (std::move (sample));
            }
            if (! progress.proceed (count, count))
                return cancelledResult();
            return {};
        }

        const juce::File& file;
        const PackLoadProgress& progress;
        std::unique_ptr<juce::FileInputStream> stream;
        std::uint64_t trailerStart = 0;
        std::uint64_t tableStart = 0;
        std::uint64_t payloadStart = 0;
        Header header;
        std::vector<Entry> entries;
    };
} // namespace

PackLoadResult readPackContainer (const juce::File& file, const PackLoadProgress& progress, Data& pack)
{
    return reportingOutOfMemory ([&] { return ContainerLoad (file, progress).run (pack); });
}

} // namespace bopwell::samplepack
