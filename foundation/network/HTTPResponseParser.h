#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/core/NonInitializingBuffer.h"
#include "foundation/network/HTTPHeaderList.h"
#include "foundation/network/HTTPStatusCode.h"
#include "foundation/network/IHTTPConnection.h"

namespace network {

// Reads one HTTP/1.1 response from a byte stream given in pieces of any size: the status line,
// the header block, and the body by Content-Length, chunked (trailers included) or up to the end
// of the stream. Any split of the same bytes gives the same result. The head is bounded
// (kMaxHeadBytes, kMaxHeaders); interim 1xx responses other than 101 are skipped. Bytes after
// the end of the response are not consumed, so the caller keeps them (the start of the
// protocol that follows a 101, or of a tunnel).
class HTTPResponseParser {
public:
    static constexpr std::size_t kMaxHeadBytes = 64 * 1024;
    static constexpr std::size_t kMaxHeaders = 100;
    static constexpr std::size_t kMaxChunkSizeLine = 4096;
    // Bodies are held in memory: a larger one fails rather than exhaust it.
    static constexpr uint64_t kMaxBodyBytes = uint64_t{2} * 1024 * 1024 * 1024;

    enum class Framing {
        // Not decided yet, or no body (1xx, 204, 304, HEAD, a tunnel's 2xx).
        None,
        Length,
        Chunked,
        ToClose,
    };

    struct Options {
        // The request was CONNECT: a 2xx answer has no body.
        bool connectRequest = false;
        // The request was HEAD: the response has no body.
        bool headRequest = false;
    };

    HTTPResponseParser();
    explicit HTTPResponseParser(Options options);

    // Takes bytes of the stream; returns how many were consumed. Consumes nothing once the
    // response is complete or has failed.
    std::size_t Feed(const unsigned char* data, std::size_t size);
    // The stream ended. Completes a body read to the end of the stream; anything else that is
    // unfinished fails.
    void FeedEnd();

    bool IsComplete() const { return _state == State::Complete; }
    bool HasFailed() const { return _state == State::Failed; }
    bool IsFinished() const { return IsComplete() || HasFailed(); }
    bool IsHeadComplete() const { return _headComplete; }
    // No byte of a response has arrived yet.
    bool IsUntouched() const { return _untouched; }

    // InvalidResponse for a bad status line, TransferFailed for everything else.
    HTTPStatusCode GetFailureCode() const { return _failureCode; }
    const std::string& GetFailureReason() const { return _failureReason; }

    int GetStatus() const { return _status; }
    IHTTPConnection::HTTPVersion GetVersion() const { return _version; }
    const std::string& GetStatusLine() const { return _statusLine; }
    HTTPHeaderList& GetHeaders() { return _headers; }
    const HTTPHeaderList& GetHeaders() const { return _headers; }
    Framing GetFraming() const { return _framing; }
    uint64_t GetBodySize() const { return _bodySize; }
    // The body received so far, joined into one buffer and moved out.
    core::NonInitializingBuffer<unsigned char> TakeBody();

private:
    enum class State {
        StatusLine,
        Headers,
        LengthBody,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailers,
        ToCloseBody,
        Complete,
        Failed,
    };

    // Collects bytes up to and including LF into _line; true once a whole line is there.
    bool TakeLine(const unsigned char* data, std::size_t size, std::size_t& pos, std::size_t limit);
    void OnStatusLine();
    void OnHeaderLine(bool trailer);
    void OnHeadComplete();
    void OnChunkSizeLine();
    void AppendBody(const unsigned char* data, std::size_t size);
    void Fail(HTTPStatusCode code, std::string reason);
    void ResetForNextResponse();

    Options _options;
    State _state = State::StatusLine;
    std::string _line;
    bool _lineComplete = false;
    std::size_t _headBytes = 0;
    std::size_t _headerCount = 0;
    bool _headComplete = false;
    bool _untouched = true;

    int _status = 0;
    IHTTPConnection::HTTPVersion _version = IHTTPConnection::HTTPVersion::Unknown;
    std::string _statusLine;
    HTTPHeaderList _headers;
    Framing _framing = Framing::None;
    uint64_t _remaining = 0;
    uint64_t _bodySize = 0;
    std::vector<core::NonInitializingBuffer<unsigned char>> _bodyPieces;

    HTTPStatusCode _failureCode = TransferFailed;
    std::string _failureReason;
};

}  // namespace network
