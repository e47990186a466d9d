#pragma once

#include <string>

#include "foundation/core/NonInitializingBuffer.h"

namespace conversion {

// Two hexadecimal digits per byte, high digit first, no separators.
std::string StringToHex(const std::string& text, bool upperCase);
std::string StringToHex(const unsigned char* data, unsigned long length, bool upperCase);
std::string StringToHex(const core::NonInitializingBuffer<unsigned char>& buffer, bool upperCase);

}  // namespace conversion
