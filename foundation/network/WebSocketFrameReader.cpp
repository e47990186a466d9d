#include "foundation/network/WebSocketFrameReader.h"

#include <algorithm>

namespace network {

WebSocketFrameReader::WebSocketFrameReader(uint64_t maxMessageSize)
    : m_MaxMessageSize(maxMessageSize) {}

void WebSocketFrameReader::Reset() {
    m_Stage = Stage::Header;
    m_ScratchWanted = 2;
    m_ScratchHave = 0;
    m_InMessage = false;
    m_Message = Payload();
    m_Control.clear();
    m_Error.clear();
}

std::size_t WebSocketFrameReader::Needed() const {
    switch (m_Stage) {
        case Stage::Header:
        case Stage::ExtendedLength:
        case Stage::MaskingKey:
            return m_ScratchWanted - m_ScratchHave;
        case Stage::Payload:
            return static_cast<std::size_t>(m_Remaining);
        case Stage::Failed:
            return 0;
    }
    return 0;
}

WebSocketFrameReader::Payload WebSocketFrameReader::TakePayload() {
    Payload out = std::move(m_Ready);
    m_Ready = Payload();
    return out;
}

WebSocketFrameReader::Result WebSocketFrameReader::Fail(const std::string& error,
                                                        uint16_t closeCode) {
    m_Stage = Stage::Failed;
    m_Error = error;
    m_ErrorCloseCode = closeCode;
    m_Message = Payload();
    m_Control.clear();
    return Result::Error;
}

WebSocketFrameReader::Result WebSocketFrameReader::Feed(const unsigned char* data,
                                                        std::size_t length, std::size_t& consumed) {
    consumed = 0;
    if (m_Stage == Stage::Failed) {
        return Result::Error;
    }
    const std::size_t take = std::min(length, Needed());
    if (take == 0) {
        return Result::NeedMore;
    }
    consumed = take;
    if (m_Stage == Stage::Payload) {
        Payload& target = m_Opcode >= 8 ? m_Control : m_Message;
        target.append(data, take);
        m_Remaining -= take;
        return m_Remaining == 0 ? FrameDone() : Result::NeedMore;
    }
    std::copy(data, data + take, m_Scratch + m_ScratchHave);
    m_ScratchHave += take;
    if (m_ScratchHave < m_ScratchWanted) {
        return Result::NeedMore;
    }
    switch (m_Stage) {
        case Stage::Header:
            return HeaderDone();
        case Stage::ExtendedLength: {
            uint64_t value = 0;
            for (std::size_t i = 0; i < m_ScratchWanted; ++i) {
                value = (value << 8) | m_Scratch[i];
            }
            if (m_ScratchWanted == 8 && (value >> 63) != 0) {
                return Fail("frame length with the most significant bit set", 1002);
            }
            m_Length = value;
            return LengthKnown();
        }
        default:
            return Fail("unexpected reader stage", 1002);
    }
}

WebSocketFrameReader::Result WebSocketFrameReader::HeaderDone() {
    const unsigned char b0 = m_Scratch[0];
    const unsigned char b1 = m_Scratch[1];
    m_Fin = (b0 & 0x80) != 0;
    m_Opcode = b0 & 0x0F;
    if ((b0 & 0x70) != 0) {
        return Fail("frame with reserved bits set", 1002);
    }
    if ((m_Opcode >= 3 && m_Opcode <= 7) || m_Opcode >= 11) {
        return Fail("frame with reserved opcode " + std::to_string(m_Opcode), 1002);
    }
    if ((b1 & 0x80) != 0) {
        return Fail("masked frame from the server", 1002);
    }
    const bool control = m_Opcode >= 8;
    if (control && !m_Fin) {
        return Fail("fragmented control frame", 1002);
    }
    if (!control) {
        if (m_Opcode == OpContinuation && !m_InMessage) {
            return Fail("continuation frame without a message", 1002);
        }
        if (m_Opcode != OpContinuation && m_InMessage) {
            return Fail("new message inside a fragmented message", 1002);
        }
    }
    const unsigned field = b1 & 0x7F;
    m_ScratchHave = 0;
    if (field == 126 || field == 127) {
        if (control) {
            return Fail("control frame over 125 bytes", 1002);
        }
        m_Stage = Stage::ExtendedLength;
        m_ScratchWanted = field == 126 ? 2 : 8;
        return Result::NeedMore;
    }
    m_Length = field;
    return LengthKnown();
}

WebSocketFrameReader::Result WebSocketFrameReader::LengthKnown() {
    const bool control = m_Opcode >= 8;
    if (control) {
        if (m_Length > kMaxControlPayload) {
            return Fail("control frame over 125 bytes", 1002);
        }
        m_Control.clear();
    } else {
        const uint64_t held = m_InMessage ? m_Message.size() : 0;
        if (m_Length > m_MaxMessageSize || held > m_MaxMessageSize - m_Length) {
            return Fail("message over " + std::to_string(m_MaxMessageSize) + " bytes", 1009);
        }
        if (!m_InMessage) {
            m_Message = Payload();
            m_MessageOpcode = static_cast<WebSocketOperationCode>(m_Opcode);
            m_InMessage = true;
        }
    }
    m_Remaining = m_Length;
    m_Stage = Stage::Payload;
    if (m_Remaining == 0) {
        return FrameDone();
    }
    return Result::NeedMore;
}

WebSocketFrameReader::Result WebSocketFrameReader::FrameDone() {
    m_Stage = Stage::Header;
    m_ScratchWanted = 2;
    m_ScratchHave = 0;
    switch (m_Opcode) {
        case OpPing:
            m_Ready = std::move(m_Control);
            m_Control = Payload();
            return Result::Ping;
        case OpPong:
            m_Ready = std::move(m_Control);
            m_Control = Payload();
            return Result::Pong;
        case OpClose:
            m_Ready = std::move(m_Control);
            m_Control = Payload();
            return Result::Close;
        default:
            break;
    }
    if (!m_Fin) {
        return Result::NeedMore;
    }
    m_InMessage = false;
    m_Ready = std::move(m_Message);
    m_Message = Payload();
    return Result::Message;
}

}  // namespace network
