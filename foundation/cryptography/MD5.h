#pragma once

#include "foundation/cryptography/EvpDigest.h"
#include "foundation/cryptography/HashAlgorithm.h"

namespace cryptography {

// Incremental MD5: feed with UpdateImpl (or Update), finish once with ToByteBufferImpl (or
// ToByteBuffer), which gives the 16-byte digest.
class MD5 : public HashAlgorithm<MD5> {
public:
    static constexpr unsigned long DigestLength = 16;

    MD5();

    void UpdateImpl(const unsigned char* data, unsigned long length);
    core::NonInitializingBuffer<unsigned char> ToByteBufferImpl();

private:
    EvpDigest m_Digest;
};

}  // namespace cryptography
