#include "foundation/cryptography/EvpDigest.h"

namespace cryptography {

EvpDigest::EvpDigest(const EVP_MD* algorithm) : m_Context(EVP_MD_CTX_new()) {
    if (m_Context != nullptr && EVP_DigestInit_ex(m_Context, algorithm, nullptr) != 1) {
        EVP_MD_CTX_free(m_Context);
        m_Context = nullptr;
    }
}

EvpDigest::~EvpDigest() {
    EVP_MD_CTX_free(m_Context);
}

void EvpDigest::Update(const unsigned char* data, unsigned long length) {
    if (m_Context == nullptr || m_Finished || data == nullptr || length == 0) {
        return;
    }
    EVP_DigestUpdate(m_Context, data, length);
}

core::NonInitializingBuffer<unsigned char> EvpDigest::Finish() {
    if (!m_Finished && m_Context != nullptr) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_Context, digest, &length) == 1) {
            m_Digest.append(digest, length);
        }
    }
    m_Finished = true;
    return m_Digest;
}

}  // namespace cryptography
