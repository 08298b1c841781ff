#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct evp_md_ctx_st; // libcrypto's EVP_MD_CTX, kept out of this header

namespace bopwell::samplepack
{

using Sha256Digest = std::array<std::uint8_t, 32>;

// Streaming SHA-256 through libcrypto, which uses the CPU's SHA instructions where it has them:
// pack files are hashed twice on every load. Like any allocation, setting up the context throws
// std::bad_alloc when memory runs out; the loaders catch it.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256 (const Sha256&) = delete;
    Sha256& operator= (const Sha256&) = delete;

    void update (const void* bytes, std::size_t size);

    // The digest of everything passed to update; call once.
    Sha256Digest finish();

    static Sha256Digest of (const void* bytes, std::size_t size);

private:
    evp_md_ctx_st* context;
};

} // namespace bopwell::samplepack
