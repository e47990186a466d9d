#pragma once

#include <string>

#include "foundation/conversion/HexString.h"

namespace cryptography {

// One-shot digest of a byte range with the hasher T, as lower-case hexadecimal text.
template <typename T>
class Hash {
public:
    static std::string ToHexString(const unsigned char* data, unsigned long length) {
        T hasher;
        hasher.UpdateImpl(data, length);
        return conversion::StringToHex(hasher.ToByteBufferImpl(), false);
    }
    static std::string ToHexString(const std::string& text) {
        return ToHexString(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
};

}  // namespace cryptography
