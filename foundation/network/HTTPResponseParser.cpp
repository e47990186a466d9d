#include "foundation/network/HTTPResponseParser.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace network {

namespace {

constexpr std::size_t kMinBodyPiece = 64 * 1024;
// Storage reserved at once for an announced body; a larger body grows in further pieces. The
// reservation is only address space until bytes arrive.
constexpr std::size_t kMaxPreallocation = std::size_t{1024} * 1024 * 1024;
// Growth of a body of unknown length: pieces of up to this size, joined once at the end.
constexpr std::size_t kMaxGrowthPiece = 64 * 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimBlanks(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// The line without its LF and an optional CR before it.
std::string stripLineEnd(const std::string& line) {
    std::size_t end = line.size();
    if (end > 0 && line[end - 1] == '\n') {
        --end;
    }
    if (end > 0 && line[end - 1] == '\r') {
        --end;
    }
    return line.substr(0, end);
}

bool parseDecimal(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

HTTPResponseParser::HTTPResponseParser() : HTTPResponseParser(Options()) {}

HTTPResponseParser::HTTPResponseParser(Options options) : _options(options) {}

void HTTPResponseParser::Fail(HTTPStatusCode code, std::string reason) {
    _state = State::Failed;
    _failureCode = code;
    _failureReason = std::move(reason);
}

bool HTTPResponseParser::TakeLine(const unsigned char* data, std::size_t size, std::size_t& pos,
                                  std::size_t limit) {
    if (_lineComplete) {
        _line.clear();
        _lineComplete = false;
    }
    const void* found = std::memchr(data + pos, '\n', size - pos);
    const std::size_t end =
        found != nullptr
            ? static_cast<std::size_t>(static_cast<const unsigned char*>(found) - data) + 1
            : size;
    const std::size_t count = end - pos;
    if (_line.size() + count > limit) {
        // Take no more than the limit allows; the caller fails on the overlong line.
        _line.append(reinterpret_cast<const char*>(data + pos),
                     std::min(count, limit - std::min(limit, _line.size())));
        pos = end;
        return false;
    }
    _line.append(reinterpret_cast<const char*>(data + pos), count);
    pos = end;
    _lineComplete = found != nullptr;
    return _lineComplete;
}

std::size_t HTTPResponseParser::Feed(const unsigned char* data, std::size_t size) {
    std::size_t pos = 0;
    while (pos < size) {
        switch (_state) {
            case State::Complete:
            case State::Failed:
                return pos;
            case State::StatusLine:
            case State::Headers:
            case State::Trailers: {
                _untouched = false;
                const std::size_t before = pos;
                const std::size_t partial = _lineComplete ? 0 : _line.size();
                const std::size_t room = kMaxHeadBytes - std::min(kMaxHeadBytes, _headBytes);
                const bool whole = TakeLine(data, size, pos, partial + room);
                _headBytes += pos - before;
                if (!whole) {
                    if (_headBytes >= kMaxHeadBytes) {
                        Fail(TransferFailed, _state == State::Trailers
                                                 ? "response trailers larger than 64 KiB"
                                                 : "response head larger than 64 KiB");
                        return pos;
                    }
                    break;
                }
                if (_state == State::StatusLine) {
                    OnStatusLine();
                } else {
                    OnHeaderLine(_state == State::Trailers);
                }
                break;
            }
            case State::LengthBody:
            case State::ChunkData: {
                const std::size_t take =
                    static_cast<std::size_t>(std::min<uint64_t>(_remaining, size - pos));
                AppendBody(data + pos, take);
                pos += take;
                if (HasFailed()) {
                    return pos;
                }
                _remaining -= take;
                if (_remaining == 0) {
                    _state = _state == State::LengthBody ? State::Complete : State::ChunkDataEnd;
                }
                break;
            }
            case State::ChunkSize:
            case State::ChunkDataEnd: {
                const std::size_t limit = _state == State::ChunkSize ? kMaxChunkSizeLine : 2;
                if (!TakeLine(data, size, pos, limit)) {
                    if (_line.size() >= limit) {
                        Fail(TransferFailed, _state == State::ChunkSize
                                                 ? "chunk size line too long"
                                                 : "chunk data not followed by a line end");
                        return pos;
                    }
                    break;
                }
                if (_state == State::ChunkSize) {
                    OnChunkSizeLine();
                } else if (!stripLineEnd(_line).empty()) {
                    Fail(TransferFailed, "chunk data not followed by a line end");
                } else {
                    _state = State::ChunkSize;
                }
                break;
            }
            case State::ToCloseBody:
                AppendBody(data + pos, size - pos);
                pos = size;
                break;
        }
    }
    return pos;
}

void HTTPResponseParser::FeedEnd() {
    switch (_state) {
        case State::Complete:
        case State::Failed:
            return;
        case State::ToCloseBody:
            _state = State::Complete;
            return;
        case State::StatusLine:
            Fail(TransferFailed, _untouched ? "connection closed before a response arrived"
                                            : "connection closed within the status line");
            return;
        case State::Headers:
            Fail(TransferFailed, "connection closed within the response head");
            return;
        case State::LengthBody:
            Fail(TransferFailed, "connection closed with " + std::to_string(_remaining) +
                                     " bytes of the body missing");
            return;
        default:
            Fail(TransferFailed, "connection closed within the chunked body");
            return;
    }
}

void HTTPResponseParser::OnStatusLine() {
    const std::string line = stripLineEnd(_line);
    _statusLine = line;
    std::size_t pos = 0;
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
    const std::size_t tokenEnd = std::min(line.find_first_of(" \t", pos), line.size());
    const std::string version = line.substr(pos, tokenEnd - pos);
    pos = tokenEnd;
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
    const std::size_t codeEnd = std::min(line.find_first_of(" \t", pos), line.size());
    const std::string code = line.substr(pos, codeEnd - pos);
    uint64_t status = 0;
    if (version.size() < 6 || version.compare(0, 5, "HTTP/") != 0 || code.size() != 3 ||
        !parseDecimal(code, status) || status < 100) {
        Fail(InvalidResponse, "invalid status line");
        return;
    }
    const std::string number = version.substr(5);
    _version = number == "1.1"   ? IHTTPConnection::HTTPVersion::HTTP_1_1
               : number == "1.0" ? IHTTPConnection::HTTPVersion::HTTP_1_0
                                 : IHTTPConnection::HTTPVersion::Unknown;
    _status = static_cast<int>(status);
    _state = State::Headers;
}

void HTTPResponseParser::OnHeaderLine(bool trailer) {
    const std::string line = stripLineEnd(_line);
    if (line.empty()) {
        if (trailer) {
            _state = State::Complete;
        } else {
            OnHeadComplete();
        }
        return;
    }
    if (++_headerCount > kMaxHeaders) {
        Fail(TransferFailed,
             trailer ? "more than 100 trailer lines" : "more than 100 header lines");
        return;
    }
    if (isBlank(line[0])) {
        // An obsolete continuation line: part of the previous header's value.
        if (_headers.empty()) {
            Fail(TransferFailed, "continuation line without a header");
            return;
        }
        HTTPHeaderList rebuilt;
        std::size_t index = 0;
        for (const auto& header : _headers) {
            std::string value = header.second;
            if (++index == _headers.size()) {
                value += ' ';
                value += trimBlanks(line);
            }
            rebuilt.Add(header.first, std::move(value));
        }
        _headers = std::move(rebuilt);
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
        Fail(TransferFailed, "header line without a name");
        return;
    }
    std::string value = line.substr(colon + 1);
    value.erase(0, std::min(value.find_first_not_of(" \t"), value.size()));
    _headers.Add(line.substr(0, colon), std::move(value));
}

void HTTPResponseParser::OnHeadComplete() {
    if (_status >= 100 && _status < 200 && _status != 101) {
        // An interim response; the final one follows.
        ResetForNextResponse();
        return;
    }
    _headComplete = true;

    const bool noBody = _options.headRequest || (_status >= 100 && _status < 200) ||
                        _status == 204 || _status == 304 ||
                        (_options.connectRequest && _status >= 200 && _status < 300);
    if (noBody) {
        _framing = Framing::None;
        _state = State::Complete;
        return;
    }

    std::string transferEncoding;
    for (const std::string& value : _headers.GetHeaders("Transfer-Encoding")) {
        if (!transferEncoding.empty()) {
            transferEncoding += ',';
        }
        transferEncoding += value;
    }
    if (!trimBlanks(transferEncoding).empty()) {
        const std::size_t comma = transferEncoding.rfind(',');
        const std::string last = trimBlanks(
            comma == std::string::npos ? transferEncoding : transferEncoding.substr(comma + 1));
        if (EqualsNoCase(last, "chunked")) {
            _framing = Framing::Chunked;
            _state = State::ChunkSize;
        } else {
            _framing = Framing::ToClose;
            _state = State::ToCloseBody;
        }
        return;
    }

    const std::vector<std::string> lengths = _headers.GetHeaders("Content-Length");
    if (!lengths.empty()) {
        uint64_t length = 0;
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            uint64_t value = 0;
            if (!parseDecimal(trimBlanks(lengths[i]), value) || (i > 0 && value != length)) {
                Fail(TransferFailed, "bad Content-Length '" + lengths[i] + "'");
                return;
            }
            length = value;
        }
        if (length > kMaxBodyBytes) {
            Fail(TransferFailed, "announced body of " + std::to_string(length) +
                                     " bytes is larger than the client takes");
            return;
        }
        _framing = Framing::Length;
        _remaining = length;
        if (length == 0) {
            _state = State::Complete;
            return;
        }
        core::NonInitializingBuffer<unsigned char> first;
        try {
            first.resize(static_cast<std::size_t>(std::min<uint64_t>(length, kMaxPreallocation)));
        } catch (const std::bad_alloc&) {
            first = core::NonInitializingBuffer<unsigned char>();  // grows piece by piece
        }
        first.clear();
        _bodyPieces.push_back(std::move(first));
        _state = State::LengthBody;
        return;
    }
    _framing = Framing::ToClose;
    _state = State::ToCloseBody;
}

void HTTPResponseParser::OnChunkSizeLine() {
    const std::string line = stripLineEnd(_line);
    std::size_t pos = 0;
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
    uint64_t size = 0;
    std::size_t digits = 0;
    for (; pos < line.size() && hexValue(line[pos]) >= 0; ++pos, ++digits) {
        if (size > (std::numeric_limits<uint64_t>::max() >> 5)) {
            Fail(TransferFailed, "chunk size too large");
            return;
        }
        size = size * 16 + static_cast<uint64_t>(hexValue(line[pos]));
    }
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
    if (digits == 0 || (pos < line.size() && line[pos] != ';')) {
        Fail(TransferFailed, "bad chunk size line");
        return;
    }
    if (size == 0) {
        _headerCount = 0;
        _headBytes = 0;
        _state = State::Trailers;
        return;
    }
    _remaining = size;
    _state = State::ChunkData;
}

void HTTPResponseParser::AppendBody(const unsigned char* data, std::size_t size) {
    if (size == 0 || HasFailed()) {
        return;
    }
    if (_bodySize + size > kMaxBodyBytes) {
        Fail(TransferFailed, "body larger than the client takes");
        return;
    }
    _bodySize += size;
    while (size > 0) {
        if (_bodyPieces.empty() || _bodyPieces.back().capacity() == _bodyPieces.back().size()) {
            // A new piece instead of a grown one: received bytes are copied only once more,
            // when the pieces are joined.
            core::NonInitializingBuffer<unsigned char> piece;
            piece.resize(std::max<std::size_t>(kMinBodyPiece,
                                               std::min<uint64_t>(_bodySize / 2, kMaxGrowthPiece)));
            piece.clear();
            _bodyPieces.push_back(std::move(piece));
        }
        auto& piece = _bodyPieces.back();
        const std::size_t take = std::min(size, piece.capacity() - piece.size());
        piece.append(data, take);
        data += take;
        size -= take;
    }
}

core::NonInitializingBuffer<unsigned char> HTTPResponseParser::TakeBody() {
    core::NonInitializingBuffer<unsigned char> body;
    if (_bodyPieces.size() == 1) {
        body = std::move(_bodyPieces.front());
    } else if (!_bodyPieces.empty()) {
        body.resize(static_cast<std::size_t>(_bodySize));
        body.clear();
        for (const auto& piece : _bodyPieces) {
            body.append(piece.data(), piece.size());
        }
    }
    _bodyPieces.clear();
    return body;
}

void HTTPResponseParser::ResetForNextResponse() {
    _headers.clear();
    _headerCount = 0;
    _headBytes = 0;
    _status = 0;
    _version = IHTTPConnection::HTTPVersion::Unknown;
    _statusLine.clear();
    _state = State::StatusLine;
}

}  // namespace network
