#pragma once

#include "packs/Sha256.h"

#include <juce_core/juce_core.h>

#include <array>
#include <cstdint>

// The byte layout of a .bopwellpack file, shared by its reader and its writer. All integers are
// unsigned little-endian; the file is the header with its three strings, the sample table, the
// sample data in table order (planar 32-bit floats) and a SHA-256 of everything before it.
namespace bopwell::samplepack::container
{

inline constexpr std::array<char, 8> magic { 'B', 'W', 'P', 'A', 'C', 'K', '1', '\0' };
inline constexpr std::uint32_t formatVersion = 1;
inline constexpr std::uint32_t float32Format = 0;
inline constexpr std::uint64_t headerBytes = 64;
inline constexpr std::uint64_t entryFixedBytes = 72;
inline constexpr std::uint64_t trailerBytes = 32;
inline constexpr std::uint32_t maxTextBytes = 255;
inline constexpr std::uint64_t maxFileBytes = 134217728; // 128 MiB

struct Header
{
    std::uint32_t version = formatVersion;
    std::uint32_t sampleCount = 0;
    std::array<std::uint32_t, 3> textLengths {}; // pack name, second and third string
    std::uint32_t featureFlags = 0;
    std::uint64_t tableSize = 0;
    std::uint64_t payloadSize = 0;
    std::uint64_t totalFrames = 0;
    std::uint64_t reserved = 0;
};

// The fixed part of a sample table entry; the sample name follows it.
struct EntryFields
{
    std::uint32_t nameLength = 0;
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t sampleFormat = float32Format;
    std::uint64_t frames = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
    Sha256Digest digest {};
};

using HeaderBytes = std::array<std::uint8_t, headerBytes>;
using EntryBytes = std::array<std::uint8_t, entryFixedBytes>;

HeaderBytes encodeHeader (const Header& header);
bool hasMagic (const HeaderBytes& bytes);
Header decodeHeader (const HeaderBytes& bytes);

EntryBytes encodeEntry (const EntryFields& entry);
EntryFields decodeEntry (const EntryBytes& bytes);

// True for well-formed UTF-8 without a zero byte: the only text a container may hold, so that
// every string reads back byte for byte.
bool isValidText (const void* bytes, std::size_t size);

} // namespace bopwell::samplepack::container
