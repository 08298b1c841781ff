#include "packs/Sha256.h"

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include <string>

using bopwell::samplepack::Sha256;
using bopwell::samplepack::Sha256Digest;

namespace
{
std::string hex (const Sha256Digest& digest)
{
    return juce::String::toHexString (digest.data(), static_cast<int> (digest.size()), 0).toStdString();
}

// The examples of FIPS 180-4, and a million 'a's fed in uneven pieces.
TEST (Sha256, MatchesTheStandardExamples)
{
    EXPECT_EQ (hex (Sha256::of ("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ (hex (Sha256::of (twoBlocks.data(), twoBlocks.size())), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ (hex (Sha256::of ("", 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    const std::string million (1000000, 'a');
    Sha256 streamed;
    for (size_t at = 0, piece = 1; at < million.size(); at += piece, piece = piece * 3 + 1)
        streamed.update (million.data() + at, std::min (piece, million.size() - at));
    EXPECT_EQ (hex (streamed.finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
} // namespace
