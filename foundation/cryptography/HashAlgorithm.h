#pragma once

#include <string>

#include "foundation/core/NonInitializingBuffer.h"

namespace cryptography {

// Common front of the incremental hashers: `Update` feeds bytes, `ToByteBuffer` finishes the
// digest. The hasher `Derived` provides UpdateImpl and ToByteBufferImpl.
template <typename Derived>
class HashAlgorithm {
public:
    void Update(const unsigned char* data, unsigned long length) {
        static_cast<Derived*>(this)->UpdateImpl(data, length);
    }
    void Update(const std::string& text) {
        Update(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    core::NonInitializingBuffer<unsigned char> ToByteBuffer() {
        return static_cast<Derived*>(this)->ToByteBufferImpl();
    }

protected:
    HashAlgorithm() = default;
    ~HashAlgorithm() = default;
};

}  // namespace cryptography
