#pragma once

#include <algorithm>
#include <cstring>

namespace persistence {

// Bounded write cursor over a caller's buffer; owns nothing.
class MemoryWriter {
public:
    MemoryWriter(unsigned char* buffer, unsigned long size)
        : m_Buffer(buffer), m_Remaining(buffer != nullptr ? size : 0), m_Position(buffer) {}

    // Copies as much of `data` as fits and advances; true when all `length` bytes fitted.
    bool write(const unsigned char* data, unsigned long length) {
        if (length == 0) {
            return true;
        }
        const unsigned long copied = data != nullptr ? std::min(length, m_Remaining) : 0;
        if (copied > 0) {
            std::memcpy(m_Position, data, copied);
            m_Position += copied;
            m_Remaining -= copied;
        }
        return copied == length;
    }

    unsigned long remaining() const { return m_Remaining; }
    unsigned long written() const { return static_cast<unsigned long>(m_Position - m_Buffer); }

private:
    unsigned char* m_Buffer;
    unsigned long m_Remaining;
    unsigned char* m_Position;
};

}  // namespace persistence
