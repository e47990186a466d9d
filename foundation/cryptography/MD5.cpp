#include "foundation/cryptography/MD5.h"

namespace cryptography {

MD5::MD5() : m_Digest(EVP_md5()) {}

void MD5::UpdateImpl(const unsigned char* data, unsigned long length) {
    m_Digest.Update(data, length);
}

core::NonInitializingBuffer<unsigned char> MD5::ToByteBufferImpl() {
    return m_Digest.Finish();
}

}  // namespace cryptography
