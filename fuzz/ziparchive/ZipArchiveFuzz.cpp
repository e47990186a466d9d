// The zip directory check over any bytes: it must answer without reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/archive/ZipArchiveCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    standin::ZipArchiveCheck::checkBytes(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
