// Property: a text that parses writes back (ToURLString) to a text that parses to the same URL,
// and decoding what EncodeURL wrote gives the bytes back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/network/URL.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    network::URL url;
    if (network::ParseURL(text, url)) {
        std::string written = url.ToURLString();
        if (url.scheme.empty()) {
            written = "//" + written;  // without a scheme the host is written without slashes
        }
        network::URL again;
        if (!network::ParseURL(written, again) || !(again == url)) {
            std::abort();
        }
        network::URL copy = url;
        copy.Normalize();
        copy.SetDefaultPort();
        (void)copy.ToHTTPConnectString();
        copy.SetRelativeURL(text);
    }

    std::string decoded;
    if (!network::DecodeURL(network::EncodeURL(text), decoded) || decoded != text) {
        std::abort();
    }
    (void)network::DecodeURL(text, decoded);
    return 0;
}
