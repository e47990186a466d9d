#pragma once

#include <string>

#include "foundation/core/NonInitializingBuffer.h"

namespace conversion {

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string Base64Encode(const std::string& text);
std::string Base64Encode(const unsigned char* data, unsigned long length);
std::string Base64Encode(const core::NonInitializingBuffer<unsigned char>& buffer);

}  // namespace conversion
