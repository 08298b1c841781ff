// Any bytes as a .bopwellpack file: the reader must refuse or accept them without crashing,
// reading out of bounds or allocating without limit. When the first byte is odd, the rest gets a
// correct trailing digest before it is read, so that mutations reach the checks behind the
// whole-file digest instead of all failing it.
#include "FuzzFile.h"

#include "packs/PackContainerReader.h"
#include "packs/Sha256.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    using namespace bopwell::samplepack;
    if (size < 1)
        return 0;

    std::vector<std::uint8_t> bytes (data + 1, data + size);
    const auto trailer = sizeof (Sha256Digest);
    if ((data[0] & 1) != 0 && bytes.size() >= trailer)
    {
        const auto digest = Sha256::of (bytes.data(), bytes.size() - trailer);
        std::copy (digest.begin(), digest.end(), bytes.end() - static_cast<std::ptrdiff_t> (trailer));
    }

    std::atomic<bool> cancel { false };
    Data pack;
    const auto file = bopwell::fuzz::writeInput (".bopwellpack", bytes.data(), bytes.size());
    const auto result = readPackContainer (file, PackLoadProgress (cancel), pack);
    if (result.ok == pack.samples.empty())
        __builtin_trap();
    return 0;
}
