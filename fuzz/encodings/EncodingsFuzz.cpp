// Base64, hexadecimal and UTF conversions over any bytes: decoders refuse or drop what they
// cannot use and never crash; every encoding decodes back to its input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/util/Util.h"
#include "foundation/conversion/Base64.h"
#include "foundation/conversion/HexString.h"
#include "foundation/conversion/UnicodeConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace common;
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Decoding any text: refused or decoded; decoded text encodes back to the canonical form.
    std::vector<unsigned char> bytes;
    if (util::base64Decode(text, bytes)) {
        const std::string again = util::base64Encode(bytes.data(), bytes.size());
        std::vector<unsigned char> twice;
        if (!util::base64Decode(again, twice) || twice != bytes) {
            std::abort();
        }
    }
    util::base64Decode(text);
    std::wstring wide;
    util::fromBase64(text, wide);

    // Encoding the bytes: decodes back exactly, in both implementations.
    const std::string encoded = util::base64Encode(data, size);
    if (encoded != conversion::Base64Encode(data, size) ||
        util::base64Decode(encoded) != std::vector<unsigned char>(data, data + size)) {
        std::abort();
    }
    const std::string hex = util::toHex(std::vector<unsigned char>(data, data + size));
    if (hex.size() != 2 * size || hex != conversion::StringToHex(data, size, false)) {
        std::abort();
    }

    // UTF-8 to wide and back: invalid sequences are dropped; valid text survives unchanged.
    const std::wstring decoded = util::toWideString(text);
    const std::string reencoded = util::toString(decoded);
    if (util::toWideString(reencoded) != decoded || conversion::Utf8ToUtf32(text) != decoded) {
        std::abort();
    }
    // Any 32-bit values as wide text: code points that are not Unicode scalar values drop.
    std::wstring values;
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        values.push_back(static_cast<wchar_t>(
            static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8 |
            static_cast<uint32_t>(data[i + 2]) << 16 | static_cast<uint32_t>(data[i + 3]) << 24));
    }
    const std::string utf8 = util::toString(values);
    if (util::toString(util::toWideString(utf8)) != utf8 ||
        conversion::Utf32ToUtf8(values) != utf8) {
        std::abort();
    }
    // Wide secrets through Base64 come back whole.
    std::wstring back;
    if (!util::fromBase64(util::toBase64(values), back) || back != values) {
        std::abort();
    }
    return 0;
}
