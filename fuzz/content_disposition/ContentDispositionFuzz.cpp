// The file name taken from a Content-Disposition value must always be a plain name inside the
// target folder: never empty, "." or "..", no path separator, no quote, no control character.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/downloader/Downloader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string header(reinterpret_cast<const char*>(data), size);
    const std::string name = common::Downloader::fileNameFromContentDisposition(header);
    if (name.empty() || name == "." || name == ".." || name.find("..") != std::string::npos ||
        name.size() > 255) {
        std::abort();
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == '"' || c == '\'' || byte < 0x20 || byte == 0x7f) {
            std::abort();
        }
    }
    return 0;
}
