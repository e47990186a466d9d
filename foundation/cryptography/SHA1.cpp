#include "foundation/cryptography/SHA1.h"

namespace cryptography {

SHA1::SHA1() : m_Digest(EVP_sha1()) {}

void SHA1::UpdateImpl(const unsigned char* data, unsigned long length) {
    m_Digest.Update(data, length);
}

core::NonInitializingBuffer<unsigned char> SHA1::ToByteBufferImpl() {
    return m_Digest.Finish();
}

}  // namespace cryptography
