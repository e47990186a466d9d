#include "foundation/network/CBYTESubBuffer.h"

#include <algorithm>

namespace network {

CBYTESubBuffer::CBYTESubBuffer(Buffer&& buffer)
    : m_Length(buffer.size()), m_Buffer(std::make_shared<const Buffer>(std::move(buffer))) {}

CBYTESubBuffer::CBYTESubBuffer(std::shared_ptr<const Buffer> buffer)
    : m_Length(buffer ? buffer->size() : 0), m_Buffer(std::move(buffer)) {}

CBYTESubBuffer::CBYTESubBuffer(std::shared_ptr<const Buffer> buffer, uint64_t offset,
                               uint64_t length)
    : m_Buffer(std::move(buffer)) {
    const uint64_t size = m_Buffer ? m_Buffer->size() : 0;
    m_Offset = std::min(offset, size);
    m_Length = std::min(length, size - m_Offset);
}

CBYTESubBuffer::CBYTESubBuffer(CBYTESubBuffer&& other) noexcept
    : m_Offset(other.m_Offset), m_Length(other.m_Length), m_Buffer(std::move(other.m_Buffer)) {
    other.m_Offset = 0;
    other.m_Length = 0;
}

CBYTESubBuffer& CBYTESubBuffer::operator=(CBYTESubBuffer&& other) noexcept {
    if (this != &other) {
        m_Offset = other.m_Offset;
        m_Length = other.m_Length;
        m_Buffer = std::move(other.m_Buffer);
        other.m_Offset = 0;
        other.m_Length = 0;
        other.m_Buffer.reset();
    }
    return *this;
}

const unsigned char* CBYTESubBuffer::GetBuffer() const {
    return m_Buffer ? m_Buffer->data() + m_Offset : nullptr;
}

}  // namespace network
