#pragma once

#include <openssl/evp.h>

#include "foundation/core/NonInitializingBuffer.h"

namespace cryptography {

// One OpenSSL digest context of a fixed algorithm, started at construction. The digest is
// finished once; later calls of Finish give the same digest and later updates are ignored.
class EvpDigest {
public:
    explicit EvpDigest(const EVP_MD* algorithm);
    ~EvpDigest();
    EvpDigest(const EvpDigest&) = delete;
    EvpDigest& operator=(const EvpDigest&) = delete;

    void Update(const unsigned char* data, unsigned long length);
    core::NonInitializingBuffer<unsigned char> Finish();

private:
    EVP_MD_CTX* m_Context;
    bool m_Finished = false;
    core::NonInitializingBuffer<unsigned char> m_Digest;
};

}  // namespace cryptography
