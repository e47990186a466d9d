#include "foundation/network/DecodedHTTPResponse.h"

#include "foundation/compression/Gzip.h"
#include "foundation/network/HTTPHeaderList.h"

namespace network {

DecodedHTTPResponse::DecodedHTTPResponse(std::unique_ptr<IHTTPResponse> inner)
    : _inner(std::move(inner)) {}

bool DecodedHTTPResponse::IsGzip(const std::string& contentEncoding) {
    const std::size_t begin = contentEncoding.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return false;
    }
    const std::size_t end = contentEncoding.find_last_not_of(" \t");
    return EqualsNoCase(contentEncoding.substr(begin, end - begin + 1), "gzip");
}

bool DecodedHTTPResponse::Decode() {
    if (_decoded) {
        return true;
    }
    core::NonInitializingBuffer<unsigned char> raw = _inner->FetchBody();
    if (!IsGzip(GetHeader("Content-Encoding"))) {
        _body = std::move(raw);
        _decoded = true;
        return true;
    }
    core::NonInitializingBuffer<unsigned char> decoded;
    if (!compression::GzipDecompress(raw.data(), static_cast<unsigned long>(raw.size()), decoded)) {
        _decoded = true;
        return false;
    }
    _body = std::move(decoded);
    _decoded = true;
    return true;
}

std::string DecodedHTTPResponse::GetHeader(const std::string& name) const {
    return _inner->GetHeader(name);
}

std::vector<std::string> DecodedHTTPResponse::GetHeaders(const std::string& name) const {
    return _inner->GetHeaders(name);
}

core::NonInitializingBuffer<unsigned char> DecodedHTTPResponse::FetchBody() {
    Decode();
    core::NonInitializingBuffer<unsigned char> body = std::move(_body);
    _body = core::NonInitializingBuffer<unsigned char>();
    return body;
}

}  // namespace network
