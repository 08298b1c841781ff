#pragma once

#include "state/StateRecord.h"

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>

// The binary form of a StateRecord: the processor's saved state and .bopwellsetup files. A
// 40-byte header, the payload, and the SHA-256 of both; every integer and double little-endian.
namespace bopwell::setupcontainer
{

inline constexpr std::uint8_t magic[8] = { 'B', 'W', 'S', 'E', 'T', 'U', 'P', 0 };
inline constexpr std::uint32_t containerVersion = 1;
inline constexpr std::size_t headerBytes = 40;
inline constexpr std::size_t digestBytes = 32;
inline constexpr std::size_t maxContainerBytes = 1048576; // 1 MiB
inline constexpr std::size_t maxPayloadBytes = maxContainerBytes - headerBytes - digestBytes;
// Five doubles, four flag bytes and builtInPack.
inline constexpr std::size_t fixedPayloadBytes = 48;
inline constexpr std::uint32_t maxFactoryProfileIdBytes = 255;
inline constexpr std::uint32_t maxSamplePathBytes = 4096;

// Header fields, by offset.
inline constexpr std::size_t containerVersionAt = 8;
inline constexpr std::size_t stateVersionAt = 12;
inline constexpr std::size_t axisModeAt = 16;
inline constexpr std::size_t flagsAt = 20;
inline constexpr std::size_t payloadLengthAt = 24;
inline constexpr std::size_t reservedAt = 32;

} // namespace bopwell::setupcontainer

namespace bopwell
{

// Writes the record as a container into `out`. Returns an empty string on success; otherwise the
// failure message, with `out` left empty. Never throws. A user-origin record is written without
// its factoryProfileId, which only a factory origin carries.
juce::String encodeSetupContainer (const StateRecord& record, juce::MemoryBlock& out);

// Reads a container. Returns an empty string and sets `record` (its importNotice empty) when every
// check passes; otherwise returns the first failing check's message and leaves `record` as it was.
juce::String decodeSetupContainer (const void* data, std::size_t size, StateRecord& record);

// Whether bytes claim to be a container (they begin with "BWSE") rather than JSON text: how saved
// state and imported files are told apart before either reader sees them.
bool looksLikeSetupContainer (const void* data, std::size_t size) noexcept;

} // namespace bopwell
