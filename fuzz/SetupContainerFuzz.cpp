// Any bytes as a saved state or .bopwellsetup file: the decoder must refuse or accept them without
// crashing or reading out of bounds. The first byte chooses repairs so that mutations reach the
// checks behind the header: bit 0 sets the payload length to fit the size, bit 1 gives the rest a
// correct trailing digest. An accepted container must encode again to a container that decodes to
// the same record, and to the same bytes unless its cooldown byte was 0 (the default, written as 26).
#include "FuzzFile.h"

#include "packs/Sha256.h"
#include "state/SetupContainer.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    using namespace bopwell;
    using namespace bopwell::setupcontainer;
    if (size < 1)
        return 0;

    std::vector<std::uint8_t> bytes (data + 1, data + size);
    if ((data[0] & 1) != 0 && bytes.size() >= headerBytes + digestBytes)
    {
        const auto length = bytes.size() - headerBytes - digestBytes;
        for (std::size_t i = 0; i < 8; ++i)
            bytes[payloadLengthAt + i] = static_cast<std::uint8_t> (length >> (8 * i));
    }
    if ((data[0] & 2) != 0 && bytes.size() >= digestBytes)
    {
        const auto digest = samplepack::Sha256::of (bytes.data(), bytes.size() - digestBytes);
        std::copy (digest.begin(), digest.end(), bytes.end() - static_cast<std::ptrdiff_t> (digestBytes));
    }

    StateRecord record;
    if (decodeSetupContainer (bytes.data(), bytes.size(), record).isNotEmpty())
        return 0;

    juce::MemoryBlock again;
    if (encodeSetupContainer (record, again).isNotEmpty())
        __builtin_trap();
    StateRecord reread;
    if (decodeSetupContainer (again.getData(), again.getSize(), reread).isNotEmpty() || ! (reread == record))
        __builtin_trap();
    const auto cooldownByte = bytes[headerBytes + 43];
    if (cooldownByte != 0 && (again.getSize() != bytes.size() || std::memcmp (again.getData(), bytes.data(), bytes.size()) != 0))
        __builtin_trap();
    return 0;
}
