#include "packs/PackContainerWriter.h"

#include "packs/PackContainerFormat.h"
#include "packs/PackLoadResults.h"
#include "packs/SampleValues.h"

#include <bit>
#include <optional>
#include <vector>

namespace bopwell::samplepack
{

namespace
{
    using namespace container;
    using Refusal = std::optional<juce::String>;

    std::uint32_t textBytes (const juce::String& text) { return static_cast<std::uint32_t> (text.getNumBytesAsUTF8()); }

    Refusal checkText (const juce::String& text, const juce::String& what)
    {
        if (text.getNumBytesAsUTF8() > maxTextBytes || ! isValidText (text.toRawUTF8(), text.getNumBytesAsUTF8()))
            return what + " must be valid text of at most 255 bytes.";
        return {};
    }

    Refusal checkSample (const PackSample& sample, int number)
    {
        if (auto refusal = checkText (sample.name, "The name of sample " + juce::String (number)))
            return refusal;

        const auto channels = sample.audio.getNumChannels();
        const auto frames = sample.audio.getNumSamples();
        if (channels < 1 || channels > maxChannels)
            return quoted (sample.name) + " must be mono or stereo.";
        if (frames < 1 || frames > maxFramesPerSample)
            return quoted (sample.name) + " must be 1 to " + juce::String (maxFramesPerSample) + " frames long.";
        if (! allFinite (sample.audio))
            return quoted (sample.name) + " contains invalid audio data.";
        return {};
    }

    Refusal checkPack (const Data& pack)
    {
        if (pack.samples.empty())
            return juce::String ("The pack has no samples.");
        if (pack.samples.size() > static_cast<size_t> (maxSamples))
            return "The pack has " + juce::String (static_cast<int> (pack.samples.size())) + " samples; Bopwell supports up to "
                   + juce::String (maxSamples) + ".";

        for (const auto& [text, what] : { std::pair (pack.name, "The pack name"), std::pair (pack.extraText1, "The second pack text"),
                                          std::pair (pack.extraText2, "The third pack text") })
            if (auto refusal = checkText (text, what))
                return refusal;

        juce::int64 totalFrames = 0;
        for (size_t i = 0; i < pack.samples.size(); ++i)
        {
            if (auto refusal = checkSample (pack.samples[i], static_cast<int> (i) + 1))
                return refusal;
            totalFrames += pack.samples[i].audio.getNumSamples();
        }
        if (totalFrames > maxTotalFrames)
            return juce::String ("The samples total more than 240 seconds.");
        return {};
    }

    // Hands a sample's data to `consume` as the file stores it: planar little-endian floats.
    template <typename Consume>
    void forEachStoredBlock (const juce::AudioBuffer<float>& audio, Consume&& consume)
    {
        const auto frames = static_cast<size_t> (audio.getNumSamples());
        for (int channel = 0; channel < audio.getNumChannels(); ++channel)
        {
            if constexpr (std::endian::native == std::endian::little)
            {
                consume (audio.getReadPointer (channel), frames * sizeof (float));
            }
            else
            {
                std::vector<float> stored (audio.getReadPointer (channel), audio.getReadPointer (channel) + frames);
                swapLittleEndian (stored.data(), frames);
                consume (stored.data(), frames * sizeof (float));
            }
        }
    }

    // The header and table entries, with every size, offset and digest filled in.
    struct Layout
    {
        Header header;
        std::vector<EntryFields> entries;
    };

    Layout layOut (const Data& pack)
    {
        Layout layout;
        auto& header = layout.header;
        header.sampleCount = static_cast<std::uint32_t> (pack.samples.size());
        header.textLengths = { textBytes (pack.name), textBytes (pack.extraText1), textBytes (pack.extraText2) };
        for (const auto& sample : pack.samples)
            header.tableSize += entryFixedBytes + textBytes (sample.name);

        auto dataOffset = headerBytes + header.textLengths[0] + header.textLengths[1] + header.textLengths[2] + header.tableSize;
        for (const auto& sample : pack.samples)
        {
            EntryFields entry;
            entry.nameLength = textBytes (sample.name);
            entry.channels = static_cast<std::uint32_t> (sample.audio.getNumChannels());
            entry.sampleRate = static_cast<std::uint32_t> (sourceRate);
            entry.frames = static_cast<std::uint64_t> (sample.audio.getNumSamples());
            entry.dataOffset = dataOffset;
            entry.dataSize = entry.channels * entry.frames * sizeof (float);

            Sha256 hash;
            forEachStoredBlock (sample.audio, [&] (const void* bytes, size_t size) { hash.update (bytes, size); });
            entry.digest = hash.finish();

            dataOffset += entry.dataSize;
            header.payloadSize += entry.dataSize;
            header.totalFrames += entry.frames;
            layout.entries.push_back (entry);
        }
        return layout;
    }

    // Writes to the stream and hashes what it wrote, for the trailer.
    class SealedOutput
    {
    public:
        explicit SealedOutput (juce::OutputStream& destination) : out (destination) {}

        void write (const void* bytes, size_t size)
        {
            hash.update (bytes, size);
            ok = out.write (bytes, size) && ok;
        }

        void writeText (const juce::String& text) { write (text.toRawUTF8(), text.getNumBytesAsUTF8()); }

        bool seal()
        {
            const auto digest = hash.finish();
            return out.write (digest.data(), digest.size()) && ok;
        }

    private:
        juce::OutputStream& out;
        Sha256 hash;
        bool ok = true;
    };

    bool writeContainer (const Data& pack, const Layout& layout, juce::FileOutputStream& out)
    {
        SealedOutput sealed (out);
        const auto header = encodeHeader (layout.header);
        sealed.write (header.data(), header.size());
        for (const auto* text : { &pack.name, &pack.extraText1, &pack.extraText2 })
            sealed.writeText (*text);

        for (size_t i = 0; i < pack.samples.size(); ++i)
        {
            const auto entry = encodeEntry (layout.entries[i]);
            sealed.write (entry.data(), entry.size());
            sealed.writeText (pack.samples[i].name);
        }
        for (const auto& sample : pack.samples)
            forEachStoredBlock (sample.audio, [&] (const void* bytes, size_t size) { sealed.write (bytes, size); });

        if (! sealed.seal())
            return false;
        out.flush();
        return out.getStatus().wasOk();
    }

    PackWriteResult writeChecked (const Data& pack, const juce::File& target)
    {
        if (auto refusal = checkPack (pack))
            return { false, *refusal };

        const auto cannotWrite = PackWriteResult { false, "Bopwell could not write " + quoted (target.getFullPathName()) + "." };
        // Replacing a file would also delete an empty folder of that name.
        if (target.getFullPathName().isEmpty() || target.isDirectory())
            return cannotWrite;

        const auto layout = layOut (pack);
        juce::TemporaryFile temporary (target);
        {
            juce::FileOutputStream out (temporary.getFile());
            if (! out.openedOk() || ! writeContainer (pack, layout, out))
                return cannotWrite;
        }
        if (! temporary.overwriteTargetFileWithTemporary())
            return cannotWrite;
        return { true, {} };
    }
} // namespace

PackWriteResult writePackContainer (const Data& pack, const juce::File& target)
{
    try
    {
        return writeChecked (pack, target);
    }
    catch (const std::bad_alloc&)
    {
        return { false, "Bopwell could not allocate memory for this pack." };
    }
}

} // namespace bopwell::samplepack
