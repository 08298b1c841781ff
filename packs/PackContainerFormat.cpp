#include "packs/PackContainerFormat.h"

#include <algorithm>
#include <cstring>

namespace bopwell::samplepack::container
{

namespace
{
    template <typename Bytes>
    void put32 (Bytes& bytes, size_t offset, std::uint32_t value)
    {
        const auto little = juce::ByteOrder::swapIfBigEndian (value);
        std::memcpy (bytes.data() + offset, &little, sizeof (little));
    }

    template <typename Bytes>
    void put64 (Bytes& bytes, size_t offset, std::uint64_t value)
    {
        const auto little = juce::ByteOrder::swapIfBigEndian (static_cast<juce::uint64> (value));
        std::memcpy (bytes.data() + offset, &little, sizeof (little));
    }

    template <typename Bytes>
    std::uint32_t get32 (const Bytes& bytes, size_t offset)
    {
        return juce::ByteOrder::littleEndianInt (bytes.data() + offset);
    }

    template <typename Bytes>
    std::uint64_t get64 (const Bytes& bytes, size_t offset)
    {
        return juce::ByteOrder::littleEndianInt64 (bytes.data() + offset);
    }

    // Field offsets within the header and within a table entry.
    enum HeaderField : size_t
    {
        versionAt = 8,
        sampleCountAt = 12,
        textLengthsAt = 16,
        featureFlagsAt = 28,
        tableSizeAt = 32,
        payloadSizeAt = 40,
        totalFramesAt = 48,
        reservedAt = 56
    };

    enum EntryField : size_t
    {
        nameLengthAt = 0,
        channelsAt = 4,
        sampleRateAt = 8,
        sampleFormatAt = 12,
        framesAt = 16,
        dataOffsetAt = 24,
        dataSizeAt = 32,
        digestAt = 40
    };

    bool isContinuation (std::uint8_t byte) { return (byte & 0xc0) == 0x80; }

    // The length of the well-formed UTF-8 sequence at `bytes`, or 0 when there is none: the lead
    // byte's range limits the second byte so that overlong forms, surrogates and values above
    // U+10FFFF are refused.
    size_t sequenceLength (const std::uint8_t* bytes, size_t available)
    {
        const auto lead = bytes[0];
        if (lead >= 0x01 && lead <= 0x7f)
            return 1;

        size_t length = 0;
        std::uint8_t secondLow = 0x80, secondHigh = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf)
            length = 2;
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            length = 3;
            if (lead == 0xe0)
                secondLow = 0xa0;
            if (lead == 0xed)
                secondHigh = 0x9f;
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            length = 4;
            if (lead == 0xf0)
                secondLow = 0x90;
            if (lead == 0xf4)
                secondHigh = 0x8f;
        }
        else
            return 0;

        if (available < length || bytes[1] < secondLow || bytes[1] > secondHigh)
            return 0;
        for (size_t i = 2; i < length; ++i)
            if (! isContinuation (bytes[i]))
                return 0;
        return length;
    }
} // namespace

HeaderBytes encodeHeader (const Header& header)
{
    HeaderBytes bytes {};
    std::copy (magic.begin(), magic.end(), bytes.begin());
    put32 (bytes, versionAt, header.version);
    put32 (bytes, sampleCountAt, header.sampleCount);
    for (size_t i = 0; i < header.textLengths.size(); ++i)
        put32 (bytes, textLengthsAt + 4 * i, header.textLengths[i]);
    put32 (bytes, featureFlagsAt, header.featureFlags);
    put64 (bytes, tableSizeAt, header.tableSize);
    put64 (bytes, payloadSizeAt, header.payloadSize);
    put64 (bytes, totalFramesAt, header.totalFrames);
    put64 (bytes, reservedAt, header.reserved);
    return bytes;
}

bool hasMagic (const HeaderBytes& bytes)
{
    return std::equal (magic.begin(), magic.end(), bytes.begin(),
                       [] (char expected, std::uint8_t byte) { return static_cast<std::uint8_t> (expected) == byte; });
}

Header decodeHeader (const HeaderBytes& bytes)
{
    Header header;
    header.version = get32 (bytes, versionAt);
    header.sampleCount = get32 (bytes, sampleCountAt);
    for (size_t i = 0; i < header.textLengths.size(); ++i)
        header.textLengths[i] = get32 (bytes, textLengthsAt + 4 * i);
    header.featureFlags = get32 (bytes, featureFlagsAt);
    header.tableSize = get64 (bytes, tableSizeAt);
    header.payloadSize = get64 (bytes, payloadSizeAt);
    header.totalFrames = get64 (bytes, totalFramesAt);
    header.reserved = get64 (bytes, reservedAt);
    return header;
}

EntryBytes encodeEntry (const EntryFields& entry)
{
    EntryBytes bytes {};
    put32 (bytes, nameLengthAt, entry.nameLength);
    put32 (bytes, channelsAt, entry.channels);
    put32 (bytes, sampleRateAt, entry.sampleRate);
    put32 (bytes, sampleFormatAt, entry.sampleFormat);
    put64 (bytes, framesAt, entry.frames);
    put64 (bytes, dataOffsetAt, entry.dataOffset);
    put64 (bytes, dataSizeAt, entry.dataSize);
    std::copy (entry.digest.begin(), entry.digest.end(), bytes.begin() + digestAt);
    return bytes;
}

EntryFields decodeEntry (const EntryBytes& bytes)
{
    EntryFields entry;
    entry.nameLength = get32 (bytes, nameLengthAt);
    entry.channels = get32 (bytes, channelsAt);
    entry.sampleRate = get32 (bytes, sampleRateAt);
    entry.sampleFormat = get32 (bytes, sampleFormatAt);
    entry.frames = get64 (bytes, framesAt);
    entry.dataOffset = get64 (bytes, dataOffsetAt);
    entry.dataSize = get64 (bytes, dataSizeAt);
    std::copy (bytes.begin() + digestAt, bytes.begin() + digestAt + entry.digest.size(), entry.digest.begin());
    return entry;
}

bool isValidText (const void* bytes, std::size_t size)
{
    const auto* text = static_cast<const std::uint8_t*> (bytes);
    for (size_t at = 0; at < size;)
    {
        const auto length = sequenceLength (text + at, size - at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

} // namespace bopwell::samplepack::container
