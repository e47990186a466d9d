#pragma once

#include "foundation/cryptography/EvpDigest.h"
#include "foundation/cryptography/HashAlgorithm.h"

namespace cryptography {

// Incremental SHA1: feed with UpdateImpl (or Update), finish once with ToByteBufferImpl (or
// ToByteBuffer), which gives the 20-byte digest.
class SHA1 : public HashAlgorithm<SHA1> {
public:
    static constexpr unsigned long DigestLength = 20;

    SHA1();

    void UpdateImpl(const unsigned char* data, unsigned long length);
    core::NonInitializingBuffer<unsigned char> ToByteBufferImpl();

private:
    EvpDigest m_Digest;
};

}  // namespace cryptography
