#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/core/NonInitializingBuffer.h"
#include "foundation/network/IWebSocket.h"

namespace network {

// Incremental reader of the frames a WebSocket server sends. It asks for exactly the bytes of
// the next step (header, extended length, payload), so no byte of a following frame is taken
// early. Fragments are joined until FIN; control frames may arrive between fragments.
//
// A frame that breaks the protocol ends the reading with Error: reserved bits or a reserved
// opcode, a masked frame, a fragmented or oversized (over 125 bytes) control frame, a
// continuation without a message, a new message inside a fragmented one, a 64-bit length with
// the top bit set, or a message over the size limit.
class WebSocketFrameReader {
public:
    using Payload = core::NonInitializingBuffer<unsigned char>;

    static constexpr uint64_t kMaxMessageSize = 16u * 1024u * 1024u;
    static constexpr uint64_t kMaxControlPayload = 125;

    enum class Result {
        NeedMore,  // feed Needed() more bytes
        Message,   // a complete data message: TakePayload, GetMessageOpcode
        Ping,      // TakePayload
        Pong,      // TakePayload
        Close,     // TakePayload (the close frame's payload as received)
        Error,     // GetError, GetErrorCloseCode; the reader must not be fed again before Reset
    };

    explicit WebSocketFrameReader(uint64_t maxMessageSize = kMaxMessageSize);

    // How many bytes the current step still needs (always at least 1 unless in Error).
    std::size_t Needed() const;
    // Takes up to Needed() bytes of `data` (answers through `consumed` how many it took) and
    // reports what became complete.
    Result Feed(const unsigned char* data, std::size_t length, std::size_t& consumed);

    Payload TakePayload();
    WebSocketOperationCode GetMessageOpcode() const { return m_MessageOpcode; }
    const std::string& GetError() const { return m_Error; }
    // The close status that fits the error: 1002 (protocol error) or 1009 (too big).
    uint16_t GetErrorCloseCode() const { return m_ErrorCloseCode; }
    // Back to the start of a frame, with no message in progress.
    void Reset();

private:
    enum class Stage { Header, ExtendedLength, MaskingKey, Payload, Failed };

    Result Fail(const std::string& error, uint16_t closeCode);
    Result HeaderDone();
    Result LengthKnown();
    Result FrameDone();

    uint64_t m_MaxMessageSize;
    Stage m_Stage = Stage::Header;
    unsigned char m_Scratch[8] = {};
    std::size_t m_ScratchWanted = 2;
    std::size_t m_ScratchHave = 0;
    bool m_Fin = false;
    int m_Opcode = 0;
    uint64_t m_Length = 0;
    uint64_t m_Remaining = 0;
    bool m_InMessage = false;
    WebSocketOperationCode m_MessageOpcode = OpBinary;
    Payload m_Message;
    Payload m_Control;
    Payload m_Ready;
    std::string m_Error;
    uint16_t m_ErrorCloseCode = 1002;
};

}  // namespace network
