#include "packs/Sha256.h"

#include <openssl/evp.h>

#include <new>

namespace bopwell::samplepack
{

// libcrypto fails these calls only when it cannot allocate, so they surface as what they are.
static void requireSuccess (int status)
{
    if (status != 1)
        throw std::bad_alloc();
}

Sha256::Sha256() : context (EVP_MD_CTX_new())
{
    if (context == nullptr)
        throw std::bad_alloc();
    if (EVP_DigestInit_ex (context, EVP_sha256(), nullptr) != 1)
    {
        EVP_MD_CTX_free (context);
        throw std::bad_alloc();
    }
}

Sha256::~Sha256() { EVP_MD_CTX_free (context); }

void Sha256::update (const void* bytes, std::size_t size) { requireSuccess (EVP_DigestUpdate (context, bytes, size)); }

Sha256Digest Sha256::finish()
{
    Sha256Digest digest {};
    requireSuccess (EVP_DigestFinal_ex (context, digest.data(), nullptr));
    return digest;
}

Sha256Digest Sha256::of (const void* bytes, std::size_t size)
{
    Sha256 hash;
    hash.update (bytes, size);
    return hash.finish();
}

} // namespace bopwell::samplepack
