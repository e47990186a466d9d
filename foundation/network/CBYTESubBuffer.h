#pragma once

#include <cstdint>
#include <memory>

#include "foundation/core/NonInitializingBuffer.h"

namespace network {

// A cheap, copyable, read-only view (offset and length) on a shared byte buffer that is never
// modified once wrapped: the payload of every socket send and receive.
class CBYTESubBuffer {
public:
    using Buffer = core::NonInitializingBuffer<unsigned char>;

    CBYTESubBuffer() = default;
    // Takes the bytes over without copying them; the source is left empty.
    explicit CBYTESubBuffer(Buffer&& buffer);
    explicit CBYTESubBuffer(std::shared_ptr<const Buffer> buffer);
    // A view on part of a shared buffer; offset and length are clamped to its data.
    CBYTESubBuffer(std::shared_ptr<const Buffer> buffer, uint64_t offset, uint64_t length);

    CBYTESubBuffer(const CBYTESubBuffer&) = default;
    CBYTESubBuffer& operator=(const CBYTESubBuffer&) = default;
    CBYTESubBuffer(CBYTESubBuffer&& other) noexcept;
    CBYTESubBuffer& operator=(CBYTESubBuffer&& other) noexcept;

    // The first byte of the view; null when there is no buffer.
    const unsigned char* GetBuffer() const;
    uint64_t GetLength() const { return m_Length; }
    uint64_t GetOffset() const { return m_Offset; }
    const std::shared_ptr<const Buffer>& GetSharedBuffer() const { return m_Buffer; }

private:
    uint64_t m_Offset = 0;
    uint64_t m_Length = 0;
    std::shared_ptr<const Buffer> m_Buffer;
};

}  // namespace network
