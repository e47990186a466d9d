#pragma once

#include <algorithm>
#include <cstring>

namespace persistence {

// Bounded read cursor over a caller's buffer; owns nothing.
class MemoryReader {
public:
    MemoryReader(const unsigned char* buffer, unsigned long size)
        : m_Buffer(buffer), m_Remaining(buffer != nullptr ? size : 0), m_Position(buffer) {}

    // Copies as many of the next `length` bytes as there are and advances; true when all
    // `length` bytes were there.
    bool read(unsigned char* out, unsigned long length) {
        if (length == 0) {
            return true;
        }
        const unsigned long copied = out != nullptr ? std::min(length, m_Remaining) : 0;
        if (copied > 0) {
            std::memcpy(out, m_Position, copied);
            m_Position += copied;
            m_Remaining -= copied;
        }
        return copied == length;
    }

    unsigned long remaining() const { return m_Remaining; }
    unsigned long consumed() const { return static_cast<unsigned long>(m_Position - m_Buffer); }

private:
    const unsigned char* m_Buffer;
    unsigned long m_Remaining;
    const unsigned char* m_Position;
};

}  // namespace persistence
